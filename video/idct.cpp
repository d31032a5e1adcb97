#include "video/idct.h"

#include <cstdlib>
#include <cstring>

namespace zarn {

namespace {

bool plain_forced() {
    const char* cpu = std::getenv("ZARN_CPU");
    return cpu != nullptr && std::strcmp(cpu, "plain") == 0;
}

IdctFunctions choose() {
    IdctFunctions f = idct_plain_functions();
    (void)plain_forced();  // no instruction-set kernels yet: plain is the only choice
    return f;
}

}  // namespace

const IdctFunctions& idct_functions() {
    static const IdctFunctions f = choose();
    return f;
}

}  // namespace zarn
