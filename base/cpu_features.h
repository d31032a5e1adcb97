// The processor features the SIMD kernels need, probed once from the
// processor and capped by the environment variable ZARN_CPU ("plain",
// "sse2", "avx2" or "avx512"), so that tests and benchmarks can force the
// plainer kernels. Every stage chooses its kernels from here, and only here.
#pragma once

#include <cstdint>

namespace zarn {

// kCpuAvx512 stands for AVX-512 F, BW, DQ and VL together, with the
// operating system saving the ZMM and mask registers.
enum CpuFeature : uint32_t {
    kCpuSse2 = 1u << 0,
    kCpuAvx2 = 1u << 1,
    kCpuFma = 1u << 2,
    kCpuAvx512 = 1u << 3
};

// What the processor has (0 off x86 or without kernels for it in the build).
uint32_t ProcessorFeatures();
// The features a ZARN_CPU value allows: "plain" none, "sse2" SSE2, "avx2"
// all but AVX-512, anything else ("avx512", or none) all.
uint32_t AllowedFeatures(const char* cap);
// ProcessorFeatures() capped by ZARN_CPU: what the kernels may use.
uint32_t CpuFeatures();
// Whether ZARN_CPU names "avx512". Kernels that pay only on some processors
// with AVX-512 (the audio transform's) run only when asked for by name.
bool CpuAvx512Asked();
// Whether every feature of `mask` may be used.
inline bool CpuHas(uint32_t mask) { return (CpuFeatures() & mask) == mask; }

// The levels of kernel sets, from the plain C++ up.
// kAvx512 is the AVX2 set with AVX-512 routines where they pay.
enum class KernelSet : uint32_t { kPlain = 0, kSse2 = 1, kAvx2 = 2, kAvx512 = 3 };

const char* KernelSetName(KernelSet set);
// The features a set's kernels use.
uint32_t FeaturesOf(KernelSet set);
// Whether this build and processor can run the set (whatever ZARN_CPU says:
// tests run every set the machine has).
bool KernelSetSupported(KernelSet set);
// The best set that CpuFeatures() allows.
KernelSet DetectKernelSet();

}  // namespace zarn
