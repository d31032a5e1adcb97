// One fuzz input through the player's command line: the text a bundle
// stores in its program copy, the arguments, the quick-play profile, the
// switch parser and the splitting of the video names.
//
// Input: one option byte (bit 0: the switches stored in a program copy by
// `zarn bundle`, bit 1: a quick-play profile, bit 2: a stray marker before
// the real one in that program), then pieces separated by NUL bytes: the
// stored switches, the profile text, then up to 16 arguments.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zarn::fuzz {

// False when a promise of the command-line code did not hold (a bundle that
// is not the program and the video, a stored text that does not come back as
// written, a name list that does not shrink, a
// default extension that is not one).
bool ParseCommandLineInput(const uint8_t* data, size_t size);

}  // namespace zarn::fuzz
