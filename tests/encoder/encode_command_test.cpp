// `zarn encode` on good and bad inputs: messages, exit codes, and no output
// file (nor temporary file) left behind after a failure.
#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "encoder/test_media.h"
#include "encoder/wav_reader.h"
#include "encoder/y4m.h"
#include "tools/encode_command.h"

namespace zarn {
namespace {

class EncodeCommand : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/zarn-encode-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        for (const std::string& f : Files()) std::remove((dir_ + "/" + f).c_str());
        rmdir(dir_.c_str());
    }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        if (DIR* d = opendir(dir_.c_str())) {
            while (dirent* e = readdir(d))
                if (e->d_name[0] != '.') names.push_back(e->d_name);
            closedir(d);
        }
        return names;
    }
    void WriteY4m(const std::string& name, uint32_t w, uint32_t h, uint32_t frames) {
        Y4mWriter out;
        ASSERT_TRUE(out.Open(Path(name), Y4mInfo{w, h, 30000, 1001}));
        for (uint32_t i = 0; i < frames; ++i)
            ASSERT_TRUE(out.WriteFrame(MakeClipFrame(Clip::kPanZoom, w, h, i)));
        ASSERT_TRUE(out.Close());
    }
    void WriteText(const std::string& name, const std::string& text) {
        std::ofstream(Path(name), std::ios::binary) << text;
    }
    int Run(std::vector<std::string> args) {
        out_.str("");
        err_.str("");
        return RunEncodeCommand(args, out_, err_);
    }
    std::string dir_;
    std::ostringstream out_, err_;
};

TEST_F(EncodeCommand, EncodesWithSoundAndPrintsPsnr) {
    WriteY4m("in.y4m", 33, 17, 3);
    ASSERT_TRUE(WriteWavFile(Path("a.wav"), MakeChord(22050, 2, 0.2)));
    ASSERT_TRUE(WriteWavFile(Path("b.wav"), MakeChord(8000, 1, 0.05)));
    EXPECT_EQ(Run({Path("in.y4m"), "-o", Path("out.zrn"), "--wav", Path("a.wav"), "--wav", Path("b.wav"),
                   "--psnr", "--quality", "60", "--keyint", "2", "--version", "g"}),
              0)
        << err_.str();
    const std::string text = out_.str();
    EXPECT_NE(text.find("frame 0 key"), std::string::npos) << text;
    // Key frames at most two frames apart: frame 0 and frame 1 or 2.
    EXPECT_TRUE(text.find("frame 1 key") != std::string::npos ||
                text.find("frame 2 key") != std::string::npos)
        << text;
    EXPECT_NE(text.find("average  Y "), std::string::npos) << text;
    EXPECT_NE(text.find(" bpp"), std::string::npos);
    std::ifstream f(Path("out.zrn"), std::ios::binary);
    std::string head(4, '\0');
    f.read(head.data(), 4);
    EXPECT_EQ(head, "ZRNg");
    char rate[8];
    f.seekg(28);
    f.read(rate, 8);
    EXPECT_EQ(static_cast<uint8_t>(rate[0]) | static_cast<uint8_t>(rate[1]) << 8, 30000);  // 30000/1001 kept
    EXPECT_EQ(Files().size(), 4u);  // in.y4m, a.wav, b.wav, out.zrn: no temporary left
}

TEST_F(EncodeCommand, BadInputsFailWithAMessageAndLeaveNoOutput) {
    WriteY4m("good.y4m", 16, 16, 2);
    WriteText("c444.y4m", "YUV4MPEG2 W16 H16 F25:1 C444\nFRAME\n");
    WriteText("empty.y4m", "YUV4MPEG2 W16 H16 F25:1 C420jpeg\n");
    WriteText("trunc.y4m", "YUV4MPEG2 W16 H16 F25:1\nFRAME\n" + std::string(100, 'x'));
    WriteText("nohdr.y4m", "hello\n");
    WriteText("bad.wav", "RIFF junk");
    PcmTrack many{8000, 1, std::vector<int16_t>(100)};
    ASSERT_TRUE(WriteWavFile(Path("mono.wav"), many));
    struct Case {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{Path("c444.y4m")}, "unsupported chroma format '444'"},
        {{Path("empty.y4m")}, "the video has no frames"},
        {{Path("trunc.y4m")}, "truncated frame 1"},
        {{Path("nohdr.y4m")}, "is not a YUV4MPEG2 file"},
        {{Path("missing.y4m")}, "cannot open"},
        {{Path("good.y4m"), "--wav", Path("bad.wav")}, "cannot read sound file"},
        {{Path("good.y4m"), "--wav", Path("nope.wav")}, "cannot read sound file"},
        {{Path("good.y4m"), "--alpha", Path("trunc.y4m")}, "truncated frame 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        std::vector<std::string> args = c.args;
        args.push_back("-o");
        args.push_back(Path("out.zrn"));
        EXPECT_EQ(Run(args), 1);
        EXPECT_NE(err_.str().find(c.message), std::string::npos) << err_.str();
        for (const std::string& f : Files()) EXPECT_EQ(f.find("out.zrn"), std::string::npos) << f;
    }
    EXPECT_EQ(Run({Path("good.y4m"), "-o", "/nonexistent-dir/out.zrn"}), 1);
    EXPECT_NE(err_.str().find("cannot create"), std::string::npos) << err_.str();
}

TEST_F(EncodeCommand, SoundWithMoreThanTwoChannelsIsRefused) {
    WriteY4m("good.y4m", 16, 16, 1);
    PcmTrack quad{8000, 4, std::vector<int16_t>(400)};
    ASSERT_TRUE(WriteWavFile(Path("quad.wav"), quad));
    EXPECT_EQ(Run({Path("good.y4m"), "--wav", Path("quad.wav"), "-o", Path("out.zrn")}), 1);
    EXPECT_NE(err_.str().find("4 channels; only mono and stereo"), std::string::npos) << err_.str();
}

TEST_F(EncodeCommand, UsageErrorsGiveExitCodeTwo) {
    EXPECT_EQ(Run({}), 2);
    EXPECT_EQ(Run({"in.y4m"}), 2);
    EXPECT_EQ(Run({"in.y4m", "-o", "x", "--quality", "0"}), 2);
    EXPECT_EQ(Run({"in.y4m", "-o", "x", "--quality", "101"}), 2);
    EXPECT_EQ(Run({"in.y4m", "-o", "x", "--version", "j"}), 2);
    EXPECT_EQ(Run({"in.y4m", "-o", "x", "--keyint", "0"}), 2);
    for (const char* threads : {"0", "65", "two", ""}) {
        EXPECT_EQ(Run({"in.y4m", "-o", "x", "--threads", threads}), 2) << threads;
        EXPECT_NE(err_.str().find("--threads takes a number from 1 to 64"), std::string::npos) << err_.str();
    }
    EXPECT_EQ(Run({"in.y4m", "-o", "x", "--frobnicate"}), 2);
    EXPECT_EQ(Run({"--help"}), 0);
    EXPECT_NE(out_.str().find("--quality"), std::string::npos);
}

}  // namespace
}  // namespace zarn
