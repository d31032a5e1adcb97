#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "player/command_line.h"

namespace zarn {
namespace {

std::string Join(std::vector<const char*> args) {
    args.insert(args.begin(), "zarnplay");
    return JoinArguments(static_cast<int>(args.size()), args.data());
}

std::string Cancel(std::string text) {
    ApplyCancellations(text);
    return text;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A private directory for files a test writes.
class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/zarn_cmdline_XXXXXX";
        path_ = mkdtemp(pattern) ? pattern : "";
    }
    ~TempDir() {
        for (const std::string& f : files_) std::remove(f.c_str());
        rmdir(path_.c_str());
    }
    std::string File(const std::string& name) {
        files_.push_back(path_ + "/" + name);
        return files_.back();
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    std::vector<std::string> files_;
};

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

TEST(StoredCommand, CutAtFirstTildeAndAtTheLengthLimit) {
    EXPECT_EQ(CutDefaultCommand(std::string(512, '~')), "");
    EXPECT_EQ(CutDefaultCommand("clip /P~~~~~"), "clip /P");
    EXPECT_EQ(CutDefaultCommand("a~b~"), "a");
    EXPECT_EQ(CutDefaultCommand(std::string("ab\0cd~", 6)), "ab");
    EXPECT_EQ(CutDefaultCommand(std::string(600, 'x')).size(), kStoredCommandMaxText);
}

TEST(StoredCommand, UnpatchedProgramCarriesNoDefault) {
    EXPECT_EQ(StoredDefaultCommand(), "");
    // The area is findable in this very program, right after the marker.
    std::vector<uint8_t> self = ReadFile("/proc/self/exe");
    long area = FindStoredCommandArea(self);
    ASSERT_GT(area, 0);
    EXPECT_EQ(std::string(self.begin() + area, self.begin() + area + kStoredCommandArea),
              std::string(kStoredCommandArea, '~'));
}

TEST(StoredCommand, PatchRefusesWhatCannotBeStored) {
    std::vector<uint8_t> image(100, 'x');
    EXPECT_EQ(FindStoredCommandArea(image), -1);
    EXPECT_FALSE(PatchStoredCommand(image, "clip"));
    std::string marker = ZARN_STORED_COMMAND_MARKER;
    image.insert(image.end(), marker.begin(), marker.end());
    image.insert(image.end(), kStoredCommandArea, '~');  // no terminating NUL yet
    EXPECT_EQ(FindStoredCommandArea(image), -1);
    image.push_back(0);
    EXPECT_EQ(FindStoredCommandArea(image), static_cast<long>(100 + marker.size()));
    EXPECT_FALSE(PatchStoredCommand(image, "a~b"));
    EXPECT_FALSE(PatchStoredCommand(image, std::string(kStoredCommandMaxText + 1, 'x')));
    EXPECT_TRUE(PatchStoredCommand(image, std::string(kStoredCommandMaxText, 'x')));
    EXPECT_EQ(image[100 + marker.size() + kStoredCommandMaxText], '~');
}

TEST(StoredCommand, WindowsPlayerKeepsItsDefaultInStringResourceOne) {
    std::vector<uint8_t> image(50, 'x');
    image.push_back(0x00);
    image.push_back(0x02);  // the length word: 512 characters
    for (size_t i = 0; i < kStoredCommandArea; ++i) {
        image.push_back('~');
        image.push_back(0);
    }
    image.insert(image.end(), 20, 'y');
    EXPECT_EQ(FindStoredCommandArea(image), -1);
    ASSERT_EQ(FindStoredCommandResource(image), 52);
    EXPECT_FALSE(PatchStoredCommand(image, "caf\xe9"));  // not ASCII
    ASSERT_TRUE(PatchStoredCommand(image, ":1234 /S"));
    std::string text;
    for (size_t i = 52; i < 52 + 2 * kStoredCommandArea; i += 2) {
        EXPECT_EQ(image[i + 1], 0u);
        text += static_cast<char>(image[i]);
    }
    EXPECT_EQ(CutDefaultCommand(text), ":1234 /S");
    EXPECT_EQ(text.substr(8), std::string(kStoredCommandArea - 8, '~'));
    EXPECT_EQ(image[51], 0x02);
}

// End to end: a patched copy of a program reads its new default at run time.
TEST(StoredCommand, PatchedCopyOfAProgramReadsItsDefault) {
    std::vector<uint8_t> image = ReadFile(ZARN_STORED_COMMAND_PROBE);
    ASSERT_FALSE(image.empty());
    ASSERT_TRUE(PatchStoredCommand(image, "intro /L3 \"my clip\""));
    TempDir dir;
    std::string copy = dir.File("probe");
    {
        std::ofstream out(copy, std::ios::binary);
        out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    }
    ASSERT_EQ(chmod(copy.c_str(), 0700), 0);
    std::FILE* pipe = popen(copy.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[1024] = {};
    ASSERT_NE(std::fgets(line, sizeof line, pipe), nullptr);
    EXPECT_EQ(pclose(pipe), 0);
    EXPECT_STREQ(line, "[intro /L3 \"my clip\"]\n");
}

TEST(JoinArguments, QuotesNamesWithSpacesOrSlashesAndLeavesSwitches) {
    EXPECT_EQ(Join({}), "");
    EXPECT_EQ(Join({"intro", "/P", "/L3"}), "intro /P /L3");
    EXPECT_EQ(Join({"my clip.zrn", "/P"}), "\"my clip.zrn\" /P");
    EXPECT_EQ(Join({"samples/demo.zrn"}), "\"samples/demo.zrn\"");
    EXPECT_EQ(Join({"/home/me/a.zrn", "/W-1.5", "/F30000;1001"}), "\"/home/me/a.zrn\" /W-1.5 /F30000;1001");
    EXPECT_EQ(Join({"/P/L3/-P/-", "//a.zrn"}), "/P/L3/-P/- \"//a.zrn\"");
    EXPECT_EQ(Join({"/tmp/x", "/Vx"}), "\"/tmp/x\" /Vx");  // a lone unknown switch stays a switch
    EXPECT_EQ(Join({"", "a", ""}), "a");
    EXPECT_EQ(Join({"a\"b c"}), "a\"b c");  // cannot be quoted: left as it is
}

TEST(Cancellations, RemoveEarlierSwitchesOfTheLetter) {
    EXPECT_EQ(Cancel("clip /P/-P"), "clip ");
    EXPECT_EQ(Cancel("clip /p /L3 /P /-p x"), "clip  /L3   x");
    EXPECT_EQ(Cancel("clip /L3/-l"), "clip ");
    EXPECT_EQ(Cancel("clip /W-1.5 /-W"), "clip  ");
    // Only switches before the cancellation go.
    EXPECT_EQ(Cancel("/-P clip /P"), " clip /P");
    // A quoted argument runs to its closing quote, which stays.
    EXPECT_EQ(Cancel("a /X\"b c\" /-X"), "a \" ");
    // A trailing "/-" cuts the text there.
    EXPECT_EQ(Cancel("clip /P /-"), "clip /P ");
    EXPECT_EQ(Cancel("clip /-P /-"), "clip  ");
    // "/-" followed by white space cancels that white space "letter": three characters go.
    EXPECT_EQ(Cancel("a /- /L"), "a /L");
    // Switches inside quoted names are left alone.
    EXPECT_EQ(Cancel("\"a /P b\" /P /-P"), "\"a /P b\"  ");
}

TEST(CommandText, DefaultThenCommandLineThenCancellations) {
    QuickPlaySource none;
    const char* argv[] = {"zarnplay", "/-P"};
    std::string text = BuildCommandText("clip /P~~~~", 2, argv, none);
    EXPECT_EQ(text, "clip ");
    ParseResult parsed = ParseSwitches(text, 800, 600);
    EXPECT_FALSE(parsed.show_help);
    EXPECT_EQ(parsed.options.open_flags & kFlagPreload, 0u);
    EXPECT_EQ(NextName(text), "clip");

    // Without the cancellation the default's /P preloads.
    const char* plain[] = {"zarnplay"};
    std::string kept = BuildCommandText("clip /P~~~~", 1, plain, none);
    EXPECT_EQ(ParseSwitches(kept, 800, 600).options.open_flags, kFlagPreload);
}

TEST(CommandText, LongNamesAreNeverCut) {
    std::string long_name(3000, 'n');
    const char* argv[] = {"zarnplay", long_name.c_str(), "/P"};
    std::string text = BuildCommandText("", 3, argv, QuickPlaySource{});
    ParseResult parsed = ParseSwitches(text, 800, 600);
    EXPECT_FALSE(parsed.show_help);
    EXPECT_EQ(NextName(text), long_name);
}

TEST(CommandText, ArgvNamesWithSpacesAndPathsSurvive) {
    const char* argv[] = {"zarnplay", "/home/me/my clips/intro.zrn", "/L3", "second clip"};
    std::string text = BuildCommandText("", 4, argv, QuickPlaySource{});
    ParseResult parsed = ParseSwitches(text, 800, 600);
    EXPECT_FALSE(parsed.show_help);
    EXPECT_EQ(parsed.options.loop_count, 3);
    EXPECT_EQ(NextName(text), "/home/me/my clips/intro.zrn");
    EXPECT_EQ(NextName(text), "second clip");
    EXPECT_EQ(NextName(text), "");
}

TEST(CommandText, QuickPlayValueIsAppendedAtTheEnd) {
    TempDir dir;
    std::string ini = dir.File("zarn.ini");
    WriteText(ini, "[Qel Video Tools]\nZarnQuickPlay=/L2 /Q\n");
    QuickPlaySource source{ini};

    const char* argv[] = {"zarnplay", "clip", "/!"};
    std::string text = BuildCommandText("", 3, argv, source);
    EXPECT_EQ(text, "clip /L2 /Q");  // no separator is added
    ParseResult parsed = ParseSwitches(text, 800, 600);
    EXPECT_FALSE(parsed.show_help);
    EXPECT_EQ(parsed.options.loop_count, 2);
    EXPECT_TRUE(parsed.options.show_statistics);

    // Without /! the profile is not read.
    const char* no_bang[] = {"zarnplay", "clip"};
    EXPECT_EQ(BuildCommandText("", 2, no_bang, source), "clip");
}

TEST(CommandText, CancellationInsideQuickPlayValueIsNotApplied) {
    TempDir dir;
    std::string ini = dir.File("zarn.ini");
    WriteText(ini, "[Qel Video Tools]\nZarnQuickPlay= /-P\n");
    const char* argv[] = {"zarnplay", "clip", "/P", "/!"};
    std::string text = BuildCommandText("", 4, argv, QuickPlaySource{ini});
    EXPECT_EQ(text, "clip /P /-P");
    ParseResult parsed = ParseSwitches(text, 800, 600);
    EXPECT_EQ(parsed.options.open_flags, kFlagPreload);
    EXPECT_TRUE(parsed.show_help);  // the "/-P" is left over
}

TEST(CommandText, MissingProfileAppendsNothing) {
    const char* argv[] = {"zarnplay", "clip", "/!"};
    EXPECT_EQ(BuildCommandText("", 3, argv, QuickPlaySource{"/nonexistent/zarn.ini"}), "clip ");
    EXPECT_EQ(BuildCommandText("", 3, argv, QuickPlaySource{}), "clip ");
}

}  // namespace
}  // namespace zarn
