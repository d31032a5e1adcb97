#include "fuzz/road/header_bounds.h"

#include "engine/container_header.h"

namespace zarn::fuzz {
namespace {

uint32_t U32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

}  // namespace

HeaderBudget CheckHeaderBudget(const uint8_t* image, size_t size) {
    HeaderBudget b;
    ContainerHeader h;
    if (size < kHeaderBytes || !ParseContainerHeader(image, &h)) return b;
    if (h.width > kMaxFuzzSide || h.height > kMaxFuzzSide) {
        b.within = false;
        return b;
    }
    b.area = uint64_t{h.width} * h.height;
    // The decoded-audio ring of a track is as large as its table entry says.
    const uint64_t tracks_end = kHeaderBytes + 4 * uint64_t{h.audio_tracks};
    for (uint64_t at = kHeaderBytes; at + 4 <= tracks_end && at + 4 <= size; at += 4)
        if (U32(image + at) > kMaxFuzzTrackBuffer) b.within = false;
    return b;
}

}  // namespace zarn::fuzz
