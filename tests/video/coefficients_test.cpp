// AC coefficient and residue decoding.
#include <gtest/gtest.h>

#include <deque>
#include <random>

#include "encoder/bit_writer.h"
#include "encoder/coefficient_writer.h"
#include "encoder/residue_writer.h"
#include "tests/video/stream_builder.h"
#include "video/coefficients.h"
#include "video/residue.h"

namespace zarn {
namespace {

using namespace zarn::test;

constexpr uint32_t kMarker = 0x2D3;  // 10 bits written after a block to check what was consumed

struct Decoded {
    int16_t coef[64];
    bool any;
    bool marker_follows;
};

// The fields followed by the marker, as a packet.
std::vector<uint8_t> WithMarker(const FieldList& f) {
    BitWriter w;
    f.WriteTo(w);
    w.Put(kMarker, 10);
    return w.Finish();
}

// A header field and single bits, followed by the marker.
std::vector<uint8_t> HeaderAndBits(uint32_t header, unsigned header_bits, const std::vector<int>& bits) {
    FieldList f;
    f.Put(header, header_bits);
    for (int b : bits) f.PutBit(b != 0);
    return WithMarker(f);
}

Decoded DecodeAcBits(const std::vector<int>& bits, unsigned planes) {
    const auto bytes = HeaderAndBits(planes, 4, bits);
    BitReader r = MakeBitReader(bytes.data(), bytes.size(), 0);
    Decoded d;
    for (auto& c : d.coef) c = 77;
    d.any = DecodeAcCoefficients(r, d.coef);
    d.marker_follows = ReadBits(r, 10) == kMarker;
    return d;
}

void ExpectOnly(const Decoded& d, std::vector<std::pair<int, int>> nonzero) {
    EXPECT_EQ(d.coef[0], 77);  // DC left alone
    for (int pos = 1; pos < 64; ++pos) {
        int expect = 0;
        for (auto [p, v] : nonzero)
            if (p == pos) expect = v;
        EXPECT_EQ(d.coef[pos], expect) << "raster " << pos;
    }
}

TEST(AcCoefficients, NoPlanesMeansNoBitsAndAllZero) {
    Decoded d = DecodeAcBits({}, 0);
    EXPECT_TRUE(d.marker_follows);
    EXPECT_FALSE(d.any);
    ExpectOnly(d, {});
}

TEST(AcCoefficients, SingleOneInPlaneZero) {
    Decoded d = DecodeAcBits({0, 0, 0, 1, 0, 0, 0}, 1);
    EXPECT_TRUE(d.marker_follows);
    EXPECT_TRUE(d.any);
    ExpectOnly(d, {{1, 1}});
}

TEST(AcCoefficients, DeferredSinglesAreExaminedInReverseOrder) {
    const std::vector<int> bits = {// plane 1: group of 20 at 4 significant, its four positions all deferred,
                                   // then its group of 16 not significant; the rest not significant.
                                   1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0,
                                   // plane 0: singles 7, 6, 5, 4 (last added first), then the rest.
                                   1, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0};
    Decoded d = DecodeAcBits(bits, 2);
    EXPECT_TRUE(d.marker_follows);
    // Coded 7 is raster 11, coded 6 raster 10.
    ExpectOnly(d, {{11, 1}, {10, -1}});
}

TEST(AcCoefficients, GroupOf20ResolvesItsSquareBeforeItsGroupOf16) {
    const std::vector<int> bits = {
        1,              // group of 20 at 4
        0, 0, 1, 1, 1,  // coded 4 significant (+), 5..7 deferred
        1,              // its group of 16 at 8: significant -> group of 4 at 8 (+3 at the back)
        1,              // group of 4 at 8 significant
        0, 1, 1, 1, 1,  // coded 8 significant (-), 9..11 deferred
        0, 0,           // groups of 20 at 24, 44
        0, 0, 0,        // singles 1, 2, 3
        0, 0, 0,        // groups of 4 at 12, 16, 20 added at the back
    };
    Decoded d = DecodeAcBits(bits, 1);
    EXPECT_TRUE(d.marker_follows);
    ExpectOnly(d, {{2, 1}, {4, -1}});
}

TEST(AcCoefficients, MagnitudeBitsFollowTheSignificancePlane) {
    // P = 3: single 1 significant in plane 2 with L = 3 -> 4 + 3 = 7, negative.
    const std::vector<int> bits = {0, 0, 0, 1, 1, 1, 1, 0, 0, /* plane 1 */ 0, 0, 0, 0, 0, /* plane 0 */ 0,
                                   0, 0, 0, 0};
    Decoded d = DecodeAcBits(bits, 3);
    EXPECT_TRUE(d.marker_follows);
    ExpectOnly(d, {{1, -7}});
}

TEST(AcCoefficients, RandomBlocksRoundTrip) {
    std::mt19937 rng(5);
    for (int trial = 0; trial < 400; ++trial) {
        int16_t coef[64] = {};
        const int count = static_cast<int>(rng() % 64);
        const int max_bits = 1 + static_cast<int>(rng() % 15);
        for (int k = 0; k < count; ++k) {
            int pos = 1 + static_cast<int>(rng() % 63);
            int mag = static_cast<int>(rng() % (1u << max_bits));
            coef[pos] = static_cast<int16_t>(rng() % 2 ? -mag : mag);
        }
        FieldList f;
        WriteAcCoefficients(coef, f);
        const auto bytes = WithMarker(f);
        BitReader r = MakeBitReader(bytes.data(), bytes.size(), 0);
        int16_t out[64];
        out[0] = 0;
        DecodeAcCoefficients(r, out);
        for (int pos = 1; pos < 64; ++pos)
            ASSERT_EQ(out[pos], coef[pos]) << "trial " << trial << " pos " << pos;
        ASSERT_EQ(ReadBits(r, 10), kMarker);
    }
}

// One plane's walk of the set list as the decoders' algorithm reads it: one
// double-ended list, resolved entries set to 0 and skipped, bits read one at
// a time. `become(index)` reads what follows a position that becomes
// significant and returns true when decoding stops there.
struct LiteralListWalk {
    BitReader& r;
    std::deque<uint8_t> list;
    bool stopped = false;

