// Replays every stored fuzzer input (crashes found and fixed, and inputs
// that reach the decoder's guards) under the normal build.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/video/packet_harness.h"

namespace zarn {
namespace {

TEST(FuzzReplay, StoredInputsDecodeWithinTheirBuffers) {
    const char* root = std::getenv("ZARN_TEST_DATA");
    if (root == nullptr) root = ZARN_DEFAULT_TEST_DATA;  // run outside ctest
    const std::filesystem::path dir = std::filesystem::path(root) / "fuzz" / "video";
    ASSERT_TRUE(std::filesystem::is_directory(dir)) << dir;
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_TRUE(test::DecodePacketInput(bytes.data(), bytes.size())) << entry.path();
        ++count;
    }
    EXPECT_GT(count, 0);
}

}  // namespace
}  // namespace zarn
