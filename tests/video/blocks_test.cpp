// Block types rebuilt against pixels worked out by hand.
#include <gtest/gtest.h>

#include "encoder/coefficient_writer.h"
#include "tests/video/plane_fixture.h"
#include "video/blocks.h"

namespace zarn {
namespace {

using namespace zarn::test;

TEST(Blocks, SkipMotionAndUnusedTypes) {
    PlaneFixture p(32, 16);
    PlaneBuilder b(32, 16, false);
    b.Skip();
    b.Value(kBlockTypes, 10);
    b.Value(kBlockTypes, 11);
    b.Motion(0, 0);
    b.NextRow();
    b.Motion(-15, -15);  // source clamped into the plane: (0, 0)
    b.Motion(3, -2);
    b.Motion(15, 3);  // x clamped to the right edge (24), y 8 + 3
    b.Skip();
    p.Decode(b);
    auto prev = [&](uint32_t x, uint32_t y) { return p.PrevAt(x, y); };
    EXPECT_TRUE(p.BlockIs(0, 0, prev));
    EXPECT_TRUE(p.BlockIs(1, 0, [](auto, auto) { return 0xEE; }));
    EXPECT_TRUE(p.BlockIs(2, 0, [](auto, auto) { return 0xEE; }));
    EXPECT_TRUE(p.BlockIs(3, 0, prev));
    EXPECT_TRUE(p.BlockIs(0, 1, [&](uint32_t x, uint32_t y) { return p.PrevAt(x, y - 8); }));
    EXPECT_TRUE(p.BlockIs(1, 1, [&](uint32_t x, uint32_t y) { return p.PrevAt(x + 3, y - 2); }));
    EXPECT_TRUE(p.BlockIs(2, 1, [&](uint32_t x, uint32_t y) { return p.PrevAt(x + 8, y + 0); }));
    // Macroblock 0 (block columns 0-1, rows 0-1) is marked by the motion block of row 1;
    // macroblock 1 by motion blocks too. A plane of only skips and 10/11 marks nothing.
    EXPECT_EQ(p.marks[0], 1);
    EXPECT_EQ(p.marks[1], 1);

    PlaneFixture q(32, 8);
    PlaneBuilder c(32, 8, false);
    c.Skip();
    c.Value(kBlockTypes, 10);
    c.Value(kBlockTypes, 11);
    c.Skip();
    q.Decode(c);
    EXPECT_EQ(q.marks[0], 0);
    EXPECT_EQ(q.marks[1], 0);
}

TEST(Blocks, TypesTwelveToFifteenWriteAndMarkNothing) {
    for (int t = 12; t <= 15; ++t) {
        PlaneFixture p(32, 8);
        PlaneBuilder b(32, 8, false);
        for (int i = 0; i < 4; ++i) b.Value(kBlockTypes, t);  // one value: written as a fill chunk
        p.Decode(b);
        EXPECT_TRUE(std::all_of(p.dest.begin(), p.dest.end(), [](uint8_t v) { return v == 0xEE; }));
        EXPECT_EQ(p.marks[0] | p.marks[1], 0);
    }
}

TEST(Blocks, FillRawAndPattern) {
    PlaneFixture p(32, 8);
    PlaneBuilder b(32, 8, false);
    b.Fill(77);
    uint8_t raw[64];
    for (int i = 0; i < 64; ++i) raw[i] = static_cast<uint8_t>(3 * i + 1);
    b.Raw(raw);
    const uint8_t rows[8] = {0x00, 0xFF, 0x01, 0x80, 0x0F, 0xF0, 0x55, 0xAA};
    b.Pattern(10, 200, rows);
    b.Fill(5);
    p.Decode(b);
    EXPECT_TRUE(p.BlockIs(0, 0, [](auto, auto) { return 77; }));
    EXPECT_TRUE(p.BlockIs(1, 0, [](uint32_t x, uint32_t y) { return 3 * (y * 8 + x - 8) + 1; }));
    const char* expect[8] = {"00000000", "11111111", "10000000", "00000001",
                             "11110000", "00001111", "10101010", "01010101"};
    EXPECT_TRUE(p.BlockIs(2, 0, [&](uint32_t x, uint32_t y) { return expect[y][x - 16] == '1' ? 200 : 10; }));
    EXPECT_TRUE(p.BlockIs(3, 0, [](auto, auto) { return 5; }));
    EXPECT_EQ(p.marks[0], 1);
    EXPECT_EQ(p.marks[1], 1);
}

// Run block with scan order `scan` and runs of (one colour?, length, colours).
struct Run {
    bool one;
    int length;
    std::vector<uint8_t> colours;
};

void RunBlock(PlaneBuilder& b, unsigned scan, const std::vector<Run>& runs, int extra = -1) {
    b.Value(kBlockTypes, 3);
    b.Field(scan, 4);
    for (const Run& r : runs) {
        b.Field(r.one, 1);
        b.Value(kRunLengths, r.length - 1);
        for (uint8_t c : r.colours) b.Colour(c);
    }
    if (extra >= 0) b.Colour(static_cast<uint8_t>(extra));
}

TEST(Blocks, RunBlocksEndingAt64TakeNoExtraColour) {
    PlaneFixture p(16, 8);
    PlaneBuilder b(16, 8, false);
    // Scan 5 visits the left half by rows of four, then the right half.
    RunBlock(b, 5, {{true, 16, {10}}, {true, 16, {20}}, {true, 16, {30}}, {true, 16, {40}}});
    b.Fill(99);  // takes the next colour: would be wrong if the run block took one more
    p.Decode(b);
    EXPECT_TRUE(p.BlockIs(0, 0, [](uint32_t x, uint32_t y) { return (x < 4 ? 10 : 30) + (y < 4 ? 0 : 10); }));
    EXPECT_TRUE(p.BlockIs(1, 0, [](auto, auto) { return 99; }));
}

TEST(Blocks, RunBlocksEndingAt63TakeOneMoreColour) {
    PlaneFixture p(16, 8);
    PlaneBuilder b(16, 8, false);
    // Scan 7 goes row by row, odd rows right to left.
    RunBlock(b, 7,
             {{false, 3, {1, 2, 3}}, {true, 16, {50}}, {true, 16, {60}}, {true, 16, {70}}, {true, 12, {80}}},
             90);
    b.Fill(99);
    p.Decode(b);
    EXPECT_EQ(p.At(0, 0), 1);
    EXPECT_EQ(p.At(1, 0), 2);
    EXPECT_EQ(p.At(2, 0), 3);
    EXPECT_EQ(p.At(3, 0), 50);
    EXPECT_EQ(p.At(0, 2), 50);  // scan index 16..18 continue row 2 from the left
    EXPECT_EQ(p.At(2, 2), 50);
    EXPECT_EQ(p.At(3, 2), 60);
    EXPECT_EQ(p.At(7, 5), 70);  // row 5 runs right to left from index 40
    EXPECT_EQ(p.At(3, 6), 80);  // index 51
    EXPECT_EQ(p.At(7, 7), 80);  // index 56
    EXPECT_EQ(p.At(1, 7), 80);  // index 62
    EXPECT_EQ(p.At(0, 7), 90);  // index 63: the extra colour
    EXPECT_TRUE(p.BlockIs(1, 0, [](auto, auto) { return 99; }));
}

TEST(Blocks, RunPastTheLastPositionIsCut) {
    PlaneFixture p(16, 8);
    PlaneBuilder b(16, 8, false);
    RunBlock(b, 0, {{true, 16, {1}}, {true, 16, {2}}, {true, 16, {3}}, {true, 10, {4}}, {true, 16, {5}}});
    b.Fill(99);
    p.Decode(b);
    EXPECT_EQ(p.At(7, 0), 5);  // the last position, then the run stops
    EXPECT_TRUE(p.BlockIs(1, 0, [](auto, auto) { return 99; }));
}

TEST(Blocks, IntraBlocksThroughTheTransform) {
    PlaneFixture p(32, 8);
    PlaneBuilder b(32, 8, false);
    int16_t coef[64] = {};
    b.Intra(1024, coef, 0);  // flat 128
    coef[1] = 100;
    b.Intra(1024, coef, 0);  // row [145 143 138 131 125 118 113 111]
    coef[1] = 0;
    b.Intra(2047, coef, 15);  // 11258 wraps to 250
    coef[8] = -100;           // row 1, column 0: intra table 0 entry 124989
    b.Intra(1024, coef, 0);
    p.Decode(b);
    const int row[8] = {145, 143, 138, 131, 125, 118, 113, 111};
    EXPECT_TRUE(p.BlockIs(0, 0, [](auto, auto) { return 128; }));
    EXPECT_TRUE(p.BlockIs(1, 0, [&](uint32_t x, uint32_t) { return row[x - 8]; }));
    EXPECT_TRUE(p.BlockIs(2, 0, [](auto, auto) { return 250; }));
    const int column[8] = {104, 108, 114, 123, 133, 142, 148, 152};
    EXPECT_TRUE(p.BlockIs(3, 0, [&](uint32_t, uint32_t y) { return column[y]; }));
}

TEST(Blocks, InterAndResidueWrapModulo256) {
    PlaneFixture p(32, 8);
    for (uint32_t y = 0; y < 8; ++y)
        for (uint32_t x = 0; x < 32; ++x) p.prev[y * 32 + x] = 250;
    PlaneBuilder b(32, 8, false);
    int16_t coef[64] = {};
    b.Inter(0, 0, 80, coef, 0);   // +10 everywhere: (80 x 32 + 127) >> 8
    b.Inter(0, 0, -80, coef, 0);  // -10: (-2560 + 127) >> 8 = -10
    int8_t res[64] = {};
    res[0] = 10;
    res[9] = -3;
    res[63] = 127;
    b.Residue(0, 0, res, 127);
    b.Skip();
    p.Decode(b);
    EXPECT_TRUE(p.BlockIs(0, 0, [](auto, auto) { return 4; }));
    EXPECT_TRUE(p.BlockIs(1, 0, [](auto, auto) { return 240; }));
    EXPECT_EQ(p.At(16, 0), 4);
    EXPECT_EQ(p.At(17, 1), 247);
    EXPECT_EQ(p.At(23, 7), (250 + 127) & 255);
    EXPECT_EQ(p.At(18, 0), 250);
}

TEST(Blocks, ScaledBlocksWriteEnlargedOnEvenRowsOnly) {
    PlaneFixture p(32, 32);
    PlaneBuilder b(32, 32, false);
    // Row 0: scaled fill, scaled pattern.
    b.Value(kBlockTypes, 1);
    b.Value(kSubBlockTypes, 6);
    b.Colour(55);
    b.Value(kBlockTypes, 1);
    b.Value(kSubBlockTypes, 8);
    b.Colour(1);
    b.Colour(2);
    const uint8_t rows[8] = {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80};
    for (uint8_t r : rows) b.Value(kPatterns, r);
    b.NextRow();
    b.Value(kBlockTypes, 1);  // odd row: nothing written, two columns covered
    b.Value(kBlockTypes, 1);
    b.NextRow();
    // Row 2: scaled intra (enlarged transform), scaled raw.
    int16_t coef[64] = {};
    coef[1] = 100;
    b.Value(kBlockTypes, 1);
    b.Value(kSubBlockTypes, 5);
    b.Value(kIntraDc, 1024);
    WriteAcCoefficients(coef, b.Fields());
    b.Field(0, 4);
    b.Value(kBlockTypes, 1);
    b.Value(kSubBlockTypes, 9);
    for (int i = 0; i < 64; ++i) b.Colour(static_cast<uint8_t>(i));
    b.NextRow();
    b.Value(kBlockTypes, 1);
    b.Value(kBlockTypes, 1);
    p.Decode(b);
    const int row[8] = {145, 143, 138, 131, 125, 118, 113, 111};
    for (uint32_t y = 0; y < 16; ++y)
        for (uint32_t x = 0; x < 16; ++x) {
            ASSERT_EQ(p.At(x, y), 55);
            ASSERT_EQ(p.At(16 + x, y), (x / 2 == y / 2) ? 2 : 1) << x << "," << y;
            ASSERT_EQ(p.At(x, 16 + y), row[x / 2]);
            ASSERT_EQ(p.At(16 + x, 16 + y), (y / 2) * 8 + x / 2);
        }
    for (int m = 0; m < 4; ++m) EXPECT_EQ(p.marks[m], 1);
}

TEST(Blocks, ScaledBlockOnAnOddRowMarksBothColumnsAndWritesNothing) {
    PlaneFixture p(32, 16);
    PlaneBuilder b(32, 16, false);
    for (int i = 0; i < 4; ++i) b.Skip();
    b.NextRow();
    b.Value(kBlockTypes, 1);
    b.Value(kBlockTypes, 3 - 3);  // a skip in column 2
    b.Skip();
    p.Decode(b);
    EXPECT_TRUE(p.BlockIs(0, 1, [](auto, auto) { return 0xEE; }));
    EXPECT_TRUE(p.BlockIs(1, 1, [](auto, auto) { return 0xEE; }));
    EXPECT_TRUE(p.BlockIs(2, 1, [&](uint32_t x, uint32_t y) { return p.PrevAt(x, y); }));
    EXPECT_EQ(p.marks[0], 1);
    EXPECT_EQ(p.marks[1], 0);
}

TEST(Blocks, ScaledBlockInTheLastColumnIsCutToThePlane) {
    PlaneFixture p(24, 8);
    PlaneBuilder b(24, 8, false);
    b.Skip();
    b.Skip();
    b.Value(kBlockTypes, 1);
    b.Value(kSubBlockTypes, 6);
    b.Colour(9);
    p.Decode(b);
    EXPECT_TRUE(p.BlockIs(2, 0, [](auto, auto) { return 9; }));
    EXPECT_EQ(p.marks[0], 0);  // map is one macroblock wide; column 2 maps to byte 1 of the map row
    EXPECT_EQ(p.marks[1], 1);
}

TEST(Blocks, EmptyBundleAbandonsTheRestOfThePlane) {
    PlaneFixture p(32, 16);
    PlaneBuilder b(32, 16, false);
    b.Fill(1);
    b.Fill(2);
    b.Value(kBlockTypes, 6);  // no colour left: the plane stops here
    b.Value(kBlockTypes, 6);
    b.NextRow();
    b.Skip();
    p.Decode(b);
    EXPECT_TRUE(p.BlockIs(1, 0, [](auto, auto) { return 2; }));
    EXPECT_TRUE(p.BlockIs(3, 0, [](auto, auto) { return 0xEE; }));
    EXPECT_TRUE(p.BlockIs(0, 1, [](auto, auto) { return 0xEE; }));
}

}  // namespace
}  // namespace zarn
