#include "encoder/plane_data.h"

#include <algorithm>
#include <cstdlib>

#include "encoder/bit_writer.h"
#include "encoder/symbol_tree_writer.h"

namespace zarn {

namespace {

// Prefix codes of a plane, in the order they are written.
enum TreeId : unsigned {
    kTreeBlockTypes = 0,
    kTreeSubBlockTypes = 1,
    kTreeColourHigh = 2,  // 16 trees, one per colour context
    kTreeColourLow = 18,
    kTreePatterns = 19,
    kTreeXOffsets = 20,
    kTreeYOffsets = 21,
    kTreeRunLengths = 22,
    kTreeTotal = 23
};

uint32_t BundleE(unsigned bundle, uint32_t width) { return BundleLargestCount(bundle, width); }

// Stored byte of a colour: the byte itself, or for versions f, g, h the byte
// that decodes to it around 128 (colour 0 cannot be expressed and gives 1).
uint32_t StoredColour(int32_t colour, bool old) {
    uint32_t c = static_cast<uint32_t>(colour) & 255u;
    if (!old) return c;
    if (c >= 128) return c - 128;
    if (c == 0) c = 1;
    return 256 - c;
}

// Counts symbols (first pass) or writes them (second pass).
struct CountSink {
    uint32_t freq[kTreeTotal][16] = {};
    void Symbol(unsigned tree, unsigned s) { ++freq[tree][s & 15]; }
    void Put(uint32_t, unsigned) {}
};

struct WriteSink {
    BitWriter& w;
    const TreeChoice* trees;
    void Symbol(unsigned tree, unsigned s) { WriteSymbol(w, trees[tree], s); }
    void Put(uint32_t v, unsigned bits) { w.Put(v, bits); }
};

bool AllEqual(const int32_t* v, uint32_t n) {
    return std::all_of(v, v + n, [&](int32_t x) { return x == v[0]; });
}

unsigned BitsFor(uint32_t v) {
    unsigned b = 0;
    while (v >> b) ++b;
    return b;
}

template <class Sink>
struct ChunkCoder {
    Sink& sink;
    bool old_colours;
    unsigned colour_context = 0;

    void TypeChunk(unsigned tree, const int32_t* v, uint32_t n) {
        if (n >= 2 && AllEqual(v, n)) {
            sink.Put(1, 1);
            sink.Put(static_cast<uint32_t>(v[0]), 4);
            return;
        }
        sink.Put(0, 1);
        int32_t last = 0;
        uint32_t i = 0;
        while (i < n) {
            if (v[i] == last) {
                uint32_t run = 1;
                while (i + run < n && v[i + run] == last) ++run;
                if (run >= 4) {
                    uint32_t take = run >= 32 ? 32 : run >= 12 ? 12 : run >= 8 ? 8 : 4;
                    sink.Symbol(tree, take == 32 ? 15 : take == 12 ? 14 : take == 8 ? 13 : 12);
                    i += take;
                    continue;
                }
            }
            last = v[i];
            sink.Symbol(tree, static_cast<unsigned>(v[i]));
            ++i;
        }
    }

    void Colour(int32_t c) {
        uint32_t b = StoredColour(c, old_colours);
        sink.Symbol(kTreeColourHigh + colour_context, b >> 4);
        sink.Symbol(kTreeColourLow, b & 15);
        colour_context = b >> 4;
    }

    void ColourChunk(const int32_t* v, uint32_t n) {
        if (AllEqual(v, n)) {
            sink.Put(1, 1);
            Colour(v[0]);
            return;
        }
        sink.Put(0, 1);
        for (uint32_t i = 0; i < n; ++i) Colour(v[i]);
    }

    void PatternChunk(const int32_t* v, uint32_t n) {
        for (uint32_t i = 0; i < n; ++i) {
            sink.Symbol(kTreePatterns, static_cast<unsigned>(v[i]) & 15);
            sink.Symbol(kTreePatterns, (static_cast<unsigned>(v[i]) >> 4) & 15);
        }
    }

    void OffsetChunk(unsigned tree, const int32_t* v, uint32_t n) {
        if (n >= 2 && AllEqual(v, n)) {
            sink.Put(1, 1);
            sink.Put(static_cast<uint32_t>(std::abs(v[0])), 4);
            if (v[0] != 0) sink.Put(v[0] < 0, 1);
            return;
        }
        sink.Put(0, 1);
        for (uint32_t i = 0; i < n; ++i) {
            sink.Symbol(tree, static_cast<unsigned>(std::abs(v[i])));
            if (v[i] != 0) sink.Put(v[i] < 0, 1);
        }
    }

