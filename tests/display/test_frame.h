// A decoded frame for the display tests: random but deterministic YUV 4:2:0
// planes (luma luma_width x luma_height, then two chroma planes of half that
// size each way) with one mark byte per 16 x 16 block and a 0 after them,
// and the frame copy of it into plain memory as the reference picture.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "convert/copy_frame.h"

namespace zarn_test {

struct TestFrame {
    uint32_t width = 0, height = 0, luma_width = 0, luma_height = 0;
    std::vector<uint8_t> planes;
    std::vector<uint8_t> marks;

    // Luma drawn uniformly from [luma_low, luma_high], chroma within
    // chroma_swing of 128; every block marked.
    TestFrame(uint32_t w, uint32_t h, uint32_t seed, uint8_t luma_low = 0, uint8_t luma_high = 255,
              uint8_t chroma_swing = 128)
        : width(w), height(h), luma_width((w + 15) / 16 * 16), luma_height((h + 15) / 16 * 16) {
        std::mt19937 random(seed);  // the same sequence on every platform
        const size_t luma = size_t{luma_width} * luma_height;
        planes.resize(luma * 3 / 2);
        auto draw = [&random](uint32_t low, uint32_t high) {
            return uint8_t(low + random() % (high - low + 1));
        };
        for (size_t i = 0; i < luma; ++i) planes[i] = draw(luma_low, luma_high);
        const uint32_t chroma_low = chroma_swing >= 128 ? 0 : 128 - chroma_swing;
        const uint32_t chroma_high = chroma_swing >= 128 ? 255 : 128 + chroma_swing;
        for (size_t i = luma; i < planes.size(); ++i) planes[i] = draw(chroma_low, chroma_high);
        marks.assign(BlockCount() + 1, 1);
        marks.back() = 0;
    }

    uint32_t BlockColumns() const { return luma_width / 16; }
    uint32_t BlockCount() const { return BlockColumns() * (luma_height / 16); }
    bool Marked(uint32_t column, uint32_t row) const { return marks[row * BlockColumns() + column] != 0; }

    zarn::FrameSource Source() const {
        zarn::FrameSource s{};
        s.frame = planes.data();
        s.alpha = nullptr;
        s.block_marks = marks.data();
        s.mb_cols = BlockColumns();
        s.mb_count = BlockCount();
        s.source_width = width;
        s.source_height = height;
        s.luma_width = luma_width;
        s.luma_height = luma_height;
        return s;
    }
};

// Bytes of one pixel of an RGB copy format (1 for the planar 15).
inline uint32_t BytesPerPixel(uint32_t format) {
    if (format == 1 || format == 2) return 3;
    if (format >= 3 && format <= 6) return 4;
    return format == 15 ? 1 : 2;
}

// A plain top-down memory picture of one copy format, as the copy fills it.
struct MemoryPicture {
    uint32_t format = 0, width = 0, height = 0;
    int32_t pitch = 0;
    std::vector<uint8_t> bytes;

    MemoryPicture(uint32_t f, uint32_t w, uint32_t h)
        : format(f), width(w), height(h), pitch(int32_t(w * BytesPerPixel(f))) {
        // Planar pictures carry two chroma planes of pitch / 2 after the luma.
        bytes.assign(size_t(pitch) * h * (f == 15 ? 2 : 1), 0);
    }
    void Copy(const TestFrame& frame, uint32_t flags) {
        zarn::CopyFrame(frame.Source(), bytes.data(), pitch, height, 0, 0,
                        zarn::MergeCopyFlags((flags & ~0xFu) | format, 0));
    }
    // The red, green and blue fields of pixel (x, y) as 0xRRGGBB: the bytes of
    // format 3 (B, G, R, 0), the 5- or 6-bit field values of formats 9 and 10.
    uint32_t Fields(uint32_t x, uint32_t y) const {
        const uint8_t* p = bytes.data() + size_t(y) * pitch + size_t(x) * BytesPerPixel(format);
        if (format == 3) return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
        const uint32_t w = p[0] | uint32_t(p[1]) << 8;
        const uint32_t r = format == 10 ? w >> 11 : w >> 10 & 0x1F;
        const uint32_t g = format == 10 ? w >> 5 & 0x3F : w >> 5 & 0x1F;
        const uint32_t b = w & 0x1F;
        return r << 16 | g << 8 | b;
    }
};

}  // namespace zarn_test
