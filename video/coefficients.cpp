#include "video/coefficients.h"

namespace zarn {

namespace {

// Coded index of each raster position.
constexpr uint8_t kRasterToCoded[64] = {
    0,  1,  4,  5,  8,  9,  12, 13, 2,  3,  6,  7,  10, 11, 14, 15,
    24, 25, 44, 45, 16, 17, 20, 21, 26, 27, 46, 47, 18, 19, 22, 23,
    28, 29, 32, 33, 48, 49, 52, 53, 30, 31, 34, 35, 50, 51, 54, 55,
    36, 37, 40, 41, 56, 57, 60, 61, 38, 39, 42, 43, 58, 59, 62, 63,
};

struct Inverse {
    uint8_t v[64];
};

constexpr Inverse invert() {
    Inverse inv{};
    for (unsigned pos = 0; pos < 64; ++pos) inv.v[kRasterToCoded[pos]] = static_cast<uint8_t>(pos);
    return inv;
}

constexpr Inverse kInverse = invert();

// The reader is copied in and out so that it stays in registers while the
// list (byte stores) and the coefficients are written.
struct AcDecoder {
    BitReader r;
    int16_t* coef;
    SetList list;
    unsigned plane = 0;  // i
    bool any = false;

    void significant(unsigned index) {
        uint32_t magnitude = (1u << plane) + (plane ? read_bits(r, plane) : 0u);
        int32_t v = read_bit(r) ? -static_cast<int32_t>(magnitude) : static_cast<int32_t>(magnitude);
        coef[kCodedToRaster[index]] = static_cast<int16_t>(v);
        any = true;
    }

    void resolve_group4(unsigned first) {
        for (unsigned p = first; p < first + 4; ++p) {
            if (read_bit(r)) list.push_front(p, kSingle);
            else significant(p);
        }
    }

    // Processes one list entry until it is resolved or found insignificant.
    void process(unsigned idx) {
        for (;;) {
            uint8_t e = list.entry[idx];
            if (e == 0 || !read_bit(r)) return;
            unsigned first = e >> 2;
            switch (e & 3u) {
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

}  // namespace

const uint8_t kCodedToRaster[64] = {
#define ZARN_ROW(i) kInverse.v[i], kInverse.v[i + 1], kInverse.v[i + 2], kInverse.v[i + 3], \
                    kInverse.v[i + 4], kInverse.v[i + 5], kInverse.v[i + 6], kInverse.v[i + 7]
    ZARN_ROW(0), ZARN_ROW(8), ZARN_ROW(16), ZARN_ROW(24), ZARN_ROW(32), ZARN_ROW(40), ZARN_ROW(48), ZARN_ROW(56),
#undef ZARN_ROW
};

namespace {

void decode_planes(AcDecoder& d, unsigned planes) {
    d.list.push_back(4, kGroup20);
    d.list.push_back(24, kGroup20);
    d.list.push_back(44, kGroup20);
    d.list.push_back(1, kSingle);
    d.list.push_back(2, kSingle);
    d.list.push_back(3, kSingle);
    for (unsigned i = planes; i-- > 0;) {
        d.plane = i;
        // Entries added at the back during the walk are visited; those added
        // at the front wait for the next plane.
        for (unsigned idx = d.list.head; idx < d.list.tail; ++idx) d.process(idx);
    }
}

}  // namespace

bool decode_ac_coefficients(BitReader& r, int16_t coef[64]) {
    unsigned planes = read_bits(r, 4);
    for (unsigned i = 1; i < 64; ++i) coef[i] = 0;
    if (planes == 0) return false;
    AcDecoder d{r, coef, SetList{}};
    decode_planes(d, planes);
    r = d.r;
    return d.any;
}

}  // namespace zarn
