#include "video/residue.h"

#include <cstring>
#include <initializer_list>

#include "video/coefficients.h"
#include "video/set_list_walk.h"

namespace zarn {

namespace {

// A group of 4 decided in one step from its next 8 bits (see
// LowPlaneGroups<0>), as whole words: byte masks of the positions becoming
// significant and of those among them that are negative, the raster offsets
// (from the group's top left) of those becoming significant in order, bytes
// from the lowest, and the single entries of the deferred ones as they are
// put in front of the next list (the first deferred in the highest byte).
struct ResidueGroup {
    uint32_t becoming_mask = 0, minus = 0, offsets = 0, deferred = 0;
    uint8_t used = 0, becoming = 0;
};

struct ResidueGroups {
    ResidueGroup entry[256];
};

constexpr ResidueGroups MakeResidueGroups() {
    constexpr uint8_t kSquareOffset[4] = {0, 1, 8, 9};  // a group of 4 is a 2x2 square
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
            g.becoming_mask |= 0xffu << (8 * p);
            if ((bits >> (used + 1)) & 1u) g.minus |= 0xffu << (8 * p);
            g.offsets |= uint32_t{kSquareOffset[p]} << (8 * g.becoming++);
            used += 2;
        }
        g.used = static_cast<uint8_t>(used);
        g.deferred = kDeferredSingles.entries[deferred_mask];
    }
    return t;
}

constexpr ResidueGroups kResidueGroups = MakeResidueGroups();

// The low two bytes of v at p, then the high two at p + 8: the top and
// bottom rows of a 2x2 square.
inline void StoreSquare(uint8_t* p, uint32_t v) {
    StoreLe16(p, static_cast<uint16_t>(v));
    StoreLe16(p + 8, static_cast<uint16_t>(v >> 16));
}

// The values as the format computes them: 8-bit two's complement numbers
// and a plane value T that is one too (a top plane of 7 makes T -128, and
// halving it keeps it negative). Any stream decodes exactly this way.
struct TwosComplementValues {
    uint8_t v[64];

    void Clear() { std::memset(v, 0, 64); }
    void Set(unsigned pos, bool negative, uint8_t t) { v[pos] = negative ? static_cast<uint8_t>(-t) : t; }
    // Moves the value T away from 0 when `bit` (0 or 1) is set, without a
    // branch on it.
    void RefineIf(unsigned pos, uint8_t t, uint32_t bit) {
        uint8_t& x = v[pos];
        const uint8_t negative = static_cast<uint8_t>(static_cast<int8_t>(x) >> 7);
        const uint8_t step = static_cast<uint8_t>((t ^ negative) - negative);
        x = static_cast<uint8_t>(x + (step & (0u - bit)));
    }
    void SetGroup(unsigned top, const ResidueGroup& g, uint8_t t) {
        const uint32_t up = t * 0x01010101u, down = static_cast<uint8_t>(-t) * 0x01010101u;
        const uint32_t values = (g.becoming_mask & ~g.minus & up) | (g.minus & down);
        StoreSquare(v + top, values);
    }
    void Finish(uint8_t out[64]) const { std::memcpy(out, v, 64); }
};

// With a top plane of 6 or less, T stays positive and no magnitude passes
// 127, so a value's sign never changes once set: magnitudes and signs can be
// kept apart, and a refinement only adds T to a magnitude. Same results.
struct SignMagnitudeValues {
    uint8_t magnitude[64];
    uint8_t negative[64];  // 0xff for a negative value

    void Clear() {
        std::memset(magnitude, 0, 64);
        std::memset(negative, 0, 64);
    }
    void Set(unsigned pos, bool minus, uint8_t t) {
        magnitude[pos] = t;
        negative[pos] = static_cast<uint8_t>(0u - minus);
    }
    void RefineIf(unsigned pos, uint8_t t, uint32_t bit) {
        magnitude[pos] = static_cast<uint8_t>(magnitude[pos] + (t & (0u - bit)));
    }
    void SetGroup(unsigned top, const ResidueGroup& g, uint8_t t) {
        const uint32_t magnitudes = g.becoming_mask & (t * 0x01010101u);
        StoreSquare(magnitude + top, magnitudes);
        StoreSquare(negative + top, g.minus);
    }
    void Finish(uint8_t out[64]) const {
        for (unsigned i = 0; i < 64; ++i)
            out[i] = static_cast<uint8_t>((magnitude[i] ^ negative[i]) - negative[i]);
    }
};

// The coefficient decoder's list walk; positions become significant with a
// sign bit only, and every non-zero change counts an event.
template <class Values>
struct ResidueDecoder {
    BitCache b;
    Values* values;
    unsigned room;            // events still allowed before the one that stops decoding
    uint8_t plane_value = 0;  // T
    PlaneWalk s;
    uint8_t* significant_list;  // raster positions, in the order they became significant (64)
    unsigned significant_count = 0;

    // Counts one event; true when decoding must stop.
    bool Event() { return room-- == 0; }

    bool TakeBit() {
        Ensure(b, 1);
        return TakeBits(b, 1) != 0;
    }

    void Defer(unsigned index) { s.next[--s.head] = static_cast<uint8_t>(index * 4 + kSingle); }

    bool BecomeSignificant(unsigned index) {
        const unsigned pos = kCodedToRaster[index];
        values->Set(pos, TakeBit(), plane_value);
        significant_list[significant_count++] = static_cast<uint8_t>(pos);  // each once: at most 64
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
            for (const unsigned end = k + n; k < end; ++k, bits >>= 1) {
                values->RefineIf(significant_list[k], plane_value, bits & 1u);
                room -= bits & 1u;  // std::popcount is a library call without -mpopcnt
            }
        }
        return false;
    }

    bool RefineToLimit() {
        for (unsigned k = 0; k < significant_count; ++k) {
            if (!TakeBit()) continue;
            values->RefineIf(significant_list[k], plane_value, 1);
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
            // significant positions and deferred entries are stored as whole
            // words: bytes past the counts land where nothing is live (at
            // most 60 positions were significant or deferred before, so the
            // words stay inside both lists). Raster positions are below 64,
            // so adding the top left to each byte carries into no other.
            const unsigned top = kCodedToRaster[first];
            values->SetGroup(top, g, plane_value);
            StoreLe32(significant_list + significant_count, g.offsets + top * 0x01010101u);
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

    // Planes c down to 0, T starting at 2^c.
    void Run(SetLists& lists, unsigned c) {
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

// The values and the significant list live outside the decoder (the list
// is not cleared): a record holding an array is kept in memory, and every
// byte store through a pointer would make the decoder's fields be read
// again. The reader comes by reference and is copied into registers once.
template <class Values>
void DecodeValues(BitReader& r, unsigned event_limit, uint8_t out[64]) {
    Values values;
    values.Clear();
    uint8_t significant[64];
    ResidueDecoder<Values> d{AcquireBits(r), &values, event_limit, 0, {}, significant};
    Ensure(d.b, 3);
    const unsigned c = TakeBits(d.b, 3);
    SetLists lists;
    d.Run(lists, c);
    ReleaseBits(d.b, r);
    values.Finish(out);
}

}  // namespace

void DecodeResidue(BitReader& r, unsigned event_limit, uint8_t out[64]) {
    const unsigned top_plane = Peek7Bits(r) & 7u;  // the block's first field
    if (top_plane == 7)
        DecodeValues<TwosComplementValues>(r, event_limit, out);
    else
        DecodeValues<SignMagnitudeValues>(r, event_limit, out);
}

}  // namespace zarn
