// Inverse transform variants and dequantisation tables.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "video/idct.h"
#include "video/idct_kernels.h"
#include "video/quant_tables.h"

namespace zarn {
namespace {

std::vector<uint8_t> put(const IdctFunctions& f, const int16_t coef[64], const uint32_t* table) {
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
        auto out = put(idct_plain_functions(), coef, intra_quant_table(c.q));
        for (int r = 0; r < 8; ++r)
            for (int x = 0; x < 12; ++x) ASSERT_EQ(out[r * 12 + x], x < 8 ? c.pixel : 0xAA) << c.dc;
        EXPECT_EQ(idct_flat_value(c.dc, intra_quant_table(c.q)[0]), c.pixel);
    }
}

TEST(Idct, VariantsShareOneTransform) {
    int16_t coef[64] = {};
    coef[0] = 1024;
    coef[1] = 100;
    const int row[8] = {145, 143, 138, 131, 125, 118, 113, 111};
    const IdctFunctions& f = idct_plain_functions();
    auto out = put(f, coef, intra_quant_table(0));
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) ASSERT_EQ(out[r * 12 + c], row[c]);

    std::vector<uint8_t> big(16 * 20, 0xAA);
    f.put_enlarged(big.data(), 20, coef, intra_quant_table(0));
    for (int r = 0; r < 16; ++r)
        for (int c = 0; c < 20; ++c) ASSERT_EQ(big[r * 20 + c], c < 16 ? row[c / 2] : 0xAA);

    uint8_t pred[64];
    for (int i = 0; i < 64; ++i) pred[i] = static_cast<uint8_t>(200 + i);
    std::vector<uint8_t> sum(8 * 8);
    f.add(sum.data(), 8, coef, inter_quant_table(0), pred);
    auto inter = put(f, coef, inter_quant_table(0));
    for (int i = 0; i < 64; ++i) ASSERT_EQ(sum[i], static_cast<uint8_t>(pred[i] + inter[(i / 8) * 12 + i % 8]));
}

// Every instruction-set kernel this CPU runs, and the chosen one, match the
// plain kernels bit for bit, including extreme (wrapping) inputs.
void expect_matches_plain(const IdctFunctions& chosen) {
    const IdctFunctions& plain = idct_plain_functions();
    std::mt19937 rng(3);
    for (int trial = 0; trial < 2000; ++trial) {
        int16_t coef[64] = {};
        const int range = trial % 4 == 0 ? 65536 : 512;
        // Every third block keeps to rows 0-3, every third to columns 0-3 of rows 0-3.
        const unsigned rows = trial % 3 == 0 ? 8 : 4, cols = trial % 3 == 2 ? 4 : 8;
        for (int k = 0; k < 1 + static_cast<int>(rng() % 64); ++k)
            coef[(rng() % rows) * 8 + rng() % cols] = static_cast<int16_t>(static_cast<int>(rng() % range) - range / 2);
        const uint32_t* table = (trial & 1) ? intra_quant_table(rng() % 16) : inter_quant_table(rng() % 16);
        uint8_t pred[64];
        for (auto& p : pred) p = static_cast<uint8_t>(rng());
        uint8_t a[16 * 16], b[16 * 16];
        plain.put(a, 8, coef, table);
        chosen.put(b, 8, coef, table);
        ASSERT_EQ(0, memcmp(a, b, 64));
        plain.put_enlarged(a, 16, coef, table);
        chosen.put_enlarged(b, 16, coef, table);
        ASSERT_EQ(0, memcmp(a, b, 256));
        plain.add(a, 8, coef, table, pred);
        chosen.add(b, 8, coef, table, pred);
        ASSERT_EQ(0, memcmp(a, b, 64));
    }
}

TEST(Idct, KernelsMatchPlain) {
    expect_matches_plain(idct_functions());
#if defined(ZARN_HAVE_AVX2_KERNELS)
    if (__builtin_cpu_supports("avx2")) expect_matches_plain(idct_avx2_functions());
    else GTEST_SKIP() << "no AVX2 on this CPU";
#endif
}

TEST(QuantTables, TellingEntries) {
    const uint32_t intra_row0[8] = {65536, 90901, 85627, 91511, 65536, 61146, 48768, 24862};
    const uint32_t inter_row0[8] = {65536, 96582, 90979, 86695, 73728, 57928, 42118, 21472};
    for (int c = 0; c < 8; ++c) {
        EXPECT_EQ(intra_quant_table(0)[c], intra_row0[c]) << c;
        EXPECT_EQ(inter_quant_table(0)[c], inter_row0[c]) << c;
    }
    const uint32_t dc[16] = {65536,  87381,  109227, 131072,  174763,  229376,  262144,  327680,
                             393216, 524288, 786432, 1114112, 1441792, 1835008, 2228224, 2883584};
    for (unsigned q = 0; q < 16; ++q) {
        EXPECT_EQ(intra_quant_table(q)[0], dc[q]) << q;
        EXPECT_EQ(inter_quant_table(q)[0], dc[q]) << q;
    }
}

// Entries differ from the nearest integer of the exact value only by +1, only
// where the fraction is in [0.25, 0.5), and exactly 46 intra and 38 inter times.
TEST(QuantTables, RaisedEntriesAreTheListedOnes) {
    const double steps[16] = {1, 4.0 / 3, 5.0 / 3, 2, 8.0 / 3, 3.5, 4, 5, 6, 8, 12, 17, 22, 28, 34, 44};
    auto scale = [](int k) { return k == 0 ? 1.0 : std::numbers::sqrt2 * std::cos(k * std::numbers::pi / 16); };
    const uint32_t* intra0 = intra_quant_table(0);
    const uint32_t* inter0 = inter_quant_table(0);
    for (int set = 0; set < 2; ++set) {
        int raised = 0;
        for (unsigned q = 0; q < 16; ++q)
            for (int pos = 0; pos < 64; ++pos) {
                // Base matrix entry recovered from table 0: 65536 x B / 16 x A(r) x A(c).
                const uint32_t t0 = (set == 0 ? intra0 : inter0)[pos];
                const double base = std::round(t0 * 16.0 / 65536.0 / (scale(pos / 8) * scale(pos % 8)));
                const double exact = 65536.0 * steps[q] * base / 16.0 * scale(pos / 8) * scale(pos % 8);
                const uint32_t stored = (set == 0 ? intra_quant_table(q) : inter_quant_table(q))[pos];
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
    EXPECT_EQ(intra_quant_table(0)[8], 124989u);  // row 1, column 0: base 22
}

}  // namespace
}  // namespace zarn
