#include "tests/video/packet_harness.h"

#include <algorithm>
#include <vector>

#include "video/bundles.h"
#include "video/decode_video_frame.h"

namespace zarn::test {

namespace {

constexpr size_t kGuard = 64;
constexpr uint8_t kGuardByte = 0xA5;

// A buffer of `size` bytes with guard zones on both sides.
struct Guarded {
    std::vector<uint8_t> bytes;
    size_t size;
    Guarded(size_t n, uint8_t fill) : bytes(n + 2 * kGuard, kGuardByte), size(n) {
        std::fill(bytes.begin() + kGuard, bytes.begin() + kGuard + n, fill);
    }
    uint8_t* Data() { return bytes.data() + kGuard; }
    bool Intact() const {
        auto ok = [](uint8_t b) { return b == kGuardByte; };
        return std::all_of(bytes.begin(), bytes.begin() + kGuard, ok) &&
               std::all_of(bytes.end() - kGuard, bytes.end(), ok);
    }
};

uint32_t Padded16(uint32_t source) { return 2 * ((((source + 1) / 2) + 7) & ~7u); }

}  // namespace

bool DecodePacketInput(const uint8_t* data, size_t size) {
    return DecodePacketResult(data, size, nullptr).within_buffers;
}

PacketResult DecodePacketResult(const uint8_t* data, size_t size, ChromaThread* helper) {
    PacketResult result;
    if (size < 4) return result;
    const uint32_t width = 1 + ((data[0] | ((data[2] & 1u) << 8)) % 300);
    const uint32_t height = 1 + ((data[1] | ((data[2] & 2u) << 7)) % 200);
    const uint8_t mode = data[3];
    uint32_t flags = 0, header_flags = 0;
    if (mode & 1) flags |= kFlagVersionH;
    if (mode & 2) flags |= kFlagGreyScale;
    if (mode & 4) flags |= kFlagAlpha;
    if (mode & 8) header_flags |= kVideoFlagAlpha;
    const bool in_place = (mode & 16) != 0;
    const uint32_t key_frame = (mode >> 5) & 1u;
    const bool no_alpha_buffer = (mode & 64) != 0;

    const uint32_t lw = Padded16(width), lh = Padded16(height);
    const size_t frame_bytes = size_t{lw} * lh + 2 * size_t{lw / 2} * (lh / 2);
    Guarded dest(frame_bytes, 0x11), prev(frame_bytes, 0x22);
    Guarded dest_alpha(size_t{lw} * lh, 0x33), prev_alpha(size_t{lw} * lh, 0x44);
    Guarded marks(size_t{lw / 16} * (lh / 16) + 16, 0);
    std::vector<Guarded> bundles;
    uint8_t* buffers[kBundleCount];
    for (unsigned i = 0; i < kBundleCount; ++i) bundles.emplace_back(BundleBufferBytes(i, lw), 0);
    for (unsigned i = 0; i < kBundleCount; ++i) buffers[i] = bundles[i].Data();
    // The packet is copied so that reads past its end are caught by the sanitizers.
    std::vector<uint8_t> packet(data + 4, data + size);

    result.whole = DecodeVideoFrame(
        dest.Data(), in_place ? dest.Data() : prev.Data(), no_alpha_buffer ? nullptr : dest_alpha.Data(),
        prev_alpha.Data(), marks.Data(), width, height, lw, lh, packet.data(),
        static_cast<uint32_t>(packet.size()), key_frame, buffers, flags, header_flags, helper);

    bool ok = dest.Intact() && prev.Intact() && dest_alpha.Intact() && prev_alpha.Intact() && marks.Intact();
    for (const Guarded& g : bundles) ok = ok && g.Intact();
    // The decoder writes only 1 into block_marks, and never its last 16 bytes' terminator area.
    for (size_t i = 0; i < marks.size; ++i) ok = ok && marks.Data()[i] <= 1;
    for (size_t i = marks.size - 16; i < marks.size; ++i) ok = ok && marks.Data()[i] == 0;
    result.within_buffers = ok;
    result.frame.assign(dest.Data(), dest.Data() + dest.size);
    result.alpha.assign(dest_alpha.Data(), dest_alpha.Data() + dest_alpha.size);
    result.marks.assign(marks.Data(), marks.Data() + marks.size);
    return result;
}

}  // namespace zarn::test
