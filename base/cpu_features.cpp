#include "base/cpu_features.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#if defined(ZARN_X86_KERNELS)
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace zarn {

#if defined(ZARN_X86_KERNELS)
namespace {

[[gnu::target("xsave")]] uint64_t EnabledRegisterState() { return _xgetbv(0); }

// AVX-512 F, BW, DQ and VL in the processor, and their registers (SSE, AVX,
// mask, upper ZMM halves, ZMM 16-31) enabled by the operating system.
bool HasAvx512() {
    unsigned eax, ebx, ecx, edx;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx) || !(ecx & bit_OSXSAVE)) return false;
    constexpr uint64_t kZmmState = 0xE6;
    if ((EnabledRegisterState() & kZmmState) != kZmmState) return false;
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return false;
    const unsigned need = bit_AVX512F | bit_AVX512BW | bit_AVX512DQ | bit_AVX512VL;
    return (ebx & need) == need;
}

}  // namespace
#endif

uint32_t ProcessorFeatures() {
#if defined(ZARN_X86_KERNELS)
    static const uint32_t features = [] {
        uint32_t f = 0;
        if (__builtin_cpu_supports("sse2")) f |= kCpuSse2;
        if (__builtin_cpu_supports("avx2")) f |= kCpuAvx2;
        if (__builtin_cpu_supports("fma")) f |= kCpuFma;
        if (HasAvx512()) f |= kCpuAvx512;
        return f;
    }();
    return features;
#else
    return 0;
#endif
}

uint32_t AllowedFeatures(const char* cap) {
    if (cap != nullptr && std::strcmp(cap, "plain") == 0) return 0;
    if (cap != nullptr && std::strcmp(cap, "sse2") == 0) return kCpuSse2;
    if (cap != nullptr && std::strcmp(cap, "avx2") == 0) return ~static_cast<uint32_t>(kCpuAvx512);
    return ~0u;
}

uint32_t CpuFeatures() {
    static const uint32_t features = ProcessorFeatures() & AllowedFeatures(std::getenv("ZARN_CPU"));
    return features;
}

bool CpuAvx512Asked() {
    static const bool asked = [] {
        const char* cap = std::getenv("ZARN_CPU");
        return cap != nullptr && std::strcmp(cap, "avx512") == 0;
    }();
    return asked;
}

const char* KernelSetName(KernelSet set) {
    switch (set) {
    case KernelSet::kPlain: return "plain";
    case KernelSet::kSse2: return "sse2";
    case KernelSet::kAvx2: return "avx2";
    case KernelSet::kAvx512: return "avx512";
    }
    return "?";
}

uint32_t FeaturesOf(KernelSet set) {
    switch (set) {
    case KernelSet::kPlain: return 0;
    case KernelSet::kSse2: return kCpuSse2;
    case KernelSet::kAvx2: return kCpuSse2 | kCpuAvx2;
    case KernelSet::kAvx512: return kCpuSse2 | kCpuAvx2 | kCpuAvx512;
    }
    return ~0u;
}

bool KernelSetSupported(KernelSet set) {
    const uint32_t need = FeaturesOf(set);
    return (ProcessorFeatures() & need) == need;
}

KernelSet DetectKernelSet() {
    for (KernelSet set : {KernelSet::kAvx512, KernelSet::kAvx2, KernelSet::kSse2})
        if (CpuHas(FeaturesOf(set))) return set;
    return KernelSet::kPlain;
}

}  // namespace zarn
