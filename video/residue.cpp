#include "video/residue.h"

#include <cstring>

#include "video/coefficients.h"

namespace zarn {

namespace {

// The reader is copied in and out so that it stays in registers.
struct ResidueDecoder {
    BitReader r;
    uint8_t* value;          // raster order
    unsigned event_limit;
    unsigned events = 0;
    uint8_t plane_value = 0;  // T, an 8-bit two's complement number
    SetList list;
    uint8_t significant_list[64];
    unsigned significant_count = 0;

    // Counts one event; true when decoding must stop.
    bool event() { return events++ == event_limit; }

    bool become_significant(unsigned index) {
        uint8_t pos = kCodedToRaster[index];
        value[pos] = read_bit(r) ? static_cast<uint8_t>(-plane_value) : plane_value;
        if (significant_count < 64) significant_list[significant_count++] = pos;
        return event();
    }

    bool refine() {
        for (unsigned k = 0; k < significant_count; ++k) {
            if (!read_bit(r)) continue;
            uint8_t& v = value[significant_list[k]];
            v = static_cast<int8_t>(v) >= 0 ? static_cast<uint8_t>(v + plane_value)
                                            : static_cast<uint8_t>(v - plane_value);
            if (event()) return true;
        }
        return false;
    }

    bool resolve_group4(unsigned first) {
        for (unsigned p = first; p < first + 4; ++p) {
            if (read_bit(r)) list.push_front(p, kSingle);
            else if (become_significant(p)) return true;
        }
        return false;
    }

    // Processes one list entry; true when decoding must stop.
    bool process(unsigned idx) {
        for (;;) {
            uint8_t e = list.entry[idx];
            if (e == 0 || !read_bit(r)) return false;
            unsigned first = e >> 2;
            switch (e & 3u) {
                case kGroup20:
                    list.entry[idx] = static_cast<uint8_t>((first + 4) * 4 + kGroup16);
                    if (resolve_group4(first)) return true;
                    break;
                case kGroup16:
                    list.entry[idx] = static_cast<uint8_t>(first * 4 + kGroup4);
                    list.push_back(first + 4, kGroup4);
                    list.push_back(first + 8, kGroup4);
                    list.push_back(first + 12, kGroup4);
                    break;
                case kGroup4:
                    list.entry[idx] = 0;
                    return resolve_group4(first);
                default:
                    list.entry[idx] = 0;
                    return become_significant(first);
            }
        }
    }

    void run() {
        unsigned c = read_bits(r, 3);
        plane_value = static_cast<uint8_t>(1u << c);
        list.push_back(4, kGroup20);
        list.push_back(24, kGroup20);
        list.push_back(44, kGroup20);
        list.push_back(0, kGroup4);
        for (unsigned plane = 0; plane <= c; ++plane) {
            if (refine()) return;
            for (unsigned idx = list.head; idx < list.tail; ++idx)
                if (process(idx)) return;
            plane_value = static_cast<uint8_t>(static_cast<int8_t>(plane_value) >> 1);
        }
    }
};

}  // namespace

void decode_residue(BitReader& r, unsigned event_limit, uint8_t out[64]) {
    std::memset(out, 0, 64);
    ResidueDecoder d{r, out, event_limit};
    d.run();
    r = d.r;
}

}  // namespace zarn
