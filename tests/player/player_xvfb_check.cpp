// The player in a real X window (run under a private Xvfb): with /Q the
// statistics band is drawn above the picture, and the picture area holds the
// decoded frame as the display's frame copy writes it. The window's pixels
// are read back from its surface while the video plays.
#include <gtest/gtest.h>
#include <SDL.h>
#include <SDL_syswm.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
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
#include "tests/support/run_program.h"
#include "tests/support/temp_file.h"
#include "tools/png_image.h"

namespace zarn {
namespace {

struct Capture {
    int width = 0, height = 0;
    int x = 0, y = 0;              // the window's place on the screen
    std::vector<uint32_t> pixels;  // 32-bit window surface, row after row
    uint32_t format = 0;
};

// A timed step of a scripted run: a typed key, or 0 to read the window.
struct Step {
    uint32_t at_ms;
    uint32_t key;
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
    bool SetFullScreen(bool on) override { return inner_->SetFullScreen(on); }
    void ClientSize(uint32_t* w, uint32_t* h) override { inner_->ClientSize(w, h); }
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
        while (next_step_ < script.size() && elapsed > script[next_step_].at_ms) {
            const uint32_t key = script[next_step_++].key;
            if (key == 0) {
                captures.push_back(Read());
                continue;
            }
            *event = PlayerEvent{EventKind::kChar, key, 0, 0};
            return true;
        }
        if (script.empty() && elapsed > read_at_ms && capture.pixels.empty()) capture = Read();
        const uint32_t end_ms = script.empty() ? read_at_ms : script.back().at_ms;
        if (elapsed > end_ms + 100 && !quit_sent_) {
            quit_sent_ = true;
            *event = PlayerEvent{EventKind::kChar, 27, 0, 0};
            return true;
        }
        if (elapsed > 6000) inner_->DestroyWindow();
        return inner_->PollEvent(event);
    }

