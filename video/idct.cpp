#include "video/idct.h"

#include "base/cpu_features.h"
#include "video/idct_kernels.h"

namespace zarn {

namespace {

IdctFunctions Choose() {
#if defined(ZARN_X86_KERNELS)
    if (CpuHas(kCpuAvx2)) return IdctAvx2Functions();
#endif
    return IdctPlainFunctions();
}

}  // namespace

const IdctFunctions& ChosenIdctFunctions() {
    static const IdctFunctions f = Choose();
    return f;
}

}  // namespace zarn
