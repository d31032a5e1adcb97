#include "video/bundles.h"

#include <bit>

namespace zarn {

namespace {

void StoreRepeat(uint8_t* p, uint8_t v, uint32_t n) { std::memset(p, v, n); }

void StoreDc(Bundle& b, uint32_t i, uint16_t v) { std::memcpy(b.data + 2 * size_t{i}, &v, 2); }

void ReadTypeChunk(Bundle& b, const SymbolTree& tree, BitReader& r, uint32_t n) {
    if (ReadBit(r)) {
        StoreRepeat(b.data, static_cast<uint8_t>(ReadBits(r, 4)), n);
        return;
    }
    static constexpr uint32_t kRepeat[4] = {4, 8, 12, 32};
    BitCache c = AcquireBits(r);
    uint8_t last = 0;
    uint32_t i = 0;
    while (i < n) {
        Ensure(c, 7);
        uint8_t s = DecodeSymbol(c, tree);
        if (s < 12) {
            b.data[i++] = last = s;
            continue;
        }
        // A repeat running past the count is cut at the count.
        uint32_t k = kRepeat[s - 12];
        if (k > n - i) k = n - i;
        StoreRepeat(b.data + i, last, k);
        i += k;
    }
    ReleaseBits(c, r);
}

uint8_t ReadColour(PlaneBundles& pb, BitReader& r) {
    uint8_t hi = DecodeSymbol(r, pb.colour_high[pb.colour_context]);
    uint8_t lo = DecodeSymbol(r, pb.tree[kColours]);
    pb.colour_context = hi & 15u;
    unsigned v = (hi & 15u) * 16u + (lo & 15u);
    if (pb.offset_colours) v = v < 128 ? 128 + v : 256 - v;
    return static_cast<uint8_t>(v);
}

// A tree's code shape with its symbol map folded in, indexed by the next 7
// bits: high nibble the code length, low nibble the symbol.
void FoldTree(const SymbolTree& tree, uint8_t out[128]) {
    for (unsigned k = 0; k < 128; ++k) {
        const uint8_t e = tree.shape->entry[k];
        out[k] = static_cast<uint8_t>((e & 0xf0u) | (tree.map[e & 15u] & 15u));
    }
}

// Two code words read in one step, for every `kBits`-bit start: the total
// length (0: longer than kBits) and above it the byte of both symbols, the
// first one's in the high nibble or (kFirstLow) in the low one.
template <unsigned kBits, bool kFirstLow>
void BuildPairs(const uint8_t* first, const uint8_t* second, uint16_t* out) {
    for (unsigned bits = 0; bits < (1u << kBits); ++bits) {
        const unsigned e = first[bits & 0x7fu], f = second[(bits >> (e >> 4)) & 0x7fu];
        const unsigned length = (e >> 4) + (f >> 4);
        const unsigned byte = kFirstLow ? (e & 15u) | (f & 15u) << 4 : (e & 15u) << 4 | (f & 15u);
        out[bits] = static_cast<uint16_t>(length <= kBits ? length | byte << 8 : 0);
    }
}

void BuildColourPairs(PlaneBundles& pb, unsigned context) {
    BuildPairs<PlaneBundles::kColourPairBits, false>(pb.colour_lookup[context], pb.colour_lookup[16],
                                                     pb.colour_pairs[context]);
    pb.colour_pairs_built = static_cast<uint16_t>(pb.colour_pairs_built | 1u << context);
}

// Chunks at least this long read their colours through the pair tables.
constexpr uint32_t kColourPairChunk = 512;

// n colours, two per refill check (a colour's two code words take at most
// 14 bits).
template <bool kOffsetColours, bool kPairs>
void ReadColours(PlaneBundles& pb, BitCache& c, uint8_t* out, uint32_t n) {
    unsigned context = pb.colour_context;
    const uint8_t* low = pb.colour_lookup[16];
    const auto one = [&] {
        unsigned v;
        uint32_t p = 0;
        if constexpr (kPairs) {
            if (!((pb.colour_pairs_built >> context) & 1u)) BuildColourPairs(pb, context);
            p = pb.colour_pairs[context][c.bits & ((1u << PlaneBundles::kColourPairBits) - 1u)];
        }
        if (p != 0) {
            SkipBits(c, p & 15u);
            v = p >> 8;
            context = v >> 4;
        } else {
            const uint32_t e = pb.colour_lookup[context][c.bits & 0x7fu];
            SkipBits(c, e >> 4);
            const uint32_t f = low[c.bits & 0x7fu];
            SkipBits(c, f >> 4);
            context = e & 15u;
            v = context * 16u + (f & 15u);
        }
        if constexpr (kOffsetColours) v = v < 128 ? 128 + v : 256 - v;
        return static_cast<uint8_t>(v);
    };
    uint32_t i = 0;
    for (; i + 2 <= n; i += 2) {
        Ensure(c, 28);
        out[i] = one();
        out[i + 1] = one();
    }
    if (i < n) {
        Ensure(c, 14);
        out[i] = one();
    }
    pb.colour_context = static_cast<uint8_t>(context);
}

void ReadColourChunk(PlaneBundles& pb, BitReader& r, uint32_t n) {
    Bundle& b = pb.bundle[kColours];
    if (ReadBit(r)) {
        StoreRepeat(b.data, ReadColour(pb, r), n);
        return;
    }
    BitCache c = AcquireBits(r);
    const bool pairs = n >= kColourPairChunk;
    if (pb.offset_colours)
        pairs ? ReadColours<true, true>(pb, c, b.data, n) : ReadColours<true, false>(pb, c, b.data, n);
    else
        pairs ? ReadColours<false, true>(pb, c, b.data, n) : ReadColours<false, false>(pb, c, b.data, n);
    ReleaseBits(c, r);
}

void BuildPatternPairs(PlaneBundles& pb) {
    uint8_t lookup[128];
    FoldTree(pb.tree[kPatterns], lookup);
    BuildPairs<PlaneBundles::kPatternPairBits, true>(lookup, lookup, pb.pattern_pairs);
    pb.pattern_pairs_built = true;
}

// Chunks at least this long read their bytes through the pair table.
constexpr uint32_t kPatternPairChunk = 64;

void ReadPatternChunk(PlaneBundles& pb, BitReader& r, uint32_t n) {
    const SymbolTree& tree = pb.tree[kPatterns];
    uint8_t* const out = pb.bundle[kPatterns].data;
    BitCache c = AcquireBits(r);
    uint32_t i = 0;
    if (n >= kPatternPairChunk) {
        if (!pb.pattern_pairs_built) BuildPatternPairs(pb);
        for (; i < n; ++i) {
            Ensure(c, 14);
            const uint32_t p = pb.pattern_pairs[c.bits & ((1u << PlaneBundles::kPatternPairBits) - 1u)];
            if (p == 0) break;  // a long pair (or an empty one): the general loop goes on from here
            SkipBits(c, p & 15u);
            out[i] = static_cast<uint8_t>(p >> 8);
        }
    }
    for (; i < n; ++i) {
        Ensure(c, 14);
        unsigned lo = DecodeSymbol(c, tree) & 15u;
        unsigned hi = DecodeSymbol(c, tree) & 15u;
        out[i] = static_cast<uint8_t>(lo | (hi << 4));
    }
    ReleaseBits(c, r);
}

uint8_t ReadOffset(BitReader& r, unsigned m) {
    if (m != 0 && ReadBit(r)) return static_cast<uint8_t>(-static_cast<int>(m));
    return static_cast<uint8_t>(m);
}

void ReadOffsetChunk(Bundle& b, const SymbolTree& tree, BitReader& r, uint32_t n) {
    if (ReadBit(r)) {
        StoreRepeat(b.data, ReadOffset(r, ReadBits(r, 4)), n);
        return;
    }
    // A code word and its sign bit take at most 8 bits.
    BitCache c = AcquireBits(r);
    for (uint32_t i = 0; i < n; ++i) {
        Ensure(c, 8);
        const unsigned m = DecodeSymbol(c, tree) & 15u;
        const unsigned negative = m != 0 ? TakeBits(c, 1) : 0;
        b.data[i] = static_cast<uint8_t>(negative ? 0u - m : m);
    }
    ReleaseBits(c, r);
}

void ReadDcChunk(Bundle& b, BitReader& r, uint32_t n, bool is_signed) {
    BitCache c = AcquireBits(r);
    uint16_t v;
    Ensure(c, 11);
    if (is_signed) {
        const uint32_t m = TakeBits(c, 10);
        const uint32_t negative = m != 0 ? TakeBits(c, 1) : 0;
        v = static_cast<uint16_t>(negative ? 0u - m : m);
    } else {
        v = static_cast<uint16_t>(TakeBits(c, 11));
    }
    StoreDc(b, 0, v);
    for (uint32_t i = 1; i < n;) {
        const uint32_t group_end = n - i > 8 ? i + 8 : n;
        Ensure(c, 4);
        const unsigned width = TakeBits(c, 4);
        if (width == 0) {
            for (; i < group_end; ++i) StoreDc(b, i, v);
            continue;
        }
        for (; i < group_end; ++i) {
            Ensure(c, width + 1);
            const uint32_t d = TakeBits(c, width);
            // A sign bit follows only a non-zero delta; 1 means negative.
            const uint32_t negative = static_cast<uint32_t>(c.bits) & (d != 0);
            SkipBits(c, d != 0);
            v = static_cast<uint16_t>(negative ? v - d : v + d);
            StoreDc(b, i, v);
        }
    }
    ReleaseBits(c, r);
}

void ReadRunChunk(Bundle& b, const SymbolTree& tree, BitReader& r, uint32_t n) {
    if (ReadBit(r)) {
        StoreRepeat(b.data, static_cast<uint8_t>(ReadBits(r, 4)), n);
        return;
    }
    BitCache c = AcquireBits(r);
    for (uint32_t i = 0; i < n; ++i) {
        Ensure(c, 7);
        b.data[i] = DecodeSymbol(c, tree) & 15u;
    }
    ReleaseBits(c, r);
}

void ReadChunk(PlaneBundles& pb, unsigned id, BitReader& r, uint32_t n) {
    Bundle& b = pb.bundle[id];
    switch (id) {
    case kBlockTypes:
    case kSubBlockTypes: ReadTypeChunk(b, pb.tree[id], r, n); break;
    case kColours: ReadColourChunk(pb, r, n); break;
    case kPatterns: ReadPatternChunk(pb, r, n); break;
    case kXOffsets:
    case kYOffsets: ReadOffsetChunk(b, pb.tree[id], r, n); break;
    case kIntraDc: ReadDcChunk(b, r, n, false); break;
    case kInterDc: ReadDcChunk(b, r, n, true); break;
    default: ReadRunChunk(b, pb.tree[id], r, n); break;
    }
}

}  // namespace

unsigned BundleCountWidth(unsigned id, uint32_t decode_width) {
    const uint32_t e = BundleLargestCount(id, decode_width);
    unsigned digits = static_cast<unsigned>(std::bit_width(e));
    return digits > 15 ? 15 : digits;
}

void InitBundles(PlaneBundles& pb, uint8_t* const buffers[kBundleCount], uint32_t luma_width,
                 uint32_t decode_width, bool offset_colours) {
    for (unsigned id = 0; id < kBundleCount; ++id) {
        Bundle& b = pb.bundle[id];
        b = Bundle{};
        b.data = buffers[id];
        b.capacity = BundleCapacity(id, luma_width);
        b.count_width = static_cast<uint8_t>(BundleCountWidth(id, decode_width));
    }
    pb.colour_context = 0;
    pb.offset_colours = offset_colours;
}

void ReadBundleTrees(PlaneBundles& pb, BitReader& r) {
    pb.tree[kBlockTypes] = ReadSymbolTree(r);
    pb.tree[kSubBlockTypes] = ReadSymbolTree(r);
    for (auto& t : pb.colour_high) t = ReadSymbolTree(r);
    pb.tree[kColours] = ReadSymbolTree(r);
    for (unsigned t = 0; t < 17; ++t)
        FoldTree(t < 16 ? pb.colour_high[t] : pb.tree[kColours], pb.colour_lookup[t]);
    pb.colour_pairs_built = 0;
    pb.tree[kPatterns] = ReadSymbolTree(r);
    pb.pattern_pairs_built = false;
    pb.tree[kXOffsets] = ReadSymbolTree(r);
    pb.tree[kYOffsets] = ReadSymbolTree(r);
    pb.tree[kRunLengths] = ReadSymbolTree(r);
    pb.colour_context = 0;
}

bool RefillBundles(PlaneBundles& pb, BitReader& r) {
    for (unsigned id = 0; id < kBundleCount; ++id) {
        Bundle& b = pb.bundle[id];
        if (b.closed || b.pos != b.end) continue;
        uint32_t n = ReadBits(r, b.count_width);
        b.pos = b.end = 0;
        if (n == 0) {
            b.closed = true;
            continue;
        }
        // A count above the buffer's capacity cannot be stored: abandon the plane.
        if (n > b.capacity) return false;
        ReadChunk(pb, id, r, n);
        b.end = n;
    }
    return true;
}

}  // namespace zarn
