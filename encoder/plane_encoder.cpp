#include "encoder/plane_encoder.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <condition_variable>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>

#include "encoder/block_metrics.h"
#include "encoder/coefficient_writer.h"
#include "encoder/forward_dct.h"
#include "encoder/residue_writer.h"
#include "encoder/worker_threads.h"
#include "video/blocks.h"
#include "video/idct.h"
#include "video/quant_tables.h"

namespace zarn {

namespace {

// Estimated bits of bundle values (the exact cost depends on the plane's
// prefix codes, chosen only after all blocks are decided).
constexpr float kTypeBits = 2.0f;
constexpr float kColourBits = 6.0f;
constexpr float kPatternBits = 6.0f;
constexpr float kDcBits = 5.0f;
constexpr float kRunSymbolBits = 3.0f;
// DCT blocks also try this many quantiser steps coarser than the plane's.
constexpr unsigned kCoarserStep = 2;

float OffsetBits(int v) { return v == 0 ? 1.0f : 4.0f; }

uint32_t Sse(const uint8_t* a, uint32_t as, const uint8_t* b, uint32_t bs) {
    return ChosenBlockMetrics().sse(a, as, b, bs);
}

uint32_t Sad(const uint8_t* a, uint32_t as, const uint8_t* b, uint32_t bs) {
    return ChosenBlockMetrics().sad(a, as, b, bs);
}

// One block's choice: its type, the values it puts into the bundles (in the
// order the decoder takes them), its in-line fields and the pixels it shows.
struct BlockDecision {
    float cost = INFINITY;
    uint8_t type = kFillBlock;
    uint8_t sub_type = 0;  // scaled blocks
    bool has_offsets = false, has_intra_dc = false, has_inter_dc = false;
    int8_t dx = 0, dy = 0;
    int16_t dc = 0;
    uint8_t colour_count = 0, pattern_count = 0, run_count = 0;
    uint8_t colours[64];
    uint8_t patterns[8];
    uint8_t runs[48];
    bool has_residue = false;  // residue blocks: event limit, then the residue of coef[]
    uint8_t event_limit = 0;
    bool has_coefficients = false;  // DCT blocks: AC coefficients, then the quantiser
    uint8_t quantiser = 0;
    bool has_scan = false;  // run blocks: scan order, then one bit per run
    uint8_t scan = 0;
    uint64_t run_bits = 0;  // bit i: run i repeats one colour
    int16_t coef[64];
    uint8_t shown[64];  // the decoded 8x8 block (a scaled block: before enlarging)
};

// Resets a decision's scalar fields; the arrays are filled as counted.
void Clear(BlockDecision& d) {
    d.cost = INFINITY;
    d.type = kFillBlock;
    d.sub_type = 0;
    d.has_offsets = d.has_intra_dc = d.has_inter_dc = d.has_residue = d.has_coefficients = d.has_scan = false;
    d.dx = d.dy = 0;
    d.dc = 0;
    d.colour_count = d.pattern_count = d.run_count = 0;
    d.event_limit = d.quantiser = d.scan = 0;
    d.run_bits = 0;
}

// Pixels of an 8x8 block as 16-bit values, with their sum.
struct BlockPixels {
    int16_t v[64];
    alignas(16) uint8_t b[64];
    int sum = 0;
};

uint32_t SseShown(const BlockPixels& p, const uint8_t shown[64]) { return Sse(p.b, 8, shown, 8); }

// What the workers of one plane share. A block's motion search looks at the
// offsets of its left, upper and upper-right neighbours, so a pair of block
// rows may decide column c only once the pair above has decided column c + 1;
// the pairs are then written out strictly in order.
struct PlaneProgress {
    explicit PlaneProgress(uint32_t pairs) : decided(std::make_unique<std::atomic<uint32_t>[]>(pairs)) {
        for (uint32_t p = 0; p < pairs; ++p) decided[p].store(0, std::memory_order_relaxed);
    }
    std::unique_ptr<std::atomic<uint32_t>[]> decided;  // per pair: columns decided
    std::atomic<uint32_t> next_pair{0};                // the next pair a worker takes
    std::atomic<uint32_t> emitted{0};                  // pairs written to the plane data
    // Workers that found nothing to do sleep here; a count tells the others
    // whether anyone needs waking, so that most steps make no system call.
    std::mutex lock;
    std::condition_variable woken;
    std::atomic<uint32_t> sleepers{0};
};

// Waits until `a` reaches `value`: a short spin first, since the other
// worker is mostly a block or two away and giving up the core is dear on a
// busy machine, then asleep.
void WaitUntilAtLeast(PlaneProgress& progress, const std::atomic<uint32_t>& a, uint32_t value) {
    constexpr int kSpins = 4000;
    for (int i = 0; i < kSpins; ++i)
        if (a.load(std::memory_order_acquire) >= value) return;
    std::unique_lock<std::mutex> hold(progress.lock);
    progress.sleepers.fetch_add(1, std::memory_order_seq_cst);
    // Sequentially consistent with Publish: either it sees the sleeper or the sleeper sees its value.
    progress.woken.wait(hold, [&] { return a.load(std::memory_order_seq_cst) >= value; });
    progress.sleepers.fetch_sub(1, std::memory_order_relaxed);
}

void Publish(PlaneProgress& progress, std::atomic<uint32_t>& a, uint32_t value) {
    a.store(value, std::memory_order_seq_cst);
    if (progress.sleepers.load(std::memory_order_seq_cst) == 0) return;
    // Taking the lock orders the wake after a sleeper's last look at `a`.
    { std::lock_guard<std::mutex> hold(progress.lock); }
    progress.woken.notify_all();
}

// Columns a waiting pair lets the pair above get ahead before it goes on.
constexpr uint32_t kLeadColumns = 4;

// One worker's decisions for the pair of block rows in hand.
struct PairScratch {
    std::vector<BlockDecision> upper, lower, scaled_choice;
    std::vector<uint8_t> scaled;
    BlockDecision big;
};

class BlockCoder {
public:
    BlockCoder(const PlaneSource& s, const PlaneOptions& o, PlaneData& out, MotionField& motion)
        : s_(s), o_(o), out_(out), idct_(ChosenIdctFunctions()), motion_(motion) {}

