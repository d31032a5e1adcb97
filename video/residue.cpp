#include "video/residue.h"

#include <bit>
#include <cstring>

#include "video/coefficients.h"

namespace zarn {

namespace {

// Same list walk as the coefficient decoder (bit cache, list compacted per
// plane, runs of insignificant sets skipped at once); positions become
// significant with a sign bit only, and every non-zero change counts an event.
struct ResidueDecoder {
    BitCache b;
    uint8_t* value;          // raster order
    unsigned event_limit;
    unsigned events = 0;
    uint8_t plane_value = 0;  // T, an 8-bit two's complement number
    SetList list;
    uint8_t significant_list[64];
    unsigned significant_count = 0;

    // Counts one event; true when decoding must stop.
    bool event() { return events++ == event_limit; }

    bool take_bit() {
        ensure(b, 1);
        return take_bits(b, 1) != 0;
    }

    bool become_significant(unsigned index) {
        uint8_t pos = kCodedToRaster[index];
        value[pos] = take_bit() ? static_cast<uint8_t>(-plane_value) : plane_value;
        if (significant_count < 64) significant_list[significant_count++] = pos;
        return event();
    }

    bool refine() {
        for (unsigned k = 0; k < significant_count; ++k) {
            if (!take_bit()) continue;
            uint8_t& v = value[significant_list[k]];
            v = static_cast<int8_t>(v) >= 0 ? static_cast<uint8_t>(v + plane_value)
                                            : static_cast<uint8_t>(v - plane_value);
            if (event()) return true;
        }
        return false;
    }

    bool resolve_group4(unsigned first) {
        for (unsigned p = first; p < first + 4; ++p) {
            if (take_bit()) list.push_front(p, kSingle);
            else if (become_significant(p)) return true;
        }
        return false;
    }

    // Acts on entry e whose significance bit was 1: `kept` is the entry that
    // stays in the list (0 when resolved). True when decoding must stop.
    bool resolve(uint8_t e, uint8_t& kept) {
        unsigned first = e >> 2;
        kept = 0;
        switch (e & 3u) {
            case kGroup20:
                if (resolve_group4(first)) return true;
                first += 4;
                if (!take_bit()) {
                    kept = static_cast<uint8_t>(first * 4 + kGroup16);
                    return false;
                }
                [[fallthrough]];
            case kGroup16:
                list.push_back(first + 4, kGroup4);
                list.push_back(first + 8, kGroup4);
                list.push_back(first + 12, kGroup4);
                if (!take_bit()) {
                    kept = static_cast<uint8_t>(first * 4 + kGroup4);
                    return false;
                }
                [[fallthrough]];
            case kGroup4: return resolve_group4(first);
            default: return become_significant(first);
        }
    }

    // True when decoding must stop.
    bool walk_plane() {
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
            uint8_t kept;
            if (resolve(list.entry[idx++], kept)) return true;
            if (kept != 0) list.entry[w++] = kept;
        }
        list.tail = w;
        return false;
    }

    void run() {
        ensure(b, 3);
        unsigned c = take_bits(b, 3);
        plane_value = static_cast<uint8_t>(1u << c);
        list.push_back(4, kGroup20);
        list.push_back(24, kGroup20);
        list.push_back(44, kGroup20);
        list.push_back(0, kGroup4);
        for (unsigned plane = 0; plane <= c; ++plane) {
            if (refine() || walk_plane()) return;
            plane_value = static_cast<uint8_t>(static_cast<int8_t>(plane_value) >> 1);
        }
    }
};

}  // namespace

void decode_residue(BitReader& r, unsigned event_limit, uint8_t out[64]) {
    std::memset(out, 0, 64);
    // Filled field by field: brace initialisation would also clear the
    // significant list, which costs more than a small residue's decode.
    ResidueDecoder d;
    d.b = acquire_bits(r);
    d.value = out;
    d.event_limit = event_limit;
    d.run();
    release_bits(d.b, r);
}

}  // namespace zarn
