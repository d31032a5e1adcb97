// `zarn encode` on several threads writes the very file one thread writes,
// for every kind of clip and setting. Labelled "threads": `make tsan` runs it
// under ThreadSanitizer.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

#include "encoder/test_media.h"
#include "encoder/y4m.h"
#include "tools/encode_command.h"

namespace zarn {
namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

TEST(EncodeThreads, EveryThreadCountWritesTheOneThreadFile) {
    char pattern[] = "/tmp/zarn-threads-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    auto write_clip = [&](const std::string& name, Clip clip, uint32_t w, uint32_t h, uint32_t frames) {
        Y4mWriter out;
        ASSERT_TRUE(out.Open(dir + "/" + name, Y4mInfo{w, h, 25, 1}));
        for (uint32_t i = 0; i < frames; ++i) ASSERT_TRUE(out.WriteFrame(MakeClipFrame(clip, w, h, i)));
        ASSERT_TRUE(out.Close());
    };
    // Odd block-row counts (200 and 104 rows of pixels: 25 and 13 block
    // rows) leave a last pair of one row; the cut clip starts a key frame at
    // its cut, and the noise clip's frames are coded again as key frames
    // after their inter coding. The pan clip is large enough for the threads
    // to meet inside its planes.
    write_clip("pan.y4m", Clip::kPanZoom, 256, 200, 4);
    write_clip("text.y4m", Clip::kScrollingText, 136, 104, 5);
    write_clip("cut.y4m", Clip::kSceneCut, 64, 48, 18);
    write_clip("noise.y4m", Clip::kNoise, 256, 200, 4);
    write_clip("small.y4m", Clip::kNoise, 40, 24, 3);
    const std::vector<std::vector<std::string>> cases = {
        {"pan.y4m", "--quality", "10"},
        {"pan.y4m", "--quality", "60", "--version", "f"},
        {"pan.y4m", "--quality", "95", "--alpha", dir + "/noise.y4m"},
        {"noise.y4m", "--quality", "50", "--alpha", dir + "/pan.y4m"},
        {"small.y4m", "--quality", "70"},
        {"text.y4m", "--quality", "80", "--version", "g", "--keyint", "3"},
        {"text.y4m", "--grey", "--version", "h"},
        {"cut.y4m", "--quality", "40"},
    };
    for (const auto& c : cases) {
        std::string files[4];
        const char* counts[4] = {"1", "2", "3", nullptr};  // null: the default count
        for (int k = 0; k < 4; ++k) {
            std::vector<std::string> args = {dir + "/" + c[0], "-o", dir + "/out.zrn"};
            args.insert(args.end(), c.begin() + 1, c.end());
            if (counts[k]) {
                args.push_back("--threads");
                args.push_back(counts[k]);
            }
            std::ostringstream out, err;
            ASSERT_EQ(RunEncodeCommand(args, out, err), 0) << err.str();
            files[k] = ReadAll(dir + "/out.zrn");
            std::remove((dir + "/out.zrn").c_str());
        }
        SCOPED_TRACE(c[0] + " " + c[1]);
        ASSERT_GT(files[0].size(), 64u);
        for (int k = 1; k < 4; ++k)
            EXPECT_TRUE(files[k] == files[0]) << "threads " << (counts[k] ? counts[k] : "default");
    }
    for (const char* f : {"pan.y4m", "text.y4m", "cut.y4m", "noise.y4m", "small.y4m"})
        std::remove((dir + "/" + f).c_str());
    rmdir(dir.c_str());
}

}  // namespace
}  // namespace zarn
