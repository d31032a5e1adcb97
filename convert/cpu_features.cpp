#include "convert/cpu_features.h"

#include <cstdlib>
#include <cstring>

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

const char* KernelSetName(KernelSet set) {
  switch (set) {
    case KernelSet::kPlain: return "plain";
    case KernelSet::kSse2: return "sse2";
    case KernelSet::kAvx2: return "avx2";
  }
  return "?";
}

bool KernelSetSupported(KernelSet set) {
  switch (set) {
    case KernelSet::kPlain: return true;
#if defined(ZARN_X86)
    case KernelSet::kSse2: return __builtin_cpu_supports("sse2");
    case KernelSet::kAvx2: return __builtin_cpu_supports("avx2");
#else
    default: return false;
#endif
  }
  return false;
}

KernelSet DetectKernelSet() {
  static const KernelSet detected = [] {
    const char* env = std::getenv("ZARN_CPU");
    if (env != nullptr && std::strcmp(env, "plain") == 0) return KernelSet::kPlain;
    const bool sse2_only = env != nullptr && std::strcmp(env, "sse2") == 0;
    if (!sse2_only && KernelSetSupported(KernelSet::kAvx2)) return KernelSet::kAvx2;
    if (KernelSetSupported(KernelSet::kSse2)) return KernelSet::kSse2;
    return KernelSet::kPlain;
  }();
  return detected;
}

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
