#include "audio/dft_kernels.h"

#include <cstdlib>
#include <cstring>

namespace zarn {

#if defined(ZARN_HAVE_AVX2_KERNELS)
const DftKernels& Avx2DftKernelTable();  // dft_kernels_avx2.cpp
#endif

const DftKernels& PlainDftKernels() {
    static const DftKernels kernels{"plain", SplitLevelPlain, RealSplitPlain, Leaf16Plain, Leaf8Plain};
    return kernels;
}

const DftKernels* Avx2DftKernels() {
#if defined(ZARN_HAVE_AVX2_KERNELS)
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return &Avx2DftKernelTable();
#endif
    return nullptr;
}

const DftKernels& ActiveDftKernels() {
    static const DftKernels* active = [] {
        const char* forced = std::getenv("ZARN_CPU");
        if (forced != nullptr && std::strcmp(forced, "plain") == 0) return &PlainDftKernels();
        const DftKernels* avx2 = Avx2DftKernels();
        return avx2 != nullptr ? avx2 : &PlainDftKernels();
    }();
    return *active;
}

}  // namespace zarn
