// `zarn bundle` end to end: the copy it writes plays the video it carries.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/support/run_program.h"
#include "tests/support/temp_file.h"
#include "tests/support/test_movies.h"

namespace zarn {
namespace {

const std::vector<std::string> kHeadless = {"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=dummy"};

std::vector<uint8_t> ThreeFrames() {
    test::MovieRecipe r;
    r.width = 48;
    r.height = 32;
    r.frames = 3;
    r.video_bytes = 16;
    return test::BuildMovie(r);
}

TEST(Bundle, TheCopyPlaysItsOwnVideoWithTheStoredSwitches) {
    test::TempFile video(ThreeFrames());
    const std::string out = video.Path() + ".bundle";
    test::ProgramResult made = test::RunProgram(
        ZARN_PATH, {"bundle", video.Path(), "-o", out, "--switches", "/S /L2", "--player", ZARNPLAY_PATH},
        {});
    ASSERT_EQ(made.exit_code, 0) << made.err;

    // Escape is not available headless; the closing screen ends by itself.
    test::ProgramResult played = test::RunProgram(out, {}, kHeadless);
    std::remove(out.c_str());
    EXPECT_EQ(played.exit_code, 0) << played.err;
    EXPECT_NE(played.out.find("Video: 48 x 32 at 25.0 frames/sec"), std::string::npos) << played.out;
    EXPECT_NE(played.out.find("Total frames played: 6\n"), std::string::npos) << played.out;
}

// Arguments given to the copy follow its stored text as separate words: a
// name plays after the carried video, switches apply to it.
TEST(Bundle, ArgumentsOfTheCopyFollowItsStoredText) {
    test::TempFile video(ThreeFrames());
    test::MovieRecipe r;
    r.width = 80;
    r.height = 16;
    r.frames = 2;
    test::TempFile other(test::BuildMovie(r));
    const std::string out = video.Path() + ".bundle";
    ASSERT_EQ(test::RunProgram(ZARN_PATH, {"bundle", video.Path(), "-o", out, "--player", ZARNPLAY_PATH}, {})
                  .exit_code,
              0);
    const test::ProgramResult named = test::RunProgram(out, {"/S", other.Path()}, kHeadless);
    EXPECT_EQ(named.exit_code, 0) << named.err;
    EXPECT_NE(named.out.find("Video: 80 x 16"), std::string::npos) << named.out;
    const test::ProgramResult looped = test::RunProgram(out, {"/L3", "/S"}, kHeadless);
    std::remove(out.c_str());
    EXPECT_EQ(looped.exit_code, 0) << looped.err;
    EXPECT_NE(looped.out.find("Total frames played: 9\n"), std::string::npos) << looped.out;
}

TEST(Bundle, RefusesWhatCannotBeBundled) {
    test::TempFile not_a_video(std::vector<uint8_t>(64, 7));
    const std::string out = not_a_video.Path() + ".bundle";
    test::ProgramResult bad =
        test::RunProgram(ZARN_PATH, {"bundle", not_a_video.Path(), "-o", out, "--player", ZARNPLAY_PATH}, {});
    EXPECT_EQ(bad.exit_code, 1);
    EXPECT_FALSE(bad.err.empty());

    test::TempFile video(ThreeFrames());
    test::ProgramResult no_area =
        test::RunProgram(ZARN_PATH, {"bundle", video.Path(), "-o", out, "--player", video.Path()}, {});
    EXPECT_EQ(no_area.exit_code, 1);
    EXPECT_NE(no_area.err.find("stored command"), std::string::npos) << no_area.err;

    test::ProgramResult usage = test::RunProgram(ZARN_PATH, {"bundle", video.Path()}, {});
    EXPECT_EQ(usage.exit_code, 2);

    // Switches the player would not read back whole, or would answer with
    // its help text.
    for (const char* switches : {"/S~", "/Q /"}) {
        const test::ProgramResult refused = test::RunProgram(
            ZARN_PATH, {"bundle", video.Path(), "-o", out, "--switches", switches, "--player", ZARNPLAY_PATH},
            {});
        EXPECT_EQ(refused.exit_code, 2) << switches;
        EXPECT_NE(refused.err.find("--switches"), std::string::npos) << refused.err;
    }
    std::remove(out.c_str());
}

}  // namespace
}  // namespace zarn
