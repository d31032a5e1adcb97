#include "video/coefficients.h"

#include <bit>
#include <cstring>
#include <initializer_list>

namespace zarn {

namespace {

// Coded index of each raster position.
constexpr uint8_t kRasterToCoded[64] = {
    0,  1,  4,  5,  8,  9,  12, 13, 2,  3,  6,  7,  10, 11, 14, 15,
    24, 25, 44, 45, 16, 17, 20, 21, 26, 27, 46, 47, 18, 19, 22, 23,
    28, 29, 32, 33, 48, 49, 52, 53, 30, 31, 34, 35, 50, 51, 54, 55,
    36, 37, 40, 41, 56, 57, 60, 61, 38, 39, 42, 43, 58, 59, 62, 63,
};

struct Inverse {
    uint8_t v[64];
};

constexpr Inverse invert() {
    Inverse inv{};
    for (unsigned pos = 0; pos < 64; ++pos) inv.v[kRasterToCoded[pos]] = static_cast<uint8_t>(pos);
    return inv;
}

constexpr Inverse kInverse = invert();

// Each plane's walk reads the current list and writes the list for the next
// plane into a second buffer: kept entries in order from its middle, deferred
// singles in front of them. Reading and writing different buffers lets a run
// of zero bits (sets not significant in this plane) be skipped and carried
// over with whole 8-byte moves, whatever lies past the run. The last plane
// (plane 0) has no next list: what it defers is never read again.
struct SetLists {
    static constexpr unsigned kBase = 64;   // room for the deferred singles
    static constexpr unsigned kSize = 160;  // plus at most 79 live entries, plus 8-byte copy slack
    uint8_t buffer[2][kSize];
};

// Most groups of 4 resolve in planes 0 and 1, where all their decisions fit
// in 8 or 12 bits: a table gives the whole group at once, without a branch
// per position. For each position the bits hold a 1 (not significant:
// deferred) or a 0, the plane's magnitude bit (plane 1 only) and a sign bit.
// Entry: bits used (bits 0..3), deferred positions (bits 4..7), and each
// position's value as a signed nibble from bit 8 (0 when deferred).
template <unsigned kPlane>
struct LowPlaneGroups {
    static constexpr unsigned kBits = 4 * (kPlane + 2);
    uint32_t entry[1u << kBits];
};

template <unsigned kPlane>
constexpr LowPlaneGroups<kPlane> make_low_plane_groups() {
    LowPlaneGroups<kPlane> t{};
    for (unsigned bits = 0; bits < (1u << t.kBits); ++bits) {
        unsigned used = 0;
        uint32_t e = 0;
        for (unsigned p = 0; p < 4; ++p) {
            if ((bits >> used) & 1u) {
                e |= 1u << (4 + p);
                used += 1;
                continue;
            }
            const unsigned magnitude = (1u << kPlane) | ((bits >> (used + 1)) & ((1u << kPlane) - 1u));
            const bool negative = ((bits >> (used + 1 + kPlane)) & 1u) != 0;
            const uint32_t value = negative ? 0u - magnitude : magnitude;
            e |= (value & 15u) << (8 + 4 * p);
            used += kPlane + 2;
        }
        t.entry[bits] = e | used;
    }
    return t;
}

constexpr LowPlaneGroups<0> kPlane0Groups = make_low_plane_groups<0>();
constexpr LowPlaneGroups<1> kPlane1Groups = make_low_plane_groups<1>();

// Which plane a walk is in: the last (plane 0), plane 1, or a higher one.
enum class PlaneKind { kLast, kOne, kHigher };

struct AcDecoder {
    BitCache b;
    int16_t* coef;
    uint8_t* cur;       // the list walked in this plane
    unsigned idx = 0;   // next entry of `cur`
    unsigned tail = 0;  // end of `cur`; grows as groups of 16 split
    uint8_t* next;      // the list of the next plane (unused in the last)
    unsigned head = 0;  // first entry of `next`
    unsigned w = 0;     // end of `next`
    unsigned plane = 0;
    bool found = false;  // true once any coefficient is non-zero

    template <PlaneKind kKind>
    unsigned plane_number() const {
        return kKind == PlaneKind::kLast ? 0 : kKind == PlaneKind::kOne ? 1 : plane;
    }

    // Magnitude bits and sign of a single significant in this plane.
    template <PlaneKind kKind>
    void significant(unsigned index) {
        const unsigned i = plane_number<kKind>();
        ensure(b, i + 1);
        const uint32_t f = take_bits(b, i + 1);
        const uint32_t magnitude = (1u << i) | (f & ((1u << i) - 1u));
        const uint32_t negative = f >> i;
        coef[kCodedToRaster[index]] = static_cast<int16_t>(negative ? 0u - magnitude : magnitude);
        found = true;
    }

    template <unsigned kPlane>
    void resolve_group4_by_table(unsigned first, const LowPlaneGroups<kPlane>& table, bool last) {
        constexpr unsigned kBits = LowPlaneGroups<kPlane>::kBits;
        ensure(b, kBits);
        const uint32_t e = table.entry[b.bits & ((1u << kBits) - 1u)];
        skip_bits(b, e & 15u);
        for (unsigned p = 0; p < 4; ++p) {
            // The position was still 0, so writing 0 for a deferred one is harmless.
            coef[kCodedToRaster[first + p]] = static_cast<int16_t>(static_cast<int32_t>(e << (20 - 4 * p)) >> 28);
            if (!last) {
                next[head - 1] = static_cast<uint8_t>((first + p) * 4 + kSingle);
                head -= (e >> (4 + p)) & 1u;
            }
        }
        found |= (e >> 8) != 0;
    }

