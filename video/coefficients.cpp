#include "video/coefficients.h"

#include <bit>
#include <cstring>

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

// The list walk works on a BitCache. Each plane compacts the list in place:
// entries still unresolved are moved down over resolved ones, so that the
// entries ahead of the walk are all live and a run of zero bits (sets not
// significant in this plane) is skipped at once. Singles deferred to the
// next plane go in front of the list's start, which the compacted list
// then continues.
struct AcDecoder {
    BitCache b;
    int16_t* coef;
    SetList list;
    bool any = false;

    // Magnitude bits and sign of a position significant in `plane`.
    void significant(unsigned index, unsigned plane) {
        ensure(b, plane + 1);
        const uint32_t f = take_bits(b, plane + 1);
        const int32_t magnitude = static_cast<int32_t>((1u << plane) | (f & ((1u << plane) - 1u)));
        coef[kCodedToRaster[index]] = static_cast<int16_t>((f >> plane) ? -magnitude : magnitude);
        any = true;
    }

    void resolve_group4(unsigned first, unsigned plane) {
        for (unsigned p = first; p < first + 4; ++p) {
            ensure(b, 1);
            if (take_bits(b, 1)) list.push_front(p, kSingle);
            else significant(p, plane);
        }
    }

    // Reads the significance bit of a set; true when it is 1.
    bool next_significant() {
        ensure(b, 1);
        return take_bits(b, 1) != 0;
    }

    // Acts on entry e whose significance bit was 1. Returns the entry that
    // stays in the list, or 0 when it is resolved.
    uint8_t resolve(uint8_t e, unsigned plane) {
        unsigned first = e >> 2;
        switch (e & 3u) {
            case kGroup20:
                resolve_group4(first, plane);
                first += 4;
                if (!next_significant()) return static_cast<uint8_t>(first * 4 + kGroup16);
                [[fallthrough]];
            case kGroup16:
                list.push_back(first + 4, kGroup4);
                list.push_back(first + 8, kGroup4);
                list.push_back(first + 12, kGroup4);
                if (!next_significant()) return static_cast<uint8_t>(first * 4 + kGroup4);
                [[fallthrough]];
            case kGroup4: resolve_group4(first, plane); return 0;
            default: significant(first, plane); return 0;
        }
    }

    void walk_plane(unsigned plane) {
        unsigned idx = list.head, w = list.head;
        while (idx < list.tail) {
            ensure(b, 32);
            // A guard bit at `avail` stops the count at the bits held.
            const unsigned zeros = static_cast<unsigned>(std::countr_zero(b.bits | (uint64_t{1} << b.avail)));
            const unsigned live = list.tail - idx;
            const unsigned skip = zeros < live ? zeros : live;
            skip_bits(b, skip);
            if (w != idx)
                for (unsigned k = 0; k < skip; ++k) list.entry[w + k] = list.entry[idx + k];
            idx += skip;
            w += skip;
            if (idx == list.tail || b.avail == 0) continue;
            skip_bits(b, 1);  // this set is significant
            const uint8_t kept = resolve(list.entry[idx++], plane);
            if (kept != 0) list.entry[w++] = kept;
        }
        list.tail = w;
    }
};

}  // namespace

const uint8_t kCodedToRaster[64] = {
#define ZARN_ROW(i) kInverse.v[i], kInverse.v[i + 1], kInverse.v[i + 2], kInverse.v[i + 3], \
                    kInverse.v[i + 4], kInverse.v[i + 5], kInverse.v[i + 6], kInverse.v[i + 7]
    ZARN_ROW(0), ZARN_ROW(8), ZARN_ROW(16), ZARN_ROW(24), ZARN_ROW(32), ZARN_ROW(40), ZARN_ROW(48), ZARN_ROW(56),
#undef ZARN_ROW
};

namespace {

void decode_planes(AcDecoder& d, unsigned planes) {
    d.list.push_back(4, kGroup20);
    d.list.push_back(24, kGroup20);
    d.list.push_back(44, kGroup20);
    d.list.push_back(1, kSingle);
    d.list.push_back(2, kSingle);
    d.list.push_back(3, kSingle);
    for (unsigned i = planes; i-- > 0;) {
        // Entries added at the back during the walk are visited; those added
        // at the front wait for the next plane.
        d.walk_plane(i);
    }
}

}  // namespace

bool decode_ac_coefficients(BitReader& r, int16_t coef[64]) {
    unsigned planes = read_bits(r, 4);
    // Cleared as whole 64-bit words with coef[0] put back: a clear starting at
    // coef[1] is misaligned and compiles to a slow string store.
    const int16_t dc = coef[0];
    static constexpr uint64_t kZero[16] = {};
    std::memcpy(coef, kZero, sizeof kZero);
    coef[0] = dc;
    if (planes == 0) return false;
    AcDecoder d{acquire_bits(r), coef, SetList{}};
    decode_planes(d, planes);
    release_bits(d.b, r);
    return d.any;
}

}  // namespace zarn
