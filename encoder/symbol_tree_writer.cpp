#include "encoder/symbol_tree_writer.h"

#include <algorithm>
#include <array>
#include <vector>

#include "video/code_shapes.h"

namespace zarn {

namespace {

using ShapeWords = std::array<std::array<CodeWord, 16>, 16>;

const ShapeWords& AllShapeWords() {
    static const ShapeWords words = [] {
        ShapeWords all{};
        for (unsigned s = 0; s < 16; ++s) {
            const char* p = kCodeShapeWords[s];
            for (unsigned i = 0; i < 16; ++i) {
                while (*p == ' ') ++p;
                CodeWord cw{0, 0};
                while (*p == '0' || *p == '1') {
                    if (*p == '1') cw.code |= 1u << cw.bits;
                    ++cw.bits;
                    ++p;
                }
                all[s][i] = cw;
            }
        }
        return all;
    }();
    return words;
}

// Symbols by descending frequency, ties by ascending symbol.
std::array<uint8_t, 16> SortedSymbols(const uint32_t freq[16]) {
    std::array<uint8_t, 16> order{};
    for (unsigned i = 0; i < 16; ++i) order[i] = static_cast<uint8_t>(i);
    std::stable_sort(order.begin(), order.end(), [&](uint8_t a, uint8_t b) { return freq[a] > freq[b]; });
    return order;
}

// Simulates the shuffle with d merge levels steered towards `rank` order;
// fills the resulting map and returns the bits the shuffle needs.
unsigned ShuffleMap(const uint8_t rank[16], unsigned d, uint8_t map[16]) {
    uint8_t seq[16];
    unsigned bits = 8;
    for (unsigned j = 0; j < 16; j += 2) {
        bool swap = rank[j + 1] < rank[j];
        seq[j] = static_cast<uint8_t>(swap ? j + 1 : j);
        seq[j + 1] = static_cast<uint8_t>(swap ? j : j + 1);
    }
    for (unsigned level = 1, run = 2; level <= d; ++level, run *= 2) {
        uint8_t out[16];
        for (unsigned start = 0; start < 16; start += 2 * run) {
            unsigned a = start, b = start + run, o = start;
            const unsigned a_end = start + run, b_end = start + 2 * run;
            while (a < a_end && b < b_end) {
                ++bits;
                if (rank[seq[b]] < rank[seq[a]])
                    out[o++] = seq[b++];
                else
                    out[o++] = seq[a++];
            }
            while (a < a_end) out[o++] = seq[a++];
            while (b < b_end) out[o++] = seq[b++];
        }
        std::copy(out, out + 16, seq);
    }
    std::copy(seq, seq + 16, map);
    return bits;
}

uint64_t MapCost(unsigned shape, const uint8_t map[16], const uint32_t freq[16]) {
    const auto& words = AllShapeWords()[shape];
    uint64_t total = 0;
    for (unsigned i = 0; i < 16; ++i) total += uint64_t{freq[map[i]]} * words[i].bits;
    return total;
}

void FinishIndex(TreeChoice& t) {
    for (unsigned i = 0; i < 16; ++i) t.index_of[t.map[i]] = static_cast<uint8_t>(i);
}

}  // namespace

const CodeWord (&CodeShapeWords(unsigned shape))[16] {
    return reinterpret_cast<const CodeWord(&)[16]>(AllShapeWords()[shape & 15][0]);
}

TreeChoice IdentityTree() {
    TreeChoice t;
    for (unsigned i = 0; i < 16; ++i) t.map[i] = static_cast<uint8_t>(i);
    FinishIndex(t);
    return t;
}

TreeChoice ChooseSymbolTree(const uint32_t freq[16]) {
    TreeChoice best = IdentityTree();
    best.total_bits = 4 + MapCost(0, best.map, freq);

    const std::array<uint8_t, 16> order = SortedSymbols(freq);
    uint8_t rank[16];
    for (unsigned i = 0; i < 16; ++i) rank[order[i]] = static_cast<uint8_t>(i);

    // Candidate maps with their description bits (beyond the 4-bit shape).
    struct Candidate {
        uint8_t map[16];
        TreeChoice::Form form;
        uint8_t param;
        unsigned bits;
    };
    std::vector<Candidate> candidates;
    for (unsigned k = 0; k < 8; ++k) {
        Candidate c{};
        c.form = TreeChoice::Form::kExplicit;
        c.param = static_cast<uint8_t>(k);
        c.bits = 1 + 3 + 4 * (k + 1);
        bool listed[16] = {};
        for (unsigned i = 0; i <= k; ++i) {
            c.map[i] = order[i];
            listed[order[i]] = true;
        }
        unsigned o = k + 1;
        for (unsigned s = 0; s < 16; ++s)
            if (!listed[s]) c.map[o++] = static_cast<uint8_t>(s);
        candidates.push_back(c);
    }
    for (unsigned d = 0; d < 4; ++d) {
        Candidate c{};
        c.form = TreeChoice::Form::kShuffle;
        c.param = static_cast<uint8_t>(d);
        c.bits = 1 + 2 + ShuffleMap(rank, d, c.map);
        candidates.push_back(c);
    }
    for (unsigned shape = 1; shape < 16; ++shape) {
        for (const Candidate& c : candidates) {
            uint64_t total = 4 + c.bits + MapCost(shape, c.map, freq);
            if (total < best.total_bits) {
                best.shape = static_cast<uint8_t>(shape);
                std::copy(c.map, c.map + 16, best.map);
                best.form = c.form;
                best.param = c.param;
                best.header_bits = 4 + c.bits;
                best.total_bits = total;
            }
        }
    }
    if (best.form == TreeChoice::Form::kExplicit) std::copy(best.map, best.map + best.param + 1, best.listed);
    FinishIndex(best);
    return best;
}

void WriteSymbolTree(BitWriter& w, const TreeChoice& t) {
    w.Put(t.shape, 4);
    if (t.shape == 0) return;
    if (t.form == TreeChoice::Form::kExplicit) {
        w.Put(1, 1);
        w.Put(t.param, 3);
        for (unsigned i = 0; i <= t.param; ++i) w.Put(t.listed[i], 4);
        return;
    }
    // Shuffle: steer the pairs and merges towards the final map order.
    w.Put(0, 1);
    w.Put(t.param, 2);
    uint8_t rank[16];
    for (unsigned i = 0; i < 16; ++i) rank[t.map[i]] = static_cast<uint8_t>(i);
    uint8_t seq[16];
    for (unsigned j = 0; j < 16; j += 2) {
        bool swap = rank[j + 1] < rank[j];
        w.PutBit(swap);
        seq[j] = static_cast<uint8_t>(swap ? j + 1 : j);
        seq[j + 1] = static_cast<uint8_t>(swap ? j : j + 1);
    }
    for (unsigned level = 1, run = 2; level <= t.param; ++level, run *= 2) {
        uint8_t out[16];
        for (unsigned start = 0; start < 16; start += 2 * run) {
            unsigned a = start, b = start + run, o = start;
            const unsigned a_end = start + run, b_end = start + 2 * run;
            while (a < a_end && b < b_end) {
                bool second = rank[seq[b]] < rank[seq[a]];
                w.PutBit(second);
                out[o++] = second ? seq[b++] : seq[a++];
            }
            while (a < a_end) out[o++] = seq[a++];
            while (b < b_end) out[o++] = seq[b++];
        }
        std::copy(out, out + 16, seq);
    }
}

}  // namespace zarn
