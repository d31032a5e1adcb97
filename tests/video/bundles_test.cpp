// Chunk formats and bundle refills.
#include <gtest/gtest.h>

#include <random>

#include "encoder/bit_writer.h"
#include "encoder/symbol_tree_writer.h"
#include "video/bundles.h"

namespace zarn {
namespace {

// Nine buffers for a plane 64 pixels wide, and bundles whose trees are all
// of code shape 0 (symbols are plain 4-bit fields).
struct Bundles {
    std::vector<std::vector<uint8_t>> storage;
    uint8_t* buffers[kBundleCount];
    PlaneBundles pb;
    std::vector<uint8_t> bytes;
    BitReader r;

    explicit Bundles(bool older = false, uint32_t width = 64) : storage(kBundleCount) {
        for (unsigned i = 0; i < kBundleCount; ++i) {
            storage[i].assign(BundleBufferBytes(i, width), 0);
            buffers[i] = storage[i].data();
        }
        InitBundles(pb, buffers, width, width, older);
    }
    // Starts reading `w` after 23 identity trees have been read from it.
    void Start(BitWriter& w) {
        bytes = w.Finish();
        r = MakeBitReader(bytes.data(), bytes.size(), 0);
        ReadBundleTrees(pb, r);
    }
    size_t BitsRead() const { return r.next * 8 - r.count; }
    std::vector<int> Values(unsigned id) {
        std::vector<int> out;
        bool failed = false;
        Bundle& b = pb.bundle[id];
        while (b.pos < b.end)
            out.push_back(id == kIntraDc || id == kInterDc     ? TakeDc(b, failed)
                          : id == kXOffsets || id == kYOffsets ? TakeSigned(b, failed)
                                                               : TakeByte(b, failed));
        EXPECT_FALSE(failed);
        return out;
    }
};

void IdentityTrees(BitWriter& w) {
    for (int i = 0; i < 23; ++i) w.Put(0, 4);
}

// Count widths of the nine bundles in a plane 64 pixels wide.
constexpr unsigned kWidth64[kBundleCount] = {10, 10, 10, 10, 10, 10, 10, 10, 10};

TEST(Bundles, CountWidthsFollowThePlaneWidth) {
    const unsigned expect224[kBundleCount] = {10, 10, 12, 10, 10, 10, 10, 10, 11};
    for (unsigned id = 0; id < kBundleCount; ++id) {
        EXPECT_EQ(BundleCountWidth(id, 224), expect224[id]) << id;
        EXPECT_EQ(BundleCountWidth(id, 64), kWidth64[id]) << id;
    }
    EXPECT_EQ(BundleCountWidth(kColours, 1920), 14u);  // e = 511 + 240 x 64
    EXPECT_EQ(BundleCountWidth(kSubBlockTypes, 1920), 10u);
    EXPECT_EQ(BundleCountWidth(kBlockTypes, 1920), 10u);
    EXPECT_EQ(BundleCountWidth(kColours, 4096), 15u);  // e = 33279: capped
    EXPECT_EQ(BundleCountWidth(kRunLengths, 1024), 13u);
    EXPECT_EQ(BundleCapacity(kSubBlockTypes, 224), 14u + 512);
    EXPECT_EQ(BundleBufferBytes(kIntraDc, 224), 2u * (512 + 28));
    EXPECT_EQ(BundleBufferBytes(kColours, 224), 512u + 28 * 64);
}

TEST(Bundles, TypeChunkRepeatsStartFromZeroAndFillsAreOneField) {
    Bundles b;
    BitWriter w;
    IdentityTrees(w);
    w.Put(9, 10);  // block types: 9 values
    w.PutBit(false);
    for (unsigned s : {12, 5, 12}) w.Put(s, 4);  // 0 x4, 5, 5 x4
    w.Put(7, 10);                                // sub-block types: fill of 13
    w.PutBit(true);
    w.Put(13, 4);
    for (unsigned id = 2; id < kBundleCount; ++id) w.Put(0, kWidth64[id]);
    b.Start(w);
    ASSERT_TRUE(RefillBundles(b.pb, b.r));
    EXPECT_EQ(b.Values(kBlockTypes), (std::vector<int>{0, 0, 0, 0, 5, 5, 5, 5, 5}));
    EXPECT_EQ(b.Values(kSubBlockTypes), (std::vector<int>(7, 13)));
}

TEST(Bundles, RepeatPastTheCountIsCutAtTheCount) {
    Bundles b;
    BitWriter w;
    IdentityTrees(w);
    w.Put(3, 10);
    w.PutBit(false);
    w.Put(7, 4);
    w.Put(15, 4);      // repeat 32, only 2 fit
    w.Put(0x3FF, 10);  // next bundle's count follows directly
    b.Start(w);
    Bundle& types = b.pb.bundle[kBlockTypes];
    // Read only the first chunk by closing every other bundle first.
    for (unsigned id = 1; id < kBundleCount; ++id) b.pb.bundle[id].closed = true;
    ASSERT_TRUE(RefillBundles(b.pb, b.r));
    EXPECT_EQ(b.Values(kBlockTypes), (std::vector<int>{7, 7, 7}));
    EXPECT_EQ(ReadBits(b.r, 10), 0x3FFu);
    EXPECT_EQ(types.pos, types.end);
}

TEST(Bundles, ZeroCountClosesForTheRestOfThePlane) {
    Bundles b;
    BitWriter w;
    IdentityTrees(w);
    w.Put(1, 10);
    w.PutBit(true);  // block types: fill of 6
    w.Put(6, 4);
    for (unsigned id = 1; id < kBundleCount; ++id) w.Put(0, kWidth64[id]);
    w.Put(0, 10);  // second refill: only block types (empty, open) reads a count: 0
    w.Put(0x155, 10);
    b.Start(w);
    ASSERT_TRUE(RefillBundles(b.pb, b.r));
    for (unsigned id = 1; id < kBundleCount; ++id) EXPECT_TRUE(b.pb.bundle[id].closed) << id;
    bool failed = false;
    EXPECT_EQ(TakeByte(b.pb.bundle[kBlockTypes], failed), 6);
    EXPECT_FALSE(failed);
    size_t before = b.BitsRead();
    ASSERT_TRUE(RefillBundles(b.pb, b.r));
    EXPECT_EQ(b.BitsRead(), before + 10);  // one count read, the closed ones read nothing
    EXPECT_TRUE(b.pb.bundle[kBlockTypes].closed);
    ASSERT_TRUE(RefillBundles(b.pb, b.r));
    EXPECT_EQ(b.BitsRead(), before + 10);
    EXPECT_EQ(ReadBits(b.r, 10), 0x155u);
    // Taking from a closed bundle gives 0 and reports the failure.
    EXPECT_EQ(TakeByte(b.pb.bundle[kColours], failed), 0);
    EXPECT_TRUE(failed);
}

TEST(Bundles, CountAboveCapacityIsRejected) {
    Bundles b;  // 64 wide: block types hold 512 + 8
    BitWriter w;
    IdentityTrees(w);
    w.Put(521, 10);
    b.Start(w);
    EXPECT_FALSE(RefillBundles(b.pb, b.r));
}

// Writes counts so that only bundle `id` reads a chunk (all others closed).
void Only(Bundles& b, unsigned id) {
    for (unsigned k = 0; k < kBundleCount; ++k) b.pb.bundle[k].closed = k != id;
}

TEST(Bundles, DcChunksWithGroups) {
    {
        Bundles b;
        BitWriter w;
        IdentityTrees(w);
        w.Put(1, 10);
        w.Put(1500, 11);
        w.Put(0x2AA, 10);
        b.Start(w);
        Only(b, kIntraDc);
        ASSERT_TRUE(RefillBundles(b.pb, b.r));
        EXPECT_EQ(b.Values(kIntraDc), (std::vector<int>{1500}));
        EXPECT_EQ(ReadBits(b.r, 10), 0x2AAu);  // n = 1: nothing read after the first value
    }
    {
        Bundles b;
        BitWriter w;
        IdentityTrees(w);
        w.Put(12, 10);
        w.Put(700, 11);
        w.Put(3, 4);  // group of 8 with 3-bit deltas
        for (int d : {1, -2, 0, 7, -7, 3, 0, -1}) {
            w.Put(static_cast<uint32_t>(std::abs(d)), 3);
            if (d != 0) w.PutBit(d < 0);
        }
        w.Put(0, 4);  // last group of 3: width 0 repeats
        w.Put(0x2AA, 10);
        b.Start(w);
        Only(b, kIntraDc);
        ASSERT_TRUE(RefillBundles(b.pb, b.r));
        EXPECT_EQ(b.Values(kIntraDc),
                  (std::vector<int>{700, 701, 699, 699, 706, 699, 702, 702, 701, 701, 701, 701}));
        EXPECT_EQ(ReadBits(b.r, 10), 0x2AAu);
    }
    {
        Bundles b;
        BitWriter w;
        IdentityTrees(w);
        w.Put(3, 10);
        w.Put(5, 10);
        w.PutBit(true);  // -5
        w.Put(4, 4);
        w.Put(0, 4);  // delta 0: no sign bit
        w.Put(10, 4);
        w.PutBit(false);  // +10
        w.Put(0, 10);     // a zero first value has no sign bit
        b.Start(w);
        Only(b, kInterDc);
        ASSERT_TRUE(RefillBundles(b.pb, b.r));
        EXPECT_EQ(b.Values(kInterDc), (std::vector<int>{-5, -5, 5}));
    }
}

TEST(Bundles, ColourMappingDependsOnVersion) {
    for (bool older : {true, false}) {
        Bundles b(older);
        BitWriter w;
        IdentityTrees(w);
        w.Put(4, 10);
        w.PutBit(false);
        for (unsigned v : {0x00, 0x80, 0x7F, 0xFF}) {
            w.Put(v >> 4, 4);
            w.Put(v & 15, 4);
        }
        b.Start(w);
        Only(b, kColours);
        ASSERT_TRUE(RefillBundles(b.pb, b.r));
        if (older)
            EXPECT_EQ(b.Values(kColours), (std::vector<int>{128, 128, 255, 1}));
        else
            EXPECT_EQ(b.Values(kColours), (std::vector<int>{0x00, 0x80, 0x7F, 0xFF}));
    }
}

TEST(Bundles, ColourContextSelectsTheHighNibbleTree) {
    Bundles b;
    BitWriter w;
    w.Put(0, 4);  // block types
    w.Put(0, 4);  // sub-block types
    for (int ctx = 0; ctx < 16; ++ctx) {
        if (ctx == 5) {  // explicit map 9, 0, 1, ...
            w.Put(2, 4);
            w.PutBit(true);
            w.Put(0, 3);
            w.Put(9, 4);
        } else {
            w.Put(0, 4);
        }
    }
    for (int i = 0; i < 5; ++i) w.Put(0, 4);
    w.Put(3, 10);
    w.PutBit(false);
    w.Put(5, 4);  // context 0: 5
    w.Put(1, 4);
    w.Put(0, 2);  // context 5, shape 2 index 0 -> 9
    w.Put(2, 4);
    w.Put(3, 4);  // context 9: 3
    w.Put(4, 4);
    w.Put(1, 10);  // next chunk: the context (3) carries over
    w.PutBit(true);
    w.Put(6, 4);
    w.Put(6, 4);
    b.bytes = w.Finish();
    b.r = MakeBitReader(b.bytes.data(), b.bytes.size(), 0);
    ReadBundleTrees(b.pb, b.r);
    Only(b, kColours);
    ASSERT_TRUE(RefillBundles(b.pb, b.r));
    EXPECT_EQ(b.Values(kColours), (std::vector<int>{0x51, 0x92, 0x34}));
    ASSERT_TRUE(RefillBundles(b.pb, b.r));
    EXPECT_EQ(b.Values(kColours), (std::vector<int>{0x66}));
    EXPECT_EQ(b.pb.colour_context, 6);
}

// Long chunks read their colours two code words per step where the two fit
// the pair tables: skewed trees give pairs both inside and past them, and
// both versions' colour mappings, the odd last colour and the context carried
// into the next chunk must come out as the step-by-step reading gives them.
TEST(Bundles, LongColourChunksAgreeWithTheirCodeWords) {
    std::mt19937 rng(5);
    for (bool older : {false, true}) {
        const auto skewed = [&] {
            const unsigned r = rng() % 64;
            return r < 40 ? r % 3 : r < 60 ? r % 8 : r % 16;
        };
        std::vector<unsigned> colours(701);
        for (unsigned& c : colours) c = skewed() * 16 + skewed();
        uint32_t high_freq[16][16] = {}, low_freq[16] = {};
        unsigned context = 0;
        for (unsigned c : colours) {
            ++high_freq[context][c >> 4];
            ++low_freq[c & 15];
            context = c >> 4;
        }
        TreeChoice high[16], low = ChooseSymbolTree(low_freq);
        for (unsigned k = 0; k < 16; ++k) high[k] = ChooseSymbolTree(high_freq[k]);
        BitWriter w;
        w.Put(0, 4);  // block types
        w.Put(0, 4);  // sub-block types
        for (const TreeChoice& t : high) WriteSymbolTree(w, t);
        WriteSymbolTree(w, low);
        for (int i = 0; i < 4; ++i) w.Put(0, 4);  // patterns, offsets, run lengths
        w.Put(static_cast<uint32_t>(colours.size()), 10);
        w.PutBit(false);
        context = 0;
        for (unsigned c : colours) {
            WriteSymbol(w, high[context], c >> 4);
            WriteSymbol(w, low, c & 15);
            context = c >> 4;
        }
        w.Put(1, 10);  // a one-colour chunk in the carried context
        w.PutBit(false);
        WriteSymbol(w, high[context], 7);
        WriteSymbol(w, low, 9);
        const size_t bits = w.BitCount();
        Bundles b(older);
        b.Start(w);
        Only(b, kColours);
        const auto stored = [older](unsigned c) {
            return older ? static_cast<int>(c < 128 ? 128 + c : 256 - c) : static_cast<int>(c);
        };
        std::vector<int> expect;
        for (unsigned c : colours) expect.push_back(stored(c));
        ASSERT_TRUE(RefillBundles(b.pb, b.r));
        EXPECT_EQ(b.Values(kColours), expect) << older;
        ASSERT_TRUE(RefillBundles(b.pb, b.r));
        EXPECT_EQ(b.Values(kColours), (std::vector<int>{stored(0x79)})) << older;
        EXPECT_EQ(b.BitsRead(), bits) << older;
    }
}

// Long pattern chunks read a byte's two code words in one step where they
// fit the pair table. Skewed trees give pairs inside and past it; the table
// must follow each plane's tree, and the bits read must match.
TEST(Bundles, LongPatternChunksAgreeWithTheirCodeWords) {
    std::mt19937 rng(9);
    Bundles b;
    for (unsigned plane = 0; plane < 2; ++plane) {
        const auto skewed = [&] {
            const unsigned r = rng() % 64;
            return plane == 0 ? (r < 44 ? r % 2 : r % 16) : (r < 30 ? 15 - r % 3 : r % 16);
        };
        std::vector<unsigned> patterns(300);
        uint32_t freq[16] = {};
        for (unsigned& p : patterns) {
            p = skewed() | skewed() << 4;
            ++freq[p & 15];
            ++freq[p >> 4];
        }
        const TreeChoice tree = ChooseSymbolTree(freq);
        BitWriter w;
        for (int i = 0; i < 19; ++i) w.Put(0, 4);  // types and colours
        WriteSymbolTree(w, tree);
        for (int i = 0; i < 3; ++i) w.Put(0, 4);  // offsets, run lengths
        w.Put(static_cast<uint32_t>(patterns.size()), 10);
        for (unsigned p : patterns) {
            WriteSymbol(w, tree, p & 15);
            WriteSymbol(w, tree, p >> 4);
        }
        const size_t bits = w.BitCount();
        b.Start(w);
        Only(b, kPatterns);
        ASSERT_TRUE(RefillBundles(b.pb, b.r));
        EXPECT_EQ(b.Values(kPatterns), std::vector<int>(patterns.begin(), patterns.end())) << plane;
        EXPECT_EQ(b.BitsRead(), bits) << plane;
    }
}

TEST(Bundles, PatternOffsetAndRunChunks) {
    Bundles b;
    BitWriter w;
    IdentityTrees(w);
    w.Put(2, 10);  // patterns: low nibble first
    w.Put(0x1, 4);
    w.Put(0xE, 4);
    w.Put(0x0, 4);
    w.Put(0x8, 4);
    w.Put(3, 10);  // x offsets: per value
    w.PutBit(false);
    w.Put(0, 4);
    w.Put(15, 4);
    w.PutBit(true);
    w.Put(4, 4);
    w.PutBit(false);
    w.Put(2, 10);  // y offsets: fill of -7
    w.PutBit(true);
    w.Put(7, 4);
    w.PutBit(true);
    w.Put(3, 10);  // run lengths: per value
    w.PutBit(false);
    for (unsigned v : {15, 0, 12}) w.Put(v, 4);
    b.Start(w);
    for (unsigned k = 0; k < kBundleCount; ++k)
        b.pb.bundle[k].closed = !(k == kPatterns || k == kXOffsets || k == kYOffsets || k == kRunLengths);
    ASSERT_TRUE(RefillBundles(b.pb, b.r));
    EXPECT_EQ(b.Values(kPatterns), (std::vector<int>{0xE1, 0x80}));
    EXPECT_EQ(b.Values(kXOffsets), (std::vector<int>{0, -15, 4}));
    EXPECT_EQ(b.Values(kYOffsets), (std::vector<int>{-7, -7}));
    EXPECT_EQ(b.Values(kRunLengths), (std::vector<int>{15, 0, 12}));
}

}  // namespace
}  // namespace zarn
