#include "video/residue.h"

#include <cstring>
#include <initializer_list>

#include "video/coefficients.h"
#include "video/set_list_walk.h"

namespace zarn {

namespace {

// A group of 4 decided in one step from its next 8 bits (see
// LowPlaneGroups<0>), as whole words: byte masks of the positions becoming
// +T and -T, the offsets of those becoming significant in order (bytes from
// the lowest), and the single entries of the deferred ones as they are put
// in front of the next list (the first deferred in the highest byte).
struct ResidueGroup {
    uint32_t plus = 0, minus = 0, significant = 0, deferred = 0;
    uint8_t used = 0, becoming = 0;
};

struct ResidueGroups {
    ResidueGroup entry[256];
};

constexpr ResidueGroups MakeResidueGroups() {
    ResidueGroups t{};
    for (unsigned bits = 0; bits < 256; ++bits) {
        ResidueGroup& g = t.entry[bits];
        unsigned used = 0, deferred_mask = 0;
        for (unsigned p = 0; p < 4; ++p) {
            if ((bits >> used) & 1u) {
                deferred_mask |= 1u << p;
                used += 1;
                continue;
            }
            const bool negative = ((bits >> (used + 1)) & 1u) != 0;
            (negative ? g.minus : g.plus) |= 0xffu << (8 * p);
            g.significant |= p << (8 * g.becoming++);
            used += 2;
        }
        g.used = static_cast<uint8_t>(used);
        g.deferred = kDeferredSingles.entries[deferred_mask];
    }
    return t;
}

constexpr ResidueGroups kResidueGroups = MakeResidueGroups();

inline void StoreBytes2(uint8_t* p, uint32_t v) {
    const uint8_t b[2] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
    std::memcpy(p, b, 2);
}

// The coefficient decoder's list walk; positions become significant with a
// sign bit only, and every non-zero change counts an event.
struct ResidueDecoder {
    BitCache b;
    uint8_t* value;           // raster order
    unsigned room;            // events still allowed before the one that stops decoding
    uint8_t plane_value = 0;  // T, an 8-bit two's complement number
    PlaneWalk s;
    uint8_t* significant_list;  // coded indexes, in the order they became significant (64)
    unsigned significant_count = 0;

    // Counts one event; true when decoding must stop.
    bool Event() { return room-- == 0; }

    bool TakeBit() {
        Ensure(b, 1);
        return TakeBits(b, 1) != 0;
    }

    void Defer(unsigned index) { s.next[--s.head] = static_cast<uint8_t>(index * 4 + kSingle); }

    bool BecomeSignificant(unsigned index) {
        value[kCodedToRaster[index]] = TakeBit() ? static_cast<uint8_t>(-plane_value) : plane_value;
        significant_list[significant_count++] = static_cast<uint8_t>(index);  // each once: at most 64
        return Event();
    }

    // One bit per significant position, in the order they became
    // significant. When no refinement can reach the event limit the bits are
    // applied without a branch each (they are as good as random).
    bool Refine() {
        const unsigned count = significant_count;
        if (count > room) return RefineToLimit();
        for (unsigned k = 0; k < count;) {
            const unsigned n = count - k < 32 ? count - k : 32;
            Ensure(b, n);
            uint32_t bits = TakeBits(b, n);
            uint8_t* const v = value;
            const uint8_t up = plane_value, down = static_cast<uint8_t>(-plane_value);
            for (const unsigned end = k + n; k < end; ++k, bits >>= 1) {
                uint8_t& x = v[kCodedToRaster[significant_list[k]]];
                const uint8_t negative = static_cast<uint8_t>(static_cast<int8_t>(x) >> 7);
                const uint8_t step = static_cast<uint8_t>((up & ~negative) | (down & negative));
                x = static_cast<uint8_t>(x + (step & (0u - (bits & 1u))));
                room -= bits & 1u;  // std::popcount is a library call without -mpopcnt
            }
        }
        return false;
    }

    bool RefineToLimit() {
        for (unsigned k = 0; k < significant_count; ++k) {
            if (!TakeBit()) continue;
            uint8_t& v = value[kCodedToRaster[significant_list[k]]];
            v = static_cast<int8_t>(v) >= 0 ? static_cast<uint8_t>(v + plane_value)
                                            : static_cast<uint8_t>(v - plane_value);
            if (Event()) return true;
        }
        return false;
    }

