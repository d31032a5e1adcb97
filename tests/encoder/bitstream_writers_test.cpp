// The encoder's bitstream pieces against the project's decoder: prefix codes,
// DCT coefficients and whole planes for each block type.
#include <gtest/gtest.h>

#include <random>

#include "encoder/coefficient_writer.h"
#include "encoder/plane_data.h"
#include "encoder/plane_encoder.h"
#include "encoder/residue_writer.h"
#include "encoder/symbol_tree_writer.h"
#include "encoder/test_media.h"
#include "video/coefficients.h"
#include "video/decode_video_frame.h"
#include "video/residue.h"
#include "video/symbol_tree.h"

namespace zarn {
namespace {

TEST(SymbolTreeWriter, TreesAndSymbolsReadBackForManyFrequencyShapes) {
    std::mt19937 rng(7);
    for (int trial = 0; trial < 300; ++trial) {
        uint32_t freq[16] = {};
        const int used = 1 + trial % 16;
        for (int i = 0; i < used; ++i) freq[rng() % 16] += 1 + rng() % (trial % 3 == 0 ? 1000 : 20);
        const TreeChoice tree = ChooseSymbolTree(freq);
        std::vector<unsigned> symbols;
        for (unsigned s = 0; s < 16; ++s)
            for (uint32_t k = 0; k < freq[s] % 50; ++k) symbols.push_back(s);
        std::shuffle(symbols.begin(), symbols.end(), rng);
        BitWriter w;
        WriteSymbolTree(w, tree);
        for (unsigned s : symbols) WriteSymbol(w, tree, s);
        const size_t bits = w.BitCount();
        const std::vector<uint8_t> bytes = w.Finish();

        BitReader r = MakeBitReader(bytes.data(), bytes.size(), 0);
        const SymbolTree read = ReadSymbolTree(r);
        for (int i = 0; i < 16; ++i) ASSERT_EQ(read.map[i], tree.map[i]) << "trial " << trial;
        for (unsigned s : symbols) ASSERT_EQ(DecodeSymbol(r, read), s);
        EXPECT_EQ(r.next * 8 - r.count, bits);
    }
}

TEST(SymbolTreeWriter, ChoosesShortCodesForSkewedStatisticsAndPlainFieldsForFlat) {
    uint32_t skewed[16] = {};
    skewed[9] = 1000;
    skewed[3] = 10;
    const TreeChoice a = ChooseSymbolTree(skewed);
    EXPECT_NE(a.shape, 0);
    EXPECT_EQ(a.SymbolBits(9), 1u);
    EXPECT_LT(a.total_bits, 1100u);

    uint32_t flat[16];
    for (auto& f : flat) f = 100;
    const TreeChoice b = ChooseSymbolTree(flat);
    EXPECT_EQ(b.shape, 0);
    EXPECT_EQ(b.total_bits, 4u + 1600u * 4u);
}

TEST(CoefficientWriter, BlocksReadBackExactly) {
    std::mt19937 rng(11);
    for (int trial = 0; trial < 500; ++trial) {
        int16_t coef[64] = {};
        const int count = trial % 20;
        const int range = trial % 5 == 0 ? 32767 : (trial % 3 == 0 ? 300 : 5);
        for (int i = 0; i < count; ++i) {
            int v = static_cast<int>(rng() % (2 * range + 1)) - range;
            coef[1 + rng() % 63] = static_cast<int16_t>(v);
        }
        FieldList fields;
        const size_t bits = WriteAcCoefficients(coef, fields);
        EXPECT_EQ(bits, fields.BitCount());
        EXPECT_EQ(CountAcCoefficientBits(coef), bits) << "trial " << trial;
        BitWriter w;
        fields.WriteTo(w);
        const std::vector<uint8_t> bytes = w.Finish();
        BitReader r = MakeBitReader(bytes.data(), bytes.size(), 0);
        int16_t out[64];
        out[0] = 0;
        DecodeAcCoefficients(r, out);
        for (int i = 1; i < 64; ++i) ASSERT_EQ(out[i], coef[i]) << "trial " << trial << " pos " << i;
        EXPECT_EQ(r.next * 8 - r.count, bits);
    }
}

TEST(ResidueWriter, ResiduesReadBackUpToTheEventLimit) {
    std::mt19937 rng(5);
    for (int trial = 0; trial < 400; ++trial) {
        int16_t target[64] = {};
        const int count = 1 + trial % 40;
        const int range = trial % 4 == 0 ? 127 : 1 + trial % 9;
        for (int i = 0; i < count; ++i)
            target[rng() % 64] = static_cast<int16_t>(static_cast<int>(rng() % (2 * range + 1)) - range);
        const unsigned limit = trial % 3 == 0 ? 127 : static_cast<unsigned>(rng() % 40);
        FieldList fields;
        int16_t expected[64];
        const ResidueResult result = WriteResidue(target, limit, &fields, expected);
        EXPECT_EQ(result.bits, fields.BitCount());
        BitWriter w;
        fields.WriteTo(w);
        const std::vector<uint8_t> bytes = w.Finish();
        BitReader r = MakeBitReader(bytes.data(), bytes.size(), 0);
        uint8_t out[64];
        DecodeResidue(r, limit, out);
        for (int i = 0; i < 64; ++i)
            ASSERT_EQ(static_cast<int8_t>(out[i]), expected[i]) << trial << " @" << i;
        EXPECT_EQ(r.next * 8 - r.count, result.bits);
        if (result.events <= limit) {
            for (int i = 0; i < 64; ++i) ASSERT_EQ(expected[i], target[i]);
        }
    }
}

// One plane coded alone as a grey-scale version-i frame, decoded by the
// project's decoder; the decoded luma must equal the encoder's own model.
struct PlaneCase {
    uint32_t width, height;
    bool key;
    uint32_t allowed;
    unsigned quantiser;
    bool old_colours;
    float lambda = 4.0f;  // high values favour fewer bits (scaled blocks)
};

std::vector<uint32_t> DecodeTypes(const PlaneCase& c, const std::vector<uint8_t>& src,
                                  const std::vector<uint8_t>& prev_frame, uint32_t luma_width,
                                  uint32_t luma_height, std::vector<uint8_t>& decoded,
                                  std::vector<uint8_t>& expected) {
    PlaneSource s;
    s.src = src.data();
    s.src_stride = c.width;
    s.prev = prev_frame.data();
    s.prev_stride = luma_width;
    s.width = c.width;
    s.height = c.height;
    PlaneOptions o;
    o.key = c.key;
    o.allowed_types = c.allowed;
    o.quantiser = c.quantiser;
    o.old_colours = c.old_colours;
    o.lambda = c.lambda;
    expected.assign(size_t{c.width} * c.height, 0);
    o.expected = expected.data();
    PlaneData data;
    PlaneReport report;
    EncodePlaneBlocks(s, o, data, nullptr, &report);
    const std::vector<uint8_t> plane = WritePlane(data);
    std::vector<uint8_t> packet;
    // Version i starts the luma with the chroma offset word; f, g, h do not.
    const uint32_t offset = static_cast<uint32_t>(4 + plane.size());
    if (!c.old_colours)
        for (int i = 0; i < 4; ++i) packet.push_back(static_cast<uint8_t>(offset >> (8 * i)));
    packet.insert(packet.end(), plane.begin(), plane.end());

    decoded.assign(prev_frame.size(), 0xEE);
    std::vector<uint8_t> marks(size_t{luma_width / 16} * (luma_height / 16) + 16, 0);
    std::vector<uint8_t> bundles(9 * ((512 + luma_width / 8 * 64) * 2 + 64));
    uint8_t* buffers[9];
    for (int i = 0; i < 9; ++i) buffers[i] = bundles.data() + i * (bundles.size() / 9);
    const uint32_t flags = kFlagGreyScale | (c.old_colours ? kFlagVersionH : 0u);
    DecodeVideoFrame(decoded.data(), prev_frame.data(), nullptr, nullptr, marks.data(), c.width, c.height,
                     luma_width, luma_height, packet.data(), static_cast<uint32_t>(packet.size()),
                     c.key ? 1u : 0u, buffers, flags, kVideoFlagGreyScale);
    std::vector<uint32_t> counts(report.block_counts, report.block_counts + 16);
    counts.insert(counts.end(), report.sub_block_counts, report.sub_block_counts + 16);
    return counts;  // block types, then sub-block types
}

void CheckPlane(const PlaneCase& c, const YuvPicture& now, const YuvPicture& before,
                std::vector<uint32_t>* counts_out = nullptr) {
    const uint32_t cw = ((c.width + 1) / 2 + 7) & ~7u, ch = ((c.height + 1) / 2 + 7) & ~7u;
    const uint32_t lw = 2 * cw, lh = 2 * ch;
    std::vector<uint8_t> prev(size_t{lw} * lh * 3 / 2, 0);
    for (uint32_t y = 0; y < c.height; ++y)
        for (uint32_t x = 0; x < c.width; ++x)
            prev[size_t{y} * lw + x] = before.y[size_t{y} * before.width + x];
    std::vector<uint8_t> src(size_t{c.width} * c.height);
    for (uint32_t y = 0; y < c.height; ++y)
        for (uint32_t x = 0; x < c.width; ++x)
            src[size_t{y} * c.width + x] = now.y[size_t{y} * now.width + x];
    std::vector<uint8_t> decoded, expected;
    std::vector<uint32_t> counts = DecodeTypes(c, src, prev, lw, lh, decoded, expected);
    for (uint32_t y = 0; y < c.height; ++y)
        for (uint32_t x = 0; x < c.width; ++x)
            ASSERT_EQ(decoded[size_t{y} * lw + x], expected[size_t{y} * c.width + x])
                << "at " << x << "," << y;
    if (counts_out) *counts_out = counts;
}

constexpr uint32_t Bit(BlockType t) { return 1u << t; }

TEST(PlaneRoundTrip, EachBlockTypeDecodesToTheEncodersModel) {
    const YuvPicture a = MakeClipFrame(Clip::kPanZoom, 96, 64, 0);
    const YuvPicture b = MakeClipFrame(Clip::kPanZoom, 96, 64, 3);
    const YuvPicture noise = MakeClipFrame(Clip::kNoise, 96, 64, 1);
    const YuvPicture text = MakeClipFrame(Clip::kScrollingText, 96, 64, 2);
    struct Case {
        const char* name;
        BlockType type;
        bool key;
        const YuvPicture* now;
        const YuvPicture* before;
    } cases[] = {
        {"skip", kSkipBlock, false, &b, &a},   {"motion", kMotionBlock, false, &b, &a},
        {"inter", kInterBlock, false, &b, &a}, {"residue", kResidueBlock, false, &b, &a},
        {"intra", kIntraBlock, true, &a, &a},  {"pattern", kPatternBlock, true, &text, &a},
        {"raw", kRawBlock, true, &noise, &a},  {"fill", kFillBlock, true, &a, &a},
        {"run", kRunBlock, true, &text, &a},   {"scaled", kScaledBlock, true, &a, &a},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        for (bool old : {false, true}) {
            SCOPED_TRACE(old ? "versions f, g, h" : "version i");
            std::vector<uint32_t> counts;
            const float lambda = k.type == kScaledBlock ? 300.0f : 4.0f;
            CheckPlane({96, 64, k.key, Bit(k.type), 3, old, lambda}, *k.now, *k.before, &counts);
            EXPECT_GT(counts[k.type], 0u);
        }
    }
}

TEST(PlaneRoundTrip, ScaledBlocksWithEverySubBlockType) {
    // A smooth picture with detail only at 2x2 scale suits scaled blocks.
    YuvPicture p;
    p.Allocate(64, 48);
    for (uint32_t y = 0; y < 48; ++y)
        for (uint32_t x = 0; x < 64; ++x)
            p.y[y * 64 + x] = static_cast<uint8_t>(((x / 2 * 37 + y / 2 * 11) % 97) * 2 + (x < 32 ? 0 : 40));
    for (BlockType sub : {kFillBlock, kIntraBlock, kPatternBlock, kRawBlock}) {
        SCOPED_TRACE(static_cast<int>(sub));
        for (bool old : {false, true}) {
            std::vector<uint32_t> counts;
            const float lambda = sub == kFillBlock ? 3000.0f : 30.0f;
            CheckPlane({64, 48, true, Bit(kScaledBlock) | Bit(sub), 2, old, lambda}, p, p, &counts);
            EXPECT_GT(counts[kScaledBlock], 0u);
            EXPECT_GT(counts[16 + sub], 0u);
        }
    }
}

TEST(PlaneRoundTrip, MixedTypesOddSizesAndEveryQuantiser) {
    const YuvPicture a = MakeClipFrame(Clip::kSceneCut, 72, 40, 2);
    const YuvPicture b = MakeClipFrame(Clip::kSceneCut, 72, 40, 5);
    for (unsigned q = 0; q < 16; q += 3) {
        SCOPED_TRACE(q);
        CheckPlane({72, 40, true, 0x3FF, q, false}, a, a);
        CheckPlane({72, 40, false, 0x3FF, q, false}, b, a);
        CheckPlane({8, 8, false, 0x3FF, q, true}, b, a);
    }
    // Wide plane: long rows make bundle chunks hit their count limits.
    const YuvPicture w1 = MakeClipFrame(Clip::kNoise, 400, 16, 0);
    CheckPlane({400, 16, true, Bit(kRawBlock), 2, false}, w1, w1);
}

}  // namespace
}  // namespace zarn
