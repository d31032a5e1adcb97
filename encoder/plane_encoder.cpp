#include "encoder/plane_encoder.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "encoder/coefficient_writer.h"
#include "encoder/forward_dct.h"
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

float OffsetBits(int v) { return v == 0 ? 1.0f : 4.0f; }

uint32_t Sse(const uint8_t* a, uint32_t as, const uint8_t* b, uint32_t bs) {
    uint32_t s = 0;
    for (int r = 0; r < 8; ++r, a += as, b += bs)
        for (int c = 0; c < 8; ++c) {
            int d = a[c] - b[c];
            s += static_cast<uint32_t>(d * d);
        }
    return s;
}

uint32_t Sad(const uint8_t* a, uint32_t as, const uint8_t* b, uint32_t bs) {
    uint32_t s = 0;
    for (int r = 0; r < 8; ++r, a += as, b += bs)
        for (int c = 0; c < 8; ++c) s += static_cast<uint32_t>(std::abs(a[c] - b[c]));
    return s;
}

struct Candidate {
    float cost = INFINITY;
    BlockType type = kFillBlock;
};

class BlockCoder {
public:
    BlockCoder(const PlaneSource& s, const PlaneOptions& o, PlaneData& out)
        : s_(s), o_(o), out_(out), idct_(idct_functions()) {}

    void code_plane(MotionField* motion_out, PlaneReport* report);

private:
    void code_block(uint32_t row, uint32_t col);
    bool allowed(BlockType t) const { return (o_.allowed_types >> t) & 1u; }
    void store_expected(uint32_t x, uint32_t y, const uint8_t* pixels, uint32_t stride) {
        if (!o_.expected) return;
        for (int r = 0; r < 8; ++r)
            std::memcpy(o_.expected + (y + r) * size_t{s_.width} + x, pixels + r * stride, 8);
    }
    int clamp_colour(int c) const { return (o_.old_colours && c == 0) ? 1 : c; }
    bool search_motion(uint32_t x, uint32_t y, uint32_t row, uint32_t col, int& best_dx, int& best_dy);
    bool inside(uint32_t x, uint32_t y, int dx, int dy) const {
        int sx = static_cast<int>(x) + dx, sy = static_cast<int>(y) + dy;
        return sx >= 0 && sy >= 0 && sx + 8 <= static_cast<int>(s_.width) && sy + 8 <= static_cast<int>(s_.height);
    }
    const uint8_t* prev_at(uint32_t x, uint32_t y, int dx, int dy) const {
        return s_.prev + (static_cast<int>(y) + dy) * static_cast<ptrdiff_t>(s_.prev_stride) + static_cast<int>(x) + dx;
    }

    const PlaneSource& s_;
    const PlaneOptions& o_;
    PlaneData& out_;
    const IdctFunctions& idct_;
    MotionField motion_;
    FieldList intra_fields_, inter_fields_;
    uint8_t intra_recon_[64] = {}, inter_recon_[64] = {};
};

