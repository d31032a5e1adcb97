// The inner loops of the audio decoder and its inverse real transform, one set
// per instruction set, chosen at run time from the processor's features
// (ZARN_CPU=plain forces the portable set, =avx2 the AVX2 one). Every set
// gives identical results for the PCM and coefficient kernels; transform
// results agree to rounding, and the AVX-512 set's equal the AVX2 set's.
#pragma once

#include <cstdint>

namespace zarn {

struct AudioKernels {
    const char* name;
    // Whole complex DFT (contract of ComplexDftPositive); it may use the
    // split-radix entries below. The SIMD sets read BuildDftTwiddles' values
    // from a block-ordered copy of their own (see block_split_radix.h).
    void (*complex_dft)(const AudioKernels& kernels, float* x, uint32_t points, const float* twiddles,
                        uint32_t table_points, int32_t* scratch);
    // One split-radix level of `points` >= 32 complex values; table entry
    // j * stride holds cos, sin, cos 3t, sin 3t of t = 2 pi j / points.
    void (*split_level)(float* x, uint32_t points, const float* twiddles, uint32_t stride);
    // Turns the packed real spectrum of n >= 8 values into the complex spectrum
    // of n/2 points; c is the half-cosine table of `table_quarter` * 4 points.
    void (*real_split)(uint32_t n, float* a, const float* c, uint32_t table_quarter);
    // Whole transforms of 16 and 8 points, result in bit-reversed order.
    void (*leaf16)(float* x);
    void (*leaf8)(float* x);
    // Bit-reversal permutation of `points` complex values; `scratch` holds at
    // least max(points / 16, sqrt(2 * points)) entries (254 serve 2048 points).
    void (*bit_reverse)(float* x, uint32_t points, int32_t* scratch);
    // out[i] = in[i] * step in single precision.
    void (*scale_coefficients)(const int16_t* in, uint32_t count, float step, float* out);
    // pcm[t] = a[t] * scale (product in double), rounded half to even, clipped to 16 bits.
    void (*convert_to_pcm)(const float* a, uint32_t n, float scale, int16_t* pcm);
};

const AudioKernels& PlainAudioKernels();
// nullptr when the processor (or the build) lacks AVX2 and FMA.
const AudioKernels* Avx2AudioKernels();
// nullptr when the processor (or the build) lacks AVX-512 (F, BW, DQ, VL).
const AudioKernels* Avx512AudioKernels();
// The set used by InverseRealDft and the decoder.
const AudioKernels& ActiveAudioKernels();

void SplitLevelPlain(float* x, uint32_t points, const float* twiddles, uint32_t stride);
void RealSplitPlain(uint32_t n, float* a, const float* c, uint32_t table_quarter);
void Dft2Plain(float* x);
void Dft4Plain(float* x);  // bit-reversed order
void Leaf16Plain(float* x);
void Leaf8Plain(float* x);
void BitReversePlain(float* x, uint32_t points, int32_t* scratch);
void ScaleCoefficientsPlain(const int16_t* in, uint32_t count, float step, float* out);
void ConvertToPcmPlain(const float* a, uint32_t n, float scale, int16_t* pcm);

}  // namespace zarn
