#include "tools/interruption.h"

#include <signal.h>

#include <cstdlib>
#include <cstring>

namespace zarn {
namespace {

volatile sig_atomic_t g_signal = 0;

}  // namespace

bool NoteInterruption(int signal_number) {
    if (g_signal != 0) return false;
    g_signal = signal_number;
    return true;
}

int InterruptionSignal() { return g_signal; }

int InterruptedExitCode() { return 128 + g_signal; }

void RaiseTestInterruption(uint32_t frames_done) {
    const char* hook = std::getenv("ZARN_TEST_INTERRUPT_AFTER");
    if (!hook || !*hook) return;
    char* end = nullptr;
    const unsigned long after = std::strtoul(hook, &end, 10);
    if (end == hook || after != frames_done) return;
    const bool twice = std::strcmp(end, ":TWICE") == 0;
    ::raise(std::strcmp(end, ":TERM") == 0 ? SIGTERM : SIGINT);
    if (twice) ::raise(SIGINT);
}

}  // namespace zarn
