#include "video/residue.h"

#include <bit>
#include <cstring>
#include <initializer_list>

#include "video/coefficients.h"
#include "video/set_list_walk.h"

namespace zarn {

namespace {

// The coefficient decoder's list walk; positions become significant with a
// sign bit only, and every non-zero change counts an event.
struct ResidueDecoder {
    BitCache b;
    uint8_t* value;  // raster order
    unsigned event_limit;
    unsigned events = 0;
    uint8_t plane_value = 0;  // T, an 8-bit two's complement number
    PlaneWalk s;
    bool last_plane = false;  // nothing deferred in it is read again
    uint8_t significant_list[64];
    unsigned significant_count = 0;

    // Counts one event; true when decoding must stop.
    bool Event() { return events++ == event_limit; }

    bool TakeBit() {
        Ensure(b, 1);
        return TakeBits(b, 1) != 0;
    }

    void Defer(unsigned index) { s.next[--s.head] = static_cast<uint8_t>(index * 4 + kSingle); }

    bool BecomeSignificant(unsigned index) {
        uint8_t pos = kCodedToRaster[index];
        value[pos] = TakeBit() ? static_cast<uint8_t>(-plane_value) : plane_value;
        significant_list[significant_count++] = pos;  // each position once: at most 64
        return Event();
    }

    // One bit per significant position, in the order they became
    // significant. When no refinement can reach the event limit the bits are
    // applied without a branch each (they are as good as random).
    bool Refine() {
        const unsigned count = significant_count;
        if (events + count > event_limit) return RefineToLimit();
        for (unsigned k = 0; k < count;) {
            const unsigned n = count - k < 32 ? count - k : 32;
            Ensure(b, n);
            uint32_t bits = TakeBits(b, n);
            uint8_t* const v = value;
            const uint8_t up = plane_value, down = static_cast<uint8_t>(-plane_value);
            for (const unsigned end = k + n; k < end; ++k, bits >>= 1) {
                uint8_t& x = v[significant_list[k]];
                const uint8_t negative = static_cast<uint8_t>(static_cast<int8_t>(x) >> 7);
                const uint8_t step = static_cast<uint8_t>((up & ~negative) | (down & negative));
                x = static_cast<uint8_t>(x + (step & (0u - (bits & 1u))));
                events += bits & 1u;  // std::popcount is a library call without -mpopcnt
            }
        }
        return false;
    }

    bool RefineToLimit() {
        for (unsigned k = 0; k < significant_count; ++k) {
            if (!TakeBit()) continue;
            uint8_t& v = value[significant_list[k]];
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
        const uint32_t e = kPlane0Groups.entry[b.bits & 0xffu];
        const unsigned deferred = (e >> 4) & 15u;
        const unsigned becoming = e >> 24;
        if (events + becoming <= event_limit) {
            SkipBits(b, e & 15u);
            // Every position is written both ways and the list ends moved by
            // its bit: deferred ones get value 0, which they still had. The
            // ends are kept in locals: byte stores could alias the members.
            uint8_t* const v = value;
            uint8_t* const next = s.next;
            unsigned head = s.head, count = significant_count;
            const uint8_t t = plane_value;
            for (unsigned p = 0; p < 4; ++p) {
                const unsigned d = (deferred >> p) & 1u;
                const uint8_t pos = kCodedToRaster[first + p];
                v[pos] = static_cast<uint8_t>(GroupValue(e, p) * t);
                significant_list[count] = pos;
                count += d ^ 1u;
                next[head - 1] = static_cast<uint8_t>((first + p) * 4 + kSingle);
                head -= d;
            }
            s.head = head;
            significant_count = count;
            events += becoming;
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

    void Keep(unsigned first, SetKind kind) {
        if (!last_plane) KeepSet(s, first, kind);
    }

    // Acts on entry e whose significance bit was 1. True when decoding must stop.
    bool Resolve(uint8_t e) {
        unsigned first = e >> 2;
        switch (e & 3u) {
        case kGroup20:
            if (ResolveGroup4(first)) return true;
            first += 4;
            if (!TakeBit()) {
                Keep(first, kGroup16);
                return false;
            }
            [[fallthrough]];
        case kGroup16:
            SplitGroup16(s, first);
            if (!TakeBit()) {
                Keep(first, kGroup4);
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
            last_plane = plane == c;
            const auto act = [this](uint8_t e) { return Resolve(e); };
            if (last_plane ? WalkSetPlane<false>(b, s, act) : WalkSetPlane<true>(b, s, act)) return;
            head = s.head;
            tail = s.w;
            plane_value = static_cast<uint8_t>(static_cast<int8_t>(plane_value) >> 1);
        }
    }
};

}  // namespace

void DecodeResidue(BitReader& r, unsigned event_limit, uint8_t out[64]) {
    std::memset(out, 0, 64);
    // Filled field by field: brace initialisation would also clear the
    // significant list, which costs more than a small residue's decode.
    ResidueDecoder d;
    d.b = AcquireBits(r);
    d.value = out;
    d.event_limit = event_limit;
    SetLists lists;
    d.Run(lists);
    ReleaseBits(d.b, r);
}

}  // namespace zarn
