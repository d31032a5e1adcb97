// Inverse real DFT of n points through a complex DFT of n/2 points: the real
// split (audio_kernels) turns the packed spectrum into the complex spectrum
// whose positive-kernel transform has the even samples as real parts and the
// odd samples as imaginary parts.
#include "audio/inverse_real_dft.h"

#include <cmath>

#include "audio/complex_dft.h"
#include "audio/audio_kernels.h"

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

bool IsSupportedSize(uint32_t n) { return n >= 2 && n <= kMaxTransformSize && (n & (n - 1)) == 0; }

}  // namespace

void InverseRealDftWith(const AudioKernels& kernels, uint32_t n, float* a, TransformTables* tables) {
    if (!IsSupportedSize(n)) return;
    EnsureTables(n, tables);
    const uint32_t twiddle_floats = static_cast<uint32_t>(tables->scratch[0]);
    const uint32_t split_floats = static_cast<uint32_t>(tables->scratch[1]);
    // Bin 0 and bin n/2 fold into the complex value Z_0.
    const float r0 = a[0], rh = a[1];
    a[0] = 0.5f * (r0 + rh);
    a[1] = 0.5f * (r0 - rh);
    if (n >= 8) kernels.real_split(n, a, tables->table + twiddle_floats, split_floats);
    kernels.complex_dft(kernels, a, n / 2, tables->table, 2 * twiddle_floats, tables->scratch + 2);
}

void InverseRealDft(uint32_t n, float* a, TransformTables* tables) {
    InverseRealDftWith(ActiveAudioKernels(), n, a, tables);
}

}  // namespace zarn
