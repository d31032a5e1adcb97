// The player in a real X window (run under a private Xvfb): with /Q the
// statistics band is drawn above the picture, and the picture area holds the
// decoded frame as the display's frame copy writes it. The window's pixels
// are read back from its surface while the video plays.
#include <gtest/gtest.h>
#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "display/display_target.h"
#include "encoder/closing_picture.h"
#include "engine/copy_to_buffer.h"
#include "engine/engine_clock.h"
#include "engine/frame_control.h"
#include "engine/movie.h"
#include "player/player_session.h"
#include "player/summary_text.h"
#include "tests/support/temp_file.h"

namespace zarn {
namespace {

struct Capture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;  // 32-bit window surface, row after row
    uint32_t format = 0;
};

// The SDL platform, with one read-back of the window and a scripted Escape.
class ReadingPlatform final : public Platform {
public:
    ReadingPlatform() : inner_(CreateSdlPlatform()), start_(EngineClock()) {}
    bool HasDisplay() const override { return inner_->HasDisplay(); }
    void ScreenSize(uint32_t* w, uint32_t* h) const override { inner_->ScreenSize(w, h); }
    void ShowMessage(const char*, const char*, MessageIcon) override {}
    bool CreateWindow(const WindowRequest& r) override { return inner_->CreateWindow(r); }
    NativeWindow Window() override { return inner_->Window(); }
    void PlaceWindow(int32_t x, int32_t y, uint32_t w, uint32_t h) override { inner_->PlaceWindow(x, y, w, h); }
    void MoveWindow(int32_t x, int32_t y) override { inner_->MoveWindow(x, y); }
    void WindowPosition(int32_t* x, int32_t* y) override { inner_->WindowPosition(x, y); }
    void ShowWindow() override { inner_->ShowWindow(); }
    void HideWindow() override { inner_->HideWindow(); }
    void DestroyWindow() override { inner_->DestroyWindow(); }
    void RequestPaint() override { inner_->RequestPaint(); }
    void OpenUrl(const char*) override {}
    void FillBlack() override { inner_->FillBlack(); }
    bool MeasureText(const char* t, uint32_t* w, uint32_t* h) override { return inner_->MeasureText(t, w, h); }
    void DrawBand(const BandRect& b, const char* t) override {
        band = b;
        inner_->DrawBand(b, t);
    }
    bool PollEvent(PlayerEvent* event) override {
        const uint32_t elapsed = EngineClock() - start_;
        if (elapsed > 800 && capture.pixels.empty()) Read();
        if (elapsed > 900 && !quit_sent_) {
            quit_sent_ = true;
            *event = PlayerEvent{EventKind::kChar, 27, 0, 0};
            return true;
        }
        if (elapsed > 6000) inner_->DestroyWindow();
        return inner_->PollEvent(event);
    }

    Capture capture;
    BandRect band;

private:
    void Read() {
        SDL_Surface* s = SDL_GetWindowSurface(static_cast<SDL_Window*>(inner_->Window()));
        if (!s || s->format->BytesPerPixel != 4) return;
        capture.width = s->w;
        capture.height = s->h;
        capture.format = s->format->format;
        capture.pixels.resize(size_t(s->w) * s->h);
        for (int y = 0; y < s->h; ++y)
            std::memcpy(&capture.pixels[size_t(y) * s->w], static_cast<uint8_t*>(s->pixels) + y * s->pitch,
                        size_t(s->w) * 4);
    }
    std::unique_ptr<Platform> inner_;
    uint32_t start_;
    bool quit_sent_ = false;
};

TEST(PlayerXvfb, BandAbovePictureAndPictureHoldsTheDecodedFrame) {
    // A real one-frame video: the stored closing picture, 224 x 252, repeated.
    test::TempFile video(std::vector<uint8_t>(kClosingPicture, kClosingPicture + kClosingPictureSize));
    ReadingPlatform platform;
    ASSERT_TRUE(platform.HasDisplay());
    const std::vector<const char*> argv = {"zarnplay", "/Q", "/L0", "/B2", video.path().c_str()};
    ASSERT_EQ(RunPlayer(platform, int(argv.size()), argv.data(), ClosingPicture{}, "file:///"), 0);
    const Capture& c = platform.capture;
    ASSERT_FALSE(c.pixels.empty()) << "the window surface could not be read";
    const BandRect band = platform.band;
    ASSERT_GT(band.bottom, band.top);
    ASSERT_EQ(band.right, c.width);

    // The band: black and shades of yellow only, with some full yellow.
    SDL_PixelFormat* format = SDL_AllocFormat(c.format);
    int yellow = 0, foreign = 0;
    for (int y = band.top; y < band.bottom; ++y)
        for (int x = 0; x < c.width; ++x) {
            uint8_t r, g, b;
            SDL_GetRGB(c.pixels[size_t(y) * c.width + x], format, &r, &g, &b);
            if (b != 0 || r != g) ++foreign;
            if (r == 255 && g == 255) ++yellow;
        }
    EXPECT_EQ(foreign, 0);
    EXPECT_GT(yellow, 50);

    // The picture: centred (x rounded to 4) under the band, the frame copy's pixels.
    const int px = (((c.width - 224) / 2) & ~3), py = band.bottom;
    SDL_Window* window = SDL_CreateWindow("reference", 0, 0, 224, 252, SDL_WINDOW_HIDDEN);
    ASSERT_NE(window, nullptr);
    Movie* movie = OpenMovieFromImage(kClosingPicture, kClosingPictureSize, 0x4000000);
    ASSERT_NE(movie, nullptr);
    DisplayTarget* target = OpenDisplayTarget(window, 224, 252, 2);
    ASSERT_NE(target, nullptr);
    for (int i = 0; i < 500 && ShouldWait(movie) != 0; ++i) SDL_Delay(2);
    DoFrame(movie);
    ASSERT_TRUE(LockDisplayTarget(target));
    CopyToBuffer(movie, target->buffer, target->pitch, target->source_height, 0, 0, target->copy_flags);
    int differing = 0;
    std::vector<uint32_t> distinct;
    for (int y = 0; y < 252; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(target->buffer + y * target->pitch);
        for (int x = 0; x < 224; ++x) {
            uint8_t r1, g1, b1, r2, g2, b2;
            SDL_GetRGB(row[x], format, &r1, &g1, &b1);
            SDL_GetRGB(c.pixels[size_t(py + y) * c.width + px + x], format, &r2, &g2, &b2);
            if (r1 != r2 || g1 != g2 || b1 != b2) ++differing;
            if (distinct.size() < 64 && std::find(distinct.begin(), distinct.end(), row[x]) == distinct.end())
                distinct.push_back(row[x]);
        }
    }
    UnlockDisplayTarget(target);
    EXPECT_GT(distinct.size(), 8u) << "the reference frame is too plain to tell anything";
    EXPECT_EQ(differing, 0);
    CloseDisplayTarget(target);
    CloseMovie(movie);
    SDL_DestroyWindow(window);
    SDL_FreeFormat(format);
}

}  // namespace
}  // namespace zarn