    // Takes pairs of block rows from `progress` until none is left.
    void CodePairs(PlaneProgress& progress, PlaneReport* report);

private:
    void DecidePair(uint32_t row, PlaneProgress& progress, PairScratch& w);
    void EmitPair(uint32_t row, const PairScratch& w, PlaneReport* report);
    void Decide(uint32_t row, uint32_t col, BlockDecision& d);
    // The 16x16 area at (row, col) coded as one scaled block (sub-block from 8x8 averages).
    void DecideScaled(uint32_t row, uint32_t col, BlockDecision& d);
    // Candidates built from 8x8 pixels, shared by plain and scaled blocks.
    // `error` measures the candidate's shown pixels against the source.
    template <class Error>
    void TryIntraKinds(const BlockPixels& p, float extra_bits, const Error& error, BlockDecision& best);
    bool TryRun(const BlockPixels& p, float extra_bits, BlockDecision& best);
    void TryResidue(const BlockPixels& p, const uint8_t pred[64], int dx, int dy, BlockDecision& best);
    void Emit(uint32_t row, uint32_t col, const BlockDecision& d, bool lower_half);

    bool Allowed(unsigned t) const { return (o_.allowed_types >> t) & 1u; }
    int ClampColour(int c) const { return (o_.old_colours && c == 0) ? 1 : c; }
    bool SearchMotion(uint32_t x, uint32_t y, uint32_t row, uint32_t col, int& best_dx, int& best_dy);
    bool Inside(uint32_t x, uint32_t y, int dx, int dy) const {
        int sx = static_cast<int>(x) + dx, sy = static_cast<int>(y) + dy;
        return sx >= 0 && sy >= 0 && sx + 8 <= static_cast<int>(s_.width) &&
               sy + 8 <= static_cast<int>(s_.height);
    }
    const uint8_t* PrevAt(uint32_t x, uint32_t y, int dx, int dy) const {
        return s_.prev + (static_cast<int>(y) + dy) * static_cast<ptrdiff_t>(s_.prev_stride) +
               static_cast<int>(x) + dx;
    }
    void Load(uint32_t x, uint32_t y, BlockPixels& p) const {
        p.sum = 0;
        const uint8_t* src = s_.src + y * s_.src_stride + x;
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 8; ++c) {
                p.b[r * 8 + c] = src[r * s_.src_stride + c];
                p.v[r * 8 + c] = p.b[r * 8 + c];
                p.sum += p.v[r * 8 + c];
            }
    }

