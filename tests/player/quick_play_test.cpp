#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "player/quick_play.h"

namespace zarn {
namespace {

std::string Lookup(const std::string& ini) {
    return IniValue(ini, kQuickPlaySection, kQuickPlayKey, "<none>");
}

TEST(IniValue, FindsTheKeyInItsSection) {
    EXPECT_EQ(Lookup("[Qel Video Tools]\nZarnQuickPlay=/L /Q\n"), "/L /Q");
    EXPECT_EQ(Lookup("[other]\nZarnQuickPlay=no\n[Qel Video Tools]\nZarnQuickPlay=yes\n"), "yes");
    EXPECT_EQ(Lookup("[Qel Video Tools]\nZarnQuickPlay=first\nZarnQuickPlay=second\n"), "first");
    // Names without regard to case, white space trimmed, CR LF lines.
    EXPECT_EQ(Lookup("  [ qel video TOOLS ]  \r\n  zarnquickplay  =  /P  \r\n"), "/P");
    // One pair of enclosing quotes is dropped.
    EXPECT_EQ(Lookup("[Qel Video Tools]\nZarnQuickPlay=\" /F \"\n"), " /F ");
    EXPECT_EQ(Lookup("[Qel Video Tools]\nZarnQuickPlay=\"a\" \"b\"\n"), "a\" \"b");
    EXPECT_EQ(Lookup("[Qel Video Tools]\nZarnQuickPlay=\n"), "");
}

TEST(IniValue, MissingOrMalformedGivesTheFallback) {
    EXPECT_EQ(Lookup(""), "<none>");
    EXPECT_EQ(Lookup("ZarnQuickPlay=/P\n"), "<none>");  // outside any section
    EXPECT_EQ(Lookup("[Qel Video Tools]\n;ZarnQuickPlay=/P\n"), "<none>");
    EXPECT_EQ(Lookup("[Qel Video Tools\nZarnQuickPlay=/P\n"), "<none>");  // unclosed section header
    EXPECT_EQ(Lookup("[Qel Video Tools]\nZarnQuickPlay /P\n"), "<none>");
    EXPECT_EQ(Lookup(std::string("[Qel Video Tools]\nZarn\0QuickPlay=/P", 35)), "<none>");
}

class QuickPlayFile : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/zarn_quick_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        path_ = dir_ + "/zarn.ini";
    }
    void TearDown() override {
        std::remove(path_.c_str());
        rmdir(dir_.c_str());
    }
    void Write(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
    std::string dir_;
    std::string path_;
};

TEST_F(QuickPlayFile, ReadsTheValueAndCutsItTo255Characters) {
    Write("[Qel Video Tools]\nZarnQuickPlay=/S /J\n");
    EXPECT_EQ(ReadQuickPlayValue(QuickPlaySource{path_}), "/S /J");
    Write("[Qel Video Tools]\nZarnQuickPlay=" + std::string(300, 'x') + "\n");
    EXPECT_EQ(ReadQuickPlayValue(QuickPlaySource{path_}), std::string(kQuickPlayMaxValue, 'x'));
}

TEST_F(QuickPlayFile, MissingFileOrKeyGivesEmptyValue) {
    EXPECT_EQ(ReadQuickPlayValue(QuickPlaySource{path_}), "");
    EXPECT_EQ(ReadQuickPlayValue(QuickPlaySource{}), "");
    Write("[Qel Video Tools]\nOther=1\n");
    EXPECT_EQ(ReadQuickPlayValue(QuickPlaySource{path_}), "");
}

TEST(QuickPlaySourceTest, PathFromTheEnvironment) {
    const char* old_config = std::getenv("XDG_CONFIG_HOME");
    const char* old_home = std::getenv("HOME");
    std::string saved_config = old_config ? old_config : "";
    std::string saved_home = old_home ? old_home : "";

    setenv("XDG_CONFIG_HOME", "/cfg", 1);
    setenv("HOME", "/home/me", 1);
    EXPECT_EQ(QuickPlayFromEnvironment().ini_path, "/cfg/zarn/zarn.ini");
    setenv("XDG_CONFIG_HOME", "", 1);
    EXPECT_EQ(QuickPlayFromEnvironment().ini_path, "/home/me/.config/zarn/zarn.ini");
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("HOME");
    EXPECT_EQ(QuickPlayFromEnvironment().ini_path, "");

    if (old_config) setenv("XDG_CONFIG_HOME", saved_config.c_str(), 1);
    if (old_home) setenv("HOME", saved_home.c_str(), 1);
}

}  // namespace
}  // namespace zarn
