#include "audio/audio_kernels.h"

#include "audio/lane_dft.h"

#include <cstdlib>
#include <cstring>

namespace zarn {

#if defined(ZARN_HAVE_AVX2_KERNELS)
const AudioKernels& Avx2AudioKernelTable();  // audio_kernels_avx2.cpp
#endif

const AudioKernels& PlainAudioKernels() {
    static const AudioKernels kernels{"plain", LaneDft, SplitLevelPlain,        RealSplitPlain,
                                         Leaf16Plain, Leaf8Plain, BitReversePlain, ScaleCoefficientsPlain, ConvertToPcmPlain};
    return kernels;
}

const AudioKernels* Avx2AudioKernels() {
#if defined(ZARN_HAVE_AVX2_KERNELS)
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return &Avx2AudioKernelTable();
#endif
    return nullptr;
}

const AudioKernels& ActiveAudioKernels() {
    static const AudioKernels* active = [] {
        const char* forced = std::getenv("ZARN_CPU");
        if (forced != nullptr && std::strcmp(forced, "plain") == 0) return &PlainAudioKernels();
        const AudioKernels* avx2 = Avx2AudioKernels();
        return avx2 != nullptr ? avx2 : &PlainAudioKernels();
    }();
    return *active;
}

}  // namespace zarn
