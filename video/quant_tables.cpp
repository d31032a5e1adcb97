#include "video/quant_tables.h"

#include <cmath>
#include <numbers>

namespace zarn {

namespace {

// Quantiser step per index, as numerator / denominator.
constexpr int kStepNum[16] = {1, 4, 5, 2, 8, 7, 4, 5, 6, 8, 12, 17, 22, 28, 34, 44};
constexpr int kStepDen[16] = {1, 3, 3, 1, 3, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};

constexpr uint8_t kIntraBase[64] = {
    16, 16, 16, 19, 16, 19, 22, 22, 22, 22, 26, 24, 26, 22, 22, 27, 27, 27, 26, 26, 26, 29,
    29, 29, 27, 27, 27, 26, 34, 34, 34, 29, 29, 29, 27, 27, 37, 34, 34, 32, 32, 29, 29, 38,
    37, 35, 35, 34, 35, 40, 40, 40, 38, 38, 48, 48, 46, 46, 58, 56, 56, 69, 69, 83,
};

constexpr uint8_t kInterBase[64] = {
    16, 17, 17, 18, 18, 18, 19, 19, 19, 19, 20, 20, 20, 20, 20, 21, 21, 21, 21, 21, 21, 22,
    22, 22, 22, 22, 22, 22, 23, 23, 23, 23, 23, 23, 23, 23, 24, 24, 24, 25, 24, 24, 24, 25,
    26, 26, 26, 26, 25, 27, 27, 27, 27, 27, 28, 28, 28, 28, 30, 30, 30, 31, 31, 33,
};

// Entries stored one above the nearest integer, as (table, raster position).
struct Bump {
    uint8_t q, pos;
};

constexpr Bump kIntraBumps[] = {
    {5, 33},  {6, 48},  {6, 53},  {7, 10},  {7, 21},  {7, 42},  {9, 8},   {9, 24},  {9, 35},  {10, 25},
    {10, 48}, {11, 2},  {11, 6},  {11, 20}, {11, 24}, {11, 28}, {11, 33}, {11, 35}, {12, 37}, {12, 40},
    {12, 51}, {12, 59}, {13, 2},  {13, 11}, {13, 12}, {13, 20}, {13, 29}, {13, 31}, {13, 48}, {13, 60},
    {14, 1},  {14, 10}, {14, 11}, {14, 17}, {14, 18}, {14, 19}, {14, 21}, {14, 25}, {14, 26}, {14, 29},
    {14, 42}, {15, 21}, {15, 42}, {15, 44}, {15, 46}, {15, 48},
};

constexpr Bump kInterBumps[] = {
    {0, 18},  {1, 27},  {3, 33},  {4, 34},  {7, 18},  {8, 33},  {9, 34},  {9, 61},  {10, 3},  {10, 37},
    {10, 40}, {11, 13}, {11, 16}, {11, 18}, {11, 20}, {11, 25}, {11, 43}, {12, 14}, {12, 19}, {12, 26},
    {12, 30}, {12, 33}, {13, 43}, {13, 48}, {13, 49}, {14, 10}, {14, 19}, {14, 22}, {14, 26}, {14, 33},
    {14, 54}, {15, 12}, {15, 17}, {15, 22}, {15, 25}, {15, 27}, {15, 41}, {15, 55},
};

static_assert(sizeof(kIntraBumps) / sizeof(Bump) == 46);
static_assert(sizeof(kInterBumps) / sizeof(Bump) == 38);

struct QuantSet {
    uint32_t table[16][64];
};

// Scale factor of the fast inverse transform for frequency k.
double TransformScale(int k) {
    return k == 0 ? 1.0 : std::numbers::sqrt2 * std::cos(k * std::numbers::pi / 16.0);
}

template <size_t N>
QuantSet BuildSet(const uint8_t (&base)[64], const Bump (&bumps)[N]) {
    QuantSet s{};
    for (int q = 0; q < 16; ++q)
        for (int pos = 0; pos < 64; ++pos) {
            double v = 65536.0 * kStepNum[q] / kStepDen[q] * base[pos] / 16.0 * TransformScale(pos / 8) *
                       TransformScale(pos % 8);
            s.table[q][pos] = static_cast<uint32_t>(std::llround(v));
        }
    for (const Bump& b : bumps) ++s.table[b.q][b.pos];
    return s;
}

const QuantSet& IntraSet() {
    static const QuantSet s = BuildSet(kIntraBase, kIntraBumps);
    return s;
}

const QuantSet& InterSet() {
    static const QuantSet s = BuildSet(kInterBase, kInterBumps);
    return s;
}

}  // namespace

const QuantTables& IntraQuantTables() { return IntraSet().table; }
const QuantTables& InterQuantTables() { return InterSet().table; }
const uint32_t* IntraQuantTable(unsigned q) { return IntraSet().table[q & 15u]; }
const uint32_t* InterQuantTable(unsigned q) { return InterSet().table[q & 15u]; }

}  // namespace zarn
