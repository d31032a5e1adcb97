#include "audio/audio_kernels.h"

#include "audio/lane_dft.h"
#include "base/cpu_features.h"

#include <cstdlib>
#include <cstring>

namespace zarn {

#if defined(ZARN_X86_KERNELS)
const AudioKernels& Avx2AudioKernelTable();  // audio_kernels_avx2.cpp
#endif

const AudioKernels& PlainAudioKernels() {
    static const AudioKernels kernels{"plain",          LaneDft,    SplitLevelPlain, RealSplitPlain,
                                      Leaf16Plain,      Leaf8Plain, BitReversePlain, ScaleCoefficientsPlain,
                                      ConvertToPcmPlain};
    return kernels;
}

const AudioKernels* Avx2AudioKernels() {
#if defined(ZARN_X86_KERNELS)
    const uint32_t need = kCpuAvx2 | kCpuFma;
    if ((ProcessorFeatures() & need) == need) return &Avx2AudioKernelTable();
#endif
    return nullptr;
}

const AudioKernels& ActiveAudioKernels() {
    static const AudioKernels* active = [] {
        const AudioKernels* avx2 = CpuHas(kCpuAvx2 | kCpuFma) ? Avx2AudioKernels() : nullptr;
        return avx2 != nullptr ? avx2 : &PlainAudioKernels();
    }();
    return *active;
}

}  // namespace zarn
