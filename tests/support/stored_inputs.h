// The stored fuzzer inputs of one target: every file of
// $ZARN_TEST_DATA/fuzz/FOLDER (ZARN_DEFAULT_TEST_DATA outside ctest).
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>
#include <vector>

namespace zarn::test {

struct StoredInput {
    std::filesystem::path path;
    std::vector<uint8_t> bytes;
};

// Empty when the folder is missing.
inline std::vector<StoredInput> StoredFuzzInputs(const char* folder) {
    const char* root = std::getenv("ZARN_TEST_DATA");
    if (root == nullptr) root = ZARN_DEFAULT_TEST_DATA;
    const std::filesystem::path dir = std::filesystem::path(root) / "fuzz" / folder;
    std::vector<StoredInput> inputs;
    if (!std::filesystem::is_directory(dir)) return inputs;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        inputs.push_back(
            {entry.path(), {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()}});
    }
    return inputs;
}

}  // namespace zarn::test
