// libFuzzer entry: see command_line_input.h for what the input holds.
#include <cstddef>
#include <cstdint>

#include "fuzz/road/command_line_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!zarn::fuzz::ParseCommandLineInput(data, size)) __builtin_trap();
    return 0;
}
