// Bit reader, code shapes and symbol trees.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "encoder/bit_writer.h"
#include "tests/video/stream_builder.h"
#include "video/bit_reader.h"
#include "video/code_shapes.h"
#include "video/symbol_tree.h"

namespace zarn {
namespace {
using namespace zarn::test;

BitReader ReaderOf(const std::vector<uint8_t>& bytes) { return MakeBitReader(bytes.data(), bytes.size(), 0); }

TEST(BitReader, ReadsLeastSignificantBitFirstAcrossWords) {
    BitWriter w;
    w.Put(0x000000A5, 32);
    w.Put(0x12345678, 32);
    auto bytes = w.Finish();
    BitReader r = ReaderOf(bytes);
    EXPECT_EQ(ReadBits(r, 4), 5u);
    EXPECT_EQ(ReadBits(r, 3), 2u);
    EXPECT_EQ(r.next, 4u);                // one word loaded so far
    EXPECT_EQ(ReadBits(r, 16), 0x0001u);  // rest of 0xA5 (bit 7) then zeros
    EXPECT_EQ(ReadBits(r, 5), 0u);
    // 4 bits left of word 0 (zero), then a field spanning into word 1.
    EXPECT_EQ(ReadBits(r, 12), 0x780u);  // low 4 bits from word 0, high 8 from word 1 (0x78)
    EXPECT_EQ(r.next, 8u);
    EXPECT_EQ(ReadBits(r, 8), 0x56u);
    EXPECT_EQ(ReadBit(r), 0u);
}

TEST(BitReader, SpanningFieldTakesLowBitsFromFirstWord) {
    BitWriter w;
    w.Put(0xF0000000u, 32);
    w.Put(0x00000003u, 32);
    auto bytes = w.Finish();
    BitReader r = ReaderOf(bytes);
    EXPECT_EQ(ReadBits(r, 16), 0u);
    EXPECT_EQ(ReadBits(r, 12), 0u);
    EXPECT_EQ(ReadBits(r, 8), 0x3Fu);
}

TEST(BitReader, BitsPastThePacketReadAsZero) {
    const std::vector<uint8_t> bytes = {0xFF, 0xFF, 0xFF};  // partial word
    BitReader r = ReaderOf(bytes);
    EXPECT_EQ(ReadBits(r, 16), 0xFFFFu);
    EXPECT_EQ(ReadBits(r, 16), 0x00FFu);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(ReadBits(r, 16), 0u);
    EXPECT_EQ(Peek7Bits(r), 0u);
}

// Canonical codes: within a length, words ascend with the index, the first
// bit read being the most significant; every shape's code is complete.
// Random field widths read through a BitCache, handed back to the reader
// at random points, must give the same values and the same reader state
// (word offset, buffer, count) as the plain reader, past the end included.
TEST(BitCache, MatchesTheReaderFieldByFieldAndOnRelease) {
    std::mt19937 rng(7);
    for (int trial = 0; trial < 200; ++trial) {
        std::vector<uint8_t> bytes(rng() % 23);
        for (auto& b : bytes) b = static_cast<uint8_t>(rng());
        BitReader plain = ReaderOf(bytes);
        BitReader cached = ReaderOf(bytes);
        for (int round = 0; round < 12; ++round) {
            BitCache c = AcquireBits(cached);
            const int fields = static_cast<int>(rng() % 6);
            for (int f = 0; f < fields; ++f) {
                const unsigned n = 1 + rng() % 16;
                Ensure(c, n);
                ASSERT_EQ(TakeBits(c, n), ReadBits(plain, n)) << "trial " << trial;
            }
            ReleaseBits(c, cached);
            ASSERT_EQ(cached.next, plain.next) << "trial " << trial;
            ASSERT_EQ(cached.count, plain.count) << "trial " << trial;
            ASSERT_EQ(cached.buffer, plain.buffer) << "trial " << trial;
        }
    }
}

TEST(BitCache, UnloadsAWordLoadedAheadAndNotRead) {
    const std::vector<uint8_t> bytes = {1, 2, 3, 4, 5, 6, 7, 8};
    BitReader r = ReaderOf(bytes);
    BitCache c = AcquireBits(r);
    Ensure(c, 16);
    EXPECT_EQ(TakeBits(c, 16), 0x0201u);
    Ensure(c, 17);  // loads the second word ahead
    EXPECT_EQ(TakeBits(c, 16), 0x0403u);
    ReleaseBits(c, r);
    EXPECT_EQ(r.next, 4u);
    EXPECT_EQ(r.count, 0u);
    EXPECT_EQ(ReadBits(r, 8), 5u);
}

TEST(CodeShapes, WordListsAreCompleteAndCanonical) {
    for (unsigned s = 0; s < 16; ++s) {
        std::vector<std::string> words;
        std::string text = kCodeShapeWords[s], cur;
        for (char c : text + " ") {
            if (c == ' ') {
                if (!cur.empty()) words.push_back(cur);
                cur.clear();
            } else {
                cur += c;
            }
        }
        ASSERT_EQ(words.size(), 16u) << "shape " << s;
        double kraft = 0;
        for (auto& word : words) kraft += 1.0 / (1u << word.size());
        EXPECT_DOUBLE_EQ(kraft, 1.0) << "shape " << s;
        if (s < 2) continue;
        unsigned code = 0, len = static_cast<unsigned>(words[0].size());
        for (unsigned i = 0; i < 16; ++i) {
            if (i > 0) {
                ++code;
                while (len < words[i].size()) code <<= 1, ++len;
            }
            std::string expect;
            for (unsigned b = len; b-- > 0;) expect += ((code >> b) & 1u) ? '1' : '0';
            EXPECT_EQ(words[i], expect) << "shape " << s << " index " << i;
        }
    }
}

TEST(CodeShapes, EverySymbolOfEveryShapeDecodes) {
    for (unsigned s = 0; s < 16; ++s) {
        const CodeShapeTable& t = CodeShapeTableFor(s);
        EXPECT_EQ(t.longest, s == 0 ? 4 : s <= 6 ? 5 : s <= 12 ? 6 : 7);
        for (unsigned i = 0; i < 16; ++i) {
            for (uint32_t after : {0x0u, 0x7FFFu}) {  // what follows must not matter
                BitWriter w;
                PutCodeWord(w, s, i);
                size_t len = w.BitCount();
                w.Put(after, 15);
                w.Put(0x2A5, 10);
                auto bytes = w.Finish();
                BitReader r = ReaderOf(bytes);
                EXPECT_EQ(DecodeCodeIndex(r, t), i) << "shape " << s;
                EXPECT_EQ(ReadBits(r, 15), after) << "shape " << s << " index " << i << " length " << len;
                EXPECT_EQ(ReadBits(r, 10), 0x2A5u);
            }
        }
    }
}

TEST(CodeShapes, ShapeZeroIsAPlainFourBitField) {
    for (unsigned v = 0; v < 16; ++v) {
        BitWriter w;
        w.Put(v, 4);
        auto bytes = w.Finish();
        BitReader r = ReaderOf(bytes);
        EXPECT_EQ(DecodeCodeIndex(r, CodeShapeTableFor(0)), v);
    }
}

std::vector<uint8_t> MapOf(const std::vector<uint8_t>& bytes, size_t* bits_read = nullptr) {
    BitReader r = ReaderOf(bytes);
    SymbolTree t = ReadSymbolTree(r);
    if (bits_read) *bits_read = r.next * 8 - r.count;
    return {t.map, t.map + 16};
}

TEST(SymbolTree, ShapeZeroIsIdentityAndReadsNothingMore) {
    BitWriter w;
    w.Put(0, 4);
    w.Put(0xFFFF, 16);
    size_t bits;
    auto m = MapOf(w.Finish(), &bits);
    EXPECT_EQ(bits, 4u);
    for (uint8_t i = 0; i < 16; ++i) EXPECT_EQ(m[i], i);
}

TEST(SymbolTree, ExplicitListsAppendTheRestAscending) {
    BitWriter w;
    w.Put(3, 4);  // shape 3
    w.PutBit(true);
    w.Put(7, 3);
    for (unsigned v : {15, 3, 7, 0, 9, 12, 1, 4}) w.Put(v, 4);
    EXPECT_EQ(MapOf(w.Finish()),
              (std::vector<uint8_t>{15, 3, 7, 0, 9, 12, 1, 4, 2, 5, 6, 8, 10, 11, 13, 14}));

    BitWriter w0;
    w0.Put(2, 4);
    w0.PutBit(true);
    w0.Put(0, 3);
    w0.Put(9, 4);
    EXPECT_EQ(MapOf(w0.Finish()),
              (std::vector<uint8_t>{9, 0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 15}));
}

TEST(SymbolTree, ShuffleWithoutMergesSwapsPairs) {
    BitWriter w;
    w.Put(5, 4);
    w.PutBit(false);
    w.Put(0, 2);
    for (int j = 0; j < 8; ++j) w.PutBit(j % 2 == 0);
    w.Put(0xFFFF, 16);
    size_t bits;
    auto m = MapOf(w.Finish(), &bits);
    EXPECT_EQ(bits, 4u + 1 + 2 + 8);
    EXPECT_EQ(m, (std::vector<uint8_t>{1, 0, 2, 3, 5, 4, 6, 7, 9, 8, 10, 11, 13, 12, 14, 15}));
}

TEST(SymbolTree, ShuffleMergesTakeRestOfRunWithoutBits) {
    // One level: pairs unswapped; merge (0,1)+(2,3) with bits 1,0,1 -> 2,0,3 then 1 without a bit.
    BitWriter w;
    w.Put(1, 4);
    w.PutBit(false);
    w.Put(1, 2);
    for (int j = 0; j < 8; ++j) w.PutBit(false);
    for (int b : {1, 0, 1}) w.PutBit(b);     // merge 1
    for (int b : {0, 0}) w.PutBit(b);        // merge 2: 4,5 then 6,7
    for (int b : {1, 1}) w.PutBit(b);        // merge 3: 10,11 then 8,9
    for (int b : {0, 1, 0, 1}) w.PutBit(b);  // merge 4: 12,14,13,15
    EXPECT_EQ(MapOf(w.Finish()),
              (std::vector<uint8_t>{2, 0, 3, 1, 4, 5, 6, 7, 10, 11, 8, 9, 12, 14, 13, 15}));
}

TEST(SymbolTree, ThreeMergeLevelsCanReverseTheOrder) {
    BitWriter w;
    w.Put(15, 4);
    w.PutBit(false);
    w.Put(3, 2);
    for (int j = 0; j < 8; ++j) w.PutBit(true);  // pairs (1,0) (3,2) ...
    for (int j = 0; j < 8; ++j) w.PutBit(true);  // level 1: 4 merges of 2 bits
    for (int j = 0; j < 8; ++j) w.PutBit(true);  // level 2: 2 merges of 4 bits
    for (int j = 0; j < 8; ++j) w.PutBit(true);  // level 3: 1 merge of 8 bits
    w.Put(0, 16);
    size_t bits;
    auto m = MapOf(w.Finish(), &bits);
    EXPECT_EQ(bits, 4u + 1 + 2 + 8 + 24);
    for (unsigned i = 0; i < 16; ++i) EXPECT_EQ(m[i], 15 - i);
}

TEST(SymbolTree, DecodedSymbolGoesThroughTheMap) {
    BitWriter w;
    w.Put(2, 4);
    w.PutBit(true);
    w.Put(0, 3);
    w.Put(9, 4);           // map 9,0,1,...
    PutCodeWord(w, 2, 0);  // index 0 -> 9
    PutCodeWord(w, 2, 5);  // index 5 -> 4
    auto bytes = w.Finish();
    BitReader r = ReaderOf(bytes);
    SymbolTree t = ReadSymbolTree(r);
    EXPECT_EQ(DecodeSymbol(r, t), 9);
    EXPECT_EQ(DecodeSymbol(r, t), 4);
}

}  // namespace
}  // namespace zarn