    void DcChunk(bool is_signed, const int32_t* v, uint32_t n) {
        if (is_signed) {
            sink.Put(static_cast<uint32_t>(std::abs(v[0])), 10);
            if (v[0] != 0) sink.Put(v[0] < 0, 1);
        } else {
            sink.Put(static_cast<uint32_t>(v[0]), 11);
        }
        for (uint32_t g = 1; g < n; g += 8) {
            const uint32_t end = std::min(n, g + 8);
            uint32_t largest = 0;
            for (uint32_t i = g; i < end; ++i)
                largest = std::max(largest, static_cast<uint32_t>(std::abs(v[i] - v[i - 1])));
            const unsigned b = BitsFor(largest);
            sink.Put(b, 4);
            if (b == 0) continue;
            for (uint32_t i = g; i < end; ++i) {
                int32_t d = v[i] - v[i - 1];
                sink.Put(static_cast<uint32_t>(std::abs(d)), b);
                if (d != 0) sink.Put(d < 0, 1);
            }
        }
    }

    void RunChunk(const int32_t* v, uint32_t n) {
        if (n >= 2 && AllEqual(v, n)) {
            sink.Put(1, 1);
            sink.Put(static_cast<uint32_t>(v[0]), 4);
            return;
        }
        sink.Put(0, 1);
        for (uint32_t i = 0; i < n; ++i) sink.Symbol(kTreeRunLengths, static_cast<unsigned>(v[i]));
    }

    void Chunk(unsigned bundle, const int32_t* v, uint32_t n) {
        switch (bundle) {
        case kBlockTypes: TypeChunk(kTreeBlockTypes, v, n); break;
        case kSubBlockTypes: TypeChunk(kTreeSubBlockTypes, v, n); break;
        case kColours: ColourChunk(v, n); break;
        case kPatterns: PatternChunk(v, n); break;
        case kXOffsets: OffsetChunk(kTreeXOffsets, v, n); break;
        case kYOffsets: OffsetChunk(kTreeYOffsets, v, n); break;
        case kIntraDc: DcChunk(false, v, n); break;
        case kInterDc: DcChunk(true, v, n); break;
        default: RunChunk(v, n); break;
        }
    }
};

// A chunk the decoder reads at the start of block row `row`.
struct Chunk {
    uint32_t row;
    uint32_t first;  // index of its first value
    uint32_t count;  // 0 closes the bundle
};

// Places the chunks of one bundle where the decoder's refills will read them:
// at a row start when the bundle is empty, holding whole rows of values.
std::vector<Chunk> PlanChunks(const PlaneData& p, unsigned bundle) {
    std::vector<Chunk> chunks;
    const uint32_t limit = BundleChunkLimit(bundle, p.width);
    const auto& ends = p.row_end[bundle];
    const uint32_t total = static_cast<uint32_t>(p.values[bundle].size());
    uint32_t consumed = 0;   // values taken by the rows so far
    uint32_t available = 0;  // values the decoder holds beyond `consumed`
    for (uint32_t row = 0; row < p.Rows(); ++row) {
        if (available == 0) {
            if (consumed == total) {
                chunks.push_back({row, consumed, 0});
                break;
            }
            uint32_t EndRow = row;
            while (EndRow < p.Rows() && ends[EndRow] - consumed <= limit) ++EndRow;
            // EndRow > row: no single row holds more than the limit.
            const uint32_t count = ends[EndRow - 1] - consumed;
            chunks.push_back({row, consumed, count});
            available = count;
        }
        const uint32_t used = ends[row] - consumed;
        available -= used;
        consumed = ends[row];
    }
    return chunks;
}

template <class Sink>
void CodeChunks(Sink& sink, const PlaneData& p, const std::vector<Chunk> (&plan)[kBundleCount],
                BitWriter* rows_out) {
    ChunkCoder<Sink> coder{sink, p.old_colours};
    size_t next[kBundleCount] = {};
    for (uint32_t row = 0; row < p.Rows(); ++row) {
        for (unsigned b = 0; b < kBundleCount; ++b) {
            if (next[b] >= plan[b].size() || plan[b][next[b]].row != row) continue;
            const Chunk& c = plan[b][next[b]++];
            sink.Put(c.count, BundleCountWidth(b, p.width));
            if (c.count) coder.Chunk(b, p.values[b].data() + c.first, c.count);
        }
        if (rows_out) p.row_fields[row].WriteTo(*rows_out);
    }
}

}  // namespace

uint32_t BundleChunkLimit(unsigned bundle, uint32_t width) {
    // A count field holds at most 15 bits.
    return std::min<uint32_t>(BundleE(bundle, width), 32767);
}

std::vector<uint8_t> WritePlane(const PlaneData& p) {
    std::vector<Chunk> plan[kBundleCount];
    for (unsigned b = 0; b < kBundleCount; ++b) plan[b] = PlanChunks(p, b);

    CountSink counts;
    CodeChunks(counts, p, plan, nullptr);
    TreeChoice trees[kTreeTotal];
    for (unsigned t = 0; t < kTreeTotal; ++t) trees[t] = ChooseSymbolTree(counts.freq[t]);

    BitWriter w;
    for (unsigned t = 0; t < kTreeTotal; ++t) WriteSymbolTree(w, trees[t]);
    WriteSink sink{w, trees};
    CodeChunks(sink, p, plan, &w);
    return w.Finish();
}

}  // namespace zarn
