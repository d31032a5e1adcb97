#include "encoder/forward_dct.h"

#include <array>
#include <cmath>

#include "video/quant_tables.h"

namespace zarn {

namespace {

struct DctMatrix {
    float m[8][8];  // m[k][n] = c(k) cos((2n + 1) k pi / 16)
};

const DctMatrix& Matrix() {
    static const DctMatrix matrix = [] {
        DctMatrix d{};
        for (int k = 0; k < 8; ++k)
            for (int n = 0; n < 8; ++n)
                d.m[k][n] = static_cast<float>((k == 0 ? std::sqrt(0.125) : 0.5) *
                                               std::cos((2 * n + 1) * k * M_PI / 16.0));
        return d;
    }();
    return matrix;
}

using StepSet = std::array<std::array<float, 64>, 16>;

StepSet MakeSteps(bool intra) {
    StepSet steps{};
    auto scale = [](int k) { return k == 0 ? 1.0 : std::sqrt(2.0) * std::cos(k * M_PI / 16.0); };
    for (unsigned q = 0; q < 16; ++q) {
        const uint32_t* t = intra ? IntraQuantTable(q) : InterQuantTable(q);
        for (int pos = 0; pos < 64; ++pos)
            steps[q][pos] = static_cast<float>(t[pos] / (65536.0 * scale(pos >> 3) * scale(pos & 7)));
    }
    return steps;
}

}  // namespace

namespace {

// out = M x in, 8x8 matrices in raster order; the inner loop runs along rows
// of eight floats so that it vectorises.
inline void MultiplyByMatrix(const float* in, float* out) {
    const DctMatrix& d = Matrix();
    for (int k = 0; k < 8; ++k) {
        float row[8] = {};
        for (int n = 0; n < 8; ++n) {
            const float m = d.m[k][n];
            for (int c = 0; c < 8; ++c) row[c] += m * in[n * 8 + c];
        }
        for (int c = 0; c < 8; ++c) out[k * 8 + c] = row[c];
    }
}

inline void Transpose(const float* in, float* out) {
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) out[c * 8 + r] = in[r * 8 + c];
}

StepSet Reciprocals(StepSet s) {
    for (auto& table : s)
        for (float& v : table) v = 1.0f / v;
    return s;
}

}  // namespace

void ForwardDct8x8(const int16_t in[64], float out[64]) {
    // DCT = M X M^T, computed as (M (M X)^T)^T.
    float x[64], a[64], t[64];
    for (int i = 0; i < 64; ++i) x[i] = in[i];
    MultiplyByMatrix(x, a);
    Transpose(a, t);
    MultiplyByMatrix(t, a);
    Transpose(a, out);
}

const float* QuantSteps(bool intra, unsigned q) {
    static const StepSet intra_steps = MakeSteps(true);
    static const StepSet inter_steps = MakeSteps(false);
    return (intra ? intra_steps : inter_steps)[q & 15].data();
}

static const float* QuantReciprocals(bool intra, unsigned q) {
    static const StepSet intra_inv = Reciprocals(MakeSteps(true));
    static const StepSet inter_inv = Reciprocals(MakeSteps(false));
    return (intra ? intra_inv : inter_inv)[q & 15].data();
}

void QuantiseBlock(const float dct[64], bool intra, unsigned q, float rounding, int16_t out[64]) {
    const float* inv = QuantReciprocals(intra, q);
    int dc = static_cast<int>(std::lround(dct[0] * inv[0]));
    const int lo = intra ? 0 : -1023, hi = intra ? 2047 : 1023;
    out[0] = static_cast<int16_t>(dc < lo ? lo : dc > hi ? hi : dc);
    for (int i = 1; i < 64; ++i) {
        const float a = std::fabs(dct[i]) * inv[i] + rounding;
        const int m = a >= 32767.0f ? 32767 : static_cast<int>(a);
        out[i] = static_cast<int16_t>(dct[i] < 0 ? -m : m);
    }
}

}  // namespace zarn