    const PlaneSource& s_;
    const PlaneOptions& o_;
    PlaneData& out_;
    const IdctFunctions& idct_;
    MotionField& motion_;  // shared: each block's entry is written by the worker deciding it
    ResidueTrace residue_trace_;
};

bool BlockCoder::SearchMotion(uint32_t x, uint32_t y, uint32_t row, uint32_t col, int& best_dx,
                              int& best_dy) {
    const uint8_t* src = s_.src + y * s_.src_stride + x;
    uint32_t best = UINT32_MAX;
    auto test = [&](int dx, int dy) {
        if (dx < -15 || dx > 15 || dy < -15 || dy > 15 || !Inside(x, y, dx, dy)) return false;
        uint32_t sad = Sad(src, s_.src_stride, PrevAt(x, y, dx, dy), s_.prev_stride);
        if (sad < best) {
            best = sad;
            best_dx = dx;
            best_dy = dy;
            return true;
        }
        return false;
    };
    test(0, 0);
    auto test_field = [&](const MotionField& f, uint32_t r, uint32_t c, int scale) {
        if (r >= f.rows || c >= f.cols) return;
        size_t i = size_t{r} * f.cols + c;
        if (!f.valid[i]) return;
        test(f.dx[i] / scale, f.dy[i] / scale);
    };
    if (col > 0) test_field(motion_, row, col - 1, 1);
    if (row > 0) {
        test_field(motion_, row - 1, col, 1);
        test_field(motion_, row - 1, col + 1, 1);
    }
    if (o_.hint) test_field(*o_.hint, row * 2, col * 2, 2);
    if (best == 0) return true;
    // Coarse steps (unless a predictor already fits well), then a small
    // diamond until no neighbour is better.
    for (int step : {8, 4, 2}) {
        if (best <= 32) break;
        const int cx = best_dx, cy = best_dy;
        for (int dy = -step; dy <= step; dy += step)
            for (int dx = -step; dx <= step; dx += step)
                if (dx || dy) test(cx + dx, cy + dy);
    }
    for (int iter = 0; iter < 16; ++iter) {
        const int cx = best_dx, cy = best_dy;
        bool moved = test(cx + 1, cy) | test(cx - 1, cy) | test(cx, cy + 1) | test(cx, cy - 1);
        if (!moved) break;
    }
    return best != UINT32_MAX;
}

template <class Error>
void BlockCoder::TryIntraKinds(const BlockPixels& p, float extra_bits, const Error& error,
                               BlockDecision& best) {
    const float lambda = o_.lambda;
    const unsigned q = o_.quantiser;
    BlockDecision c;
    // Fill: the mean.
    {
        const int colour = ClampColour((p.sum + 32) / 64);
        std::memset(c.shown, colour, 64);
        const float cost = error(c.shown) + lambda * (extra_bits + kTypeBits + kColourBits);
        if (cost < best.cost) {
            Clear(best);
            best.cost = cost;
            best.type = kFillBlock;
            best.colour_count = 1;
            best.colours[0] = static_cast<uint8_t>(colour);
            std::memcpy(best.shown, c.shown, 64);
        }
    }
    // Intra DCT at the plane's quantiser and a coarser one.
    if (Allowed(kIntraBlock) && best.cost > lambda * (extra_bits + 10.0f)) {
        float dct[64];
        alignas(16) int16_t coef[64];
        ForwardDct8x8(p.v, dct);
        for (unsigned qi : {q, std::min(q + kCoarserStep, 15u)}) {
            QuantiseBlock(dct, true, qi, 0.35f, coef);
            idct_.put(c.shown, 8, coef, IntraQuantTable(qi));
            const float distortion = error(c.shown);
            // The bits are counted only when the block can still win.
            if (distortion + lambda * (extra_bits + kTypeBits + kDcBits + 8) >= best.cost) continue;
            const float coef_bits = static_cast<float>(CountAcCoefficientBits(coef) + 4);
            const float cost = distortion + lambda * (extra_bits + kTypeBits + kDcBits + coef_bits);
            if (cost < best.cost) {
                Clear(best);
                best.cost = cost;
                best.type = kIntraBlock;
                best.has_intra_dc = true;
                best.dc = coef[0];
                best.has_coefficients = true;
                best.quantiser = static_cast<uint8_t>(qi);
                std::memcpy(best.coef, coef, sizeof coef);
                std::memcpy(best.shown, c.shown, 64);
            }
            if (qi == 15) break;
        }
    }
    // Pattern: two colours split at the mean.
    if (Allowed(kPatternBlock) &&
        best.cost > lambda * (extra_bits + kTypeBits + 2 * kColourBits + 8 * kPatternBits)) {
        const int mean = p.sum / 64;
        int s0 = 0, n0 = 0, s1 = 0, n1 = 0;
        for (int i = 0; i < 64; ++i) {
            if (p.v[i] > mean)
                s1 += p.v[i], ++n1;
            else
                s0 += p.v[i], ++n0;
        }
        if (n0 && n1) {
            const int c0 = ClampColour((s0 + n0 / 2) / n0), c1 = ClampColour((s1 + n1 / 2) / n1);
            uint8_t patterns[8] = {};
            for (int r = 0; r < 8; ++r)
                for (int col = 0; col < 8; ++col) {
                    const bool high = p.v[r * 8 + col] > mean;
                    if (high) patterns[r] = static_cast<uint8_t>(patterns[r] | (1u << col));
                    c.shown[r * 8 + col] = static_cast<uint8_t>(high ? c1 : c0);
                }
            const float cost =
                error(c.shown) + lambda * (extra_bits + kTypeBits + 2 * kColourBits + 8 * kPatternBits);
            if (cost < best.cost) {
                Clear(best);
                best.cost = cost;
                best.type = kPatternBlock;
                best.colour_count = 2;
                best.colours[0] = static_cast<uint8_t>(c0);
                best.colours[1] = static_cast<uint8_t>(c1);
                best.pattern_count = 8;
                std::memcpy(best.patterns, patterns, 8);
                std::memcpy(best.shown, c.shown, 64);
            }
        }
    }
    // Raw: every pixel.
    if (Allowed(kRawBlock) && best.cost > lambda * (extra_bits + kTypeBits + 64 * kColourBits)) {
        for (int i = 0; i < 64; ++i) c.shown[i] = static_cast<uint8_t>(ClampColour(p.v[i]));
        const float cost = error(c.shown) + lambda * (extra_bits + kTypeBits + 64 * kColourBits);
        if (cost < best.cost) {
            Clear(best);
            best.cost = cost;
            best.type = kRawBlock;
            best.colour_count = 64;
            std::memcpy(best.colours, c.shown, 64);
            std::memcpy(best.shown, c.shown, 64);
        }
    }
}

// Run block: the exact block along the scan order with the fewest bits,
// equal neighbours as repeated runs and the rest as literal runs.
bool BlockCoder::TryRun(const BlockPixels& p, float extra_bits, BlockDecision& best) {
    if (!Allowed(kRunBlock)) return false;
    uint8_t px[64];
    for (int i = 0; i < 64; ++i) px[i] = static_cast<uint8_t>(ClampColour(p.v[i]));
    // Cheap test: few distinct colours.
    unsigned distinct = 0;
    uint8_t seen[64];
    for (int i = 0; i < 64 && distinct <= 8; ++i) {
        bool found = false;
        for (unsigned k = 0; k < distinct; ++k) found |= seen[k] == px[i];
        if (!found) seen[distinct++] = px[i];
    }
    if (distinct > 8) return false;
    const float lambda = o_.lambda;
    float best_bits = INFINITY;
    BlockDecision d;
    for (unsigned k = 0; k < 16; ++k) {
        const uint8_t* scan = kScanOrders[k];
        BlockDecision c;
        c.has_scan = true;
        c.scan = static_cast<uint8_t>(k);
        float bits = extra_bits + kTypeBits + 4;
        unsigned i = 0;
        bool too_many = false;
        while (i < 63) {
            // Length of the run of equal colours from i.
            unsigned same = 1;
            while (i + same < 64 && px[scan[i + same]] == px[scan[i]]) ++same;
            unsigned n;
            if (same >= 2) {
                n = std::min(same, 16u);
                c.run_bits |= uint64_t{1} << c.run_count;
                c.colours[c.colour_count++] = px[scan[i]];
                bits += 1 + kRunSymbolBits + kColourBits;
            } else {
                // Literal run: up to where two equal colours start.
                n = 1;
                while (n < 16 && i + n < 64 && !(i + n + 1 < 64 && px[scan[i + n]] == px[scan[i + n + 1]]))
                    ++n;
                for (unsigned j = 0; j < n; ++j) c.colours[c.colour_count++] = px[scan[i + j]];
                bits += 1 + kRunSymbolBits + kColourBits * n;
            }
            if (c.run_count == 48) {
                too_many = true;
                break;
            }
            c.runs[c.run_count++] = static_cast<uint8_t>(n - 1);
            i += n;
        }
        if (too_many) continue;
        if (i == 63) {
            c.colours[c.colour_count++] = px[scan[63]];
            bits += kColourBits;
        }
        if (bits < best_bits) {
            best_bits = bits;
            d = c;
        }
    }
    if (best_bits == INFINITY) return false;
    float error = 0;
    for (int i = 0; i < 64; ++i) error += static_cast<float>((p.v[i] - px[i]) * (p.v[i] - px[i]));
    const float cost = error + lambda * best_bits;
    if (cost >= best.cost) return false;
    d.cost = cost;
    d.type = kRunBlock;
    std::memcpy(d.shown, px, 64);
    best = d;
    return true;
}

// Residue block: the exact difference to the motion prediction, cut after
// the number of changes that costs the least.
void BlockCoder::TryResidue(const BlockPixels& p, const uint8_t pred[64], int dx, int dy,
                            BlockDecision& best) {
    int16_t target[64];
    int total = 0;
    for (int i = 0; i < 64; ++i) {
        const int d = p.v[i] - pred[i];
        // Large corrections are the inter block's job.
        if (d < -31 || d > 31) return;
        target[i] = static_cast<int16_t>(d);
        total += std::abs(d);
    }
    if (total > 64 * 5) return;
    ResidueTrace& trace = residue_trace_;
    TraceResidue(target, trace);
    if (trace.count == 0) return;
    const float lambda = o_.lambda;
    const float fixed = kTypeBits + OffsetBits(dx) + OffsetBits(dy) + 7;
    // Candidate cuts; the changes are replayed onto the prediction.
    uint8_t shown[64];
    std::memcpy(shown, pred, 64);
    unsigned applied = 0;
    for (unsigned events : {10u, 32u, trace.count}) {
        if (events > trace.count || events > 128) continue;
        for (; applied < events; ++applied)
            shown[trace.position[applied]] =
                static_cast<uint8_t>(pred[trace.position[applied]] + trace.value[applied]);
        const float bits = static_cast<float>(trace.bits_after[events - 1]);
        const float cost = static_cast<float>(SseShown(p, shown)) + lambda * (fixed + bits);
        if (cost < best.cost) {
            Clear(best);
            best.cost = cost;
            best.type = kResidueBlock;
            best.has_offsets = true;
            best.dx = static_cast<int8_t>(dx);
            best.dy = static_cast<int8_t>(dy);
            best.has_residue = true;
            best.event_limit = static_cast<uint8_t>(events - 1);
            std::memcpy(best.coef, target, sizeof target);
            std::memcpy(best.shown, shown, 64);
        }
    }
}

void BlockCoder::Decide(uint32_t row, uint32_t col, BlockDecision& best) {
    const uint32_t x = col * 8, y = row * 8;
    const float lambda = o_.lambda;
    const unsigned q = o_.quantiser;
    BlockPixels p;
    Load(x, y, p);
    Clear(best);
    auto direct_error = [&p](const uint8_t shown[64]) { return static_cast<float>(SseShown(p, shown)); };

    if (!o_.key) {
        const uint8_t* co = PrevAt(x, y, 0, 0);
        if (Allowed(kSkipBlock)) {
            best.cost =
                Sse(s_.src + y * s_.src_stride + x, s_.src_stride, co, s_.prev_stride) + lambda * 1.0f;
            best.type = kSkipBlock;
            for (int r = 0; r < 8; ++r) std::memcpy(best.shown + r * 8, co + r * s_.prev_stride, 8);
        }
        int mdx = 0, mdy = 0;
        const bool have_motion = SearchMotion(x, y, row, col, mdx, mdy);
        const uint8_t* mp = PrevAt(x, y, have_motion ? mdx : 0, have_motion ? mdy : 0);
        alignas(16) uint8_t pred[64];
        for (int r = 0; r < 8; ++r) std::memcpy(pred + r * 8, mp + r * s_.prev_stride, 8);
        const float offset_bits = OffsetBits(mdx) + OffsetBits(mdy);
        if (have_motion && (mdx || mdy) && Allowed(kMotionBlock)) {
            const float c = static_cast<float>(SseShown(p, pred)) + lambda * (kTypeBits + offset_bits);
            if (c < best.cost) {
                Clear(best);
                best.cost = c;
                best.type = kMotionBlock;
                best.has_offsets = true;
                best.dx = static_cast<int8_t>(mdx);
                best.dy = static_cast<int8_t>(mdy);
                std::memcpy(best.shown, pred, 64);
            }
        }
        if (Allowed(kInterBlock) && best.cost > lambda * 8.0f) {
            alignas(16) int16_t residual[64], coef[64];
            for (int i = 0; i < 64; ++i) residual[i] = static_cast<int16_t>(p.v[i] - pred[i]);
            float dct[64];
            ForwardDct8x8(residual, dct);
            for (unsigned qi : {q, std::min(q + kCoarserStep, 15u)}) {
                QuantiseBlock(dct, false, qi, 0.3f, coef);
                alignas(16) uint8_t recon[64];
                idct_.add(recon, 8, coef, InterQuantTable(qi), pred);
                const float distortion = static_cast<float>(SseShown(p, recon));
                if (distortion + lambda * (kTypeBits + offset_bits + kDcBits + 8) >= best.cost) continue;
                const float coef_bits = static_cast<float>(CountAcCoefficientBits(coef) + 4);
                const float c = distortion + lambda * (kTypeBits + offset_bits + kDcBits + coef_bits);
                if (c < best.cost) {
                    Clear(best);
                    best.cost = c;
                    best.type = kInterBlock;
                    best.has_offsets = true;
                    best.dx = static_cast<int8_t>(mdx);
                    best.dy = static_cast<int8_t>(mdy);
                    best.has_inter_dc = true;
                    best.dc = coef[0];
                    best.has_coefficients = true;
                    best.quantiser = static_cast<uint8_t>(qi);
                    std::memcpy(best.coef, coef, sizeof coef);
                    std::memcpy(best.shown, recon, 64);
                }
                if (qi == 15) break;
            }
        }
        if (Allowed(kResidueBlock) && best.cost > lambda * 12.0f) TryResidue(p, pred, mdx, mdy, best);
        if (have_motion) {
            const size_t i = size_t{row} * motion_.cols + col;
            motion_.dx[i] = static_cast<int8_t>(mdx);
            motion_.dy[i] = static_cast<int8_t>(mdy);
            motion_.valid[i] = 1;
        }
    }
    // A block the previous picture already shows well is left at that.
    if (best.cost <= lambda * 4.0f) return;
    // Predicted blocks coded cheaply are not worth the intra trials.
    if (!o_.key && best.cost <= lambda * 40.0f) return;
    TryIntraKinds(p, 0.0f, direct_error, best);
    if (best.cost > lambda * 24.0f) TryRun(p, 0.0f, best);
}

void BlockCoder::DecideScaled(uint32_t row, uint32_t col, BlockDecision& best) {
    Clear(best);
    if (!Allowed(kScaledBlock)) return;
    const uint32_t x = col * 8, y = row * 8;
    const uint8_t* src = s_.src + y * s_.src_stride + x;
    BlockPixels small;
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) {
            const uint8_t* a = src + 2 * r * s_.src_stride + 2 * c;
            small.v[r * 8 + c] =
                static_cast<int16_t>((a[0] + a[1] + a[s_.src_stride] + a[s_.src_stride + 1] + 2) / 4);
            small.b[r * 8 + c] = static_cast<uint8_t>(small.v[r * 8 + c]);
            small.sum += small.v[r * 8 + c];
        }
    auto enlarged_error = [&](const uint8_t shown[64]) {
        uint32_t e = 0;
        for (int r = 0; r < 16; ++r)
            for (int c = 0; c < 16; ++c) {
                const int d = src[r * s_.src_stride + c] - shown[(r / 2) * 8 + c / 2];
                e += static_cast<uint32_t>(d * d);
            }
        return static_cast<float>(e);
    };
    // Two block types (upper and lower row) and the sub-block type.
    TryIntraKinds(small, kTypeBits + 2.0f, enlarged_error, best);
    if (best.cost == INFINITY) return;
    best.sub_type = best.type;
    best.type = kScaledBlock;
}

