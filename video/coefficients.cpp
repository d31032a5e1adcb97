#include "video/coefficients.h"

#include <bit>
#include <cstring>
#include <initializer_list>

#include "video/set_list_walk.h"

namespace zarn {

namespace {

// The value of a position becoming significant in plane i: i low magnitude
// bits above the implied top bit, then the sign (1: negative), from bit 0 of f.
inline int16_t PlaneValue(uint32_t f, unsigned i) {
    const uint32_t magnitude = (1u << i) | (f & ((1u << i) - 1u));
    const uint32_t negative = 0u - ((f >> i) & 1u);
    return static_cast<int16_t>((magnitude ^ negative) - negative);
}

// Two side-by-side coefficients in one store.
inline void StorePair(int16_t* p, int32_t left, int32_t right) {
    const int16_t pair[2] = {static_cast<int16_t>(left), static_cast<int16_t>(right)};
    std::memcpy(p, pair, sizeof pair);
}

// The last plane's deferred singles, decided eight bits at a time. Each
// single takes a 0 (it stays 0) or a 1 and its sign (it becomes +1 or -1).
// Entry: the bits used (bits 0..3), how many singles they decide (bits
// 4..7: all whose bits fit), and from bit 8 two bits per single: 0 for 0,
// 1 for +1, 3 for -1.
struct LastPlaneSingles {
    uint32_t entry[256];
};

constexpr LastPlaneSingles MakeLastPlaneSingles() {
    LastPlaneSingles t{};
    for (unsigned bits = 0; bits < 256; ++bits) {
        unsigned used = 0, n = 0, values = 0;
        while (used < 8) {
            if (((bits >> used) & 1u) == 0) {
                used += 1;
            } else {
                if (used + 2 > 8) break;
                values |= (((bits >> (used + 1)) & 1u) != 0 ? 3u : 1u) << (2 * n);
                used += 2;
            }
            ++n;
        }
        t.entry[bits] = used | n << 4 | values << 8;
    }
    return t;
}

constexpr LastPlaneSingles kLastPlaneSingles = MakeLastPlaneSingles();

// Which plane a walk is in: the last (plane 0), plane 1, or a higher one.
enum class PlaneKind { kLast, kOne, kHigher };

struct AcDecoder {
    BitCache b;
    int16_t* coef;
    PlaneWalk s;
    unsigned plane = 0;
    bool found = false;  // true once any coefficient is non-zero

    template <PlaneKind kKind>
    unsigned PlaneNumber() const {
        return kKind == PlaneKind::kLast ? 0 : kKind == PlaneKind::kOne ? 1 : plane;
    }

    // Magnitude bits and sign of a single significant in this plane.
    template <PlaneKind kKind>
    void Significant(unsigned index) {
        const unsigned i = PlaneNumber<kKind>();
        Ensure(b, i + 1);
        coef[kCodedToRaster[index]] = PlaneValue(TakeBits(b, i + 1), i);
        found = true;
    }

    template <unsigned kPlane>
    void ResolveGroup4ByTable(unsigned first, const LowPlaneGroups<kPlane>& table, bool last) {
        constexpr unsigned kBits = LowPlaneGroups<kPlane>::kBits;
        Ensure(b, kBits);
        const uint32_t e = table.entry[b.bits & ((1u << kBits) - 1u)];
        SkipBits(b, e & 15u);
        // The positions were still 0, so writing 0 for a deferred one is harmless.
        int16_t* const top = coef + kCodedToRaster[first];
        StorePair(top, GroupValue(e, 0), GroupValue(e, 1));
        StorePair(top + 8, GroupValue(e, 2), GroupValue(e, 3));
        if (!last) DeferSingles(s, first, (e >> 4) & 15u);
        found |= (e >> 8) != 0;
    }

    // For each position: a 1 bit defers it as a single to the next plane; a
    // 0 bit is followed by its magnitude bits and sign.
    template <PlaneKind kKind>
    void ResolveGroup4(unsigned first) {
        if constexpr (kKind == PlaneKind::kLast) {
            ResolveGroup4ByTable(first, kPlane0Groups, true);
        } else if constexpr (kKind == PlaneKind::kOne) {
            ResolveGroup4ByTable(first, kPlane1Groups, false);
        } else {
            // Deferred or not is as good as random in dense blocks: both
            // outcomes are computed and the bit picks one, without a branch.
            const unsigned i = plane;
            for (unsigned p = first; p < first + 4; ++p) {
                Ensure(b, i + 2);
                const uint32_t f = static_cast<uint32_t>(b.bits);
                const uint32_t deferred = f & 1u;
                const int16_t value = PlaneValue(f >> 1, i);
                coef[kCodedToRaster[p]] = static_cast<int16_t>(value & static_cast<int16_t>(deferred - 1u));
                s.next[s.head - 1] = static_cast<uint8_t>(p * 4 + kSingle);
                s.head -= deferred;
                SkipBits(b, 1 + ((i + 1) & (deferred - 1u)));
                found |= deferred == 0;
            }
        }
    }

