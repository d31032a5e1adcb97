#include "video/idct.h"

#include "base/cpu_features.h"
#include "video/idct_kernels.h"

namespace zarn {

namespace {

IdctFunctions choose() {
#if defined(ZARN_X86_KERNELS)
    if (CpuHas(kCpuAvx2)) return idct_avx2_functions();
#endif
    return idct_plain_functions();
}

}  // namespace

const IdctFunctions& idct_functions() {
    static const IdctFunctions f = choose();
    return f;
}

}  // namespace zarn