void BlockCoder::Emit(uint32_t row, uint32_t col, const BlockDecision& d, bool lower_half) {
    auto& v = out_.values;
    v[kBlockTypes].push_back(d.type);
    const uint32_t x = col * 8, y = row * 8;
    if (d.type == kScaledBlock) {
        if (lower_half) return;
        v[kSubBlockTypes].push_back(d.sub_type);
    }
    if (d.has_offsets) {
        v[kXOffsets].push_back(d.dx);
        v[kYOffsets].push_back(d.dy);
    }
    if (d.has_intra_dc) v[kIntraDc].push_back(d.dc);
    if (d.has_inter_dc) v[kInterDc].push_back(d.dc);
    for (unsigned i = 0; i < d.run_count; ++i) v[kRunLengths].push_back(d.runs[i]);
    for (unsigned i = 0; i < d.colour_count; ++i) v[kColours].push_back(d.colours[i]);
    for (unsigned i = 0; i < d.pattern_count; ++i) v[kPatterns].push_back(d.patterns[i]);
    FieldList& fields = out_.row_fields[row];
    if (d.has_scan) {
        fields.Put(d.scan, 4);
        for (unsigned i = 0; i < d.run_count; ++i) fields.PutBit((d.run_bits >> i) & 1u);
    }
    if (d.has_residue) {
        int16_t decoded[64];
        fields.Put(d.event_limit, 7);
        WriteResidue(d.coef, d.event_limit, &fields, decoded);
    }
    if (d.has_coefficients) {
        WriteAcCoefficients(d.coef, fields);
        fields.Put(d.quantiser, 4);
    }
    if (!o_.expected) return;
    if (d.type == kScaledBlock) {
        for (int r = 0; r < 16; ++r)
            for (int c = 0; c < 16; ++c)
                o_.expected[(y + r) * size_t{s_.width} + x + c] = d.shown[(r / 2) * 8 + c / 2];
    } else {
        for (int r = 0; r < 8; ++r)
            std::memcpy(o_.expected + (y + r) * size_t{s_.width} + x, d.shown + r * 8, 8);
    }
}

