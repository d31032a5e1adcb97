// Inverse transform variants and dequantisation tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <vector>

#include "video/idct.h"
#include "base/cpu_features.h"
#include "video/idct_kernels.h"
#include "video/quant_tables.h"

namespace zarn {
namespace {

std::vector<uint8_t> Put(const IdctFunctions& f, const int16_t coef[64], const uint32_t* table) {
    std::vector<uint8_t> out(8 * 12, 0xAA);  // stride 12: the gaps must stay
    f.put(out.data(), 12, coef, table);
    return out;
}

TEST(Idct, FlatBlocksFromDcAlone) {
    int16_t coef[64] = {};
    struct Case {
        int16_t dc;
        unsigned q;
        uint8_t pixel;
    };
    // DC x 32 for table 0; 260 wraps to 4; negative values wrap too.
    for (Case c : {Case{1024, 0, 128}, Case{2080, 0, 4}, Case{-100, 0, 243}, Case{2047, 15, 250}}) {
        coef[0] = c.dc;
        auto out = Put(IdctPlainFunctions(), coef, IntraQuantTable(c.q));
        for (int r = 0; r < 8; ++r)
            for (int x = 0; x < 12; ++x) ASSERT_EQ(out[r * 12 + x], x < 8 ? c.pixel : 0xAA) << c.dc;
        EXPECT_EQ(IdctFlatValue(c.dc, IntraQuantTable(c.q)[0]), c.pixel);
    }
}

TEST(Idct, VariantsShareOneTransform) {
    int16_t coef[64] = {};
    coef[0] = 1024;
    coef[1] = 100;
    const int row[8] = {145, 143, 138, 131, 125, 118, 113, 111};
    const IdctFunctions& f = IdctPlainFunctions();
    auto out = Put(f, coef, IntraQuantTable(0));
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) ASSERT_EQ(out[r * 12 + c], row[c]);

    std::vector<uint8_t> big(16 * 20, 0xAA);
    f.put_enlarged(big.data(), 20, coef, IntraQuantTable(0));
    for (int r = 0; r < 16; ++r)
        for (int c = 0; c < 20; ++c) ASSERT_EQ(big[r * 20 + c], c < 16 ? row[c / 2] : 0xAA);

