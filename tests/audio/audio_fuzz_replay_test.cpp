// Replays the stored fuzz inputs (crashes found once, and regression seeds)
// through the same entry the fuzzer uses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "fuzz/audio/audio_packet_input.h"

namespace zarn {
namespace {

TEST(AudioFuzzReplayTest, StoredInputsDecodeWithinTheirBounds) {
    const char* root = std::getenv("ZARN_TEST_DATA");
    ASSERT_NE(root, nullptr) << "ZARN_TEST_DATA is not set";
    const std::filesystem::path folder = std::filesystem::path(root) / "fuzz" / "audio";
    ASSERT_TRUE(std::filesystem::is_directory(folder)) << folder;
    int replayed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream file(entry.path(), std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                                      std::istreambuf_iterator<char>());
        // An exactly sized heap copy, so that a read past the end is caught by the sanitizers.
        auto data = std::make_unique<uint8_t[]>(bytes.size() + 1);
        std::copy(bytes.begin(), bytes.end(), data.get());
        const uint32_t blocks = DecodeAudioPacketInput(data.get(), bytes.size());
        // Every block moves forward by at least one word, or ends at the bound.
        EXPECT_LE(blocks, bytes.size() / 4 + 1) << entry.path();
        if (bytes.size() > 3) {
            EXPECT_GE(blocks, 1u) << entry.path();
        }
        ++replayed;
    }
    EXPECT_GT(replayed, 0);
}

}  // namespace
}  // namespace zarn