void BlockCoder::DecidePair(uint32_t row, PlaneProgress& progress, PairScratch& w) {
    const uint32_t rows = s_.height / 8, cols = s_.width / 8, pair = row / 2;
    const bool pair_rows = row + 1 < rows;
    for (uint32_t col = 0; col < cols; ++col) {
        // Once behind, wait for a few columns more, so the pairs do not meet at every block.
        if (pair > 0 && progress.decided[pair - 1].load(std::memory_order_acquire) < std::min(col + 2, cols))
            WaitUntilAtLeast(progress, progress.decided[pair - 1], std::min(col + 2 + kLeadColumns, cols));
        Decide(row, col, w.upper[col]);
        if (pair_rows) Decide(row + 1, col, w.lower[col]);
        Publish(progress, progress.decided[pair], col + 1);
    }
    // Scaled blocks where one 16x16 block costs less than its four 8x8 blocks.
    std::fill(w.scaled.begin(), w.scaled.end(), 0);
    if (!pair_rows) return;
    for (uint32_t col = 0; col + 1 < cols; ++col) {
        const float four =
            w.upper[col].cost + w.upper[col + 1].cost + w.lower[col].cost + w.lower[col + 1].cost;
        if (four <= o_.lambda * (2 * kTypeBits + 2.0f + kColourBits)) continue;
        // Areas predicted from the previous picture stay predicted.
        auto predicted = [](const BlockDecision& d) {
            return d.type == kSkipBlock || d.type == kMotionBlock;
        };
        if (predicted(w.upper[col]) || predicted(w.upper[col + 1]) || predicted(w.lower[col]) ||
            predicted(w.lower[col + 1]))
            continue;
        DecideScaled(row, col, w.big);
        if (w.big.cost < four) {
            w.scaled[col] = 1;
            w.scaled_choice[col] = w.big;
            ++col;
        }
    }
}

