#include "video/bundles.h"

#include <bit>

namespace zarn {

namespace {



void store_repeat(uint8_t* p, uint8_t v, uint32_t n) { std::memset(p, v, n); }

void store_dc(Bundle& b, uint32_t i, uint16_t v) { std::memcpy(b.data + 2 * size_t{i}, &v, 2); }

void read_type_chunk(Bundle& b, const SymbolTree& tree, BitReader& r, uint32_t n) {
    if (read_bit(r)) {
        store_repeat(b.data, static_cast<uint8_t>(read_bits(r, 4)), n);
        return;
    }
    static constexpr uint32_t kRepeat[4] = {4, 8, 12, 32};
    uint8_t last = 0;
    uint32_t i = 0;
    while (i < n) {
        uint8_t s = decode_symbol(r, tree);
        if (s < 12) {
            b.data[i++] = last = s;
            continue;
        }
        // A repeat running past the count is cut at the count.
        uint32_t k = kRepeat[s - 12];
        if (k > n - i) k = n - i;
        store_repeat(b.data + i, last, k);
        i += k;
    }
}

uint8_t read_colour(PlaneBundles& pb, BitReader& r) {
    uint8_t hi = decode_symbol(r, pb.colour_high[pb.colour_context]);
    uint8_t lo = decode_symbol(r, pb.tree[kColours]);
    pb.colour_context = hi & 15u;
    unsigned v = (hi & 15u) * 16u + (lo & 15u);
    if (pb.offset_colours) v = v < 128 ? 128 + v : 256 - v;
    return static_cast<uint8_t>(v);
}

void read_colour_chunk(PlaneBundles& pb, BitReader& r, uint32_t n) {
    Bundle& b = pb.bundle[kColours];
    if (read_bit(r)) {
        store_repeat(b.data, read_colour(pb, r), n);
        return;
    }
    // Two code words per colour, at most 14 bits: one refill check each.
    BitCache c = acquire_bits(r);
    unsigned context = pb.colour_context;
    const SymbolTree& low = pb.tree[kColours];
    for (uint32_t i = 0; i < n; ++i) {
        ensure(c, 14);
        const unsigned hi = decode_symbol(c, pb.colour_high[context]) & 15u;
        const unsigned lo = decode_symbol(c, low) & 15u;
        context = hi;
        unsigned v = hi * 16u + lo;
        if (pb.offset_colours) v = v < 128 ? 128 + v : 256 - v;
        b.data[i] = static_cast<uint8_t>(v);
    }
    pb.colour_context = static_cast<uint8_t>(context);
    release_bits(c, r);
}

void read_pattern_chunk(Bundle& b, const SymbolTree& tree, BitReader& r, uint32_t n) {
    BitCache c = acquire_bits(r);
    for (uint32_t i = 0; i < n; ++i) {
        ensure(c, 14);
        unsigned lo = decode_symbol(c, tree) & 15u;
        unsigned hi = decode_symbol(c, tree) & 15u;
        b.data[i] = static_cast<uint8_t>(lo | (hi << 4));
    }
    release_bits(c, r);
}

uint8_t read_offset(BitReader& r, unsigned m) {
    if (m != 0 && read_bit(r)) return static_cast<uint8_t>(-static_cast<int>(m));
    return static_cast<uint8_t>(m);
}

void read_offset_chunk(Bundle& b, const SymbolTree& tree, BitReader& r, uint32_t n) {
    if (read_bit(r)) {
        store_repeat(b.data, read_offset(r, read_bits(r, 4)), n);
        return;
    }
    for (uint32_t i = 0; i < n; ++i) b.data[i] = read_offset(r, decode_symbol(r, tree) & 15u);
}

void read_dc_chunk(Bundle& b, BitReader& r, uint32_t n, bool is_signed) {
    BitCache c = acquire_bits(r);
    uint16_t v;
    ensure(c, 11);
    if (is_signed) {
        const uint32_t m = take_bits(c, 10);
        const uint32_t negative = m != 0 ? take_bits(c, 1) : 0;
        v = static_cast<uint16_t>(negative ? 0u - m : m);
    } else {
        v = static_cast<uint16_t>(take_bits(c, 11));
    }
    store_dc(b, 0, v);
    for (uint32_t i = 1; i < n;) {
        const uint32_t group_end = n - i > 8 ? i + 8 : n;
        ensure(c, 4);
        const unsigned width = take_bits(c, 4);
        if (width == 0) {
            for (; i < group_end; ++i) store_dc(b, i, v);
            continue;
        }
        for (; i < group_end; ++i) {
            ensure(c, width + 1);
            const uint32_t d = take_bits(c, width);
            // A sign bit follows only a non-zero delta; 1 means negative.
            const uint32_t negative = static_cast<uint32_t>(c.bits) & (d != 0);
            skip_bits(c, d != 0);
            v = static_cast<uint16_t>(negative ? v - d : v + d);
            store_dc(b, i, v);
        }
    }
    release_bits(c, r);
}

void read_run_chunk(Bundle& b, const SymbolTree& tree, BitReader& r, uint32_t n) {
    if (read_bit(r)) {
        store_repeat(b.data, static_cast<uint8_t>(read_bits(r, 4)), n);
        return;
    }
    BitCache c = acquire_bits(r);
    for (uint32_t i = 0; i < n; ++i) {
        ensure(c, 7);
        b.data[i] = decode_symbol(c, tree) & 15u;
    }
    release_bits(c, r);
}

void read_chunk(PlaneBundles& pb, unsigned id, BitReader& r, uint32_t n) {
    Bundle& b = pb.bundle[id];
    switch (id) {
        case kBlockTypes:
        case kSubBlockTypes: read_type_chunk(b, pb.tree[id], r, n); break;
        case kColours: read_colour_chunk(pb, r, n); break;
        case kPatterns: read_pattern_chunk(b, pb.tree[id], r, n); break;
        case kXOffsets:
        case kYOffsets: read_offset_chunk(b, pb.tree[id], r, n); break;
        case kIntraDc: read_dc_chunk(b, r, n, false); break;
        case kInterDc: read_dc_chunk(b, r, n, true); break;
        default: read_run_chunk(b, pb.tree[id], r, n); break;
    }
}

}  // namespace

unsigned bundle_count_width(unsigned id, uint32_t decode_width) {
    const uint32_t e = BundleLargestCount(id, decode_width);
    unsigned digits = static_cast<unsigned>(std::bit_width(e));
    return digits > 15 ? 15 : digits;
}

void init_bundles(PlaneBundles& pb, uint8_t* const buffers[kBundleCount], uint32_t luma_width,
                  uint32_t decode_width, bool offset_colours) {
    for (unsigned id = 0; id < kBundleCount; ++id) {
        Bundle& b = pb.bundle[id];
        b = Bundle{};
        b.data = buffers[id];
        b.capacity = BundleCapacity(id, luma_width);
        b.count_width = static_cast<uint8_t>(bundle_count_width(id, decode_width));
    }
    pb.colour_context = 0;
    pb.offset_colours = offset_colours;
}

void read_bundle_trees(PlaneBundles& pb, BitReader& r) {
    pb.tree[kBlockTypes] = read_symbol_tree(r);
    pb.tree[kSubBlockTypes] = read_symbol_tree(r);
    for (auto& t : pb.colour_high) t = read_symbol_tree(r);
    pb.tree[kColours] = read_symbol_tree(r);
    pb.tree[kPatterns] = read_symbol_tree(r);
    pb.tree[kXOffsets] = read_symbol_tree(r);
    pb.tree[kYOffsets] = read_symbol_tree(r);
    pb.tree[kRunLengths] = read_symbol_tree(r);
    pb.colour_context = 0;
}

bool refill_bundles(PlaneBundles& pb, BitReader& r) {
    for (unsigned id = 0; id < kBundleCount; ++id) {
        Bundle& b = pb.bundle[id];
        if (b.closed || b.pos != b.end) continue;
        uint32_t n = read_bits(r, b.count_width);
        b.pos = b.end = 0;
        if (n == 0) {
            b.closed = true;
            continue;
        }
        // A count above the buffer's capacity cannot be stored: abandon the plane.
        if (n > b.capacity) return false;
        read_chunk(pb, id, r, n);
        b.end = n;
    }
    return true;
}

}  // namespace zarn
