#include "convert/time_stamp_counter.h"

#if defined(__x86_64__) || defined(__i386__)
#define ZARN_X86 1
#include <x86intrin.h>
#if defined(__linux__)
#include <sys/prctl.h>
#endif
#endif

namespace zarn {

namespace {

int g_tsc_override = -1;

bool ProbeTimeStampCounter() {
#if defined(ZARN_X86)
#if defined(__linux__) && defined(PR_GET_TSC)
    // A process may have made the instruction fault; ask instead of trying.
    int mode = 0;
    if (prctl(PR_GET_TSC, &mode, 0, 0, 0) == 0 && mode == PR_TSC_SIGSEGV) return false;
#endif
    return true;
#else
    return false;
#endif
}

}  // namespace

bool TimeStampCounterWorks() {
    if (g_tsc_override >= 0) return g_tsc_override != 0;
    static const bool works = ProbeTimeStampCounter();
    return works;
}

uint64_t ReadTimeStampCounter() {
#if defined(ZARN_X86)
    return __rdtsc();
#else
    return 0;
#endif
}

void OverrideTimeStampCounter(int works) { g_tsc_override = works; }

}  // namespace zarn
