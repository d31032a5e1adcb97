// Plane decoder: prefix codes, then block rows with per-row bundle refills.
#pragma once

#include <cstddef>
#include <cstdint>

#include "video/plane_state.h"

namespace zarn {

struct PlaneInput {
    const uint8_t* packet = nullptr;  // the whole video packet
    size_t packet_bytes = 0;
    size_t start = 0;  // byte offset of the plane's first word (may pass the end)
    uint8_t* const* bundle_buffers = nullptr;
    uint32_t luma_width = 0;  // sizes the bundle buffers
    uint32_t key_frame = 0;   // passed through; does not change decoding
    uint32_t flags = 0;
};

// Decodes one plane. Returns the byte offset just past the last word the
// plane's bit reader loaded (where the next plane's data starts). `whole`,
// when given, is set to false if the plane was left undecoded in part.
size_t DecodePlane(const PlaneGeometry& geometry, const PlaneInput& input, bool* whole = nullptr);

// Decodes both chroma planes: the first from `input.start` with `geometry`,
// the second from where the first ends, `plane_bytes` further on in both
// frame buffers.
void DecodeChromaPlanes(const PlaneGeometry& geometry, const PlaneInput& input, size_t plane_bytes,
                        bool* whole);

}  // namespace zarn
