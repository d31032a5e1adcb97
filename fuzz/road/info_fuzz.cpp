// libFuzzer entry: see info_input.h for what the input holds.
#include <cstddef>
#include <cstdint>

#include "fuzz/road/info_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!zarn::fuzz::InspectInfoInput(data, size)) __builtin_trap();
    return 0;
}
