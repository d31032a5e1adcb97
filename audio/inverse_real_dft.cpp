// Inverse real DFT of n points through a complex DFT of n/2 points.
//
// With X_k = Rk - i Ik, the even and odd samples form z[m] = x[2m] + i x[2m+1],
// which is the positive-kernel DFT of
//   Z_k = S/2 + i w D/2,  S = X_k + conj X_{N-k},  D = X_k - conj X_{N-k},
// N = n/2 and w = e^(2 pi i k / n); Z_{N-k} = conj(S/2 - i w D/2) for the partner bin.
// The stored pair (a[2k], a[2k+1]) = (Rk, Ik) is conj X_k.
#include "audio/inverse_real_dft.h"

#include <cmath>

#include "audio/complex_dft.h"

namespace zarn {
namespace {

// c[k] = cos(2 pi k / n) / 2 for 0 <= k < n/4; c[n/4 - k] is then sin(2 pi k / n) / 2.
void BuildSplitTable(float* c, uint32_t n) {
    const double step = 2.0 * 3.14159265358979323846 / n;
    const uint32_t quarter = n / 4;
    const uint32_t eighth = n / 8;
    if (quarter == 0) return;
    for (uint32_t k = 0; k <= eighth && k < quarter; ++k) c[k] = static_cast<float>(0.5 * std::cos(step * k));
    for (uint32_t k = 1; k < eighth; ++k) c[quarter - k] = static_cast<float>(0.5 * std::sin(step * k));
}

void EnsureTables(uint32_t n, TransformTables* tables) {
    int32_t* built = tables->scratch;
    if (n > 4u * static_cast<uint32_t>(built[0])) {
        BuildDftTwiddles(tables->table, n / 2);
        built[0] = static_cast<int32_t>(n / 4);
        built[1] = 1;
    }
    if (n > 4u * static_cast<uint32_t>(built[1])) {
        BuildSplitTable(tables->table + built[0], n);
        built[1] = static_cast<int32_t>(n / 4);
    }
}

// Turns the packed real spectrum into the complex spectrum Z of n/2 points.
void SplitRealSpectrum(uint32_t n, float* a, const float* c, uint32_t table_quarter) {
    const float r0 = a[0], rh = a[1];
    a[0] = 0.5f * (r0 + rh);
    a[1] = 0.5f * (r0 - rh);
    const uint32_t half = n / 2;      // N, complex points
    const uint32_t stride = table_quarter / (n / 4);
    float* lo = a + 2;
    float* hi = a + 2 * (half - 1);
    const float* cw = c + stride;
    const float* sw = c + table_quarter - stride;
    for (uint32_t k = 1; k < half / 2; ++k, lo += 2, hi -= 2, cw += stride, sw -= stride) {
        const float rk = lo[0], ik = lo[1], rj = hi[0], ij = hi[1];
        const float sr = 0.5f * (rk + rj), si = 0.5f * (ij - ik);
        const float dr = rk - rj, di = -(ik + ij);
        const float pr = -(*cw * di + *sw * dr);  // i (w/2) D
        const float pi = *cw * dr - *sw * di;
        lo[0] = sr + pr;
        lo[1] = si + pi;
        hi[0] = sr - pr;
        hi[1] = pi - si;
    }
}

bool IsSupportedSize(uint32_t n) {
    return n >= 2 && n <= kMaxTransformSize && (n & (n - 1)) == 0;
}

}  // namespace

void InverseRealDft(uint32_t n, float* a, TransformTables* tables) {
    if (!IsSupportedSize(n)) return;
    EnsureTables(n, tables);
    const uint32_t twiddle_floats = static_cast<uint32_t>(tables->scratch[0]);
    const uint32_t split_floats = static_cast<uint32_t>(tables->scratch[1]);
    if (n >= 8) {
        SplitRealSpectrum(n, a, tables->table + twiddle_floats, split_floats);
    } else {
        const float r0 = a[0], rh = a[1];
        a[0] = 0.5f * (r0 + rh);
        a[1] = 0.5f * (r0 - rh);
    }
    ComplexDftPositive(a, n / 2, tables->table, 2 * twiddle_floats);
}

}  // namespace zarn
