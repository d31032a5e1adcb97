// Behaviour of the frame copy at its documented points, for the plain
// routines and every available SIMD set.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "convert/copy_flags.h"
#include "convert/copy_frame.h"
#include "base/cpu_features.h"
#include "convert/descriptors.h"

namespace zarn {
namespace {

// A frame of one colour (luma_width x luma_height, all blocks marked).
struct Frame {
    uint32_t width, height, luma_width, luma_height;
    std::vector<uint8_t> planes, alpha, marks;

    Frame(uint32_t w, uint32_t h, uint8_t y, uint8_t first, uint8_t second)
        : width(w), height(h), luma_width((w + 15) / 16 * 16), luma_height((h + 15) / 16 * 16) {
        const size_t luma = size_t{luma_width} * luma_height;
        planes.assign(luma * 3 / 2, 0);
        std::memset(planes.data(), y, luma);
        std::memset(planes.data() + luma, first, luma / 4);
        std::memset(planes.data() + luma + luma / 4, second, luma / 4);
        marks.assign(luma_width / 16 * (luma_height / 16) + 1, 1);
        marks.back() = 0;
    }
    uint8_t* Luma(uint32_t x, uint32_t y) { return &planes[size_t{y} * luma_width + x]; }
    uint8_t* First(uint32_t x, uint32_t y) {
        return &planes[size_t{luma_width} * luma_height + size_t{y} * (luma_width / 2) + x];
    }
    uint8_t* Second(uint32_t x, uint32_t y) {
        return &planes[size_t{luma_width} * luma_height * 5 / 4 + size_t{y} * (luma_width / 2) + x];
    }
    FrameSource Source() const {
        FrameSource s{};
        s.frame = planes.data();
        s.alpha = alpha.empty() ? nullptr : alpha.data();
        s.block_marks = marks.data();
        s.mb_cols = luma_width / 16;
        s.mb_count = static_cast<uint32_t>(marks.size() - 1);
        s.source_width = width;
        s.source_height = height;
        s.luma_width = luma_width;
        s.luma_height = luma_height;
        return s;
    }
};

uint32_t BytesOf(uint32_t format) {
    if (format == 1 || format == 2) return 3;
    if (format >= 3 && format <= 6) return 4;
    return 2;
}

std::vector<KernelSet> AllSets() {
    std::vector<KernelSet> sets;
    for (KernelSet s : {KernelSet::kPlain, KernelSet::kSse2, KernelSet::kAvx2, KernelSet::kAvx512})
        if (KernelSetSupported(s)) sets.push_back(s);
    return sets;
}

class CopyFrameTest : public ::testing::Test {
protected:
    void TearDown() override { InstallKernelSet(DetectKernelSet()); }
};

// Converts the frame into a tight top-down buffer and returns it.
std::vector<uint8_t> Convert(const Frame& f, uint32_t flags, uint32_t wide = 1, uint32_t tall = 1) {
    const uint32_t pitch = f.width * wide * BytesOf(flags & 15);
    std::vector<uint8_t> out(size_t{pitch} * f.height * tall, 0xAB);
    CopyFrame(f.Source(), out.data(), static_cast<int32_t>(pitch), f.height * tall, 0, 0, flags);
    return out;
}

// Reads the (R, G, B) of pixel i of an RGB format.
void Rgb(const std::vector<uint8_t>& out, uint32_t format, size_t i, int* r, int* g, int* b) {
    const uint8_t* p = &out[i * BytesOf(format)];
    const uint32_t w = p[0] | p[1] << 8;
    switch (format) {
    case 1:
    case 3:
    case 5: *b = p[0], *g = p[1], *r = p[2]; break;
    case 2:
    case 4:
    case 6: *r = p[0], *g = p[1], *b = p[2]; break;
    case 7: *r = (w >> 8 & 15) << 4, *g = (w >> 4 & 15) << 4, *b = (w & 15) << 4; break;
    case 8:
    case 9: *r = (w >> 10 & 31) << 3, *g = (w >> 5 & 31) << 3, *b = (w & 31) << 3; break;
    case 10: *r = (w >> 11 & 31) << 3, *g = (w >> 5 & 63) << 2, *b = (w & 31) << 3; break;
    case 11: *r = (w >> 10 & 63) << 2, *g = (w >> 5 & 31) << 3, *b = (w & 31) << 3; break;
    default: *r = (w >> 10 & 63) << 2, *g = (w >> 4 & 63) << 2, *b = (w & 15) << 4; break;
    }
}

// Field widths of the RGB formats (8 for the byte formats).
uint32_t RedWidth(uint32_t f) { return f <= 6 ? 8 : (f == 7 ? 4 : (f == 11 || f == 12 ? 6 : 5)); }
uint32_t GreenWidth(uint32_t f) { return f <= 6 ? 8 : (f == 7 ? 4 : (f == 10 || f == 12 ? 6 : 5)); }
uint32_t BlueWidth(uint32_t f) { return f <= 6 ? 8 : (f == 7 || f == 12 ? 4 : 5); }
int Narrow(int c, uint32_t width) { return (c >> (8 - width)) << (8 - width); }

TEST_F(CopyFrameTest, BlackAndWhiteInEveryRgbFormat) {
    for (KernelSet set : AllSets()) {
        ASSERT_TRUE(InstallKernelSet(set));
        for (uint32_t format = 1; format <= 12; ++format) {
            const Frame black(48, 32, 16, 128, 128);
            const std::vector<uint8_t> out = Convert(black, format);
            for (size_t i = 0; i < 48 * 32; ++i) {
                int r, g, b;
                Rgb(out, format, i, &r, &g, &b);
                ASSERT_TRUE(r == 0 && g == 0 && b == 0)
                    << "format " << format << " pixel " << i << " " << KernelSetName(set);
            }
            // Y 235 is 254 in every component, narrowed to each field's width.
            const Frame white(48, 32, 235, 128, 128);
            const std::vector<uint8_t> w = Convert(white, format);
            for (size_t i = 0; i < 48 * 32; ++i) {
                int r, g, b;
                Rgb(w, format, i, &r, &g, &b);
                ASSERT_EQ(r, Narrow(254, RedWidth(format)))
                    << "format " << format << " " << KernelSetName(set);
                ASSERT_EQ(g, Narrow(254, GreenWidth(format)))
                    << "format " << format << " " << KernelSetName(set);
                ASSERT_EQ(b, Narrow(254, BlueWidth(format)))
                    << "format " << format << " " << KernelSetName(set);
            }
        }
    }
}

TEST_F(CopyFrameTest, RedPixelFromFullCr) {
    // Y 128, U 128, V 255 (the first chroma plane is V): R 255, G 27, B 130.
    for (KernelSet set : AllSets()) {
        ASSERT_TRUE(InstallKernelSet(set));
        const Frame f(32, 16, 128, 255, 128);
        const std::vector<uint8_t> out = Convert(f, 3);
        for (size_t i = 0; i < 32 * 16; ++i) {
            ASSERT_EQ(out[4 * i + 0], 130) << KernelSetName(set);
            ASSERT_EQ(out[4 * i + 1], 27);
            ASSERT_EQ(out[4 * i + 2], 255);
            ASSERT_EQ(out[4 * i + 3], 0);
        }
        // The swapped chroma order reads V from the second plane.
        const Frame g(32, 16, 128, 128, 255);
        const std::vector<uint8_t> swapped = Convert(g, 3 | kCopyChromaSwapped);
        EXPECT_EQ(swapped, out) << KernelSetName(set);
    }
}

TEST_F(CopyFrameTest, GreyScaleLevels) {
    for (KernelSet set : AllSets()) {
        ASSERT_TRUE(InstallKernelSet(set));
        const uint8_t lumas[] = {16, 235, 125};
        const uint8_t levels[] = {0, 255, 126};
        for (int k = 0; k < 3; ++k) {
            const Frame f(32, 16, lumas[k], 40, 220);
            const std::vector<uint8_t> out = Convert(f, 4 | kCopyGreyScale);
            for (size_t i = 0; i < 32 * 16; ++i) {
                ASSERT_EQ(out[4 * i], levels[k]) << KernelSetName(set);
                ASSERT_EQ(out[4 * i + 1], levels[k]);
                ASSERT_EQ(out[4 * i + 2], levels[k]);
                ASSERT_EQ(out[4 * i + 3], 0);
            }
        }
    }
}

TEST_F(CopyFrameTest, Yuy2AndUyvyBytes) {
    for (KernelSet set : AllSets()) {
        ASSERT_TRUE(InstallKernelSet(set));
        Frame f(32, 16, 0, 200, 100);  // V 200, U 100
        for (uint32_t y = 0; y < 16; ++y)
            for (uint32_t x = 0; x < 32; ++x) *f.Luma(x, y) = (x & 1) ? 20 : 10;
        const std::vector<uint8_t> yuy2 = Convert(f, 13);
        const std::vector<uint8_t> uyvy = Convert(f, 14);
        for (size_t pair = 0; pair < 16 * 16; ++pair) {
            const uint8_t* p = &yuy2[4 * pair];
            ASSERT_TRUE(p[0] == 10 && p[1] == 100 && p[2] == 20 && p[3] == 200)
                << KernelSetName(set) << " " << pair;
            const uint8_t* q = &uyvy[4 * pair];
            ASSERT_TRUE(q[0] == 100 && q[1] == 10 && q[2] == 200 && q[3] == 20)
                << KernelSetName(set) << " " << pair;
        }
        const std::vector<uint8_t> grey = Convert(f, 13 | kCopyGreyScale);
        for (size_t pair = 0; pair < 16 * 16; ++pair) {
            const uint8_t* p = &grey[4 * pair];
            ASSERT_TRUE(p[0] == 10 && p[1] == 128 && p[2] == 20 && p[3] == 128);
        }
    }
}

TEST_F(CopyFrameTest, Format10Values) {
    for (KernelSet set : AllSets()) {
        ASSERT_TRUE(InstallKernelSet(set));
        // Y 235, neutral chroma: R = G = B = 254, every field full.
        const Frame white(32, 16, 235, 128, 128);
        const std::vector<uint8_t> w = Convert(white, 10);
        EXPECT_EQ(w[0] | w[1] << 8, 0xFFFF) << KernelSetName(set);
        // Y 22, V 131, U 130: L 6, R 6 + 4 = 10, G 6 - 2 + 0 = 4, B 6 + 4 = 10,
        // which keep the fields of R 8, G 4, B 8: 0x0821.
        const Frame dark(32, 16, 22, 131, 130);
        const std::vector<uint8_t> d = Convert(dark, 10);
        for (size_t i = 0; i < 32 * 16; ++i)
            ASSERT_EQ(d[2 * i] | d[2 * i + 1] << 8, 0x0821) << KernelSetName(set);
        const std::vector<uint8_t> d3 = Convert(dark, 3);
        EXPECT_TRUE(d3[0] == 10 && d3[1] == 4 && d3[2] == 10) << KernelSetName(set);
    }
}

TEST_F(CopyFrameTest, Format5WithoutAlphaEqualsFormat3AndWithAlphaCarriesIt) {
    for (KernelSet set : AllSets()) {
        ASSERT_TRUE(InstallKernelSet(set));
        Frame f(40, 24, 0, 0, 0);
        for (size_t i = 0; i < f.planes.size(); ++i) f.planes[i] = static_cast<uint8_t>(i * 13 % 220 + 10);
        EXPECT_EQ(Convert(f, 5), Convert(f, 3)) << KernelSetName(set);
        EXPECT_EQ(Convert(f, 6), Convert(f, 4)) << KernelSetName(set);
        EXPECT_EQ(Convert(f, 8), Convert(f, 9)) << KernelSetName(set);
        f.alpha.assign(size_t{f.luma_width} * f.luma_height, 0);
        for (size_t i = 0; i < f.alpha.size(); ++i) f.alpha[i] = static_cast<uint8_t>(i * 7);
        const std::vector<uint8_t> with = Convert(f, 5);
        const std::vector<uint8_t> without = Convert(f, 3);
        for (uint32_t y = 0; y < 24; ++y) {
            for (uint32_t x = 0; x < 40; ++x) {
                const size_t i = size_t{y} * 40 + x;
                ASSERT_EQ(with[4 * i + 3], f.alpha[size_t{y} * f.luma_width + x]) << KernelSetName(set);
                ASSERT_EQ(std::memcmp(&with[4 * i], &without[4 * i], 3), 0);
            }
        }
        const std::vector<uint8_t> argb1555 = Convert(f, 8);
        const std::vector<uint8_t> argb4444 = Convert(f, 7);
        for (uint32_t y = 0; y < 24; ++y) {
            for (uint32_t x = 0; x < 40; ++x) {
                const size_t i = size_t{y} * 40 + x;
                const uint8_t a = f.alpha[size_t{y} * f.luma_width + x];
                ASSERT_EQ(argb1555[2 * i + 1] & 0x80, a & 0x80) << KernelSetName(set);
                ASSERT_EQ(argb4444[2 * i + 1] & 0xF0, a & 0xF0) << KernelSetName(set);
            }
        }
    }
}

TEST_F(CopyFrameTest, BottomUpBufferStartsAtTheLastRowInMemory) {
    Frame f(32, 16, 0, 128, 128);
    for (uint32_t x = 0; x < 32; ++x) *f.Luma(x, 0) = 235;  // top row white, rest black
    const uint32_t pitch = 32 * 4, rows = 20;
    std::vector<uint8_t> out(size_t{pitch} * rows, 0xAB);
    CopyFrame(f.Source(), out.data(), -static_cast<int32_t>(pitch), rows, 0, 0, 3);
    const uint8_t* first = &out[size_t{rows - 1} * pitch];
    EXPECT_EQ(first[0], 254);
    EXPECT_EQ(first[2], 254);
    EXPECT_EQ(out[size_t{rows - 2} * pitch], 0);      // second picture row: black
    EXPECT_EQ(out[size_t{rows - 16} * pitch], 0);     // last picture row
    EXPECT_EQ(out[size_t{rows - 17} * pitch], 0xAB);  // below the picture: untouched
    // With y = 2 the top row lands two rows further down the picture.
    std::vector<uint8_t> shifted(size_t{pitch} * rows, 0xAB);
    CopyFrame(f.Source(), shifted.data(), -static_cast<int32_t>(pitch), rows, 0, 2, 3);
    EXPECT_EQ(shifted[size_t{rows - 3} * pitch], 254);
    EXPECT_EQ(shifted[size_t{rows - 1} * pitch], 0xAB);
}

TEST_F(CopyFrameTest, Yv12PlanesAtOddX) {
    Frame f(36, 20, 0, 0, 0);
    for (uint32_t y = 0; y < f.luma_height; ++y)
        for (uint32_t x = 0; x < f.luma_width; ++x) *f.Luma(x, y) = static_cast<uint8_t>(x + 100 * (y & 1));
    for (uint32_t y = 0; y < f.luma_height / 2; ++y)
        for (uint32_t x = 0; x < f.luma_width / 2; ++x) *f.First(x, y) = 50, *f.Second(x, y) = 60;
    const uint32_t pitch = 64, rows = 24;
    const size_t size = size_t{pitch} * rows * 3 / 2;
    for (bool swapped : {false, true}) {
        std::vector<uint8_t> out(size, 0xAB);
        CopyFrame(f.Source(), out.data(), pitch, rows, 3, 1, 15 | (swapped ? kCopyChromaSwapped : 0));
        // x 3 -> 4, width 36 -> 35 -> 34; y 1 -> 2, height 20 -> 19 -> 18.
        EXPECT_EQ(out[size_t{2} * pitch + 3], 0xAB);
        EXPECT_EQ(out[size_t{2} * pitch + 4], 0);
        EXPECT_EQ(out[size_t{2} * pitch + 4 + 33], 33);
        EXPECT_EQ(out[size_t{2} * pitch + 4 + 34], 0xAB);
        EXPECT_EQ(out[size_t{3} * pitch + 5], 101);
        EXPECT_EQ(out[size_t{19} * pitch + 4], 100);
        EXPECT_EQ(out[size_t{20} * pitch + 4], 0xAB);
        const uint8_t* v = &out[size_t{pitch} * rows];
        const uint8_t* u = v + size_t{pitch / 2} * (rows / 2);
        // Chroma at (2, 1), 17 samples wide, 9 rows.
        EXPECT_EQ(v[1 * 32 + 1], 0xAB);
        EXPECT_EQ(v[1 * 32 + 2], swapped ? 60 : 50);
        EXPECT_EQ(v[1 * 32 + 2 + 16], swapped ? 60 : 50);
        EXPECT_EQ(v[1 * 32 + 2 + 17], 0xAB);
        EXPECT_EQ(u[9 * 32 + 2], swapped ? 50 : 60);
        EXPECT_EQ(u[10 * 32 + 2], 0xAB);
    }
    // The planes follow each other downwards: a bottom-up buffer gets nothing.
    std::vector<uint8_t> untouched(size, 0xAB);
    CopyFrame(f.Source(), untouched.data(), -static_cast<int32_t>(pitch), rows, 0, 0, 15);
    EXPECT_EQ(untouched, std::vector<uint8_t>(size, 0xAB));
    std::vector<uint8_t> grey(size, 0xAB);
    CopyFrame(f.Source(), grey.data(), pitch, rows, 0, 0, 15 | kCopyGreyScale);
    const uint8_t* chroma = &grey[size_t{pitch} * rows];
    for (uint32_t plane = 0; plane < 2; ++plane)
        for (uint32_t y = 0; y < 10; ++y)
            for (uint32_t x = 0; x < 18; ++x) ASSERT_EQ(chroma[plane * 32 * 12 + y * 32 + x], 128);
}

TEST_F(CopyFrameTest, PathChoice) {
    Frame f(64, 32, 100, 128, 128);
    FrameSource s = f.Source();
    EXPECT_EQ(ChooseCopyPath(s, 3), CopyPath::kWholeFrame);  // every block marked
    f.marks[3] = 0;
    s = f.Source();
    EXPECT_EQ(ChooseCopyPath(s, 3), CopyPath::kChangedBlocks);
    EXPECT_EQ(ChooseCopyPath(s, 3 | kCopyWholeFrame), CopyPath::kWholeFrame);
    EXPECT_EQ(ChooseCopyPath(s, 15), CopyPath::kPlanes);
    EXPECT_EQ(ChooseCopyPath(s, 0), CopyPath::kNone);

    // Unchanged blocks keep the old contents; marked ones are converted.
    std::vector<uint8_t> out(64 * 4 * 32, 0xAB);
    CopyFrame(s, out.data(), 64 * 4, 32, 0, 0, 3);
    EXPECT_EQ(out[(0 * 64 + 3 * 16) * 4], 0xAB);   // block 3 of row 0
    EXPECT_NE(out[(0 * 64 + 2 * 16) * 4], 0xAB);   // block 2 of row 0
    EXPECT_NE(out[(16 * 64 + 3 * 16) * 4], 0xAB);  // block 3 of row 1
}

TEST_F(CopyFrameTest, FormatZeroAndAboveFifteenCopyNothing) {
    const Frame f(32, 16, 100, 90, 80);
    std::vector<uint8_t> out(32 * 4 * 16, 0xAB);
    const std::vector<uint8_t> before = out;
    CopyFrame(f.Source(), out.data(), 32 * 4, 16, 0, 0, 0);
    EXPECT_EQ(out, before);
    CopyFrame(f.Source(), out.data(), 32 * 4, 16, 0, 0, 0 | kCopyWholeFrame | (3u << kCopyScaleShift));
    EXPECT_EQ(out, before);
    // The format field holds four bits: a caller's 16 is 0 there.
    CopyFrame(f.Source(), out.data(), 32 * 4, 16, 0, 0, 16);
    EXPECT_EQ(out, before);
    EXPECT_EQ(DescriptorForFormat(16, false), -1);
    EXPECT_EQ(DescriptorForFormat(15, false), -1);
}

TEST_F(CopyFrameTest, MergeCopyFlags) {
    EXPECT_EQ(MergeCopyFlags(0x3, 0xFFFFFFFF), 0x70030003u);
    EXPECT_EQ(MergeCopyFlags(0x80040005, 0x00100000), 0x80040005u);
    EXPECT_EQ(MergeCopyFlags(0x1, 0x10010000), 0x10010001u);
}

TEST_F(CopyFrameTest, VectorPathLumaAboveWhite) {
    // Luma 255 with neutral chroma: plain caps at 254, the vector path reaches 255.
    const Frame f(64, 16, 255, 128, 128);
    ASSERT_TRUE(InstallKernelSet(KernelSet::kPlain));
    EXPECT_EQ(Convert(f, 3)[4 * 20], 254);
    for (KernelSet set : {KernelSet::kSse2, KernelSet::kAvx2, KernelSet::kAvx512}) {
        if (!InstallKernelSet(set)) continue;
        EXPECT_EQ(Convert(f, 3)[4 * 20], 255) << KernelSetName(set);
        EXPECT_EQ(Convert(f, 3 | kCopyForcePlain)[4 * 20], 254) << KernelSetName(set);
    }
}

}  // namespace
}  // namespace zarn
