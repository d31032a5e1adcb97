#include "video/decode_plane.h"

#include "video/blocks.h"
#include "video/decode_video_frame.h"

namespace zarn {

size_t decode_plane(const PlaneGeometry& geometry, const PlaneInput& input, bool* whole) {
    PlaneState s;
    s.g = geometry;
    s.reader = make_bit_reader(input.packet, input.packet_bytes, input.start);
    s.idct = &idct_functions();
    s.intra_tables = &intra_quant_tables();
    s.inter_tables = &inter_quant_tables();
    init_bundles(s.bundles, input.bundle_buffers, input.luma_width, geometry.decode_width,
                 (input.flags & kFlagVersionH) != 0);
    read_bundle_trees(s.bundles, s.reader);

    // A plane that does not fit its buffers is not decoded (its data is
    // still skipped as far as the prefix codes go).
    const PlaneGeometry& g = s.g;
    if (g.stride < g.decode_width || g.rows < g.decode_height || g.dest == nullptr || g.prev == nullptr) {
        if (whole) *whole = false;
        return s.reader.next;
    }

    const uint32_t block_cols = g.decode_width / 8;
    for (uint32_t row = 0; row * 8 < g.decode_height; ++row) {
        if (!refill_bundles(s.bundles, s.reader)) {
            s.failed = true;
            break;
        }
        for (uint32_t col = 0; col < block_cols && !s.failed;) col += decode_block(s, row, col);
        // A value taken from an empty or closed bundle abandons the rest of the plane.
        if (s.failed) break;
    }
    if (whole && s.failed) *whole = false;
    return s.reader.next;
}

}  // namespace zarn