    // Returns the number of front additions, so the caller's index can follow.
    template <class Become>
    size_t Group4(size_t at, unsigned j, Become& become) {
        list[at] = 0;
        size_t added = 0;
        for (unsigned p = j; p < j + 4 && !stopped; ++p) {
            if (ReadBit(r)) {
                list.push_front(static_cast<uint8_t>(p * 4 + 3));
                ++added;
            } else {
                stopped = become(p);
            }
        }
        return added;
    }
    template <class Become>
    void Plane(Become become) {
        for (size_t k = 0; k < list.size() && !stopped; ++k) {
            const uint8_t e = list[k];
            if (e == 0 || !ReadBit(r)) continue;
            const unsigned j = e >> 2;
            switch (e & 3) {
            case 0:
                list[k] = static_cast<uint8_t>((j + 4) * 4 + 1);
                k += Group4(k, j, become);  // the entry moved back by the additions
                list[k] = static_cast<uint8_t>((j + 4) * 4 + 1);
                --k;  // process it again
                break;
            case 1:
                list[k] = static_cast<uint8_t>(j * 4 + 2);
                for (unsigned g : {j + 4, j + 8, j + 12}) list.push_back(static_cast<uint8_t>(g * 4 + 2));
                --k;
                break;
            case 2: k += Group4(k, j, become); break;
            default: list[k] = 0; stopped = become(j);
            }
        }
    }
};

// The coefficient decoder through the literal walk.
void LiteralAcDecode(BitReader& r, int16_t coef[64]) {
    const unsigned planes = ReadBits(r, 4);
    for (unsigned p = 1; p < 64; ++p) coef[p] = 0;
    LiteralListWalk walk{r, {4 * 4 + 0, 24 * 4 + 0, 44 * 4 + 0, 1 * 4 + 3, 2 * 4 + 3, 3 * 4 + 3}};
    for (unsigned i = planes; i-- > 0;) {
        walk.Plane([&](unsigned index) {
            const uint32_t low = i ? ReadBits(r, i) : 0;
            const int v = static_cast<int>((1u << i) + low);
            coef[kCodedToRaster[index]] = static_cast<int16_t>(ReadBit(r) ? -v : v);
            return false;
        });
    }
}

// A packet of arbitrary bits, from mostly 0 (like real blocks) to dense
// (every group splits).
std::vector<uint8_t> ArbitraryBytes(std::mt19937& rng, size_t max_size) {
    std::vector<uint8_t> bytes(1 + rng() % max_size);
    const unsigned density = 1 + rng() % 8;
    for (auto& b : bytes)
        for (int bit = 0; bit < 8; ++bit)
            if (rng() % 8 < density) b = static_cast<uint8_t>(b | (1u << bit));
    return bytes;
}

void ExpectSameReader(const BitReader& a, const BitReader& b, int trial) {
    ASSERT_EQ(a.next, b.next) << "trial " << trial;
    ASSERT_EQ(a.count, b.count) << "trial " << trial;
    ASSERT_EQ(a.buffer, b.buffer) << "trial " << trial;
}

// Arbitrary bits, not only what an encoder writes: both decoders must give
// the same coefficients and leave the reader at the same bit, including when
// the block runs past the end of the packet.
TEST(AcCoefficients, AgreesWithTheLiteralListWalkOnArbitraryBits) {
    std::mt19937 rng(11);
    for (int trial = 0; trial < 3000; ++trial) {
        const std::vector<uint8_t> bytes = ArbitraryBytes(rng, 40);
        const size_t start = (rng() % 3) * 4;
        if (start >= bytes.size()) continue;
        BitReader fast = MakeBitReader(bytes.data(), bytes.size(), start);
        ReadBits(fast, rng() % 20);  // start at any bit of a word
        BitReader slow = fast;
        int16_t a[64], b[64];
        a[0] = b[0] = 5;
        const bool any = DecodeAcCoefficients(fast, a);
        LiteralAcDecode(slow, b);
        bool nonzero = false;
        for (int p = 0; p < 64; ++p) {
            ASSERT_EQ(a[p], b[p]) << "trial " << trial << " raster " << p;
            nonzero |= p > 0 && b[p] != 0;
        }
        ASSERT_EQ(any, nonzero) << "trial " << trial;
        ExpectSameReader(fast, slow, trial);
    }
}

// The residue decoder through the literal walk: a refinement pass, then the
// walk, each plane; decoding stops right after event number `limit`.
void LiteralResidueDecode(BitReader& r, unsigned limit, uint8_t value[64]) {
    const unsigned c = ReadBits(r, 3);
    for (int i = 0; i < 64; ++i) value[i] = 0;
    uint8_t t = static_cast<uint8_t>(1u << c);
    std::vector<uint8_t> significant;
    unsigned events = 0;
    LiteralListWalk walk{r, {4 * 4 + 0, 24 * 4 + 0, 44 * 4 + 0, 0 * 4 + 2}};
    for (unsigned plane = 0; plane <= c && !walk.stopped; ++plane) {
        for (size_t k = 0; k < significant.size() && !walk.stopped; ++k) {
            if (!ReadBit(r)) continue;
            uint8_t& v = value[significant[k]];
            v = static_cast<int8_t>(v) >= 0 ? static_cast<uint8_t>(v + t) : static_cast<uint8_t>(v - t);
            walk.stopped = events++ == limit;
        }
        walk.Plane([&](unsigned index) {
            const uint8_t pos = kCodedToRaster[index];
            value[pos] = ReadBit(r) ? static_cast<uint8_t>(-t) : t;
            significant.push_back(pos);
            return events++ == limit;
        });
        t = static_cast<uint8_t>(static_cast<int8_t>(t) >> 1);
    }
}

TEST(Residue, AgreesWithTheLiteralListWalkOnArbitraryBits) {
    std::mt19937 rng(13);
    for (int trial = 0; trial < 3000; ++trial) {
        const std::vector<uint8_t> bytes = ArbitraryBytes(rng, 48);
        const unsigned limit = rng() % 2 ? rng() % 8 : rng() % 128;
        BitReader fast = MakeBitReader(bytes.data(), bytes.size(), 0);
        ReadBits(fast, rng() % 20);
        BitReader slow = fast;
        uint8_t a[64], b[64];
        DecodeResidue(fast, limit, a);
        LiteralResidueDecode(slow, limit, b);
        for (int p = 0; p < 64; ++p) ASSERT_EQ(a[p], b[p]) << "trial " << trial << " raster " << p;
        ExpectSameReader(fast, slow, trial);
    }
}

std::vector<int> DecodeResidueBits(const std::vector<int>& bits, unsigned c, unsigned limit, bool* marker) {
    const auto bytes = HeaderAndBits(c, 3, bits);
    BitReader r = MakeBitReader(bytes.data(), bytes.size(), 0);
    uint8_t out[64];
    DecodeResidue(r, limit, out);
    *marker = ReadBits(r, 10) == kMarker;
    return {out, out + 64};
}

TEST(Residue, FirstEventEndsTheBlockWithLimitZero) {
    bool marker;
    auto v = DecodeResidueBits({0, 0, 0, 1, 0, 1}, 0, 0, &marker);
    EXPECT_TRUE(marker);  // nothing read after the first event
    EXPECT_EQ(v[0], 0xFF);
    for (int i = 1; i < 64; ++i) EXPECT_EQ(v[i], 0);
}

TEST(Residue, SevenPlanesStartAtMinus128) {
    std::vector<int> bits = {0,
                             0,
                             0,
                             1,  // groups of 20 not significant, group of 4 at 0 significant
                             0,
                             0,  // coded 0 significant, sign + -> -128
                             0,
                             1,  // coded 1 significant, sign - -> still -128
                             1,
                             1,  // coded 2, 3 deferred
                             /* T = -64 */ 1,
                             0,  // refine coded 0 (negative: subtract T -> -64), coded 1 unchanged
                             0,
                             1,
                             0,  // single 3 not significant; single 2 significant, sign + -> -64
                             0,
                             0,
                             0};             // groups of 20
    for (int plane = 0; plane < 6; ++plane)  // T = -32 .. -1: 3 refinements, single 3, 3 groups
        for (int k = 0; k < 7; ++k) bits.push_back(0);
    bool marker;
    auto v = DecodeResidueBits(bits, 7, 127, &marker);
    EXPECT_TRUE(marker);
    EXPECT_EQ(v[0], 0xC0);
    EXPECT_EQ(v[1], 0x80);
    EXPECT_EQ(v[8], 0xC0);  // coded 2 is raster 8
    for (int i : {2, 3, 9, 10}) EXPECT_EQ(v[i], 0);
}

TEST(Residue, EventLimitCutsRefinement) {
    int16_t res[64] = {};
    res[0] = 3;
    for (unsigned limit : {0u, 1u}) {
        FieldList f;
        int16_t decoded[64];
        WriteResidue(res, limit, &f, decoded);
        const auto bytes = WithMarker(f);
        BitReader r = MakeBitReader(bytes.data(), bytes.size(), 0);
        uint8_t out[64];
        DecodeResidue(r, limit, out);
        EXPECT_EQ(out[0], limit == 0 ? 2 : 3);
        EXPECT_EQ(ReadBits(r, 10), kMarker);
    }
}

TEST(Residue, RandomSparseBlocksRoundTrip) {
    std::mt19937 rng(9);
    for (int trial = 0; trial < 300; ++trial) {
        int16_t res[64] = {};
        const unsigned c = rng() % 7;
        for (int k = 0; k < 12; ++k) {
            int mag = static_cast<int>(rng() % (2u << c));
            res[rng() % 64] = static_cast<int16_t>(rng() % 2 ? -mag : mag);
        }
        FieldList f;
        int16_t decoded[64];
        WriteResidue(res, 127, &f, decoded);
        const auto bytes = WithMarker(f);
        BitReader r = MakeBitReader(bytes.data(), bytes.size(), 0);
        uint8_t out[64];
        DecodeResidue(r, 127, out);
        for (int i = 0; i < 64; ++i) ASSERT_EQ(static_cast<int8_t>(out[i]), res[i]) << trial << " " << i;
        ASSERT_EQ(ReadBits(r, 10), kMarker);
    }
}

}  // namespace
}  // namespace zarn