    bool NextSignificant() {
        Ensure(b, 1);
        return TakeBits(b, 1) != 0;
    }

    template <PlaneKind kKind>
    void Keep(unsigned first, SetKind kind) {
        if constexpr (kKind != PlaneKind::kLast) KeepSet(s, first, kind);
    }

    // Acts on entry e whose significance bit was 1.
    template <PlaneKind kKind>
    void Resolve(uint8_t e) {
        unsigned first = e >> 2;
        switch (e & 3u) {
        case kGroup20:
            ResolveGroup4<kKind>(first);
            first += 4;
            if (!NextSignificant()) return Keep<kKind>(first, kGroup16);
            [[fallthrough]];
        case kGroup16:
            SplitGroup16(s, first);
            if (!NextSignificant()) return Keep<kKind>(first, kGroup4);
            [[fallthrough]];
        case kGroup4: return ResolveGroup4<kKind>(first);
        default: return Significant<kKind>(first);
        }
    }

    // The last plane's list starts with the singles the plane before
    // deferred. While eight or more of them are left, a table decides as
    // many as its next eight bits cover, without a branch per single. The
    // eight entries all are such singles, still 0, so those not yet decided
    // are written 0 again.
    void LastPlaneDeferredSingles() {
        while (SetLists::kBase - s.idx >= 8) {
            Ensure(b, 8);
            const uint32_t e = kLastPlaneSingles.entry[b.bits & 0xffu];
            SkipBits(b, e & 15u);
            const uint8_t* const singles = s.cur + s.idx;
            uint32_t values = e >> 8;
            for (unsigned k = 0; k < 8; ++k, values >>= 2)
                coef[kCodedToRaster[singles[k] >> 2]] = static_cast<int16_t>((values & 1u) - (values & 2u));
            found |= (e >> 8) != 0;
            s.idx += (e >> 4) & 15u;
        }
    }

    template <PlaneKind kKind>
    void WalkPlane() {
        if constexpr (kKind == PlaneKind::kLast) LastPlaneDeferredSingles();
        WalkSetPlane<kKind != PlaneKind::kLast>(b, s, [this](uint8_t e) {
            Resolve<kKind>(e);
            return false;
        });
    }
};

void DecodePlanes(AcDecoder& d, SetLists& lists, unsigned planes) {
    uint8_t* first = lists.buffer[0];
    unsigned head = SetLists::kBase, tail = SetLists::kBase;
    for (uint8_t e : {4 * 4 + kGroup20, 24 * 4 + kGroup20, 44 * 4 + kGroup20, 1 * 4 + kSingle,
                      2 * 4 + kSingle, 3 * 4 + kSingle})
        first[tail++] = e;
    for (unsigned i = planes; i-- > 0;) {
        StartPlane(d.s, lists, planes - 1 - i, head, tail);
        d.plane = i;
        if (i == 0)
            d.WalkPlane<PlaneKind::kLast>();
        else if (i == 1)
            d.WalkPlane<PlaneKind::kOne>();
        else
            d.WalkPlane<PlaneKind::kHigher>();
        head = d.s.head;
        tail = d.s.w;
    }
}

}  // namespace

bool DecodeAcCoefficients(BitReader& r, int16_t coef[64]) {
    unsigned planes = ReadBits(r, 4);
    // Cleared as whole 64-bit words with coef[0] put back: a clear starting at
    // coef[1] is misaligned and compiles to a slow string store.
    const int16_t dc = coef[0];
    static constexpr uint64_t kZero[16] = {};
    std::memcpy(coef, kZero, sizeof kZero);
    coef[0] = dc;
    if (planes == 0) return false;
    AcDecoder d{AcquireBits(r), coef, {}};
    SetLists lists;
    DecodePlanes(d, lists, planes);
    ReleaseBits(d.b, r);
    return d.found;
}

}  // namespace zarn
