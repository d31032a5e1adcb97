// Replays the stored inputs of the road fuzz targets (crashes found and
// fixed, and seeds that reach deep into the engine, `zarn info` and the
// player's command line) under the normal build.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz/road/command_line_input.h"
#include "fuzz/road/info_input.h"
#include "fuzz/road/movie_road_input.h"

namespace zarn {
namespace {

TEST(RoadFuzzReplay, StoredInputsKeepEveryPromise) {
    const char* root = std::getenv("ZARN_TEST_DATA");
    if (root == nullptr) root = ZARN_DEFAULT_TEST_DATA;  // run outside ctest
    const struct {
        const char* folder;
        bool (*run)(const uint8_t*, size_t);
    } targets[] = {{"movie_road", fuzz::PlayMovieInput},
                   {"info", fuzz::InspectInfoInput},
                   {"command_line", fuzz::ParseCommandLineInput}};
    for (const auto& target : targets) {
        const std::filesystem::path dir = std::filesystem::path(root) / "fuzz" / target.folder;
        ASSERT_TRUE(std::filesystem::is_directory(dir)) << dir;
        int count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            if (!entry.is_regular_file()) continue;
            std::ifstream in(entry.path(), std::ios::binary);
            const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                             std::istreambuf_iterator<char>());
            EXPECT_TRUE(target.run(bytes.data(), bytes.size())) << entry.path();
            ++count;
        }
        EXPECT_GT(count, 0) << dir;
    }
}

TEST(RoadFuzzReplay, JsonCheckTellsWellFormedText) {
    EXPECT_TRUE(
        fuzz::IsJsonText("[\n  {\"file\": \"a\\u0001\", \"n\": -1.5, \"t\": [true, false, null]}\n]\n"));
    EXPECT_TRUE(fuzz::IsJsonText("[3.22122e+07, 1.8E-7, 2e5]"));
    for (const char* bad :
         {"[", "[1,]", "[1e]", "[2.5e+]", "{\"a\" 1}", "\"tab\tin\"", "[1] 2", "", "{\"a\": 01.}"})
        EXPECT_FALSE(fuzz::IsJsonText(bad)) << bad;
}

}  // namespace
}  // namespace zarn