    Capture capture;
    BandRect band;
    std::vector<Step> script;  // when set, in place of read_at_ms: then Escape
    std::vector<Capture> captures;
    uint32_t read_at_ms = 800;                      // then Escape 100 ms later
    int resize_to_width = 0, resize_to_height = 0;  // at half of read_at_ms

private:
    // The window's picture as the display shows it (from the renderer's
    // canvas where a renderer draws the window), as 32-bit ARGB.
    Capture Read() {
        Capture c;
        auto* window = static_cast<SDL_Window*>(inner_->Window());
        int w = 0, h = 0;
        SDL_GetWindowSize(window, &w, &h);
        if (w <= 0 || h <= 0) return c;
        std::vector<uint32_t> pixels(size_t(w) * h);
        if (!ReadDisplayPixels(window, 0, 0, w, h, pixels.data())) return c;
        // From the X server: SDL's own note of the place is off under a reparenting manager.
        SDL_SysWMinfo wm;
        SDL_VERSION(&wm.version);
        if (SDL_GetWindowWMInfo(window, &wm) && wm.subsystem == SDL_SYSWM_X11) {
            ::Window child;
            XTranslateCoordinates(wm.info.x11.display, wm.info.x11.window,
                                  DefaultRootWindow(wm.info.x11.display), 0, 0, &c.x, &c.y, &child);
        }
        c.width = w;
        c.height = h;
        c.format = SDL_PIXELFORMAT_ARGB8888;
        c.pixels = std::move(pixels);
        return c;
    }
    std::unique_ptr<Platform> inner_;
    uint32_t start_;
    bool quit_sent_ = false;
    bool resized_ = false;
    size_t next_step_ = 0;
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

struct RgbPicture {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> rgb;
};

// Frame 1 of the video as `zarn decode --png` writes it.
RgbPicture DecodedFirstFrame(const std::string& video) {
    const std::string dir = video + ".png";
    RgbPicture p;
    const test::ProgramResult r =
        test::RunProgram(ZARN_PATH, {"decode", video, "--png", dir, "--frames", "1"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    std::ifstream in(dir + "/frame-00001.png", std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    std::string error;
    EXPECT_TRUE(DecodePng(bytes, p.rgb, &p.width, &p.height, error)) << error;
    std::filesystem::remove_all(dir);
    return p;
}

// The pixels of the window's area at (left, top), `width` x `height`, that
// are not the picture scaled to that size (nearest pixel); `outside` counts
// lit pixels elsewhere (the bars must be black).
struct Comparison {
    int differing = 0, outside = 0;
};
Comparison CompareWithPicture(const Capture& c, const RgbPicture& p, int left, int top, int width,
                              int height) {
    Comparison r;
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) {
            const uint32_t shown = c.pixels[size_t(y) * c.width + x] & 0xFFFFFFu;
            if (x < left || y < top || x >= left + width || y >= top + height) {
                r.outside += shown != 0;
                continue;
            }
            const size_t sx = size_t(x - left) * p.width / width, sy = size_t(y - top) * p.height / height;
            const uint8_t* s = &p.rgb[(sy * p.width + sx) * 3];
            r.differing += shown != (uint32_t{s[0]} << 16 | uint32_t{s[1]} << 8 | s[2]);
        }
    return r;
}

TEST(PlayerXvfb, BandAbovePictureAndPictureHoldsTheDecodedFrame) {
    // A real one-frame video: the stored closing picture, 224 x 252, repeated.
    test::TempFile video(std::vector<uint8_t>(kClosingPicture, kClosingPicture + kClosingPictureSize));
    ReadingPlatform platform;
    ASSERT_TRUE(platform.HasDisplay());
    const std::vector<const char*> argv = {"zarnplay", "/Q", "/L0", "/B2", video.Path().c_str()};
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
// surface (styles 1 and 2) and through a renderer's canvas (style 9). The
// window is read several times, since a busy machine starts the closing
// screen late; one reading must show it.
TEST(PlayerXvfb, ClosingPictureShowsInTheMiddleAfterALargerVideo) {
    const std::vector<uint8_t> image = test::EncodeClipImage(Clip::kGradients, 640, 360, 5);
    ASSERT_FALSE(image.empty());
    test::TempFile video(image);
    const ClosingPicture picture{kClosingPicture, kClosingPictureSize};
    for (const char* style : {"/B1", "/B2", "/B9"}) {
        ReadingPlatform platform;
        ASSERT_TRUE(platform.HasDisplay());
        platform.script = {{900, 0}, {1200, 0}, {1500, 0}, {1800, 0}};  // the video ends after 200 ms
        const std::vector<const char*> argv = {"zarnplay", style, video.Path().c_str()};
        ASSERT_EQ(RunPlayer(platform, int(argv.size()), argv.data(), picture, "file:///"), 0);
        std::string seen;
        bool shown = false;
        for (const Capture& c : platform.captures) {
            ASSERT_EQ(c.width, 640) << style;
            ASSERT_EQ(c.height, 360) << style;
            std::vector<uint32_t> distinct;
            for (int y = 54; y < 54 + 252; ++y)
                for (int x = 208; x < 208 + 224; ++x) {
                    const uint32_t p = c.pixels[size_t(y) * c.width + x] & 0xFFFFFFu;
                    if (distinct.size() < 64 &&
                        std::find(distinct.begin(), distinct.end(), p) == distinct.end())
                        distinct.push_back(p);
                }
            int lit = 0;  // left of the picture: black, not the video's last frame
            for (int y = 0; y < 360; ++y)
                for (int x = 0; x < 200; ++x) lit += (c.pixels[size_t(y) * c.width + x] & 0xFFFFFFu) != 0;
            seen += " " + std::to_string(distinct.size()) + " colours, " + std::to_string(lit) + " lit;";
            shown = shown || (distinct.size() > 8 && lit == 0);
        }
        EXPECT_TRUE(shown) << style
                           << ": no reading showed the closing picture in the middle on black:" << seen;
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
    const std::vector<const char*> argv = {"zarnplay", "/B2", video.Path().c_str()};
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

// "f" shows the picture scaled to the whole 1024 x 768 screen with its
// aspect kept (256 x 144 four times over, bars above and below); "f" again
// gives back the window at its size and place, with the picture as before.
TEST(PlayerXvfb, FullScreenScalesWithBarsAndGivesTheWindowBack) {
    // Full screen is the window manager's doing on X: a small one runs for this test.
    const pid_t manager = fork();
    if (manager == 0) {
        execlp("evilwm", "evilwm", "-fn", "fixed", static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(manager, 0);
    SDL_Delay(300);
    int status = 0;
    if (waitpid(manager, &status, WNOHANG) == manager) GTEST_SKIP() << "evilwm could not be started";
    struct Stop {
        pid_t pid;
        ~Stop() {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    } stop{manager};
    // With a manager, raising a window it has not mapped yet fails harmlessly (BadMatch).
    const auto previous =
        XSetErrorHandler([](::Display*, XErrorEvent* e) { return e->error_code == BadMatch ? 0 : 1; });
    const std::vector<uint8_t> image = test::EncodeClipImage(Clip::kGradients, 256, 144, 1);
    ASSERT_FALSE(image.empty());
    test::TempFile video(image);
    const RgbPicture frame = DecodedFirstFrame(video.Path());
    ASSERT_EQ(frame.width, 256u);
    ReadingPlatform platform;
    platform.script = {{1000, 0}, {1100, 'f'}, {2000, 0}, {2100, 'f'}, {3000, 0}};
    const std::vector<const char*> argv = {"zarnplay", "/B2", "/L0", video.Path().c_str()};
    ASSERT_EQ(RunPlayer(platform, int(argv.size()), argv.data(), ClosingPicture{}, "file:///"), 0);
    ASSERT_EQ(platform.captures.size(), 3u);
    const Capture &before = platform.captures[0], &full = platform.captures[1], &after = platform.captures[2];
    ASSERT_EQ(before.width, 256);
    ASSERT_EQ(before.height, 144);
    const Comparison b = CompareWithPicture(before, frame, 0, 0, 256, 144);
    EXPECT_EQ(b.differing, 0);

    ASSERT_EQ(full.width, 1024);
    ASSERT_EQ(full.height, 768);
    const Comparison f = CompareWithPicture(full, frame, 0, 96, 1024, 576);
    EXPECT_EQ(f.differing, 0);
    EXPECT_EQ(f.outside, 0);

    EXPECT_EQ(after.width, before.width);
    EXPECT_EQ(after.height, before.height);
    EXPECT_EQ(after.x, before.x);
    EXPECT_EQ(after.y, before.y);
    EXPECT_EQ(CompareWithPicture(after, frame, 0, 0, 256, 144).differing, 0);
    XSetErrorHandler(previous);
}

// After a pause, and after "o" while paused, a line of the band's font
// (black and shades of yellow) shows over the bottom of the picture and
// nowhere else; 1.5 s later it is gone and the picture is whole again.
TEST(PlayerXvfb, OnScreenLineShowsOverThePictureAndGoes) {
    const std::vector<uint8_t> image = test::EncodeClipImage(Clip::kGradients, 256, 144, 1);
    ASSERT_FALSE(image.empty());
    test::TempFile video(image);
    const RgbPicture frame = DecodedFirstFrame(video.Path());
    ReadingPlatform platform;
    platform.script = {{600, ' '}, {800, 0}, {2400, 0}, {2500, 'o'}, {2700, 0}, {4300, 0}};
    const std::vector<const char*> argv = {"zarnplay", "/B2", "/L0", video.Path().c_str()};
    ASSERT_EQ(RunPlayer(platform, int(argv.size()), argv.data(), ClosingPicture{}, "file:///"), 0);
    ASSERT_EQ(platform.captures.size(), 4u);
    SDL_PixelFormat* format = SDL_AllocFormat(SDL_PIXELFORMAT_ARGB8888);
    for (size_t i = 0; i < 4; i += 2) {
        const Capture &shown = platform.captures[i], &gone = platform.captures[i + 1];
        ASSERT_EQ(shown.width, 256);
        ASSERT_EQ(shown.height, 144);
        int differing = 0, foreign = 0, yellow = 0, top = shown.height;
        for (int y = 0; y < shown.height; ++y)
            for (int x = 0; x < shown.width; ++x) {
                const uint8_t* s = &frame.rgb[(size_t(y) * frame.width + x) * 3];
                uint8_t r, g, b;
                SDL_GetRGB(shown.pixels[size_t(y) * shown.width + x], format, &r, &g, &b);
                if (r == s[0] && g == s[1] && b == s[2]) continue;
                ++differing;
                top = std::min(top, y);
                foreign += b != 0 || r != g;
                yellow += r >= 128 && r == g && b == 0;
            }
        EXPECT_GT(yellow, 20) << "step " << i;
        EXPECT_EQ(foreign, 0) << "step " << i;
        EXPECT_GT(top, shown.height / 2) << "step " << i << ": the line is not at the bottom";
        EXPECT_EQ(CompareWithPicture(gone, frame, 0, 0, 256, 144).differing, 0) << "step " << i;
        EXPECT_GT(differing, 0);
    }
    SDL_FreeFormat(format);
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
