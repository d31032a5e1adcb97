#include "encoder/bit_writer.h"

#include <gtest/gtest.h>

namespace zarn {
namespace {

TEST(BitWriter, FirstBitIsLeastSignificantOfLittleEndianWord) {
    BitWriter w;
    w.Put(5, 4);     // 0101
    w.Put(2, 3);     // 010 -> bits 4..6
    w.PutBit(true);  // bit 7
    std::vector<uint8_t> bytes = w.Finish();
    ASSERT_EQ(bytes.size(), 4u);
    EXPECT_EQ(bytes[0], 0xA5);
    EXPECT_EQ(bytes[1], 0);
    EXPECT_EQ(bytes[3], 0);
}

TEST(BitWriter, FieldsSpanWordsLowBitsFirst) {
    BitWriter w;
    w.Put(0, 30);
    w.Put(0xF, 4);  // two bits in word 0 (bits 30, 31), two in word 1 (bits 0, 1)
    EXPECT_EQ(w.BitCount(), 34u);
    std::vector<uint8_t> bytes = w.Finish();
    ASSERT_EQ(bytes.size(), 8u);
    EXPECT_EQ(bytes[3], 0xC0);
    EXPECT_EQ(bytes[4], 0x03);
}

TEST(BitWriter, WholeWordsAndMasking) {
    BitWriter w;
    w.Put(0xDEADBEEF, 32);
    w.Put(0xFFFFFFFF, 1);  // only one bit taken
    w.AlignWord();
    EXPECT_EQ(w.BitCount(), 64u);
    std::vector<uint8_t> bytes = w.Finish();
    ASSERT_EQ(bytes.size(), 8u);
    EXPECT_EQ(bytes[0], 0xEF);
    EXPECT_EQ(bytes[3], 0xDE);
    EXPECT_EQ(bytes[4], 0x01);
    EXPECT_EQ(bytes[5], 0x00);
}

}  // namespace
}  // namespace zarn