bool BlockCoder::search_motion(uint32_t x, uint32_t y, uint32_t row, uint32_t col, int& best_dx,
                               int& best_dy) {
    const uint8_t* src = s_.src + y * s_.src_stride + x;
    uint32_t best = UINT32_MAX;
    auto test = [&](int dx, int dy) {
        if (dx < -15 || dx > 15 || dy < -15 || dy > 15 || !inside(x, y, dx, dy)) return false;
        uint32_t sad = Sad(src, s_.src_stride, prev_at(x, y, dx, dy), s_.prev_stride);
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
    // Coarse steps, then a small diamond until no neighbour is better.
    for (int step : {8, 4, 2}) {
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

void BlockCoder::code_block(uint32_t row, uint32_t col) {
    const uint32_t x = col * 8, y = row * 8;
    const uint8_t* src = s_.src + y * s_.src_stride + x;
    const float lambda = o_.lambda;
    const unsigned q = o_.quantiser;

    alignas(16) int16_t pixels[64];
    int sum = 0;
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) {
            pixels[r * 8 + c] = src[r * s_.src_stride + c];
            sum += pixels[r * 8 + c];
        }

    Candidate best;
    // Fill.
    const int fill_colour = clamp_colour((sum + 32) / 64);
    {
        uint32_t d = 0;
        for (int i = 0; i < 64; ++i) d += static_cast<uint32_t>((pixels[i] - fill_colour) * (pixels[i] - fill_colour));
        best.cost = d + lambda * (kTypeBits + kColourBits);
        best.type = kFillBlock;
    }
    if (best.cost <= lambda * (kTypeBits + kColourBits) + 0.5f && o_.key) {
        out_.values[kBlockTypes].push_back(kFillBlock);
        out_.values[kColours].push_back(fill_colour);
        uint8_t flat[64];
        std::memset(flat, fill_colour, 64);
        store_expected(x, y, flat, 8);
        return;
    }

    int mdx = 0, mdy = 0;
    bool have_motion = false;
    alignas(16) uint8_t pred[64];
    alignas(16) int16_t inter_coef[64];
    if (!o_.key) {
        const uint8_t* co = prev_at(x, y, 0, 0);
        float skip_cost = Sse(src, s_.src_stride, co, s_.prev_stride) + lambda * 1.0f;
        if (allowed(kSkipBlock) && skip_cost < best.cost) {
            best.cost = skip_cost;
            best.type = kSkipBlock;
        }
        have_motion = search_motion(x, y, row, col, mdx, mdy);
        const uint8_t* mp = prev_at(x, y, mdx, mdy);
        if (have_motion && (mdx || mdy) && allowed(kMotionBlock)) {
            float c = Sse(src, s_.src_stride, mp, s_.prev_stride) +
                      lambda * (kTypeBits + OffsetBits(mdx) + OffsetBits(mdy));
            if (c < best.cost) {
                best.cost = c;
                best.type = kMotionBlock;
            }
        }
        // Inter DCT on the motion prediction.
        alignas(16) int16_t residual[64];
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 8; ++c) {
                pred[r * 8 + c] = mp[r * s_.prev_stride + c];
                residual[r * 8 + c] = static_cast<int16_t>(pixels[r * 8 + c] - pred[r * 8 + c]);
            }
        alignas(16) uint8_t recon[64];
        if (best.cost > lambda * 8.0f && allowed(kInterBlock)) {
            float dct[64];
            ForwardDct8x8(residual, dct);
            QuantiseBlock(dct, false, q, 0.3f, inter_coef);
            idct_.add(recon, 8, inter_coef, inter_quant_table(q), pred);
            inter_fields_.clear();
            WriteAcCoefficients(inter_coef, inter_fields_);
            inter_fields_.put(q, 4);
            float c = Sse(src, s_.src_stride, recon, 8) +
                      lambda * (kTypeBits + OffsetBits(mdx) + OffsetBits(mdy) + kDcBits +
                                static_cast<float>(inter_fields_.bit_count()));
            if (c < best.cost) {
                best.cost = c;
                best.type = kInterBlock;
                std::memcpy(inter_recon_, recon, 64);
            }
        }
    }

    // Intra DCT.
    alignas(16) int16_t intra_coef[64];
    if (best.cost > lambda * 10.0f && allowed(kIntraBlock)) {
        float dct[64];
        ForwardDct8x8(pixels, dct);
        QuantiseBlock(dct, true, q, 0.35f, intra_coef);
        alignas(16) uint8_t recon[64];
        idct_.put(recon, 8, intra_coef, intra_quant_table(q));
        intra_fields_.clear();
        WriteAcCoefficients(intra_coef, intra_fields_);
        intra_fields_.put(q, 4);
        float c = Sse(src, s_.src_stride, recon, 8) +
                  lambda * (kTypeBits + kDcBits + static_cast<float>(intra_fields_.bit_count()));
        if (c < best.cost) {
            best.cost = c;
            best.type = kIntraBlock;
            std::memcpy(intra_recon_, recon, 64);
        }
    }

    // Pattern: two colours split at the mean.
    int c0 = 0, c1 = 0;
    uint8_t patterns[8] = {};
    if (best.cost > lambda * (kTypeBits + 2 * kColourBits + 8 * kPatternBits) && allowed(kPatternBlock)) {
        const int mean = sum / 64;
        int s0 = 0, n0 = 0, s1 = 0, n1 = 0;
        for (int i = 0; i < 64; ++i) {
            if (pixels[i] > mean) s1 += pixels[i], ++n1;
            else s0 += pixels[i], ++n0;
        }
        if (n0 && n1) {
            c0 = clamp_colour((s0 + n0 / 2) / n0);
            c1 = clamp_colour((s1 + n1 / 2) / n1);
            uint32_t d = 0;
            for (int r = 0; r < 8; ++r)
                for (int c = 0; c < 8; ++c) {
                    int p = pixels[r * 8 + c];
                    bool high = p > mean;
                    if (high) patterns[r] = static_cast<uint8_t>(patterns[r] | (1u << c));
                    int e = p - (high ? c1 : c0);
                    d += static_cast<uint32_t>(e * e);
                }
            float c = d + lambda * (kTypeBits + 2 * kColourBits + 8 * kPatternBits);
            if (c < best.cost) {
                best.cost = c;
                best.type = kPatternBlock;
            }
        }
    }

    // Raw: exact.
    uint32_t raw_error = 0;
    if (o_.old_colours)
        for (int i = 0; i < 64; ++i) raw_error += pixels[i] == 0 ? 1u : 0u;
    if (allowed(kRawBlock) && raw_error + lambda * (kTypeBits + 64 * kColourBits) < best.cost)
        best.type = kRawBlock;

    auto& v = out_.values;
    FieldList& fields = out_.row_fields[row];
    v[kBlockTypes].push_back(best.type);
    uint8_t shown[64];
    switch (best.type) {
        case kSkipBlock: store_expected(x, y, prev_at(x, y, 0, 0), s_.prev_stride); break;
        case kMotionBlock:
            v[kXOffsets].push_back(mdx);
            v[kYOffsets].push_back(mdy);
            store_expected(x, y, prev_at(x, y, mdx, mdy), s_.prev_stride);
            break;
        case kInterBlock:
            v[kXOffsets].push_back(mdx);
            v[kYOffsets].push_back(mdy);
            v[kInterDc].push_back(inter_coef[0]);
            fields.append(inter_fields_);
            store_expected(x, y, inter_recon_, 8);
            break;
        case kIntraBlock:
            v[kIntraDc].push_back(intra_coef[0]);
            fields.append(intra_fields_);
            store_expected(x, y, intra_recon_, 8);
            break;
        case kFillBlock:
            v[kColours].push_back(fill_colour);
            std::memset(shown, fill_colour, 64);
            store_expected(x, y, shown, 8);
            break;
        case kPatternBlock:
            v[kColours].push_back(c0);
            v[kColours].push_back(c1);
            for (int r = 0; r < 8; ++r) {
                v[kPatterns].push_back(patterns[r]);
                for (int c = 0; c < 8; ++c) shown[r * 8 + c] = static_cast<uint8_t>((patterns[r] >> c & 1) ? c1 : c0);
            }
            store_expected(x, y, shown, 8);
            break;
        default:
            for (int i = 0; i < 64; ++i) {
                shown[i] = static_cast<uint8_t>(clamp_colour(pixels[i]));
                v[kColours].push_back(shown[i]);
            }
            store_expected(x, y, shown, 8);
            break;
    }
    if (best.type == kMotionBlock || best.type == kInterBlock) {
        size_t i = size_t{row} * motion_.cols + col;
        motion_.dx[i] = static_cast<int8_t>(mdx);
        motion_.dy[i] = static_cast<int8_t>(mdy);
        motion_.valid[i] = 1;
    } else if (best.type == kSkipBlock) {
        size_t i = size_t{row} * motion_.cols + col;
        motion_.valid[i] = 1;
    }
}

void BlockCoder::code_plane(MotionField* motion_out, PlaneReport* report) {
    const uint32_t rows = s_.height / 8, cols = s_.width / 8;
    motion_.cols = cols;
    motion_.rows = rows;
    motion_.dx.assign(size_t{rows} * cols, 0);
    motion_.dy.assign(size_t{rows} * cols, 0);
    motion_.valid.assign(size_t{rows} * cols, 0);
    for (uint32_t row = 0; row < rows; ++row) {
        for (uint32_t col = 0; col < cols; ++col) {
            code_block(row, col);
            if (report) ++report->block_counts[out_.values[kBlockTypes].back() & 15];
        }
        out_.end_row();
    }
    if (motion_out) *motion_out = std::move(motion_);
}

}  // namespace

void EncodePlaneBlocks(const PlaneSource& source, const PlaneOptions& options, PlaneData& out,
                       MotionField* motion_out, PlaneReport* report) {
    out.reset(source.width, source.height, options.old_colours);
    BlockCoder coder(source, options, out);
    coder.code_plane(motion_out, report);
}

}  // namespace zarn
