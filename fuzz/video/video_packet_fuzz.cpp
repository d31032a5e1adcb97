// Feeds arbitrary bytes to the video decoder as one frame's packet at frame
// sizes and flags chosen by the first input bytes (see packet_harness.h).
#include <cstddef>
#include <cstdint>

#include "tests/video/packet_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!zarn::test::DecodePacketInput(data, size)) __builtin_trap();
    return 0;
}
