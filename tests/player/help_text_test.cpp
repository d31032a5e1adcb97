#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "player/help_text.h"

namespace zarn {
namespace {

// One table row: what stands before the tab and the text after it.
std::string Row(const std::string& before, const std::string& after) { return before + "\t" + after + "\n"; }
std::string Switch(const std::string& name, int pad, const std::string& after) {
    return Row("    " + name + std::string(pad, ' '), after);
}
std::string More(int spaces, const std::string& after) { return Row(std::string(spaces, ' '), after); }

std::string ExpectedHelp() {
    std::string t;
    t += "ZarnPlay  V 1.0q - Plays Zarn videos (.zrn).\n";
    t += "  SYNTAX: ZarnPlay <Zarn1 Zarn2 ...> [/Switches]:\n";
    t += Switch("/P", 2, "- Preload the entire Zarn video into memory.");
    t += Switch("/L##", 0, "- Loop the animation (just/L for infinite).");
    t += Switch("/F#.#", 0, "- Use this frame rate (just /F for fast).");
    t += Switch("/T##", 0, "- Play the specified sound track.");
    t += Switch("/Z", 2, "- Use waveOut instead of DirectSound for audio output.");
    t += Switch("/S", 2, "- Show the playback summary when finished.");
    t += Switch("/X##", 0, "- Specifies the X coordinate of the playback.");
    t += Switch("/Y##", 0, "- Specifies the Y coordinate of the playback.");
    t += Switch("/W#.#", 0, "- Stretch to this width in pixels (can be slow). Use negative numbers for");
    t += More(9, "    scaling (i.e. for 2x, use '/w-2').  For full screen, use -1 ('/w-1').");
    t += Switch("/H#.#", 0, "- Stretch to this height in pixels (can be slow).");
    t += Switch("/R", 3, "- Fill the screen with a black background.");
    t += Switch("/C", 3, "- Hide the cursor when in the Zarn window.");
    t += Switch("/M##", 0, "- Simulate this read speed (in bytes/second).");
    t += Switch("/E##", 0, "- Specified the amount of memory for read buffering.");
    t += Switch("/G", 2, "- Don't load the read buffer when opening the Zarn (faster opening).");
    t += Switch("/K", 2, "- Do not use multi-threaded device reading.");
    t += Switch("/U##", 0, "- Disable controls: 1=pause, 2=skip, 4=quit.");
    t += Switch("/N", 2, "- Never skip frames when falling behind.");
    t += Switch("/Q", 2, "- Show run-time playback statistics.");
    t += Switch("/J", 2, "- Don't pause the video when the focus is lost.");
    t += Switch("/I#", 1, "- Window style: 0=normal, 1=no caption, 2=nothing.  Add 100 for always-on-top.");
    t += Switch("/A##", 0,
                "- Display options: 1=2x height doubled, 2=2x height interlaced, 3=2x width doubled,");
    t += More(8, "    4=2x width and height interlaced, 5=2x width and height doubled,");
    t += More(8, "    6=1x height interlaced, 7=force none. Add 100 for grayscale.");
    t += Switch("/D##", 0, "- Display resolution: 1=320x200, 2=320x240, 3=320x400, 4=400x300, 5=480x360,");
    t += More(8, "    6=512x384, 7=640x400, 8=640x480, 9=800x600, 10=960x720, 11=1024x768,");
    t += More(8, "    12=1152x864, 13=1280x1024. To set the color depth, add: 0 for 16-bit,");
    t += More(8, "    100 for 24-bit, 200 for 32-bit, 300 for 8-bit, 400 for at least");
    t += More(8, "    high-color (16, 32, then 24), 500 to try true-color (32, 24, then 16),");
    t += More(8, "    and 600 for true-color only (32, then 24).");
    t += Switch("/B##", 0, "- Blitting style: 0=Automatic, 1=DirectDraw primary display (best quality,");
    t += More(8, "    very fast), 2=DIBSection (best quality, most compatible), 3=YV12 overlay,");
    t += More(8, "    4=YUY2 overlay, 5=UYVY overlay, 6=YV12 off-screen, 7=YUY2 off-screen,");
    t += More(8, "    8=UYVY off-screen, 9=DirectDraw RGB video memory off-screen,");
    t += More(8, "    10=DirectDraw RGB system memory off-screen.");
    return t;
}

TEST(HelpText, MatchesTheTableByteForByte) {
    const std::string actual = HelpText();
    const std::string expected = ExpectedHelp();
    // Compare line by line first so that a mismatch names its line.
    size_t a = 0;
    size_t e = 0;
    for (int line = 1; a < actual.size() && e < expected.size(); ++line) {
        size_t an = actual.find('\n', a);
        size_t en = expected.find('\n', e);
        ASSERT_NE(an, std::string::npos) << "line " << line << " has no line feed";
        EXPECT_EQ(actual.substr(a, an - a), expected.substr(e, en - e)) << "line " << line;
        a = an + 1;
        e = en + 1;
    }
    EXPECT_EQ(actual, expected);
    EXPECT_EQ(actual.back(), '\n');
}

TEST(HelpText, HasThirtyEightLinesAndItsTitle) {
    const std::string text = HelpText();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 38);
    EXPECT_EQ(text.rfind("ZarnPlay  V 1.0q - ", 0), 0u);
    EXPECT_STREQ(kHelpTitle, "Zarn Video Player Help");
}

}  // namespace
}  // namespace zarn
