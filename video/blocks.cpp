#include "video/blocks.h"

#include <algorithm>
#include <cstring>

#include "base/byte_order.h"
#include "video/coefficients.h"
#include "video/quant_tables.h"
#include "video/residue.h"

namespace zarn {

constexpr uint8_t kScanOrders[16][64] = {
    {0,  8,  16, 24, 32, 40, 48, 56, 57, 49, 41, 33, 25, 17, 9,  1,  2,  10, 18, 26, 34, 42,
     50, 58, 59, 51, 43, 35, 27, 19, 11, 3,  4,  12, 20, 28, 36, 44, 52, 60, 61, 53, 45, 37,
     29, 21, 13, 5,  6,  14, 22, 30, 38, 46, 54, 62, 63, 55, 47, 39, 31, 23, 15, 7},
    {59, 58, 57, 56, 48, 49, 50, 51, 43, 42, 41, 40, 32, 33, 34, 35, 27, 26, 25, 24, 16, 17,
     18, 19, 11, 10, 9,  8,  0,  1,  2,  3,  4,  5,  6,  7,  15, 14, 13, 12, 20, 21, 22, 23,
     31, 30, 29, 28, 36, 37, 38, 39, 47, 46, 45, 44, 52, 53, 54, 55, 63, 62, 61, 60},
    {25, 17, 18, 26, 27, 19, 11, 3,  2,  10, 9,  1,  0,  8,  16, 24, 32, 40, 48, 56, 57, 49,
     41, 42, 50, 58, 59, 51, 43, 35, 34, 33, 29, 21, 22, 30, 31, 23, 15, 7,  6,  14, 13, 5,
     4,  12, 20, 28, 36, 44, 52, 60, 61, 53, 45, 46, 54, 62, 63, 55, 47, 39, 38, 37},
    {3,  11, 2,  10, 1,  9,  0,  8,  16, 24, 17, 25, 18, 26, 19, 27, 35, 43, 34, 42, 33, 41,
     32, 40, 48, 56, 49, 57, 50, 58, 51, 59, 60, 52, 61, 53, 62, 54, 63, 55, 47, 39, 46, 38,
     45, 37, 44, 36, 28, 20, 29, 21, 30, 22, 31, 23, 15, 7,  14, 6,  13, 5,  12, 4},
    {24, 25, 16, 17, 8,  9,  0,  1,  2,  3,  10, 11, 18, 19, 26, 27, 28, 29, 20, 21, 12, 13,
     4,  5,  6,  7,  14, 15, 22, 23, 30, 31, 39, 38, 47, 46, 55, 54, 63, 62, 61, 60, 53, 52,
     45, 44, 37, 36, 35, 34, 43, 42, 51, 50, 59, 58, 57, 56, 49, 48, 41, 40, 33, 32},
    {0,  1,  2,  3,  8,  9,  10, 11, 16, 17, 18, 19, 24, 25, 26, 27, 32, 33, 34, 35, 40, 41,
     42, 43, 48, 49, 50, 51, 56, 57, 58, 59, 4,  5,  6,  7,  12, 13, 14, 15, 20, 21, 22, 23,
     28, 29, 30, 31, 36, 37, 38, 39, 44, 45, 46, 47, 52, 53, 54, 55, 60, 61, 62, 63},
    {6,  7,  15, 14, 13, 5,  12, 4,  3,  11, 2,  10, 9,  1,  0,  8,  16, 24, 17, 25, 18, 26,
     19, 27, 20, 28, 21, 29, 22, 30, 23, 31, 39, 47, 38, 46, 37, 45, 36, 44, 35, 43, 34, 42,
     33, 41, 32, 40, 49, 48, 56, 57, 58, 50, 59, 51, 60, 52, 61, 53, 54, 55, 63, 62},
    {0,  1,  2,  3,  4,  5,  6,  7,  15, 14, 13, 12, 11, 10, 9,  8,  16, 17, 18, 19, 20, 21,
     22, 23, 31, 30, 29, 28, 27, 26, 25, 24, 32, 33, 34, 35, 36, 37, 38, 39, 47, 46, 45, 44,
     43, 42, 41, 40, 48, 49, 50, 51, 52, 53, 54, 55, 63, 62, 61, 60, 59, 58, 57, 56},
    {0,  8,  9,  1,  2,  3,  11, 10, 18, 19, 27, 26, 25, 17, 16, 24, 32, 40, 41, 33, 34, 35,
     43, 42, 50, 49, 48, 56, 57, 58, 59, 51, 52, 60, 61, 62, 63, 55, 54, 53, 45, 44, 36, 37,
     38, 46, 47, 39, 31, 23, 22, 30, 29, 28, 20, 21, 13, 12, 4,  5,  6,  14, 15, 7},
    {24, 25, 16, 17, 8,  9,  0,  1,  2,  3,  10, 11, 18, 19, 26, 27, 28, 29, 20, 21, 12, 13,
     4,  5,  6,  7,  14, 15, 22, 23, 30, 31, 38, 39, 46, 47, 54, 55, 62, 63, 60, 61, 52, 53,
     44, 45, 36, 37, 34, 35, 42, 43, 50, 51, 58, 59, 56, 57, 48, 49, 40, 41, 32, 33},
    {0,  8,  1,  9,  2,  10, 3,  11, 19, 27, 18, 26, 17, 25, 16, 24, 32, 40, 33, 41, 34, 42,
     35, 43, 51, 59, 50, 58, 49, 57, 48, 56, 60, 52, 61, 53, 62, 54, 63, 55, 47, 39, 46, 38,
     45, 37, 44, 36, 31, 23, 30, 22, 29, 21, 28, 20, 12, 4,  13, 5,  14, 6,  15, 7},
    {0,  8,  16, 24, 25, 26, 27, 19, 11, 3,  2,  1,  9,  17, 18, 10, 4,  12, 20, 28, 29, 30,
     31, 23, 15, 7,  6,  5,  13, 21, 22, 14, 36, 44, 52, 60, 61, 62, 63, 55, 47, 39, 38, 37,
     45, 53, 54, 46, 32, 40, 48, 56, 57, 58, 59, 51, 43, 35, 34, 33, 41, 49, 50, 42},
    {0,  8,  9,  1,  2,  3,  11, 10, 19, 27, 26, 18, 17, 16, 24, 25, 33, 32, 40, 41, 42, 34,
     35, 43, 51, 59, 58, 50, 49, 57, 56, 48, 52, 60, 61, 53, 54, 62, 63, 55, 47, 39, 38, 46,
     45, 44, 36, 37, 29, 28, 20, 21, 22, 30, 31, 23, 14, 15, 7,  6,  5,  13, 12, 4},
    {24, 16, 8,  0,  1,  2,  3,  11, 19, 27, 26, 25, 17, 10, 9,  18, 28, 20, 12, 4,  5,  6,
     7,  15, 23, 31, 30, 29, 21, 14, 13, 22, 60, 52, 44, 36, 37, 38, 39, 47, 55, 63, 62, 61,
     53, 46, 45, 54, 56, 48, 40, 32, 33, 34, 35, 43, 51, 59, 58, 57, 49, 42, 41, 50},
    {0,  8,  9,  1,  2,  10, 18, 17, 16, 24, 25, 26, 27, 19, 11, 3,  7,  6,  14, 15, 23, 22,
     21, 13, 5,  4,  12, 20, 28, 29, 30, 31, 63, 62, 54, 55, 47, 46, 45, 53, 61, 60, 52, 44,
     36, 37, 38, 39, 56, 48, 49, 57, 58, 50, 42, 41, 40, 32, 33, 34, 35, 43, 51, 59},
    {0,  1,  8,  9,  16, 17, 24, 25, 32, 33, 40, 41, 48, 49, 56, 57, 58, 59, 50, 51, 42, 43,
     34, 35, 26, 27, 18, 19, 10, 11, 2,  3,  4,  5,  12, 13, 20, 21, 28, 29, 36, 37, 44, 45,
     52, 53, 60, 61, 62, 63, 54, 55, 46, 47, 38, 39, 30, 31, 22, 23, 14, 15, 6,  7},
};

namespace {

// Byte masks of a pattern nibble: byte k all ones when bit k is set.
struct NibbleMasks {
    uint32_t v[16];
};

constexpr NibbleMasks MakeNibbleMasks() {
    NibbleMasks m{};
    for (unsigned n = 0; n < 16; ++n)
        for (unsigned k = 0; k < 4; ++k)
            if (n & (1u << k)) m.v[n] |= 0xffu << (8 * k);
    return m;
}

constexpr NibbleMasks kNibbleMasks = MakeNibbleMasks();

// Moves 8 rows of 8 bytes; each row is loaded before it is stored, so a
// block may be copied onto itself.
inline void CopyBlock(uint8_t* dst, ptrdiff_t dst_stride, const uint8_t* src, ptrdiff_t src_stride) {
    for (int r = 0; r < 8; ++r) {
        uint64_t row;
        std::memcpy(&row, src + r * src_stride, 8);
        std::memcpy(dst + r * dst_stride, &row, 8);
    }
}

inline void FillBlock(uint8_t* dst, ptrdiff_t stride, uint8_t c) {
    for (int r = 0; r < 8; ++r) std::memset(dst + r * stride, c, 8);
}

// Bytewise sums modulo 256 of two words of eight bytes.
inline uint64_t AddBytes(uint64_t a, uint64_t b) {
    constexpr uint64_t kHigh = 0x8080808080808080ull;
    return ((a & ~kHigh) + (b & ~kHigh)) ^ ((a ^ b) & kHigh);
}

// dst = src + add modulo 256 per byte, add given as eight rows of 8 bytes.
// The whole source is read before dst is written (the two may overlap when
// a frame is decoded in place).
inline void AddRows(uint8_t* dst, ptrdiff_t stride, const uint8_t* src, const uint64_t add[8]) {
    uint64_t p[8];
    for (int r = 0; r < 8; ++r) std::memcpy(&p[r], src + r * stride, 8);
    for (int r = 0; r < 8; ++r) {
        const uint64_t v = AddBytes(p[r], add[r]);
        std::memcpy(dst + r * stride, &v, 8);
    }
}

void Mark(PlaneState& s, uint32_t row, uint32_t col) {
    const unsigned shift = s.g.mark_step == 1 ? 1 : 0;
    const uint32_t mr = row >> shift, mc = col >> shift;
    // Columns past the map (a scaled block in the last column) are not marked.
    if (mc < s.g.mark_cols && mr < s.g.mark_rows) s.g.block_marks[size_t{mr} * s.g.mark_cols + mc] = 1;
}

// Source of a motion copy. Offsets whose 8x8 source would leave the
// previous plane are clamped to its nearest edge: the block still decodes
// and the stream stays in step.
const uint8_t* MotionSource(PlaneState& s, uint32_t x, uint32_t y) {
    bool& failed = s.failed;
    int dx = TakeSigned(s.bundles.bundle[kXOffsets], failed);
    int dy = TakeSigned(s.bundles.bundle[kYOffsets], failed);
    int sx = std::clamp(static_cast<int>(x) + dx, 0, static_cast<int>(s.g.stride) - 8);
    int sy = std::clamp(static_cast<int>(y) + dy, 0, static_cast<int>(s.g.rows) - 8);
    return s.g.prev + static_cast<size_t>(sy) * s.g.stride + static_cast<size_t>(sx);
}

// A motion source read only after the block's correction is decoded:
// its rows are fetched meanwhile.
const uint8_t* PrefetchedMotionSource(PlaneState& s, uint32_t x, uint32_t y) {
    const uint8_t* src = MotionSource(s, x, y);
    for (int r = 0; r < 8; ++r) __builtin_prefetch(src + r * s.g.stride);
    return src;
}

// Scan position of each raster position, per scan order.
struct ScanInverse {
    uint8_t v[16][64];
};

constexpr ScanInverse MakeScanInverse() {
    ScanInverse inv{};
    for (unsigned k = 0; k < 16; ++k)
        for (unsigned i = 0; i < 64; ++i) inv.v[k][kScanOrders[k][i]] = static_cast<uint8_t>(i);
    return inv;
}

constexpr ScanInverse kScanInverse = MakeScanInverse();

// Runs of colours, laid out in scan order into linear[0..63]; linear has 16
// bytes of slack past 64. With enough values left in both bundles for any
// block (64 runs; 64 colours plus 15 read ahead), the runs are stored 16
// bytes at a time without checks; otherwise value by value.
void ReadRuns(PlaneState& s, uint8_t (&linear)[80]) {
    Bundle& runs = s.bundles.bundle[kRunLengths];
    Bundle& colours = s.bundles.bundle[kColours];
    unsigned i = 0;
    if (runs.end - runs.pos >= 64 && colours.end - colours.pos >= 80) {
        const uint8_t* run = runs.data + runs.pos;
        const uint8_t* colour = colours.data + colours.pos;
        BitCache c = AcquireBits(s.reader);
        while (i < 63) {
            Ensure(c, 1);
            const uint64_t one = TakeBits(c, 1);
            const unsigned n = (*run++ & 15u) + 1u;
            // Either the one colour sixteen times or the next sixteen colours.
            uint64_t lo, hi;
            std::memcpy(&lo, colour, 8);
            std::memcpy(&hi, colour + 8, 8);
            const uint64_t keep = one - 1, repeated = colour[0] * 0x0101010101010101ull;
            lo = (lo & keep) | (repeated & ~keep);
            hi = (hi & keep) | (repeated & ~keep);
            std::memcpy(linear + i, &lo, 8);
            std::memcpy(linear + i + 8, &hi, 8);
            // A run passing the last position is cut there. Chosen with a
            // mask: the bit is as good as random and a branch mispredicts.
            const unsigned step = std::min(n, 64u - i);
            colour += step ^ ((step ^ 1u) & (0u - static_cast<unsigned>(one)));
            i += n;
        }
        if (i == 63) linear[63] = *colour++;
        runs.pos = static_cast<uint32_t>(run - runs.data);
        colours.pos = static_cast<uint32_t>(colour - colours.data);
        ReleaseBits(c, s.reader);
        return;
    }
    while (i < 63) {
        const bool one_colour = ReadBit(s.reader) != 0;
        unsigned n = (TakeByte(runs, s.failed) & 15u) + 1u;
        n = std::min(n, 64u - i);
        if (one_colour) {
            const uint8_t c = TakeByte(colours, s.failed);
            for (unsigned k = 0; k < n; ++k) linear[i + k] = c;
        } else {
            for (unsigned k = 0; k < n; ++k) linear[i + k] = TakeByte(colours, s.failed);
        }
        i += n;
    }
    if (i == 63) linear[63] = TakeByte(colours, s.failed);
}

// Run block body: the 8x8 result written to dst. Rows are assembled in
// registers and stored whole.
void DecodeRuns(PlaneState& s, uint8_t* dst, ptrdiff_t stride) {
    const uint8_t* inverse = kScanInverse.v[ReadBits(s.reader, 4)];
    uint8_t linear[80];
    ReadRuns(s, linear);
    for (int r = 0; r < 8; ++r) {
        uint64_t row = 0;
        for (int c = 0; c < 8; ++c) row |= uint64_t{linear[inverse[r * 8 + c]]} << (8 * c);
        StoreLe64(dst + r * stride, row);
    }
}

// Pattern block body: two colours, then one pattern byte per row.
void DecodePattern(PlaneState& s, uint8_t* dst, ptrdiff_t stride) {
    Bundle& colours = s.bundles.bundle[kColours];
    const uint32_t c0 = TakeByte(colours, s.failed) * 0x01010101u;
    const uint32_t c1 = TakeByte(colours, s.failed) * 0x01010101u;
    Bundle& patterns = s.bundles.bundle[kPatterns];
    for (int r = 0; r < 8; ++r) {
        const uint8_t p = TakeByte(patterns, s.failed);
        const uint32_t lo = kNibbleMasks.v[p & 15u], hi = kNibbleMasks.v[p >> 4];
        StoreLe32(dst + r * stride, (lo & c1) | (~lo & c0));
        StoreLe32(dst + r * stride + 4, (hi & c1) | (~hi & c0));
    }
}

// Raw block body: 64 colours in raster order.
void DecodeRaw(PlaneState& s, uint8_t* dst, ptrdiff_t stride) {
    const uint8_t* src = TakeBytes(s.bundles.bundle[kColours], 64, s.failed);
    if (src == nullptr) return;
    CopyBlock(dst, stride, src, 8);
}

// Intra block body: DC, AC coefficients, quantiser index. Returns the
// quantiser table and whether the block is flat (no AC coefficients).
const uint32_t* DecodeIntraCoefficients(PlaneState& s, bool& flat) {
    s.coef[0] = TakeDc(s.bundles.bundle[kIntraDc], s.failed);
    flat = !DecodeAcCoefficients(s.reader, s.coef);
    return (*s.intra_tables)[ReadBits(s.reader, 4)];
}

void DecodeIntra(PlaneState& s, uint8_t* dst, ptrdiff_t stride) {
    bool flat;
    const uint32_t* table = DecodeIntraCoefficients(s, flat);
    if (flat)
        FillBlock(dst, stride, IdctFlatValue(s.coef[0], table[0]));
    else
        s.idct->put(dst, stride, s.coef, table);
}

// Inter and residue blocks add their correction to the motion source in
// place: no copy of the prediction is made.
void DecodeInter(PlaneState& s, uint8_t* dst, ptrdiff_t stride, uint32_t x, uint32_t y) {
    const uint8_t* src = PrefetchedMotionSource(s, x, y);
    s.coef[0] = TakeDc(s.bundles.bundle[kInterDc], s.failed);
    const bool flat = !DecodeAcCoefficients(s.reader, s.coef);
    const uint32_t* table = (*s.inter_tables)[ReadBits(s.reader, 4)];
    if (flat) {
        uint64_t add[8];
        const uint64_t v = IdctFlatValue(s.coef[0], table[0]) * 0x0101010101010101ull;
        for (auto& a : add) a = v;
        AddRows(dst, stride, src, add);
    } else {
        s.idct->add_from(dst, stride, s.coef, table, src, stride);
    }
}

void DecodeResidueBlock(PlaneState& s, uint8_t* dst, ptrdiff_t stride, uint32_t x, uint32_t y) {
    const uint8_t* src = PrefetchedMotionSource(s, x, y);
    const unsigned limit = ReadBits(s.reader, 7);
    uint64_t residue[8];
    DecodeResidue(s.reader, limit, reinterpret_cast<uint8_t*>(residue));
    AddRows(dst, stride, src, residue);
}

// The four bytes of `v` each doubled: byte k goes to bytes 2k and 2k + 1.
inline uint64_t DoubleBytes(uint32_t v) {
    uint64_t x = v;
    x = (x | x << 16) & 0x0000ffff0000ffffull;
    x = (x | x << 8) & 0x00ff00ff00ff00ffull;
    return x | x << 8;
}

// Writes an 8x8 block as 2x2 squares, cut to `cols` x `rows` output pixels.
// The whole 16x16 area is built in registers and stored as whole words:
// building a line bytewise and reading it back stalls on store forwarding.
void Enlarge(uint8_t* dst, ptrdiff_t stride, const uint8_t src[64], uint32_t cols, uint32_t rows) {
    if (cols == 16 && rows == 16) {
        for (int r = 0; r < 8; ++r) {
            uint32_t lo, hi;
            std::memcpy(&lo, src + r * 8, 4);
            std::memcpy(&hi, src + r * 8 + 4, 4);
            if constexpr (std::endian::native == std::endian::big) {
                lo = __builtin_bswap32(lo);
                hi = __builtin_bswap32(hi);
            }
            const uint64_t left = DoubleBytes(lo), right = DoubleBytes(hi);
            for (int k = 0; k < 2; ++k) {
                StoreLe64(dst + (2 * r + k) * stride, left);
                StoreLe64(dst + (2 * r + k) * stride + 8, right);
            }
        }
        return;
    }
    for (uint32_t r = 0; r < rows; ++r) {
        uint8_t line[16];
        for (int c = 0; c < 8; ++c) line[2 * c] = line[2 * c + 1] = src[(r / 2) * 8 + c];
        std::memcpy(dst + r * stride, line, cols);
    }
}

// One colour over `cols` x `rows` pixels.
inline void FillArea(uint8_t* dst, ptrdiff_t stride, uint8_t c, uint32_t cols, uint32_t rows) {
    for (uint32_t r = 0; r < rows; ++r) std::memset(dst + r * stride, c, cols);
}

// Scaled block: on even rows one sub-block decoded to 8x8 and written 16x16.
// Near the right or bottom edge of the plane the 16x16 area is cut to the
// decode area.
void DecodeScaled(PlaneState& s, uint8_t* dst, uint32_t row, uint32_t col) {
    Mark(s, row, col);
    Mark(s, row, col + 1);
    if (row & 1u) return;
    const ptrdiff_t stride = s.g.stride;
    const uint32_t x = col * 8, y = row * 8;
    const uint32_t cols = std::min(16u, s.g.decode_width - x);
    const uint32_t rows = std::min(16u, s.g.decode_height - y);
    const bool whole = cols == 16 && rows == 16;
    switch (TakeByte(s.bundles.bundle[kSubBlockTypes], s.failed)) {
    case kRunBlock: DecodeRuns(s, s.scratch, 8); break;
    case kIntraBlock: {
        bool flat;
        const uint32_t* table = DecodeIntraCoefficients(s, flat);
        if (flat) return FillArea(dst, stride, IdctFlatValue(s.coef[0], table[0]), cols, rows);
        if (whole) {
            s.idct->put_enlarged(dst, stride, s.coef, table);
            return;
        }
        s.idct->put(s.scratch, 8, s.coef, table);
        break;
    }
    case kFillBlock: return FillArea(dst, stride, TakeByte(s.bundles.bundle[kColours], s.failed), cols, rows);
    case kPatternBlock: DecodePattern(s, s.scratch, 8); break;
    case kRawBlock: {
        const uint8_t* src = TakeBytes(s.bundles.bundle[kColours], 64, s.failed);
        if (src != nullptr) Enlarge(dst, stride, src, cols, rows);
        return;
    }
    default: return;
    }
    Enlarge(dst, stride, s.scratch, cols, rows);
}

}  // namespace

unsigned DecodeBlock(PlaneState& s, uint32_t row, uint32_t col) {
    const ptrdiff_t stride = s.g.stride;
    const uint32_t x = col * 8, y = row * 8;
    uint8_t* dst = s.g.dest + size_t{y} * s.g.stride + x;
    const uint8_t* colocated = s.g.prev + size_t{y} * s.g.stride + x;
    const uint8_t type = TakeByte(s.bundles.bundle[kBlockTypes], s.failed);
    if (s.failed) return 1;  // no block type left: the plane is abandoned here
    switch (type) {
    case kSkipBlock:
        if (dst != colocated) CopyBlock(dst, stride, colocated, stride);
        return 1;
    case kScaledBlock: DecodeScaled(s, dst, row, col); return 2;
    case kMotionBlock: {
        Mark(s, row, col);
        CopyBlock(dst, stride, MotionSource(s, x, y), stride);
        return 1;
    }
    case kRunBlock:
        Mark(s, row, col);
        DecodeRuns(s, dst, stride);
        return 1;
    case kResidueBlock:
        Mark(s, row, col);
        DecodeResidueBlock(s, dst, stride, x, y);
        return 1;
    case kIntraBlock:
        Mark(s, row, col);
        DecodeIntra(s, dst, stride);
        return 1;
    case kFillBlock:
        Mark(s, row, col);
        FillBlock(dst, stride, TakeByte(s.bundles.bundle[kColours], s.failed));
        return 1;
    case kInterBlock:
        Mark(s, row, col);
        DecodeInter(s, dst, stride, x, y);
        return 1;
    case kPatternBlock:
        Mark(s, row, col);
        DecodePattern(s, dst, stride);
        return 1;
    case kRawBlock:
        Mark(s, row, col);
        DecodeRaw(s, dst, stride);
        return 1;
    default: return 1;  // 10..15: nothing taken, read, written or marked
    }
}

}  // namespace zarn
