#include "engine/engine_settings.h"

#include <gtest/gtest.h>

namespace zarn {
namespace {

int32_t OpenA(SoundOutput*, uint32_t, uint32_t, uint32_t, uint32_t, Movie*) { return 1; }
int32_t OpenB(SoundOutput*, uint32_t, uint32_t, uint32_t, uint32_t, Movie*) { return 1; }
SoundOpenOp StartA(void*) { return OpenA; }
SoundOpenOp StartB(void*) { return OpenB; }
SoundOpenOp StartFailing(void*) { return nullptr; }

class SoundSystemTest : public ::testing::Test {
protected:
    void SetUp() override { ResetEngineSettings(); }
    void TearDown() override { ResetEngineSettings(); }
};

TEST_F(SoundSystemTest, InstallsTheOpenOperationOfTheStartOperation) {
    EXPECT_EQ(SetSoundSystem(nullptr, nullptr), 0);
    EXPECT_EQ(SetSoundSystem(StartFailing, nullptr), 0);
    EXPECT_EQ(Settings().sound_open, nullptr);
    EXPECT_EQ(SetSoundSystem(StartA, nullptr), 1);
    EXPECT_EQ(Settings().sound_open, OpenA);
    // A failing start keeps what was installed before and still answers 1.
    EXPECT_EQ(SetSoundSystem(StartFailing, nullptr), 1);
    EXPECT_EQ(Settings().sound_open, OpenA);
}

TEST_F(SoundSystemTest, BackEndIsFixedOnceAMovieOpenedSound) {
    EXPECT_EQ(SetSoundSystem(StartA, nullptr), 1);
    EXPECT_EQ(SetSoundSystem(StartB, nullptr), 1);  // nothing opened sound yet
    EXPECT_EQ(Settings().sound_open, OpenB);
    Settings().movies_with_sound = 1;
    EXPECT_EQ(SetSoundSystem(StartA, nullptr), 0);
    EXPECT_EQ(Settings().sound_open, OpenB);
    EXPECT_EQ(SetSoundSystem(StartB, nullptr), 1);  // the same one again is fine
}

}  // namespace
}  // namespace zarn
