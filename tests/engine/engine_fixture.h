// Shared set-up of the engine's frame tests: settings reset, a test clock,
// the scripted sound back end, and opening helpers.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "engine/engine_settings.h"
#include "engine/engine_thread.h"
#include "engine/last_error.h"
#include "engine/movie.h"
#include "tests/support/scripted_sound.h"
#include "tests/support/temp_file.h"
#include "tests/support/test_clock.h"
#include "tests/support/test_movies.h"

namespace zarn::test {

class EngineFixture : public ::testing::Test {
protected:
    void SetUp() override { ResetEngineSettings(); }
    void TearDown() override {
        for (Movie* m : open_) CloseMovie(m);
        ResetEngineSettings();
    }

    // Opens an image from memory; with sound the background thread is
    // stopped at once so the test alone drives the movie, and the clock
    // and the device's record start afresh.
    Movie* Open(const std::vector<uint8_t>& image, uint32_t flags = 0) {
        images_.push_back(image);
        Movie* m = OpenMovieFromImage(images_.back().data(), images_.back().size(), flags);
        EXPECT_NE(m, nullptr) << EngineLastError();
        if (!m) return nullptr;
        open_.push_back(m);
        StopBackgroundThread(*m);
        clock.Set(1000);
        sound.ClearPlayed();
        sound.set_on_calls.clear();
        sound.set_paused_calls.clear();
        return m;
    }
    // Opens a file written from `image`, streaming through a read-ahead of
    // `read_ahead` bytes; the thread is stopped as in Open.
    Movie* OpenFile(const std::vector<uint8_t>& image, uint32_t read_ahead, uint32_t flags = 0) {
        files_.push_back(std::make_unique<TempFile>(image));
        SetReadAheadSize(read_ahead);
        Movie* m = OpenMovie(files_.back()->Path().c_str(), flags | kFlagReadAheadSize);
        EXPECT_NE(m, nullptr) << EngineLastError();
        if (!m) return nullptr;
        open_.push_back(m);
        StopBackgroundThread(*m);
        clock.Set(1000);
        sound.ClearPlayed();
        sound.set_on_calls.clear();
        return m;
    }
    void Close(Movie* m) {
        std::erase(open_, m);
        CloseMovie(m);
    }

    TestClock clock{1000};
    ScriptedSound sound;

private:
    std::vector<std::vector<uint8_t>> images_;
    std::vector<Movie*> open_;
    std::vector<std::unique_ptr<TempFile>> files_;
};

// A movie with one 16-bit stereo track at 44100 Hz and a 256 KB ring.
inline MovieRecipe SoundRecipe(uint32_t frames = 50) {
    MovieRecipe r;
    r.frames = frames;
    r.tracks = {StereoTrack(44100, 262144)};
    r.audio_bytes = 40;
    r.decoded_bytes = 7056;
    return r;
}

}  // namespace zarn::test