    // A group whose positions cannot reach the event limit is read through
    // the table in one step; otherwise position by position, so that
    // decoding stops right after the limit's event.
    bool ResolveGroup4(unsigned first) {
        Ensure(b, 8);
        const ResidueGroup& g = kResidueGroups.entry[b.bits & 0xffu];
        if (g.becoming <= room) {
            SkipBits(b, g.used);
            // Deferred positions get value 0, which they still had. The
            // significant offsets and deferred entries are stored as whole
            // words: bytes past the counts land where nothing is live (at
            // most 60 positions were significant or deferred before, so the
            // words stay inside both lists).
            const uint32_t up = plane_value * 0x01010101u;
            const uint32_t down = static_cast<uint8_t>(-plane_value) * 0x01010101u;
            const uint32_t values = (g.plus & up) | (g.minus & down);
            uint8_t* const top = value + kCodedToRaster[first];
            StoreBytes2(top, values);
            StoreBytes2(top + 8, values >> 16);
            StoreLe32(significant_list + significant_count, g.significant + first * 0x01010101u);
            significant_count += g.becoming;
            PushDeferredSingles(s, first, g.deferred, 4u - g.becoming);
            room -= g.becoming;
            return false;
        }
        for (unsigned p = first; p < first + 4; ++p) {
            if (TakeBit())
                Defer(p);
            else if (BecomeSignificant(p))
                return true;
        }
        return false;
    }

    // In a block's last plane nothing kept is read again.
    template <bool kKeep>
    void Keep(unsigned first, SetKind kind) {
        if constexpr (kKeep) KeepSet(s, first, kind);
    }

    // Acts on entry e whose significance bit was 1. True when decoding must stop.
    template <bool kKeep>
    bool Resolve(uint8_t e) {
        unsigned first = e >> 2;
        switch (e & 3u) {
        case kGroup20:
            if (ResolveGroup4(first)) return true;
            first += 4;
            if (!TakeBit()) {
                Keep<kKeep>(first, kGroup16);
                return false;
            }
            [[fallthrough]];
        case kGroup16:
            SplitGroup16(s, first);
            if (!TakeBit()) {
                Keep<kKeep>(first, kGroup4);
                return false;
            }
            [[fallthrough]];
        case kGroup4: return ResolveGroup4(first);
        default: return BecomeSignificant(first);
        }
    }

    void Run(SetLists& lists) {
        Ensure(b, 3);
        const unsigned c = TakeBits(b, 3);
        plane_value = static_cast<uint8_t>(1u << c);
        uint8_t* first = lists.buffer[0];
        unsigned head = SetLists::kBase, tail = SetLists::kBase;
        for (uint8_t e : {4 * 4 + kGroup20, 24 * 4 + kGroup20, 44 * 4 + kGroup20, 0 * 4 + kGroup4})
            first[tail++] = e;
        for (unsigned plane = 0; plane <= c; ++plane) {
            if (Refine()) return;
            StartPlane(s, lists, plane, head, tail);
            const bool stop = plane == c
                                  ? WalkSetPlane<false>(b, s, [this](uint8_t e) { return Resolve<false>(e); })
                                  : WalkSetPlane<true>(b, s, [this](uint8_t e) { return Resolve<true>(e); });
            if (stop) return;
            head = s.head;
            tail = s.w;
            plane_value = static_cast<uint8_t>(static_cast<int8_t>(plane_value) >> 1);
        }
    }
};

}  // namespace

void DecodeResidue(BitReader& r, unsigned event_limit, uint8_t out[64]) {
    std::memset(out, 0, 64);
    // The significant list lives outside the decoder and is not cleared:
    // a record holding an array is kept in memory, and every byte store
    // through a pointer would make the decoder's fields be read again.
    uint8_t significant[64];
    ResidueDecoder d;
    d.b = AcquireBits(r);
    d.value = out;
    d.room = event_limit;
    d.significant_list = significant;
    SetLists lists;
    d.Run(lists);
    ReleaseBits(d.b, r);
}

}  // namespace zarn
