#include "video/decode_plane.h"

#include "video/blocks.h"
#include "video/decode_video_frame.h"

namespace zarn {

size_t DecodePlane(const PlaneGeometry& geometry, const PlaneInput& input, bool* whole) {
    PlaneState s;
    s.g = geometry;
    s.reader = MakeBitReader(input.packet, input.packet_bytes, input.start);
    s.idct = &ChosenIdctFunctions();
    s.intra_tables = &IntraQuantTables();
    s.inter_tables = &InterQuantTables();
    InitBundles(s.bundles, input.bundle_buffers, input.luma_width, geometry.decode_width,
                (input.flags & kFlagVersionH) != 0);
    ReadBundleTrees(s.bundles, s.reader);

    // A plane that does not fit its buffers is not decoded (its data is
    // still skipped as far as the prefix codes go).
    const PlaneGeometry& g = s.g;
    if (g.stride < g.decode_width || g.rows < g.decode_height || g.dest == nullptr || g.prev == nullptr) {
        if (whole) *whole = false;
        return s.reader.next;
    }

    const uint32_t block_cols = g.decode_width / 8;
    for (uint32_t row = 0; row * 8 < g.decode_height; ++row) {
        if (!RefillBundles(s.bundles, s.reader)) {
            s.failed = true;
            break;
        }
        for (uint32_t col = 0; col < block_cols && !s.failed;) col += DecodeBlock(s, row, col);
        // A value taken from an empty or closed bundle abandons the rest of the plane.
        if (s.failed) break;
    }
    if (whole && s.failed) *whole = false;
    return s.reader.next;
}

void DecodeChromaPlanes(const PlaneGeometry& geometry, const PlaneInput& input, size_t plane_bytes,
                        bool* whole) {
    PlaneInput in = input;
    in.start = DecodePlane(geometry, in, whole);
    PlaneGeometry second = geometry;
    second.dest += plane_bytes;
    second.prev += plane_bytes;
    DecodePlane(second, in, whole);
}

}  // namespace zarn
