// Temporary files for tests, removed when the test ends.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace zarn::test {

class TempFile {
public:
    explicit TempFile(const std::vector<uint8_t>& bytes, const char* suffix = ".zrn") {
        const char* dir = std::getenv("TMPDIR");
        const std::filesystem::path base =
            dir && *dir ? std::filesystem::path(dir) : std::filesystem::temp_directory_path();
        static std::atomic<uint32_t> serial{0};
        static const uint32_t run = std::random_device{}();
        // A name nobody holds yet: the run's random number and a serial.
        for (;;) {
            const std::string leaf =
                "zarn-test-" + std::to_string(run) + "-" + std::to_string(serial.fetch_add(1)) + suffix;
            path_ = (base / leaf).string();
            if (!std::filesystem::exists(path_)) break;
        }
        std::ofstream out(path_, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    ~TempFile() { std::remove(path_.c_str()); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

}  // namespace zarn::test
