#include "video/idct.h"

#include "video/idct_kernels.h"

#include <cstdlib>
#include <cstring>

namespace zarn {

namespace {

bool plain_forced() {
    const char* cpu = std::getenv("ZARN_CPU");
    return cpu != nullptr && std::strcmp(cpu, "plain") == 0;
}

IdctFunctions choose() {
    if (plain_forced()) return idct_plain_functions();
#if defined(ZARN_HAVE_AVX2_KERNELS)
    if (__builtin_cpu_supports("avx2")) return idct_avx2_functions();
#endif
    return idct_plain_functions();
}

}  // namespace

const IdctFunctions& idct_functions() {
    static const IdctFunctions f = choose();
    return f;
}

}  // namespace zarn
