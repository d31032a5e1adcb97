// The player in a real X window (run under a private Xvfb): with /Q the
// statistics band is drawn above the picture, and the picture area holds the
// decoded frame as the display's frame copy writes it. The window's pixels
// are read back from its surface while the video plays.
#include <gtest/gtest.h>
#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "display/display_state.h"
#include "display/display_target.h"
#include "display/text_box.h"
#include "encoder/closing_picture.h"
#include "engine/copy_to_buffer.h"
#include "engine/engine_clock.h"
#include "engine/frame_control.h"
#include "engine/movie.h"
#include "player/player_session.h"
#include "player/summary_text.h"
#include "tests/support/encoded_clip.h"
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
    void PlaceWindow(int32_t x, int32_t y, uint32_t w, uint32_t h) override {
        inner_->PlaceWindow(x, y, w, h);
    }
    void MoveWindow(int32_t x, int32_t y) override { inner_->MoveWindow(x, y); }
    void WindowPosition(int32_t* x, int32_t* y) override { inner_->WindowPosition(x, y); }
    void ShowWindow() override { inner_->ShowWindow(); }
    void HideWindow() override { inner_->HideWindow(); }
    void DestroyWindow() override { inner_->DestroyWindow(); }
    void RequestPaint() override { inner_->RequestPaint(); }
    void OpenUrl(const char*) override {}
    void FillBlack() override { inner_->FillBlack(); }
    bool MeasureText(const char* t, uint32_t* w, uint32_t* h) override {
        return inner_->MeasureText(t, w, h);
    }
    void DrawBand(const BandRect& b, const char* t) override {
        band = b;
        inner_->DrawBand(b, t);
    }
    bool PollEvent(PlayerEvent* event) override {
        const uint32_t elapsed = EngineClock() - start_;
        if (resize_to_width != 0 && elapsed > read_at_ms / 2 && !resized_) {
            resized_ = true;  // as a user dragging the window's border
            SDL_SetWindowSize(static_cast<SDL_Window*>(inner_->Window()), resize_to_width, resize_to_height);
        }
        if (elapsed > read_at_ms && capture.pixels.empty()) Read();
        if (elapsed > read_at_ms + 100 && !quit_sent_) {
            quit_sent_ = true;
            *event = PlayerEvent{EventKind::kChar, 27, 0, 0};
            return true;
        }
        if (elapsed > 6000) inner_->DestroyWindow();
        return inner_->PollEvent(event);
    }

    Capture capture;
    BandRect band;
    uint32_t read_at_ms = 800;                      // then Escape 100 ms later
    int resize_to_width = 0, resize_to_height = 0;  // at half of read_at_ms

private:
    // The window's picture as the display shows it (from the renderer's
    // canvas where a renderer draws the window), as 32-bit ARGB.
    void Read() {
        int w = 0, h = 0;
        SDL_GetWindowSize(static_cast<SDL_Window*>(inner_->Window()), &w, &h);
        if (w <= 0 || h <= 0) return;
        std::vector<uint32_t> pixels(size_t(w) * h);
        if (!ReadDisplayPixels(static_cast<SDL_Window*>(inner_->Window()), 0, 0, w, h, pixels.data())) return;
        capture.width = w;
        capture.height = h;
        capture.format = SDL_PIXELFORMAT_ARGB8888;
        capture.pixels = std::move(pixels);
    }
    std::unique_ptr<Platform> inner_;
    uint32_t start_;
    bool quit_sent_ = false;
    bool resized_ = false;
};

// One connection to the X server for the whole run: the players the tests
// start and end one after the other then share it, instead of connecting
// afresh each time (which a loaded server may refuse).
class SharedVideo : public ::testing::Environment {
public:
    void SetUp() override { SDL_InitSubSystem(SDL_INIT_VIDEO); }
    void TearDown() override { SDL_QuitSubSystem(SDL_INIT_VIDEO); }
};
const auto* const g_shared_video = ::testing::AddGlobalTestEnvironment(new SharedVideo);

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

