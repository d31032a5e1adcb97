#include <gtest/gtest.h>

#include <string>

#include "player/command_line.h"

namespace zarn {
namespace {

constexpr uint32_t kScreenW = 1920;
constexpr uint32_t kScreenH = 1080;

struct Parsed {
    ParseResult result;
    std::string rest;
};

Parsed Parse(const std::string& text) {
    Parsed p;
    p.rest = text;
    p.result = ParseSwitches(p.rest, kScreenW, kScreenH);
    return p;
}

const PlayerOptions& Opts(const Parsed& p) { return p.result.options; }

std::string Trimmed(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    size_t e = s.find_last_not_of(" \t");
    return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

TEST(Switches, DefaultsWhenOnlyANameIsGiven) {
    Parsed p = Parse("clip");
    EXPECT_FALSE(p.result.show_help);
    EXPECT_EQ(p.rest, "clip");
    const PlayerOptions& o = Opts(p);
    EXPECT_EQ(o.loop_count, 1);
    EXPECT_EQ(o.parent_window, 0);
    EXPECT_EQ(o.rate_override_num, -1);
    EXPECT_EQ(o.rate_override_den, -1);
    EXPECT_EQ(o.track_choice, 0);
    EXPECT_EQ(o.read_speed, 0);
    EXPECT_EQ(o.read_buffer, -1);
    EXPECT_EQ(o.disabled_controls, 0u);
    EXPECT_EQ(o.window_style, 0u);
    EXPECT_EQ(o.always_on_top, 0u);
    EXPECT_FALSE(o.use_waveout || o.show_summary || o.show_statistics || o.keep_playing_unfocused ||
                 o.black_background || o.hide_cursor);
    EXPECT_EQ(o.open_flags, 0u);
    EXPECT_EQ(o.x, -3000);
    EXPECT_EQ(o.y, -3000);
    EXPECT_EQ(o.width_num, 0);
    EXPECT_EQ(o.width_den, 0);
    EXPECT_EQ(o.height_num, 0);
    EXPECT_EQ(o.height_den, 0);
    EXPECT_EQ(o.screen_width, kScreenW);
    EXPECT_EQ(o.screen_height, kScreenH);
    EXPECT_EQ(o.display_flags, 0u);
    EXPECT_EQ(o.display_mode_width, 0u);
}

TEST(Switches, Loops) {
    EXPECT_EQ(Opts(Parse("a /L")).loop_count, 0);  // endless
    EXPECT_EQ(Opts(Parse("a /L3")).loop_count, 3);
    EXPECT_EQ(Opts(Parse("a /l3")).loop_count, 3);  // any case
    EXPECT_EQ(Opts(Parse("a")).loop_count, 1);
    // The integer form is looked for first: /L3 wins and the bare /L stays behind.
    Parsed both = Parse("a /L /L3");
    EXPECT_EQ(Opts(both).loop_count, 3);
    EXPECT_TRUE(both.result.show_help);
}

TEST(Switches, FrameRates) {
    Parsed fast = Parse("a /F");
    EXPECT_EQ(Opts(fast).rate_override_num, 0);
    EXPECT_EQ(Opts(fast).rate_override_den, 0);
    EXPECT_EQ(Opts(fast).open_flags, kFlagRateOverride);

    Parsed ntsc = Parse("a /F29.97");
    EXPECT_EQ(Opts(ntsc).rate_override_num, 2997);
    EXPECT_EQ(Opts(ntsc).rate_override_den, 100);
    EXPECT_EQ(Opts(ntsc).open_flags, kFlagRateOverride);
    EXPECT_EQ(ntsc.rest, "a ");

    Parsed ratio = Parse("a /F30000;1001");
    EXPECT_EQ(Opts(ratio).rate_override_num, 30000);
    EXPECT_EQ(Opts(ratio).rate_override_den, 1001);

    Parsed reduced = Parse("a /F12.50");  // 1250/100 -> 25/2
    EXPECT_EQ(Opts(reduced).rate_override_num, 25);
    EXPECT_EQ(Opts(reduced).rate_override_den, 2);

    Parsed both_sides = Parse("a /F2.5;0.5");  // (5/2) / (1/2) = 5
    EXPECT_EQ(Opts(both_sides).rate_override_num, 5);
    EXPECT_EQ(Opts(both_sides).rate_override_den, 1);

    Parsed zero_den = Parse("a /F30;0");  // a zero denominator becomes 1
    EXPECT_EQ(Opts(zero_den).rate_override_num, 30);
    EXPECT_EQ(Opts(zero_den).rate_override_den, 1);

    Parsed no_second = Parse("a /F30;x");  // ";" without a digit is not read
    EXPECT_EQ(Opts(no_second).rate_override_num, 30);
    EXPECT_EQ(no_second.rest, "a ;x");

    Parsed none = Parse("a");
    EXPECT_EQ(Opts(none).open_flags & kFlagRateOverride, 0u);
}

TEST(Switches, OverlongNumbersStayWithin32Bits) {
    Parsed big = Parse("a /X99999999999 /Y-99999999999 /F1.00000000000001");
    EXPECT_EQ(Opts(big).x, 2147483647);
    EXPECT_EQ(Opts(big).y, -2147483647 - 1);
    EXPECT_EQ(Opts(big).rate_override_num, 1);
    EXPECT_EQ(Opts(big).rate_override_den, 1);
    EXPECT_EQ(big.rest, "a   ");
    Parsed ratio = Parse("a /F2147483647;0.000000001");
    EXPECT_GT(Opts(ratio).rate_override_num, 0);
    EXPECT_GT(Opts(ratio).rate_override_den, 0);
}

TEST(Switches, WidthAndHeightRequests) {
    Parsed twice = Parse("a /w-2");
    EXPECT_EQ(Opts(twice).width_num, -2);
    EXPECT_EQ(Opts(twice).width_den, 1);
    Parsed full = Parse("a /w-1");
    EXPECT_EQ(Opts(full).width_num, -1);
    EXPECT_EQ(Opts(full).width_den, 1);
    Parsed half_again = Parse("a /W-1.5");
    EXPECT_EQ(Opts(half_again).width_num, -3);
    EXPECT_EQ(Opts(half_again).width_den, 2);
    Parsed pixels = Parse("a /W640 /H480");
    EXPECT_EQ(Opts(pixels).width_num, 640);
    EXPECT_EQ(Opts(pixels).width_den, 1);
    EXPECT_EQ(Opts(pixels).height_num, 480);
    EXPECT_EQ(Opts(pixels).height_den, 1);
}

TEST(Switches, StretchRequestSizes) {
    // video 320 wide, screen 1920
    EXPECT_EQ(StretchRequestSize(-2, 1, 320, 1920), 640u);
    EXPECT_EQ(StretchRequestSize(-1, 1, 320, 1920), 1920u);
    EXPECT_EQ(StretchRequestSize(-3, 2, 320, 1920), 480u);
    EXPECT_EQ(StretchRequestSize(640, 1, 320, 1920), 640u);
    EXPECT_EQ(StretchRequestSize(3, 2, 320, 1920), 1u);
    EXPECT_EQ(StretchRequestSize(0, 0, 320, 1920), 320u);  // no request
    EXPECT_EQ(StretchRequestSize(640, 0, 320, 1920), 320u);
    EXPECT_EQ(StretchRequestSize(-1, 2, 320, 1920), 160u);  // -1/2 is a scale, not full screen
    // 64-bit intermediate, result clamped to 32 bits
    EXPECT_EQ(StretchRequestSize(-2147483647 - 1, 1, 0xFFFFFFFFu, 1920), 0xFFFFFFFFu);
    EXPECT_EQ(StretchRequestSize(-65536, 1, 65536, 1920), 0xFFFFFFFFu);
    EXPECT_EQ(StretchRequestSize(-3, 1, 0x40000000u, 1920), 0xC0000000u);
}

TEST(Switches, TrackAndReadSettings) {
    Parsed t0 = Parse("a /T0");
    EXPECT_EQ(Opts(t0).track_choice, 0);
    EXPECT_EQ(Opts(t0).open_flags, 0u);
    EXPECT_FALSE(t0.result.show_help);
    Parsed t2 = Parse("a /T2 /M150000 /E65536");
    EXPECT_EQ(Opts(t2).track_choice, 2);
    EXPECT_EQ(Opts(t2).read_speed, 150000);
    EXPECT_EQ(Opts(t2).read_buffer, 65536);
    EXPECT_EQ(Opts(t2).open_flags, kFlagTrackById | kFlagReadSpeed | kFlagReadAheadSize);
    Parsed off = Parse("a /M0 /E-1");
    EXPECT_EQ(Opts(off).open_flags, 0u);
    EXPECT_EQ(Opts(off).read_buffer, -1);
}

TEST(Switches, WindowStyleAndBlackBackground) {
    Parsed i101 = Parse("a /I101");
    EXPECT_EQ(Opts(i101).always_on_top, 1u);
    EXPECT_EQ(Opts(i101).window_style, 1u);
    Parsed r = Parse("a /I101 /R");
    EXPECT_TRUE(Opts(r).black_background);
    EXPECT_EQ(Opts(r).window_style, 2u);
    EXPECT_EQ(Opts(r).always_on_top, 1u);
    Parsed neg = Parse("a /I-1");  // read as unsigned
    EXPECT_EQ(Opts(neg).window_style, 4294967295u % 100);
}

TEST(Switches, BareSwitchesAndTheirFlags) {
    Parsed p = Parse("a /z/s /q /J /c /n /g /p /k /u7 /#1234");
    const PlayerOptions& o = Opts(p);
    EXPECT_FALSE(p.result.show_help) << p.rest;
    EXPECT_TRUE(o.use_waveout && o.show_summary && o.show_statistics && o.keep_playing_unfocused &&
                o.hide_cursor);
    EXPECT_FALSE(o.black_background);
    EXPECT_EQ(o.open_flags, kFlagNeverSkip | kFlagNoInitialFill | kFlagPreload | kFlagNoThread);
    EXPECT_EQ(o.disabled_controls, 7u);
    EXPECT_EQ(o.parent_window, 1234);
    EXPECT_EQ(Trimmed(p.rest), "a");
}

TEST(Switches, BareFormNeedsACharacterBelowDigitZero) {
    // "/Px" is not a bare /P: it stays and calls for help.
    Parsed p = Parse("a /Px");
    EXPECT_EQ(Opts(p).open_flags, 0u);
    EXPECT_TRUE(p.result.show_help);
    // "." and "-" end a bare switch; the rest stays in the text.
    Parsed dot = Parse("a /P.");
    EXPECT_EQ(Opts(dot).open_flags, kFlagPreload);
    EXPECT_EQ(dot.rest, "a .");
}

TEST(Switches, FirstWellFormedOccurrenceIsUsed) {
    Parsed p = Parse("a /Xz /X10 /X20");
    EXPECT_EQ(Opts(p).x, 10);
    EXPECT_TRUE(p.result.show_help);  // "/Xz" and "/X20" remain
    EXPECT_EQ(p.rest, "a /Xz  /X20");
}

TEST(Switches, DisplayOptions) {
    Parsed a103 = Parse("a /A103");
    EXPECT_EQ(Opts(a103).open_flags, kFlagGreyScale | (3u << kDisplayOptionShift));
    Parsed a9 = Parse("a /A9");
    EXPECT_EQ(Opts(a9).open_flags, 7u << kDisplayOptionShift);
    Parsed a203 = Parse("a /A203");  // only exactly one hundred means grey-scale
    EXPECT_EQ(Opts(a203).open_flags, 3u << kDisplayOptionShift);
}

TEST(Switches, DisplayModeTables) {
    Parsed d8 = Parse("a /D8");
    EXPECT_FALSE(d8.result.show_help);
    EXPECT_EQ(Opts(d8).display_flags, kDisplayChangeMode);
    EXPECT_EQ(Opts(d8).screen_width, 640u);
    EXPECT_EQ(Opts(d8).screen_height, 480u);
    EXPECT_EQ(Opts(d8).display_mode_width, 640u);
    EXPECT_EQ(Opts(d8).display_mode_depth, 16u);

    struct Case {
        int code;
        uint32_t w, h, depth;
    };
    const Case cases[] = {{1, 320, 200, 16},  {113, 1280, 1024, 24}, {202, 320, 240, 32}, {311, 1024, 768, 8},
                          {409, 800, 600, 1}, {510, 960, 720, 2},    {606, 512, 384, 3},  {12, 1152, 864, 16},
                          {3, 320, 400, 16},  {4, 400, 300, 16},     {5, 480, 360, 16},   {7, 640, 400, 16}};
    for (const Case& c : cases) {
        Parsed p = Parse("a /D" + std::to_string(c.code));
        EXPECT_FALSE(p.result.show_help) << c.code;
        EXPECT_EQ(Opts(p).display_mode_width, c.w) << c.code;
        EXPECT_EQ(Opts(p).display_mode_height, c.h) << c.code;
        EXPECT_EQ(Opts(p).display_mode_depth, c.depth) << c.code;
    }
    for (const char* bad : {"/D14", "/D100", "/D700", "/D714", "/D-8", "/D99"}) {
        Parsed p = Parse(std::string("a ") + bad);
        EXPECT_TRUE(p.result.show_help) << bad;
        EXPECT_EQ(Opts(p).display_flags & kDisplayChangeMode, 0u) << bad;
        EXPECT_EQ(Opts(p).screen_width, kScreenW) << bad;
    }
    Parsed d0 = Parse("a /D0 /B2");
    EXPECT_FALSE(d0.result.show_help);
    EXPECT_EQ(Opts(d0).display_flags, 2u);
    Parsed both = Parse("a /D9 /B3");
    EXPECT_EQ(Opts(both).display_flags, kDisplayChangeMode | 3u);
}

TEST(Switches, LeftOversCallForHelp) {
    EXPECT_TRUE(Parse("a /V").result.show_help);     // unknown switch
    EXPECT_TRUE(Parse("a /Tx").result.show_help);    // malformed argument
    EXPECT_TRUE(Parse("/P /L3").result.show_help);   // no name left
    EXPECT_TRUE(Parse(" \t\r\n").result.show_help);  // only white space
    EXPECT_TRUE(Parse("").result.show_help);
    EXPECT_TRUE(Parse("a /!x").result.show_help);  // /! is bare only
    EXPECT_FALSE(Parse("a /!").result.show_help);
    EXPECT_FALSE(Parse("\"my/clip\" /P").result.show_help);  // "/" inside a quoted name is no switch
    EXPECT_TRUE(Parse("my/clip").result.show_help);          // but outside quotes it is
}

TEST(Switches, QuotedNamesKeepSwitchLikeText) {
    Parsed p = Parse("\"dir/P x\" /P");
    EXPECT_EQ(Opts(p).open_flags, kFlagPreload);
    EXPECT_EQ(p.rest, "\"dir/P x\" ");
}

}  // namespace
}  // namespace zarn