void BlockCoder::EmitPair(uint32_t row, const PairScratch& w, PlaneReport* report) {
    const uint32_t rows = s_.height / 8, cols = s_.width / 8;
    const bool pair_rows = row + 1 < rows;
    for (int half = 0; half < (pair_rows ? 2 : 1); ++half) {
        const uint32_t r = row + static_cast<uint32_t>(half);
        for (uint32_t col = 0; col < cols; ++col) {
            if (w.scaled[col]) {
                Emit(r, col, w.scaled_choice[col], half == 1);
                if (report && half == 0) {
                    ++report->block_counts[kScaledBlock];
                    ++report->sub_block_counts[w.scaled_choice[col].sub_type & 15];
                }
                ++col;
                continue;
            }
            const BlockDecision& d = half ? w.lower[col] : w.upper[col];
            Emit(r, col, d, false);
            if (report) ++report->block_counts[d.type & 15];
        }
        out_.EndRow();
    }
}

void BlockCoder::CodePairs(PlaneProgress& progress, PlaneReport* report) {
    const uint32_t rows = s_.height / 8, cols = s_.width / 8, pairs = (rows + 1) / 2;
    PairScratch w;
    w.upper.resize(cols);
    w.lower.resize(cols);
    w.scaled_choice.resize(cols);
    w.scaled.resize(cols);
    for (;;) {
        const uint32_t pair = progress.next_pair.fetch_add(1, std::memory_order_relaxed);
        if (pair >= pairs) return;
        DecidePair(pair * 2, progress, w);
        WaitUntilAtLeast(progress, progress.emitted, pair);
        EmitPair(pair * 2, w, report);
        Publish(progress, progress.emitted, pair + 1);
    }
}

}  // namespace

