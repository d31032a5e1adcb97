#include "encoder/coefficient_writer.h"

#include <algorithm>
#include <bit>
#include <cstdlib>

#include "video/coefficients.h"

namespace zarn {

namespace {


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

// The bits of the walk follow from the top bit of each set alone: a set
// entering the list at plane e costs one bit per plane down to the plane of
// its top bit, and then what its parts cost from there.
namespace {

struct AcCounter {
    uint16_t mag[64];  // coded order
    uint16_t quad[16];  // OR of each aligned run of four

    static int Top(unsigned v) { return static_cast<int>(std::bit_width(v)) - 1; }
    int top_of(unsigned first, unsigned count) const {
        unsigned any = 0;
        for (unsigned q = first / 4; q < (first + count) / 4; ++q) any |= quad[q];
        return Top(any);
    }
    // Tests of a set entering at plane e whose top bit is h (h < 0: never significant).
    static size_t tests(int e, int h) { return static_cast<size_t>(h < 0 ? e + 1 : e - h + 1); }

    size_t single(unsigned pos, int e) const {
        const int h = Top(mag[pos]);
        return tests(e, h) + (h < 0 ? 0 : static_cast<size_t>(h) + 1);
    }
    size_t resolve4(unsigned j, int i) const {
        size_t bits = 0;
        for (unsigned p = j; p < j + 4; ++p)
            bits += 1 + (Top(mag[p]) == i ? static_cast<size_t>(i) + 1 : single(p, i - 1));
        return bits;
    }
    size_t group4(unsigned j, int e) const {
        const int h = top_of(j, 4);
        return tests(e, h) + (h < 0 ? 0 : resolve4(j, h));
    }
    size_t group16(unsigned j, int e) const {
        const int h = top_of(j, 16);
        if (h < 0) return tests(e, h);
        return tests(e, h) + group4(j, h) + group4(j + 4, h) + group4(j + 8, h) + group4(j + 12, h);
    }
    size_t group20(unsigned j, int e) const {
        const int h = top_of(j, 20);
        if (h < 0) return tests(e, h);
        return tests(e, h) + resolve4(j, h) + group16(j + 4, h);
    }
};

}  // namespace

size_t CountAcCoefficientBits(const int16_t coef[64]) {
    AcCounter c;
    unsigned largest = 0;
    c.mag[0] = 0;
    for (unsigned i = 1; i < 64; ++i) {
        c.mag[i] = static_cast<uint16_t>(std::min(std::abs(coef[kCodedToRaster[i]]), 32767));
        largest |= c.mag[i];
    }
    const int planes = std::min(static_cast<int>(std::bit_width(largest)), 15);
    if (planes == 0) return 4;
    for (unsigned q = 0; q < 16; ++q)
        c.quad[q] = static_cast<uint16_t>(c.mag[4 * q] | c.mag[4 * q + 1] | c.mag[4 * q + 2] | c.mag[4 * q + 3]);
    const int e = planes - 1;
    return 4 + c.group20(4, e) + c.group20(24, e) + c.group20(44, e) + c.single(1, e) + c.single(2, e) +
           c.single(3, e);
}

}  // namespace zarn
