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
        const uint32_t* t = intra ? intra_quant_table(q) : inter_quant_table(q);
        for (int pos = 0; pos < 64; ++pos)
            steps[q][pos] = static_cast<float>(t[pos] / (65536.0 * scale(pos >> 3) * scale(pos & 7)));
    }
    return steps;
}

}  // namespace

void ForwardDct8x8(const int16_t in[64], float out[64]) {
    const DctMatrix& d = Matrix();
    float tmp[64];
    for (int r = 0; r < 8; ++r)
        for (int k = 0; k < 8; ++k) {
            float s = 0;
            for (int n = 0; n < 8; ++n) s += d.m[k][n] * in[r * 8 + n];
            tmp[r * 8 + k] = s;
        }
    for (int c = 0; c < 8; ++c)
        for (int k = 0; k < 8; ++k) {
            float s = 0;
            for (int n = 0; n < 8; ++n) s += d.m[k][n] * tmp[n * 8 + c];
            out[k * 8 + c] = s;
        }
}

const float* QuantSteps(bool intra, unsigned q) {
    static const StepSet intra_steps = MakeSteps(true);
    static const StepSet inter_steps = MakeSteps(false);
    return (intra ? intra_steps : inter_steps)[q & 15].data();
}

void QuantiseBlock(const float dct[64], bool intra, unsigned q, float rounding, int16_t out[64]) {
    const float* step = QuantSteps(intra, q);
    float dc = std::nearbyint(dct[0] / step[0]);
    if (intra) dc = std::fmin(std::fmax(dc, 0.0f), 2047.0f);
    else dc = std::fmin(std::fmax(dc, -1023.0f), 1023.0f);
    out[0] = static_cast<int16_t>(dc);
    for (int i = 1; i < 64; ++i) {
        float a = std::fabs(dct[i]) / step[i] + rounding;
        a = std::fmin(std::floor(a), 32767.0f);
        out[i] = static_cast<int16_t>(dct[i] < 0 ? -a : a);
    }
}

}  // namespace zarn