    uint8_t pred[64];
    for (int i = 0; i < 64; ++i) pred[i] = static_cast<uint8_t>(200 + i);
    std::vector<uint8_t> sum(8 * 8);
    f.add(sum.data(), 8, coef, InterQuantTable(0), pred);
    auto inter = Put(f, coef, InterQuantTable(0));
    for (int i = 0; i < 64; ++i)
        ASSERT_EQ(sum[i], static_cast<uint8_t>(pred[i] + inter[(i / 8) * 12 + i % 8]));
}

// Reference transform, written straight from the formulas: 32-bit wrapping
// arithmetic, every product shifted right arithmetically by 11.
uint32_t Sar(uint32_t v, int s) { return static_cast<uint32_t>(static_cast<int32_t>(v) >> s); }
uint32_t Mul11(uint32_t a, uint32_t k) { return Sar(a * k, 11); }

void Reference1d(const uint32_t x[8], uint32_t y[8]) {
    const uint32_t a0 = x[0] + x[4], a1 = x[0] - x[4], a3 = x[2] + x[6];
    const uint32_t a2 = Mul11(x[2] - x[6], 2896) - a3;
    const uint32_t e0 = a0 + a3, e3 = a0 - a3, e1 = a1 + a2, e2 = a1 - a2;
    const uint32_t z13 = x[5] + x[3], z10 = x[5] - x[3], z11 = x[1] + x[7], z12 = x[1] - x[7];
    const uint32_t o7 = z11 + z13;
    const uint32_t z5 = Mul11(z10 + z12, 3784);
    const uint32_t o6 = Mul11(x[3] - x[5], 5352) + z5 - o7;
    const uint32_t o5 = Mul11(z11 - z13, 2896) - o6;
    const uint32_t o4 = Mul11(z12, 2217) - z5 + o5;
    y[0] = e0 + o7, y[7] = e0 - o7, y[1] = e1 + o6, y[6] = e1 - o6;
    y[2] = e2 + o5, y[5] = e2 - o5, y[4] = e3 + o4, y[3] = e3 - o4;
}

// Output bytes in raster order.
void ReferenceBlock(const int16_t coef[64], const uint32_t table[64], uint8_t out[64]) {
    uint32_t m[64];
    for (int c = 0; c < 8; ++c) {
        uint32_t x[8], y[8];
        for (int r = 0; r < 8; ++r) x[r] = Mul11(static_cast<uint32_t>(coef[r * 8 + c]), table[r * 8 + c]);
        Reference1d(x, y);
        for (int r = 0; r < 8; ++r) m[r * 8 + c] = y[r];
    }
    for (int r = 0; r < 8; ++r) {
        uint32_t y[8];
        Reference1d(m + r * 8, y);
        for (int c = 0; c < 8; ++c) out[r * 8 + c] = static_cast<uint8_t>(Sar(y[c] + 127, 8));
    }
}

// Where a random block may have non-zero coefficients.
enum class Shape {
    kDcOnly,
    kRow0,
    kColumn0,
    kRow0AndColumn0,
    kFirstRows,
    kUpperLeft,
    kLeftHalf,
    kRightHalf,
    kLowFrequencies,
    kFull,
    kCount
};

bool InShape(Shape s, int r, int c, std::mt19937& rng) {
    switch (s) {
    case Shape::kDcOnly: return r == 0 && c == 0;
    case Shape::kRow0: return r == 0;
    case Shape::kColumn0: return c == 0;
    case Shape::kRow0AndColumn0: return r == 0 || c == 0;
    case Shape::kFirstRows: return r < 1 + static_cast<int>(rng() % 4);
    case Shape::kUpperLeft: return r < 4 && c < 4;
    case Shape::kLeftHalf: return c < 4;
    case Shape::kRightHalf: return c >= 4 || (r == 0 && c == 0);
    case Shape::kLowFrequencies: return r * 8 + c <= 20;
    default: return true;
    }
}

// A random block of the shape: a few or all of its positions set, to small,
// typical or huge (wrapping) values, or to values whose dequantised
// magnitudes sit at one power of two (where kernels may switch arithmetic);
// sometimes no DC.
void RandomBlock(std::mt19937& rng, Shape shape, const uint32_t* table, int16_t coef[64]) {
    static const int kRanges[4] = {8, 600, 65536, 0};
    const int range = kRanges[rng() % 4];
    const uint32_t level = 2048u << (6 + rng() % 10);  // dequantised magnitude 2^6 .. 2^15
    const bool dense = rng() % 2 == 0;
    for (int i = 0; i < 64; ++i) {
        coef[i] = 0;
        if (!InShape(shape, i / 8, i % 8, rng) || (!dense && rng() % 6 != 0)) continue;
        if (range == 0) {
            const auto magnitude = static_cast<int>(std::min<uint32_t>(level / table[i] + rng() % 2, 32767));
            coef[i] = static_cast<int16_t>(rng() % 2 ? -magnitude : magnitude);
        } else {
            coef[i] = static_cast<int16_t>(static_cast<int>(rng() % range) - range / 2);
        }
    }
    if (rng() % 8 == 0) coef[0] = 0;
    if (rng() % 8 == 0) coef[rng() % 64] = rng() % 2 ? 32767 : -32768;
}

// Every variant of one kernel set against the reference, for blocks of every
// shape with every table of both sets, bit for bit.
void ExpectMatchesReference(const IdctFunctions& f, const char* name) {
    std::mt19937 rng(3);
    for (int trial = 0; trial < 16000; ++trial) {
        const auto shape = static_cast<Shape>(trial % static_cast<int>(Shape::kCount));
        const unsigned q = (trial / 2) % 16;
        const uint32_t* table = trial % 2 ? IntraQuantTable(q) : InterQuantTable(q);
        int16_t coef[64];
        RandomBlock(rng, shape, table, coef);
        uint8_t want[64], pred[64];
        ReferenceBlock(coef, table, want);
        for (auto& p : pred) p = static_cast<uint8_t>(rng());
        const auto where = [&] { return ::testing::Message() << name << " trial " << trial << " q " << q; };

        uint8_t out[16 * 20];
        std::memset(out, 0xAA, sizeof out);
        f.put(out, 12, coef, table);
        for (int i = 0; i < 8 * 12; ++i)
            ASSERT_EQ(out[i], i % 12 < 8 ? want[(i / 12) * 8 + i % 12] : 0xAA) << where();

        std::memset(out, 0xAA, sizeof out);
        f.put_enlarged(out, 20, coef, table);
        for (int i = 0; i < 16 * 20; ++i)
            ASSERT_EQ(out[i], i % 20 < 16 ? want[(i / 40) * 8 + (i % 20) / 2] : 0xAA) << where();

        std::memset(out, 0xAA, sizeof out);
        f.add(out, 12, coef, table, pred);
        for (int i = 0; i < 8 * 12; ++i) {
            const int k = (i / 12) * 8 + i % 12;
            ASSERT_EQ(out[i], i % 12 < 8 ? static_cast<uint8_t>(pred[k] + want[k]) : 0xAA) << where();
        }

        // add_from: the prediction read in place, here one row above dst in
        // the same buffer, so that each row written is the source row of the
        // row below; it must still add to the prediction as it was.
        std::memset(out, 0xAA, sizeof out);
        for (int k = 0; k < 64; ++k) out[(k / 8) * 12 + k % 8] = pred[k];
        f.add_from(out + 12, 12, coef, table, out, 12);
        for (int i = 0; i < 9 * 12; ++i) {
            const int k = (i / 12 - 1) * 8 + i % 12;
            const uint8_t expect = i % 12 >= 8 ? 0xAA : i < 12 ? pred[i] : pred[k] + want[k];
            ASSERT_EQ(out[i], expect) << where() << " add_from";
        }
    }
}

TEST(Idct, EveryKernelMatchesTheReference) {
    ExpectMatchesReference(IdctPlainFunctions(), "plain");
    ExpectMatchesReference(ChosenIdctFunctions(), "chosen");
#if defined(ZARN_X86_KERNELS)
    if (ProcessorFeatures() & kCpuAvx2)
        ExpectMatchesReference(IdctAvx2Functions(), "avx2");
    else
        GTEST_SKIP() << "no AVX2 on this CPU";
#endif
}

TEST(QuantTables, TellingEntries) {
    const uint32_t intra_row0[8] = {65536, 90901, 85627, 91511, 65536, 61146, 48768, 24862};
    const uint32_t inter_row0[8] = {65536, 96582, 90979, 86695, 73728, 57928, 42118, 21472};
    for (int c = 0; c < 8; ++c) {
        EXPECT_EQ(IntraQuantTable(0)[c], intra_row0[c]) << c;
        EXPECT_EQ(InterQuantTable(0)[c], inter_row0[c]) << c;
    }
    const uint32_t dc[16] = {65536,  87381,  109227, 131072,  174763,  229376,  262144,  327680,
                             393216, 524288, 786432, 1114112, 1441792, 1835008, 2228224, 2883584};
    for (unsigned q = 0; q < 16; ++q) {
        EXPECT_EQ(IntraQuantTable(q)[0], dc[q]) << q;
        EXPECT_EQ(InterQuantTable(q)[0], dc[q]) << q;
    }
}

// Entries differ from the nearest integer of the exact value only by +1, only
// where the fraction is in [0.25, 0.5), and exactly 46 intra and 38 inter times.
TEST(QuantTables, RaisedEntriesAreTheListedOnes) {
    const double steps[16] = {1, 4.0 / 3, 5.0 / 3, 2, 8.0 / 3, 3.5, 4, 5, 6, 8, 12, 17, 22, 28, 34, 44};
    auto scale = [](int k) {
        return k == 0 ? 1.0 : std::numbers::sqrt2 * std::cos(k * std::numbers::pi / 16);
    };
    const uint32_t* intra0 = IntraQuantTable(0);
    const uint32_t* inter0 = InterQuantTable(0);
    for (int set = 0; set < 2; ++set) {
        int raised = 0;
        for (unsigned q = 0; q < 16; ++q)
            for (int pos = 0; pos < 64; ++pos) {
                // Base matrix entry recovered from table 0: 65536 x B / 16 x A(r) x A(c).
                const uint32_t t0 = (set == 0 ? intra0 : inter0)[pos];
                const double base = std::round(t0 * 16.0 / 65536.0 / (scale(pos / 8) * scale(pos % 8)));
                const double exact = 65536.0 * steps[q] * base / 16.0 * scale(pos / 8) * scale(pos % 8);
                const uint32_t stored = (set == 0 ? IntraQuantTable(q) : InterQuantTable(q))[pos];
                const auto nearest = static_cast<uint32_t>(std::llround(exact));
                if (stored == nearest) continue;
                ++raised;
                EXPECT_EQ(stored, nearest + 1) << set << " " << q << " " << pos;
                const double frac = exact - std::floor(exact);
                EXPECT_GE(frac, 0.25);
                EXPECT_LT(frac, 0.5);
            }
        EXPECT_EQ(raised, set == 0 ? 46 : 38);
    }
    EXPECT_EQ(IntraQuantTable(0)[8], 124989u);  // row 1, column 0: base 22
}

}  // namespace
}  // namespace zarn
