// The player program run as a user runs it, headless.
#include <gtest/gtest.h>

#include <algorithm>

#include "encoder/container_writer.h"
#include "player/help_text.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_file.h"

namespace zarn {
namespace {

const std::vector<std::string> kHeadless = {"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=dummy"};

std::vector<uint8_t> SmallVideo() {
    ContainerSpec spec;
    spec.width = 32;
    spec.height = 16;
    ContainerWriter w(spec);
    FramePacket f;
    f.video.assign(64, 0);
    w.AddFrame(f);
    return w.Build();
}

test::ProgramResult Zarnplay(const std::vector<std::string>& args) {
    return test::RunProgram(ZARNPLAY_PATH, args, kHeadless);
}

TEST(Zarnplay, HelpTextOnStandardOutputAndExitOne) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {}, {"/P"}, {"clip", "/V"}, {"--help"}, {"-h"}, {"clip", "-h"}}) {
        const test::ProgramResult r = Zarnplay(args);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.out, HelpText());
    }
    const test::ProgramResult v = Zarnplay({"--version"});
    EXPECT_EQ(v.exit_code, 0);
    EXPECT_EQ(v.out, "zarnplay 1.0\n");
}

TEST(Zarnplay, OpensEveryNamedVideoInEachNameForm) {
    std::vector<uint8_t> video = SmallVideo();
    test::TempFile plain(video);
    std::vector<uint8_t> host(777 + video.size(), 0x55);
    std::copy(video.begin(), video.end(), host.begin() + 777);
    test::TempFile hosted(host, ".dat");
    const test::ProgramResult r = Zarnplay({plain.Path(), hosted.Path() + "|777", "/P"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "");

    // No extension: ".zrn" is tried first, then the name as given; also
    // /dev/stdin with the video on a pipe.
    test::TempFile bare(video, "");
    const std::string piped(video.begin(), video.end());
    const test::ProgramResult b =
        test::RunProgram(ZARNPLAY_PATH, {bare.Path(), "/dev/stdin"}, kHeadless, &piped);
    EXPECT_EQ(b.exit_code, 0) << b.err;
    EXPECT_EQ(b.err, "");
}

// A file cut short in frame 7 of 10: streamed (the read-ahead meets the
// cut at once) or preloaded, the six whole frames play, the player says
// which file ended where, the summary counts the frames shown, exit 1.
TEST(Zarnplay, FileCutShortPlaysWhatWasReadThenSaysSoAndExitsOne) {
    ContainerSpec spec;
    spec.width = 32;
    spec.height = 16;
    ContainerWriter w(spec);
    for (int i = 0; i < 10; ++i) {
        FramePacket f;
        f.video.assign(3000, 0);
        w.AddFrame(f);
    }
    std::vector<uint8_t> video = w.Build();
    video.resize(video.size() - 3 * 3000 - 1500);
    test::TempFile cut(video);
    for (const char* preload : {"/E65536", "/P"}) {
        const test::ProgramResult r = Zarnplay({"/S", preload, cut.Path()});
        EXPECT_EQ(r.exit_code, 1) << preload;
        EXPECT_EQ(r.err, "zarnplay: " + cut.Path() + ": the file ended early, at frame 7 of 10\n") << preload;
        EXPECT_NE(r.out.find("Total frames played: 6\n"), std::string::npos) << preload << r.out;
    }
}

TEST(Zarnplay, OpenFailureShowsTheEngineTextAndExitsOne) {
    std::vector<uint8_t> video = SmallVideo();
    video[0] = 'X';
    test::TempFile bad(video);
    test::ProgramResult r = Zarnplay({bad.Path()});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "Not a Zarn file.\n");

    r = Zarnplay({"/no/such/dir/clip.zrn"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "Error opening file.\n");

    r = Zarnplay({"/no/such/dir/clips.dat|4096"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "Error opening file.\n");

    // The program's own file holds no video at byte 0.
    r = Zarnplay({":0"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "Not a Zarn file.\n");
}

}  // namespace
}  // namespace zarn
