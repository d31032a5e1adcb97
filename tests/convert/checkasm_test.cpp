// Every descriptor, format, scaling mode and path converted with the plain
// routines and every available SIMD set: plain output must equal the
// reference; SIMD output must equal plain for luma below 236 and, for any
// luma, the plain or the vector-path reference value.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "convert/colour_tables.h"
#include "convert/convert_frame.h"
#include "convert/copy_flags.h"
#include "convert/copy_frame.h"
#include "base/cpu_features.h"
#include "convert/descriptors.h"
#include "convert/kernel_types.h"
#include "tests/convert/reference_convert.h"

namespace zarn {
namespace {

using zarn_test::RefConvert;
using zarn_test::RefCopy;
using zarn_test::RefFrame;

constexpr uint32_t kLumaWidth = 48;
constexpr uint32_t kLumaHeight = 32;

RefFrame RandomFrame(std::mt19937& rng, bool full_range, bool with_alpha, uint32_t luma_width = kLumaWidth,
                     uint32_t luma_height = kLumaHeight) {
    RefFrame f;
    f.luma_width = luma_width;
    f.luma_height = luma_height;
    const size_t luma = size_t{luma_width} * luma_height;
    f.planes.resize(luma * 3 / 2);
    for (size_t i = 0; i < f.planes.size(); ++i) {
        const uint32_t limit = (i < luma && !full_range) ? 236 : 256;
        f.planes[i] = static_cast<uint8_t>(rng() % limit);
    }
    if (with_alpha) {
        f.alpha.resize(luma);
        for (auto& a : f.alpha) a = static_cast<uint8_t>(rng());
    }
    return f;
}

struct Case {
    uint32_t format;
    bool alpha;
    bool grey;
    uint32_t mode;
    uint32_t x;
    uint32_t width;
    bool bottom_up;
    bool changed;
    bool swapped;
};

std::string Describe(const Case& c, KernelSet set) {
    return "format " + std::to_string(c.format) + (c.alpha ? " alpha" : "") + (c.grey ? " grey" : "") +
           " mode " + std::to_string(c.mode) + " x " + std::to_string(c.x) + " width " +
           std::to_string(c.width) + (c.bottom_up ? " bottom-up" : "") + (c.changed ? " changed" : " whole") +
           (c.swapped ? " swapped" : "") + " set " + KernelSetName(set);
}

struct Geometry {
    int32_t pitch;
    uint32_t buffer_height;
    size_t size;
};

Geometry GeometryFor(const Case& c, uint32_t height) {
    const uint32_t wide = WidthFactor(c.mode);
    const uint32_t bytes = zarn_test::RefBytesPerPixel(c.format);
    const uint32_t row_bytes = (c.x + c.width * wide + 3) * bytes;
    const uint32_t pitch = (row_bytes + 7) & ~7u;
    const uint32_t rows = 3 + height * RowSpan(c.mode) + 2;
    return {c.bottom_up ? -static_cast<int32_t>(pitch) : static_cast<int32_t>(pitch), rows,
            size_t{pitch} * rows};
}

// Forces the tuning words: 0 leaves them to the live measurement, 1 settles
// every word on (a), 3 on (b).
void ForceTuning(uint32_t word) {
    for (auto& d : g_descriptors)
        for (auto& t : d.tuning) t = word;
}

std::vector<KernelSet> SimdSets() {
    std::vector<KernelSet> sets;
    for (KernelSet s : {KernelSet::kSse2, KernelSet::kAvx2, KernelSet::kAvx512})
        if (KernelSetSupported(s)) sets.push_back(s);
    return sets;
}

class CheckAsm : public ::testing::Test {
protected:
    void TearDown() override {
        InstallKernelSet(DetectKernelSet());
        ForceTuning(0);
    }
};

// The reference copy of case `c` at destination row `y`.
RefCopy RefCopyFor(const Case& c, uint32_t height, const Geometry& g, const std::vector<uint8_t>& marks,
                   uint32_t y, uint32_t mb_cols = kLumaWidth / 16) {
    RefCopy r;
    r.format = c.format;
    r.mode = c.mode;
    r.grey = c.grey;
    r.swapped = c.swapped;
    r.use_alpha = c.alpha;
    r.x = c.x;
    r.y = y;
    r.width = c.width;
    r.height = height;
    r.pitch = g.pitch;
    r.buffer_height = g.buffer_height;
    if (c.changed) {
        r.block_marks = marks.data();
        r.mb_cols = mb_cols;
    }
    return r;
}

void RunCopy(const RefFrame& f, const Case& c, uint32_t height, const std::vector<uint8_t>& marks,
             uint8_t* buffer, const Geometry& g, uint32_t y = 3) {
    FrameSource s{};
    s.frame = f.planes.data();
    s.alpha = f.alpha.empty() ? nullptr : f.alpha.data();
    s.block_marks = marks.data();
    s.mb_cols = f.luma_width / 16;
    s.mb_count = s.mb_cols * (f.luma_height / 16);
    s.source_width = c.width;
    s.source_height = height;
    s.luma_width = f.luma_width;
    s.luma_height = f.luma_height;
    uint32_t flags = c.format | (c.mode << kCopyScaleShift) | (c.grey ? kCopyGreyScale : 0) |
                     (c.swapped ? kCopyChromaSwapped : 0) | (c.changed ? 0 : kCopyWholeFrame);
    CopyFrame(s, buffer, g.pitch, g.buffer_height, c.x, y, flags);
}

TEST_F(CheckAsm, EverySetMatchesPlainAndReference) {
    std::mt19937 rng(1234);
    const std::vector<KernelSet> simd = SimdSets();
    const uint32_t formats[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
    uint32_t variant = 0;
    int failures = 0;
    for (bool full_range : {false, true}) {
        for (uint32_t format : formats) {
            for (bool alpha : {false, true}) {
                if (alpha && (format < 5 || format > 8)) continue;
                const RefFrame frame = RandomFrame(rng, full_range, alpha);
                for (bool grey : {false, true}) {
                    for (uint32_t mode = 0; mode <= 6; ++mode) {
                        for (uint32_t x : {1u, 2u}) {
                            for (uint32_t width : {45u, 48u}) {
                                // Fewer combinations in the full-range pass.
                                if (full_range && ((x + width + mode) % 3) != 0) continue;
                                const uint32_t height = width == 45 ? 29 : 32;
                                for (bool bottom_up : {false, true}) {
                                    {
                                        // Each x meets both buffer directions and both paths.
                                        const bool changed = bottom_up == (x == 1);
                                        const Case c{format,    alpha,   grey,
                                                     mode,      x,       width,
                                                     bottom_up, changed, (variant % 5) == 1};
                                        ++variant;
                                        std::vector<uint8_t> marks(kLumaWidth / 16 * (kLumaHeight / 16) + 1,
                                                                   0);
                                        for (size_t i = 0; i + 1 < marks.size(); ++i)
                                            marks[i] = (rng() % 3) != 0;
                                        marks[rng() % (marks.size() - 1)] = 0;
                                        const Geometry g = GeometryFor(c, height);
                                        std::vector<uint8_t> sentinel(g.size);
                                        for (size_t i = 0; i < sentinel.size(); ++i)
                                            sentinel[i] = static_cast<uint8_t>(i * 37 + variant);

                                        RefCopy r = RefCopyFor(c, height, g, marks, 3);
                                        std::vector<uint8_t> expected = sentinel;
                                        RefConvert(frame, r, expected.data());
                                        std::vector<uint8_t> expected_vector;
                                        if (full_range) {
                                            expected_vector = sentinel;
                                            r.vector_luma = true;
                                            RefConvert(frame, r, expected_vector.data());
                                        }

                                        ForceTuning(variant % 3 == 0 ? 0 : (variant % 3 == 1 ? 1 : 3));
                                        ASSERT_TRUE(InstallKernelSet(KernelSet::kPlain));
                                        std::vector<uint8_t> plain = sentinel;
                                        RunCopy(frame, c, height, marks, plain.data(), g);
                                        if (plain != expected && ++failures < 10)
                                            ADD_FAILURE() << "plain differs from reference: "
                                                          << Describe(c, KernelSet::kPlain);

                                        for (KernelSet set : simd) {
                                            ASSERT_TRUE(InstallKernelSet(set));
                                            std::vector<uint8_t> out = sentinel;
                                            RunCopy(frame, c, height, marks, out.data(), g);
                                            if (!full_range) {
                                                if (out != plain && ++failures < 10)
                                                    ADD_FAILURE()
                                                        << "differs from plain: " << Describe(c, set);
                                            } else {
                                                for (size_t i = 0; i < out.size(); ++i) {
                                                    if (out[i] != expected[i] &&
                                                        out[i] != expected_vector[i]) {
                                                        if (++failures < 10)
                                                            ADD_FAILURE() << "byte " << i
                                                                          << " outside the allowed values: "
                                                                          << Describe(c, set);
                                                        break;
                                                    }
                                                }
                                            }
                                        }
                                    }
                                }
                            }
                        }
                    }
                }
            }
        }
    }
    EXPECT_EQ(failures, 0);
}

// A part of the frame at odd source x and y: the first row goes alone
// through the row routine, runs start at odd columns.
TEST_F(CheckAsm, PartAtOddSourcePosition) {
    std::mt19937 rng(99);
    const std::vector<KernelSet> simd = SimdSets();
    for (uint32_t format : {1u, 3u, 6u, 7u, 10u, 13u}) {
        const bool alpha = format == 6 || format == 7;
        const RefFrame frame = RandomFrame(rng, false, alpha);
        for (uint32_t mode = 0; mode <= 6; ++mode) {
            for (bool grey : {false, true}) {
                const Case c{format, alpha, grey, mode, 5, 40, false, false, false};
                const Geometry g = GeometryFor(c, 24);
                std::vector<uint8_t> sentinel(g.size);
                for (auto& b : sentinel) b = static_cast<uint8_t>(rng());
                RefCopy r = RefCopyFor(c, 24, g, {}, 1);
                r.source_x = 7;
                r.source_y = mode == 6 ? 6 : 5;  // odd after halving too
                std::vector<uint8_t> expected = sentinel;
                RefConvert(frame, r, expected.data());
                const int d = DescriptorForFormat(format, alpha);
                PrepareConversionTables(static_cast<int32_t>(format));
                const uint32_t flags = format | (mode << kCopyScaleShift) | (grey ? kCopyGreyScale : 0);
                for (KernelSet set :
                     {KernelSet::kPlain, KernelSet::kSse2, KernelSet::kAvx2, KernelSet::kAvx512}) {
                    if (!InstallKernelSet(set)) continue;
                    std::vector<uint8_t> out = sentinel;
                    ConvertFrame(out.data(), r.x, r.y, g.pitch, frame.Luma(), r.source_x, r.source_y, r.width,
                                 r.height, kLumaWidth, kLumaHeight, alpha ? frame.alpha.data() : nullptr,
                                 flags, g_descriptors[d]);
                    EXPECT_TRUE(out == expected) << "format " << format << " mode " << mode << " grey "
                                                 << grey << " set " << KernelSetName(set);
                }
            }
        }
    }
    (void)simd;
}

// Small and odd sizes (down to one pixel or one row), random positions,
// formats, modes and paths.
TEST_F(CheckAsm, RandomSmallGeometries) {
    std::mt19937 rng(2024);
    const std::vector<KernelSet> simd = SimdSets();
    for (int iteration = 0; iteration < 300; ++iteration) {
        const uint32_t format = 1 + rng() % 14;
        const bool alpha = format >= 5 && format <= 8 && (rng() & 1);
        const RefFrame frame = RandomFrame(rng, false, alpha);
        Case c{format,
               alpha,
               (rng() % 4) == 0,
               static_cast<uint32_t>(rng() % 7),
               static_cast<uint32_t>(rng() % 6),
               1 + static_cast<uint32_t>(rng() % kLumaWidth),
               (rng() & 1) != 0,
               (rng() & 1) != 0,
               (rng() & 1) != 0};
        const uint32_t height = 1 + rng() % kLumaHeight;
        std::vector<uint8_t> marks(kLumaWidth / 16 * (kLumaHeight / 16) + 1, 0);
        for (size_t i = 0; i + 1 < marks.size(); ++i) marks[i] = (rng() & 1) != 0;
        marks[rng() % (marks.size() - 1)] = 0;
        const Geometry g = GeometryFor(c, height);
        std::vector<uint8_t> sentinel(g.size);
        for (size_t i = 0; i < sentinel.size(); ++i) sentinel[i] = static_cast<uint8_t>(i * 11 + iteration);
        const RefCopy r = RefCopyFor(c, height, g, marks, 3);
        std::vector<uint8_t> expected = sentinel;
        RefConvert(frame, r, expected.data());
        for (KernelSet set : {KernelSet::kPlain, KernelSet::kSse2, KernelSet::kAvx2, KernelSet::kAvx512}) {
            if (!InstallKernelSet(set)) continue;
            std::vector<uint8_t> out = sentinel;
            RunCopy(frame, c, height, marks, out.data(), g);
            ASSERT_TRUE(out == expected) << Describe(c, set) << " height " << height;
        }
    }
}

// Changed blocks of 32-bit layouts whose rows start on cache lines, as in a
// surface at x 0: the kernels may write them with streaming stores. Rows of
// 19 blocks: the marks are read eight at a time, then one by one.
TEST_F(CheckAsm, AlignedChangedBlocksMatchReference) {
    std::mt19937 rng(31);
    constexpr uint32_t kWide = 19 * 16, kTall = 64;
    constexpr int32_t kPitch = 1280;
    for (uint32_t format : {3u, 4u, 5u, 6u}) {
        for (bool bottom_up : {false, true}) {
            const bool alpha = format >= 5;
            const RefFrame frame = RandomFrame(rng, false, alpha, kWide, kTall);
            std::vector<uint8_t> marks(kWide / 16 * (kTall / 16) + 1, 0);
            for (size_t i = 0; i + 1 < marks.size(); ++i) marks[i] = (rng() & 1) != 0;
            const Case c{format, alpha, false, 0, 0, kWide, bottom_up, true, false};
            const Geometry g{bottom_up ? -kPitch : kPitch, kTall, size_t{kPitch} * kTall};
            std::vector<uint8_t> storage(g.size + 64);
            uint8_t* const start =
                storage.data() + (64 - reinterpret_cast<uintptr_t>(storage.data()) % 64) % 64;
            std::vector<uint8_t> expected(g.size, 7);
            RefConvert(frame, RefCopyFor(c, kTall, g, marks, 0, kWide / 16), expected.data());
            for (KernelSet set : SimdSets()) {
                ASSERT_TRUE(InstallKernelSet(set));
                std::memset(start, 7, g.size);
                RunCopy(frame, c, kTall, marks, start, g, 0);
                EXPECT_TRUE(std::equal(expected.begin(), expected.end(), start)) << Describe(c, set);
            }
        }
    }
}

// The colour block routines called directly, as the changed-blocks copy
// calls them, for every run width and count of row pairs (the copy passes
// whole blocks; other shapes must convert as well), on destinations that
// start on a cache line and ones that do not.
TEST_F(CheckAsm, ColourBlockRoutinesMatchPlainForEveryShape) {
    std::mt19937 rng(77);
    constexpr uint32_t kWide = 80, kTall = 16;
    constexpr ptrdiff_t kPitch = kWide * 4 + 64;
    const RefFrame frame = RandomFrame(rng, false, true, kWide, kTall);
    const uint8_t* luma = frame.planes.data();
    const uint8_t* v = luma + kWide * kTall;
    const uint8_t* u = v + kWide * kTall / 4;
    std::vector<uint8_t> storage(kPitch * kTall + 128);
    uint8_t* const lines = storage.data() + (64 - reinterpret_cast<uintptr_t>(storage.data()) % 64) % 64;
    auto convert = [&](const GroupEntry& e, uint32_t offset, uint32_t blocks, uint32_t pairs) {
        std::fill(storage.begin(), storage.end(), 7);
        KernelRows k{luma,
                     luma + kWide,
                     v,
                     u,
                     frame.alpha.data(),
                     frame.alpha.data() + kWide,
                     lines + offset,
                     lines + offset + kPitch,
                     0};
        e.block(k, (blocks * 16) >> e.step, pairs, PairStrides{2 * kWide, kWide / 2, 2 * kPitch});
        FenceStreamingStores();
        return storage;
    };
    for (int d = kDescBgrx32; d <= kDescRgba32; ++d) {
        PrepareConversionTables(static_cast<int32_t>(kFormatBgrx32 + d - kDescBgrx32));
        for (uint32_t offset : {0u, 4u}) {
            for (uint32_t blocks = 1; blocks <= kWide / 16; ++blocks) {
                for (uint32_t pairs = 1; pairs <= kTall / 2; ++pairs) {
                    ASSERT_TRUE(InstallKernelSet(KernelSet::kPlain));
                    const std::vector<uint8_t> plain =
                        convert(g_descriptors[d].groups[kGroupColourEven], offset, blocks, pairs);
                    for (KernelSet set : SimdSets()) {
                        ASSERT_TRUE(InstallKernelSet(set));
                        EXPECT_TRUE(convert(g_descriptors[d].groups[6 + kGroupColourEven], offset, blocks,
                                            pairs) == plain)
                            << "descriptor " << d << " offset " << offset << " blocks " << blocks << " pairs "
                            << pairs << " set " << KernelSetName(set);
                    }
                }
            }
        }
    }
}

// Copy flag 0x40000 makes a SIMD build produce the plain bytes, luma 255 included.
TEST_F(CheckAsm, ForcePlainFlagGivesPlainBytes) {
    std::mt19937 rng(7);
    RefFrame frame = RandomFrame(rng, true, false);
    const Case c{3, false, false, 0, 0, 48, false, false, false};
    const Geometry g = GeometryFor(c, 32);
    std::vector<uint8_t> expected(g.size, 0);
    RefConvert(frame, RefCopyFor(c, 32, g, {}, 3), expected.data());
    for (KernelSet set : SimdSets()) {
        ASSERT_TRUE(InstallKernelSet(set));
        std::vector<uint8_t> out(g.size, 0);
        FrameSource s{frame.planes.data(), nullptr, nullptr, 3, 6, 48, 32, kLumaWidth, kLumaHeight};
        CopyFrame(s, out.data(), g.pitch, g.buffer_height, 0, 3, 3 | kCopyForcePlain | kCopyWholeFrame);
        EXPECT_TRUE(out == expected) << KernelSetName(set);
    }
}

}  // namespace
}  // namespace zarn
