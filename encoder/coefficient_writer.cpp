#include "encoder/coefficient_writer.h"

#include <algorithm>
#include <bit>
#include <cstdlib>

#include "encoder/set_list_writer.h"
#include "video/coefficients.h"

namespace zarn {

namespace {

template <class Out>
void WriteAc(const int16_t coef[64], Out& out) {
    uint16_t mag[64];  // magnitudes in coded order
    unsigned largest = 0;
    mag[0] = 0;
    for (unsigned i = 1; i < 64; ++i) {
        mag[i] = static_cast<uint16_t>(std::abs(coef[kCodedToRaster[i]]));
        largest |= mag[i];
    }
    unsigned planes = 0;
    while (planes < 15 && (largest >> planes) != 0) ++planes;
    out.Put(planes, 4);
    if (planes == 0) return;
    SetList list;
    list.PushBack(4, kGroup20);
    list.PushBack(24, kGroup20);
    list.PushBack(44, kGroup20);
    list.PushBack(1, kSingle);
    list.PushBack(2, kSingle);
    list.PushBack(3, kSingle);
    for (unsigned plane = planes; plane-- > 0;) {
        const auto significant = [&](unsigned first, unsigned count) {
            unsigned any = 0;
            for (unsigned p = first; p < first + count; ++p) any |= mag[p];
            return (any >> plane) != 0;
        };
        const auto become = [&](unsigned index) {
            if (plane) out.Put(mag[index] - (1u << plane), plane);
            out.PutBit(coef[kCodedToRaster[index]] < 0);
            return false;
        };
        WriteSetListPlane(list, out, significant, become);
    }
}

}  // namespace

size_t WriteAcCoefficients(const int16_t coef[64], FieldList& out) {
    const size_t start = out.BitCount();
    WriteAc(coef, out);
    return out.BitCount() - start;
}

// The bits of the walk follow from the top bit of each set alone: a set
// entering the list at plane e costs one bit per plane down to the plane of
// its top bit, and then what its parts cost from there.
namespace {

struct AcCounter {
    uint16_t mag[64];   // coded order
    uint16_t quad[16];  // OR of each aligned run of four

    static int Top(unsigned v) { return static_cast<int>(std::bit_width(v)) - 1; }
    int TopOf(unsigned first, unsigned count) const {
        unsigned any = 0;
        for (unsigned q = first / 4; q < (first + count) / 4; ++q) any |= quad[q];
        return Top(any);
    }
    // Tests of a set entering at plane e whose top bit is h (h < 0: never significant).
    static size_t Tests(int e, int h) { return static_cast<size_t>(h < 0 ? e + 1 : e - h + 1); }

    size_t Single(unsigned pos, int e) const {
        const int h = Top(mag[pos]);
        return Tests(e, h) + (h < 0 ? 0 : static_cast<size_t>(h) + 1);
    }
    size_t Resolve4(unsigned j, int i) const {
        size_t bits = 0;
        for (unsigned p = j; p < j + 4; ++p)
            bits += 1 + (Top(mag[p]) == i ? static_cast<size_t>(i) + 1 : Single(p, i - 1));
        return bits;
    }
    size_t Group4(unsigned j, int e) const {
        const int h = TopOf(j, 4);
        return Tests(e, h) + (h < 0 ? 0 : Resolve4(j, h));
    }
    size_t Group16(unsigned j, int e) const {
        const int h = TopOf(j, 16);
        if (h < 0) return Tests(e, h);
        return Tests(e, h) + Group4(j, h) + Group4(j + 4, h) + Group4(j + 8, h) + Group4(j + 12, h);
    }
    size_t Group20(unsigned j, int e) const {
        const int h = TopOf(j, 20);
        if (h < 0) return Tests(e, h);
        return Tests(e, h) + Resolve4(j, h) + Group16(j + 4, h);
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
        c.quad[q] =
            static_cast<uint16_t>(c.mag[4 * q] | c.mag[4 * q + 1] | c.mag[4 * q + 2] | c.mag[4 * q + 3]);
    const int e = planes - 1;
    return 4 + c.Group20(4, e) + c.Group20(24, e) + c.Group20(44, e) + c.Single(1, e) + c.Single(2, e) +
           c.Single(3, e);
}

}  // namespace zarn
