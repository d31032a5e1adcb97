#include "encoder/coefficient_writer.h"

#include <cstdlib>

#include "video/coefficients.h"

namespace zarn {

namespace {

// Counts bits instead of keeping them.
struct BitCounter {
    size_t bits = 0;
    void put(uint32_t, unsigned n) { bits += n; }
    void put_bit(bool) { ++bits; }
};

template <class Out>
struct AcWriter {
    const int16_t* coef;  // raster order
    Out& out;
    SetList list;
    unsigned plane = 0;
    uint16_t mag[64];  // magnitudes in coded order

    unsigned magnitude(unsigned index) const { return mag[index]; }

    bool any_significant(unsigned first, unsigned count) const {
        unsigned any = 0;
        for (unsigned p = first; p < first + count; ++p) any |= mag[p];
        return (any >> plane) != 0;
    }

    void significant(unsigned index) {
        unsigned m = magnitude(index);
        if (plane) out.put(m - (1u << plane), plane);
        out.put_bit(coef[kCodedToRaster[index]] < 0);
    }

    void resolve_group4(unsigned first) {
        for (unsigned p = first; p < first + 4; ++p) {
            bool later = (magnitude(p) >> plane) == 0;
            out.put_bit(later);
            if (later) list.push_front(p, kSingle);
            else significant(p);
        }
    }

    void process(unsigned idx) {
        for (;;) {
            uint8_t e = list.entry[idx];
            if (e == 0) return;
            unsigned first = e >> 2;
            unsigned kind = e & 3u;
            unsigned span = kind == kGroup20 ? 20 : kind == kGroup16 ? 16 : kind == kGroup4 ? 4 : 1;
            bool sig = any_significant(first, span);
            out.put_bit(sig);
            if (!sig) return;
            switch (kind) {
                case kGroup20:
                    list.entry[idx] = static_cast<uint8_t>((first + 4) * 4 + kGroup16);
                    resolve_group4(first);
                    break;
                case kGroup16:
                    list.entry[idx] = static_cast<uint8_t>(first * 4 + kGroup4);
                    list.push_back(first + 4, kGroup4);
                    list.push_back(first + 8, kGroup4);
                    list.push_back(first + 12, kGroup4);
                    break;
                case kGroup4:
                    list.entry[idx] = 0;
                    resolve_group4(first);
                    return;
                default:
                    list.entry[idx] = 0;
                    significant(first);
                    return;
            }
        }
    }
};

template <class Out>
void WriteAc(const int16_t coef[64], Out& out) {
    AcWriter<Out> w{coef, out, SetList{}, 0, {}};
    unsigned largest = 0;
    for (unsigned i = 1; i < 64; ++i) {
        w.mag[i] = static_cast<uint16_t>(std::abs(coef[kCodedToRaster[i]]));
        largest |= w.mag[i];
    }
    w.mag[0] = 0;
    unsigned planes = 0;
    while (planes < 15 && (largest >> planes) != 0) ++planes;
    out.put(planes, 4);
    if (planes == 0) return;
    w.list.push_back(4, kGroup20);
    w.list.push_back(24, kGroup20);
    w.list.push_back(44, kGroup20);
    w.list.push_back(1, kSingle);
    w.list.push_back(2, kSingle);
    w.list.push_back(3, kSingle);
    for (unsigned i = planes; i-- > 0;) {
        w.plane = i;
        for (unsigned idx = w.list.head; idx < w.list.tail; ++idx) w.process(idx);
    }
}

}  // namespace

size_t WriteAcCoefficients(const int16_t coef[64], FieldList& out) {
    const size_t start = out.bit_count();
    WriteAc(coef, out);
    return out.bit_count() - start;
}

size_t CountAcCoefficientBits(const int16_t coef[64]) {
    BitCounter counter;
    WriteAc(coef, counter);
    return counter.bits;
}

}  // namespace zarn
