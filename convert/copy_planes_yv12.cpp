#include "convert/copy_planes_yv12.h"

#include <cstddef>
#include <cstring>

#include "convert/copy_flags.h"

namespace zarn {

namespace {

// Makes a position even by moving it forward; the size loses a pixel when
// the position moved, then is rounded down to even.
void EvenAxis(uint32_t& position, uint32_t source_position, uint32_t& size) {
    const bool odd = ((position | source_position) & 1) != 0;
    position += position & 1;
    if (odd && size > 0) size -= 1;
    size &= ~1u;
}

void CopyPlane(uint8_t* dest, ptrdiff_t dest_pitch, const uint8_t* source, size_t source_pitch,
               uint32_t width, uint32_t rows) {
    for (uint32_t r = 0; r < rows; ++r) {
        std::memcpy(dest + static_cast<ptrdiff_t>(r) * dest_pitch, source + r * source_pitch, width);
    }
}

void FillPlane(uint8_t* dest, ptrdiff_t dest_pitch, uint8_t value, uint32_t width, uint32_t rows) {
    for (uint32_t r = 0; r < rows; ++r)
        std::memset(dest + static_cast<ptrdiff_t>(r) * dest_pitch, value, width);
}

}  // namespace

void CopyPlanesYV12(uint8_t* buffer, uint32_t x, uint32_t y, int32_t pitch, uint32_t buffer_height,
                    const uint8_t* frame, uint32_t source_width, uint32_t source_height, uint32_t luma_width,
                    uint32_t luma_height, uint32_t flags) {
    // The whole picture is copied from its top-left corner (source x, y of 0).
    uint32_t width = source_width;
    uint32_t height = source_height;
    EvenAxis(x, 0, width);
    EvenAxis(y, 0, height);
    if (width == 0 || height == 0 || pitch <= 0) return;

    const size_t luma_size = static_cast<size_t>(luma_width) * luma_height;
    const uint8_t* first = frame + luma_size;
    const uint8_t* second = first + luma_size / 4;
    CopyPlane(buffer + static_cast<size_t>(y) * pitch + x, pitch, frame, luma_width, width, height);

    const ptrdiff_t chroma_pitch = pitch / 2;
    uint8_t* v_plane = buffer + static_cast<size_t>(pitch) * buffer_height;
    uint8_t* u_plane = v_plane + static_cast<size_t>(chroma_pitch) * (buffer_height / 2);
    const size_t offset = static_cast<size_t>(y / 2) * chroma_pitch + x / 2;
    if (flags & kCopyGreyScale) {
        FillPlane(v_plane + offset, chroma_pitch, 128, width / 2, height / 2);
        FillPlane(u_plane + offset, chroma_pitch, 128, width / 2, height / 2);
        return;
    }
    const bool swapped = (flags & kCopyChromaSwapped) != 0;
    CopyPlane(v_plane + offset, chroma_pitch, swapped ? second : first, luma_width / 2, width / 2,
              height / 2);
    CopyPlane(u_plane + offset, chroma_pitch, swapped ? first : second, luma_width / 2, width / 2,
              height / 2);
}

}  // namespace zarn
