#include "fuzz/road/header_bounds.h"

#include "engine/container_header.h"

namespace zarn::fuzz {
namespace {

uint32_t U32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

}  // namespace

bool HeaderWithinBudget(const uint8_t* image, size_t size) {
    ContainerHeader h;
    if (size < kHeaderBytes || !ParseContainerHeader(image, &h)) return true;
    if (h.width > kMaxFuzzSide || h.height > kMaxFuzzSide) return false;
    if (h.size_field > kMaxFuzzFileLength) return false;
    // The decoded-audio ring of a track is as large as its table entry says.
    const uint64_t tracks_end = kHeaderBytes + 4 * uint64_t{h.audio_tracks};
    for (uint64_t at = kHeaderBytes; at + 4 <= tracks_end && at + 4 <= size; at += 4)
        if (U32(image + at) > kMaxFuzzTrackBuffer) return false;
    return true;
}

}  // namespace zarn::fuzz