    // For each position: a 1 bit defers it as a single to the next plane; a
    // 0 bit is followed by its magnitude bits and sign.
    template <PlaneKind kKind>
    void resolve_group4(unsigned first) {
        if constexpr (kKind == PlaneKind::kLast) {
            resolve_group4_by_table(first, kPlane0Groups, true);
        } else if constexpr (kKind == PlaneKind::kOne) {
            resolve_group4_by_table(first, kPlane1Groups, false);
        } else {
            for (unsigned p = first; p < first + 4; ++p) {
                ensure(b, 1);
                if (take_bits(b, 1)) next[--head] = static_cast<uint8_t>(p * 4 + kSingle);
                else significant<kKind>(p);
            }
        }
    }

    bool next_significant() {
        ensure(b, 1);
        return take_bits(b, 1) != 0;
    }

    template <PlaneKind kKind>
    void keep(unsigned first, SetKind kind) {
        if constexpr (kKind != PlaneKind::kLast) next[w++] = static_cast<uint8_t>(first * 4 + kind);
    }

    // Acts on entry e whose significance bit was 1.
    template <PlaneKind kKind>
    void resolve(uint8_t e) {
        unsigned first = e >> 2;
        switch (e & 3u) {
            case kGroup20:
                resolve_group4<kKind>(first);
                first += 4;
                if (!next_significant()) return keep<kKind>(first, kGroup16);
                [[fallthrough]];
            case kGroup16:
                cur[tail++] = static_cast<uint8_t>((first + 4) * 4 + kGroup4);
                cur[tail++] = static_cast<uint8_t>((first + 8) * 4 + kGroup4);
                cur[tail++] = static_cast<uint8_t>((first + 12) * 4 + kGroup4);
                if (!next_significant()) return keep<kKind>(first, kGroup4);
                [[fallthrough]];
            case kGroup4: return resolve_group4<kKind>(first);
            default: return significant<kKind>(first);
        }
    }

    // Moves n entries that stay as they are into the next list, 8 at a time;
    // bytes past the n land beyond `w`, where nothing is live yet.
    template <PlaneKind kKind>
    void carry(unsigned n) {
        if constexpr (kKind != PlaneKind::kLast) {
            for (unsigned k = 0; k < n; k += 8) std::memcpy(next + w + k, cur + idx + k, 8);
            w += n;
        }
        idx += n;
    }

    template <PlaneKind kKind>
    void walk_plane() {
        for (;;) {
            ensure_32(b);
            // A guard bit at `avail` stops the count at the bits held.
            const unsigned zeros = static_cast<unsigned>(std::countr_zero(b.bits | (uint64_t{1} << b.avail)));
            const unsigned live = tail - idx;
            const unsigned run = zeros < live ? zeros : live;
            skip_bits(b, run);
            carry<kKind>(run);
            if (idx == tail) return;
            if (b.avail == 0) continue;  // every bit held was 0: load more
            skip_bits(b, 1);              // this set is significant
            resolve<kKind>(cur[idx++]);
        }
    }
};

void decode_planes(AcDecoder& d, SetLists& lists, unsigned planes) {
    uint8_t* first = lists.buffer[0];
    unsigned head = SetLists::kBase, tail = SetLists::kBase;
    for (uint8_t e : {4 * 4 + kGroup20, 24 * 4 + kGroup20, 44 * 4 + kGroup20, 1 * 4 + kSingle, 2 * 4 + kSingle,
                      3 * 4 + kSingle})
        first[tail++] = e;
    for (unsigned i = planes; i-- > 0;) {
        const unsigned from = (planes - 1 - i) & 1u;
        d.cur = lists.buffer[from];
        d.next = lists.buffer[from ^ 1u];
        d.idx = head;
        d.tail = tail;
        d.head = d.w = SetLists::kBase;
        d.plane = i;
        if (i == 0) d.walk_plane<PlaneKind::kLast>();
        else if (i == 1) d.walk_plane<PlaneKind::kOne>();
        else d.walk_plane<PlaneKind::kHigher>();
        head = d.head;
        tail = d.w;
    }
}

}  // namespace

const uint8_t kCodedToRaster[64] = {
#define ZARN_ROW(i) kInverse.v[i], kInverse.v[i + 1], kInverse.v[i + 2], kInverse.v[i + 3], \
                    kInverse.v[i + 4], kInverse.v[i + 5], kInverse.v[i + 6], kInverse.v[i + 7]
    ZARN_ROW(0), ZARN_ROW(8), ZARN_ROW(16), ZARN_ROW(24), ZARN_ROW(32), ZARN_ROW(40), ZARN_ROW(48), ZARN_ROW(56),
#undef ZARN_ROW
};

bool decode_ac_coefficients(BitReader& r, int16_t coef[64]) {
    unsigned planes = read_bits(r, 4);
    // Cleared as whole 64-bit words with coef[0] put back: a clear starting at
    // coef[1] is misaligned and compiles to a slow string store.
    const int16_t dc = coef[0];
    static constexpr uint64_t kZero[16] = {};
    std::memcpy(coef, kZero, sizeof kZero);
    coef[0] = dc;
    if (planes == 0) return false;
    AcDecoder d{acquire_bits(r), coef, nullptr};
    SetLists lists;
    decode_planes(d, lists, planes);
    release_bits(d.b, r);
    return d.found;
}

}  // namespace zarn
