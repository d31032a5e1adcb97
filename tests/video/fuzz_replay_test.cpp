// Replays every stored fuzzer input (crashes found and fixed, and inputs
// that reach the decoder's guards) under the normal build.
#include <gtest/gtest.h>

#include "tests/support/stored_inputs.h"
#include "tests/video/packet_harness.h"

namespace zarn {
namespace {

TEST(FuzzReplay, StoredInputsDecodeWithinTheirBuffers) {
    const std::vector<test::StoredInput> inputs = test::StoredFuzzInputs("video");
    for (const test::StoredInput& input : inputs)
        EXPECT_TRUE(test::DecodePacketInput(input.bytes.data(), input.bytes.size())) << input.path;
    EXPECT_GT(inputs.size(), 0u);
}

}  // namespace
}  // namespace zarn