// After a video larger than the closing picture, the picture shows in the
// middle of the window that target leaves, on black: through the window
// surface (styles 1 and 2) and through a renderer's canvas (style 9).
TEST(PlayerXvfb, ClosingPictureShowsInTheMiddleAfterALargerVideo) {
    const std::vector<uint8_t> image = test::EncodeClipImage(Clip::kGradients, 640, 360, 5);
    ASSERT_FALSE(image.empty());
    test::TempFile video(image);
    const ClosingPicture picture{kClosingPicture, kClosingPictureSize};
    for (const char* style : {"/B1", "/B2", "/B9"}) {
        ReadingPlatform platform;
        ASSERT_TRUE(platform.HasDisplay());
        platform.read_at_ms = 1200;  // the video ends after 200 ms
        const std::vector<const char*> argv = {"zarnplay", style, video.path().c_str()};
        ASSERT_EQ(RunPlayer(platform, int(argv.size()), argv.data(), picture, "file:///"), 0);
        const Capture& c = platform.capture;
        ASSERT_EQ(c.width, 640) << style;
        ASSERT_EQ(c.height, 360) << style;
        std::vector<uint32_t> distinct;
        for (int y = 54; y < 54 + 252; ++y)
            for (int x = 208; x < 208 + 224; ++x) {
                const uint32_t p = c.pixels[size_t(y) * c.width + x] & 0xFFFFFFu;
                if (distinct.size() < 64 && std::find(distinct.begin(), distinct.end(), p) == distinct.end())
                    distinct.push_back(p);
            }
        EXPECT_GT(distinct.size(), 8u) << style << ": the closing picture is not in the middle";
        int lit = 0;  // left of the picture: black, not the video's last frame
        for (int y = 0; y < 360; ++y)
            for (int x = 0; x < 200; ++x) lit += (c.pixels[size_t(y) * c.width + x] & 0xFFFFFFu) != 0;
        EXPECT_EQ(lit, 0) << style;
    }
}

// A window dragged to 640 x 480 scales a 320 x 180 picture to 640 x 360,
// aspect kept, with black bars above and below.
TEST(PlayerXvfb, ResizedWindowScalesThePictureWithItsAspect) {
    const std::vector<uint8_t> image = test::EncodeClipImage(Clip::kGradients, 320, 180, 50);
    ASSERT_FALSE(image.empty());
    test::TempFile video(image);
    ReadingPlatform platform;
    platform.read_at_ms = 1000;
    platform.resize_to_width = 640;
    platform.resize_to_height = 480;
    const std::vector<const char*> argv = {"zarnplay", "/B2", video.path().c_str()};
    ASSERT_EQ(RunPlayer(platform, int(argv.size()), argv.data(), ClosingPicture{}, "file:///"), 0);
    const Capture& c = platform.capture;
    ASSERT_EQ(c.width, 640);
    ASSERT_EQ(c.height, 480);
    auto lit_rows = [&c](int from, int to) {
        int lit = 0;
        for (int y = from; y < to; ++y) {
            int row = 0;
            for (int x = 0; x < c.width; ++x) row += (c.pixels[size_t(y) * c.width + x] & 0xFFFFFFu) != 0;
            lit += row > c.width / 2;
        }
        return lit;
    };
    EXPECT_EQ(lit_rows(0, 58), 0);
    EXPECT_EQ(lit_rows(62, 418), 418 - 62);
    EXPECT_EQ(lit_rows(422, 480), 0);
}

// The summary (33 lines) is too tall for the system's box on an 800-line
// screen: the player's own box sets the same lines small enough to fit, and
// Enter closes it.
TEST(PlayerXvfb, TallTextBoxFitsTheScreen) {
    std::string summary;
    for (int i = 0; i < 33; ++i) summary += "Line " + std::to_string(i) + " of the playback summary: 12345\n";
    EXPECT_TRUE(TextNeedsOwnBox(summary.c_str(), 800));
    EXPECT_FALSE(TextNeedsOwnBox("Corrupt Zarn file.", 800));
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0);
    std::thread closer([] {
        SDL_Delay(400);
        SDL_Event e{};
        e.type = SDL_KEYDOWN;
        e.key.keysym.sym = SDLK_RETURN;
        SDL_PushEvent(&e);
    });
    TextBoxGeometry g;
    const uint32_t start = SDL_GetTicks();
    const bool shown = ShowTextBox("Zarn Playback Summary", summary.c_str(), 1024, 800, &g);
    closer.join();
    ASSERT_TRUE(shown);
    EXPECT_LT(SDL_GetTicks() - start, 3000u);
    EXPECT_EQ(g.lines, 33);
    EXPECT_LE(g.height, 800 - 80);
    EXPECT_LE(g.width, 1024);
    EXPECT_GE(g.point_size, 5);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

}  // namespace
}  // namespace zarn
