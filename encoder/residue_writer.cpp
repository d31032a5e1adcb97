#include "encoder/residue_writer.h"

#include <cstdlib>
#include <cstring>

#include "encoder/set_list_writer.h"
#include "video/coefficients.h"

namespace zarn {

namespace {

struct ResidueCoder {
    const int16_t* target;  // raster order
    FieldList* out;
    unsigned limit;
    int16_t* value;  // raster order, the decoder's values so far
    size_t bits = 0;
    unsigned events = 0;
    int plane_value = 0;  // T
    SetList list;
    uint8_t significant[64];
    unsigned significant_count = 0;
    uint16_t mag[64];  // magnitudes in coded order
    ResidueTrace* trace = nullptr;

    void Put(uint32_t v, unsigned n) {
        bits += n;
        if (out) out->Put(v, n);
    }
    bool Event(uint8_t pos) {
        if (trace && trace->count < ResidueTrace::kMaxEvents) {
            trace->position[trace->count] = pos;
            trace->value[trace->count] = value[pos];
            trace->bits_after[trace->count] = static_cast<uint32_t>(bits);
            ++trace->count;
        }
        return events++ == limit;
    }

    bool BecomeSignificant(unsigned index) {
        const uint8_t pos = kCodedToRaster[index];
        const bool negative = target[pos] < 0;
        Put(negative, 1);
        value[pos] = static_cast<int16_t>(negative ? -plane_value : plane_value);
        significant[significant_count++] = pos;
        return Event(pos);
    }

    bool Refine() {
        for (unsigned k = 0; k < significant_count; ++k) {
            const uint8_t pos = significant[k];
            const bool more = std::abs(target[pos]) - std::abs(value[pos]) >= plane_value;
            Put(more, 1);
            if (!more) continue;
            value[pos] =
                static_cast<int16_t>(value[pos] >= 0 ? value[pos] + plane_value : value[pos] - plane_value);
            if (Event(pos)) return true;
        }
        return false;
    }

    void PutBit(bool bit) { Put(bit, 1); }

    // The walk of one plane. True when the block ends in it.
    bool WalkPlane() {
        const auto significant = [this](unsigned first, unsigned count) {
            unsigned any = 0;
            for (unsigned p = first; p < first + count; ++p) any |= mag[p];
            return any >= static_cast<unsigned>(plane_value);
        };
        const auto become = [this](unsigned index) { return BecomeSignificant(index); };
        return WriteSetListPlane(list, *this, significant, become);
    }

    void Run() {
        unsigned largest = 0;
        for (unsigned i = 0; i < 64; ++i) {
            mag[i] = static_cast<uint16_t>(std::abs(target[kCodedToRaster[i]]));
            largest |= mag[i];
        }
        unsigned c = 0;
        while (c < 6 && (largest >> (c + 1)) != 0) ++c;
        Put(c, 3);
        plane_value = 1 << c;
        list.PushBack(4, kGroup20);
        list.PushBack(24, kGroup20);
        list.PushBack(44, kGroup20);
        list.PushBack(0, kGroup4);
        for (unsigned plane = 0; plane <= c; ++plane) {
            if (Refine() || WalkPlane()) return;
            plane_value >>= 1;
        }
    }
};

}  // namespace

ResidueResult WriteResidue(const int16_t target[64], unsigned event_limit, FieldList* out,
                           int16_t decoded[64]) {
    std::memset(decoded, 0, 64 * sizeof(int16_t));
    ResidueCoder coder{target, out, event_limit, decoded};
    coder.Run();
    return {coder.bits, coder.events};
}

size_t TraceResidue(const int16_t target[64], ResidueTrace& trace) {
    int16_t decoded[64] = {};
    trace.count = 0;
    ResidueCoder coder{target, nullptr, ~0u, decoded};
    coder.trace = &trace;
    coder.Run();
    return coder.bits;
}

}  // namespace zarn
