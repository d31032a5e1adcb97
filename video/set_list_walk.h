// The plane walk shared by the coefficient and residue decoders: the list of
// unresolved sets is read from one buffer and the next plane's list written
// into another, kept entries in order from its middle and deferred singles in
// front of them. Reading and writing different buffers lets a run of zero
// bits (sets not significant in this plane) be skipped and carried over with
// whole 8-byte moves, whatever lies past the run. In a block's last plane
// nothing needs keeping: what it defers is never read again.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "base/byte_order.h"
#include "video/bit_reader.h"
#include "video/coefficients.h"

namespace zarn {

struct SetLists {
    static constexpr unsigned kBase = 64;   // room for the deferred singles
    static constexpr unsigned kSize = 160;  // plus at most 72 live entries, plus 16-byte copy slack
    uint8_t buffer[2][kSize];
};

// Where one plane's walk stands.
struct PlaneWalk {
    uint8_t* cur = nullptr;   // the list walked in this plane
    unsigned idx = 0;         // next entry of `cur`
    unsigned tail = 0;        // end of `cur`; grows as groups of 16 split
    uint8_t* next = nullptr;  // the list of the next plane
    unsigned head = 0;        // first entry of `next`
    unsigned w = 0;           // end of `next`
};

// Starts plane number `walked` (0 for a block's first) on the list left by
// the previous plane, [head, tail) of its buffer.
inline void StartPlane(PlaneWalk& s, SetLists& lists, unsigned walked, unsigned head, unsigned tail) {
    const unsigned from = walked & 1u;
    s.cur = lists.buffer[from];
    s.next = lists.buffer[from ^ 1u];
    s.idx = head;
    s.tail = tail;
    s.head = s.w = SetLists::kBase;
}

inline void KeepSet(PlaneWalk& s, unsigned first, SetKind kind) {
    s.next[s.w++] = static_cast<uint8_t>(first * 4 + kind);
}

// A group of 16 at `first` adds its last three groups of 4 at the back of
// this plane's list.
inline void SplitGroup16(PlaneWalk& s, unsigned first) {
    s.cur[s.tail++] = static_cast<uint8_t>((first + 4) * 4 + kGroup4);
    s.cur[s.tail++] = static_cast<uint8_t>((first + 8) * 4 + kGroup4);
    s.cur[s.tail++] = static_cast<uint8_t>((first + 12) * 4 + kGroup4);
}

// Walks one plane: one significance bit per set, `resolve(entry)` for each
// significant one. Returns true as soon as `resolve` does (decoding stops).
template <bool kKeep, class Resolve>
inline bool WalkSetPlane(BitCache& b, PlaneWalk& s, Resolve&& resolve) {
    for (;;) {
        Ensure32(b);
        // A guard bit at `avail` stops the count at the bits held.
        const unsigned zeros = static_cast<unsigned>(std::countr_zero(b.bits | (uint64_t{1} << b.avail)));
        const unsigned live = s.tail - s.idx;
        const unsigned run = zeros < live ? zeros : live;
        SkipBits(b, run);
        if constexpr (kKeep) {
            // Bytes past the run land beyond `w`, where nothing is live yet.
            // Most runs are short: the first 16 bytes go without a test.
            std::memcpy(s.next + s.w, s.cur + s.idx, 16);
            for (unsigned k = 16; k < run; k += 16) std::memcpy(s.next + s.w + k, s.cur + s.idx + k, 16);
            s.w += run;
        }
        s.idx += run;
        if (s.idx == s.tail) return false;
        if (b.avail == 0) continue;  // every bit held was 0: load more
        SkipBits(b, 1);              // this set is significant
        if (resolve(s.cur[s.idx++])) return true;
    }
}

// A group of 4 (coded indexes 4k..4k+3) is a 2x2 square: 4k and 4k + 1 side
// by side, 4k + 2 and 4k + 3 below them, so its values go out as two rows.
constexpr bool GroupsAreSquares() {
    for (unsigned k = 0; k < 16; ++k) {
        const unsigned top = kCodedToRaster[4 * k];
        if (top % 2 != 0 || kCodedToRaster[4 * k + 1] != top + 1 || kCodedToRaster[4 * k + 2] != top + 8 ||
            kCodedToRaster[4 * k + 3] != top + 9)
            return false;
    }
    return true;
}
static_assert(GroupsAreSquares());

// The singles a group of 4 defers, by the mask of its deferred positions
// (bit p for the group's p-th index), as the bytes they take in front of the
// next list, the first deferred in the highest byte, with the group's first
// index still to be added; and how many there are.
struct DeferredSingles {
    uint32_t entries[16];
    uint8_t count[16];
};

constexpr DeferredSingles MakeDeferredSingles() {
    DeferredSingles t{};
    for (unsigned mask = 0; mask < 16; ++mask) {
        unsigned n = 0;
        for (unsigned p = 0; p < 4; ++p)
            if ((mask >> p) & 1u) t.entries[mask] |= (p * 4 + kSingle) << (8 * (3 - n++));
        t.count[mask] = static_cast<uint8_t>(n);
    }
    return t;
}

inline constexpr DeferredSingles kDeferredSingles = MakeDeferredSingles();

// Puts `count` deferred singles of the group at `first` in front of the next
// list with one 4-byte store (`entries` as in kDeferredSingles). Bytes past
// the count land where nothing is live: at most 60 positions were deferred
// before, so the word stays inside the list. Each byte stays below 256, so
// adding the first index carries into no other.
inline void PushDeferredSingles(PlaneWalk& s, unsigned first, uint32_t entries, unsigned count) {
    StoreLe32(s.next + s.head - 4, entries + first * 4 * 0x01010101u);
    s.head -= count;
}

inline void DeferSingles(PlaneWalk& s, unsigned first, unsigned mask) {
    PushDeferredSingles(s, first, kDeferredSingles.entries[mask], kDeferredSingles.count[mask]);
}

// Most groups of 4 resolve in low planes, where all their decisions fit in 8
// or 12 bits: a table gives the whole group at once, without a branch per
// position. For each position the bits hold a 1 (not significant: deferred)
// or a 0, the plane's magnitude bits (plane 1: one) and a sign bit.
// Entry: bits used (bits 0..3), deferred positions (bits 4..7), each
// position's value as a signed nibble from bit 8 (0 when deferred), and the
// number of positions that become significant (bits 24..26). With no
// magnitude bits (plane 0) the values are +1 and -1, which also gives a
// residue group its signs.
template <unsigned kPlane>
struct LowPlaneGroups {
    static constexpr unsigned kBits = 4 * (kPlane + 2);
    uint32_t entry[1u << kBits];
};

template <unsigned kPlane>
constexpr LowPlaneGroups<kPlane> MakeLowPlaneGroups() {
    LowPlaneGroups<kPlane> t{};
    for (unsigned bits = 0; bits < (1u << t.kBits); ++bits) {
        unsigned used = 0, becoming = 0;
        uint32_t e = 0;
        for (unsigned p = 0; p < 4; ++p) {
            if ((bits >> used) & 1u) {
                e |= 1u << (4 + p);
                used += 1;
                continue;
            }
            ++becoming;
            const unsigned magnitude = (1u << kPlane) | ((bits >> (used + 1)) & ((1u << kPlane) - 1u));
            const bool negative = ((bits >> (used + 1 + kPlane)) & 1u) != 0;
            const uint32_t value = negative ? 0u - magnitude : magnitude;
            e |= (value & 15u) << (8 + 4 * p);
            used += kPlane + 2;
        }
        t.entry[bits] = e | used | becoming << 24;
    }
    return t;
}

inline constexpr LowPlaneGroups<0> kPlane0Groups = MakeLowPlaneGroups<0>();
inline constexpr LowPlaneGroups<1> kPlane1Groups = MakeLowPlaneGroups<1>();

// Value nibble p of a group entry, sign-extended.
inline int32_t GroupValue(uint32_t e, unsigned p) { return static_cast<int32_t>(e << (20 - 4 * p)) >> 28; }

}  // namespace zarn
