// Interruption of a long `zarn` run: the program's signal handler notes the
// first SIGINT or SIGTERM here, and the commands stop after the frame in
// hand, close their outputs as valid files and exit with 128 + the signal.
#pragma once

#include <cstdint>

namespace zarn {

// Called by the signal handler: returns true for the first signal, false
// when one came before (the caller then stops at once).
bool NoteInterruption(int signal_number);

// The signal that asked to stop, or 0.
int InterruptionSignal();

// 128 + the signal number (130 for SIGINT, 143 for SIGTERM).
int InterruptedExitCode();

// Test hook: with ZARN_TEST_INTERRUPT_AFTER=N (or N:TERM) in the
// environment, raises SIGINT (SIGTERM) once `frames_done` reaches N, so a
// test can interrupt after a known frame; N:TWICE raises SIGINT twice.
void RaiseTestInterruption(uint32_t frames_done);

}  // namespace zarn