void EncodePlaneBlocks(const PlaneSource& source, const PlaneOptions& options, PlaneData& out,
                       MotionField* motion_out, PlaneReport* report, const std::function<void()>& side_task) {
    out.Reset(source.width, source.height, options.old_colours);
    const uint32_t rows = source.height / 8, cols = source.width / 8, pairs = (rows + 1) / 2;
    MotionField motion;
    motion.cols = cols;
    motion.rows = rows;
    motion.dx.assign(size_t{rows} * cols, 0);
    motion.dy.assign(size_t{rows} * cols, 0);
    motion.valid.assign(size_t{rows} * cols, 0);
    PlaneProgress progress(pairs);
    // Every worker takes the next pair in turn, so the result is the same
    // whichever worker decides which pair, and however many start (a helper
    // busy with the side task joins late). The side task goes to whoever
    // claims it first: a helper that starts late leaves it to the caller.
    std::atomic<bool> side_claimed{!side_task};
    auto claim_side_task = [&] {
        if (!side_claimed.exchange(true, std::memory_order_relaxed)) side_task();
    };
    const unsigned helpers = std::min(std::max(options.threads, 1u) - 1, pairs);
    RunOnThreads(1 + helpers, [&](unsigned index) {
        if (index == 1) claim_side_task();
        BlockCoder(source, options, out, motion).CodePairs(progress, report);
        if (index == 0) claim_side_task();
    });
    if (motion_out) *motion_out = std::move(motion);
}

}  // namespace zarn
