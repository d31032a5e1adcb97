// Feeds arbitrary bytes to the video decoder as one frame's packet.
// The first four bytes choose the frame size and flags; the rest is the packet.
// Every buffer is allocated at its exact size so that any stray access is caught.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "video/bundles.h"
#include "video/decode_video_frame.h"

namespace {

uint32_t padded16(uint32_t source) { return 2 * ((((source + 1) / 2) + 7) & ~7u); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const uint32_t width = 1 + ((data[0] | ((data[2] & 1u) << 8)) % 300);
    const uint32_t height = 1 + ((data[1] | ((data[2] & 2u) << 7)) % 200);
    const uint8_t mode = data[3];
    uint32_t flags = 0, header_flags = 0;
    if (mode & 1) flags |= zarn::kVideoFlagOlderVersion;
    if (mode & 2) flags |= zarn::kVideoFlagGreyScale;
    if (mode & 4) flags |= zarn::kVideoFlagDecodeAlpha;
    if (mode & 8) header_flags |= zarn::kVideoHeaderHasAlpha;
    const bool in_place = (mode & 16) != 0;
    const uint32_t key_frame = (mode >> 5) & 1u;

    const uint32_t lw = padded16(width), lh = padded16(height);
    const size_t frame_bytes = size_t{lw} * lh + 2 * size_t{lw / 2} * (lh / 2);
    std::vector<uint8_t> dest(frame_bytes, 0x11), prev(frame_bytes, 0x22);
    std::vector<uint8_t> dest_alpha(size_t{lw} * lh, 0x33), prev_alpha(size_t{lw} * lh, 0x44);
    std::vector<uint8_t> marks(size_t{lw / 16} * (lh / 16) + 16, 0);
    std::vector<std::vector<uint8_t>> bundles(9);
    uint8_t* buffers[9];
    for (unsigned i = 0; i < 9; ++i) {
        bundles[i].resize(zarn::bundle_buffer_bytes(i, lw));
        buffers[i] = bundles[i].data();
    }
    // The packet is copied so that reads past its end are caught.
    std::vector<uint8_t> packet(data + 4, data + size);
    zarn::decode_video_frame(dest.data(), in_place ? dest.data() : prev.data(),
                             (mode & 64) ? nullptr : dest_alpha.data(), prev_alpha.data(), marks.data(), width,
                             height, lw, lh, packet.data(), static_cast<uint32_t>(packet.size()), key_frame, buffers,
                             flags, header_flags);
    return 0;
}
