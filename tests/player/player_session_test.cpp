// The player program in-process, headless, with a scripted event source: the
// real SDL platform on the dummy drivers, with events injected by time or by
// what the window has been asked to do.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "encoder/closing_picture.h"
#include "engine/engine_clock.h"
#include "player/player_session.h"
#include "player/summary_text.h"
#include "tests/support/temp_file.h"
#include "tests/support/test_movies.h"

namespace zarn {
namespace {

constexpr const char* kPage = "file:///zarn/README.md";

struct Placement {
    uint32_t at_ms;
    uint32_t width, height;
};

struct Message {
    std::string title, text;
};

// Wraps the SDL platform: records what the player asks of the window and
// feeds scripted events in before the real ones.
class ScriptedPlatform final : public Platform {
public:
    // Returns events to inject on this poll (the player state is not visible:
    // a script sees the time and the recorded requests).
    using Script = std::function<void(ScriptedPlatform&, std::vector<PlayerEvent>*)>;

    ScriptedPlatform() : inner_(CreateSdlPlatform()), start_(EngineClock()) {}

    uint32_t Elapsed() const { return EngineClock() - start_; }

    bool HasDisplay() const override { return inner_->HasDisplay(); }
    void ScreenSize(uint32_t* w, uint32_t* h) const override { inner_->ScreenSize(w, h); }
    void ShowMessage(const char* title, const char* text, MessageIcon icon) override {
        messages.push_back({title, text});
        inner_->ShowMessage(title, text, icon);
    }
    bool CreateWindow(const WindowRequest& r) override { return inner_->CreateWindow(r); }
    NativeWindow Window() override { return inner_->Window(); }
    void PlaceWindow(int32_t x, int32_t y, uint32_t w, uint32_t h) override {
        placements.push_back({Elapsed(), w, h});
        inner_->PlaceWindow(x, y, w, h);
    }
    void MoveWindow(int32_t x, int32_t y) override { inner_->MoveWindow(x, y); }
    void WindowPosition(int32_t* x, int32_t* y) override { inner_->WindowPosition(x, y); }
    void ShowWindow() override { inner_->ShowWindow(); }
    void HideWindow() override { inner_->HideWindow(); }
    void DestroyWindow() override {
        if (destroyed_at == 0) destroyed_at = Elapsed() + 1;
        inner_->DestroyWindow();
    }
    void RequestPaint() override { inner_->RequestPaint(); }
    bool PollEvent(PlayerEvent* event) override {
        if (script) script(*this, &pending_);
        if (Elapsed() > kGuardMs && destroyed_at == 0) {
            timed_out = true;
            DestroyWindow();
        }
        if (!pending_.empty()) {
            *event = pending_.front();
            pending_.erase(pending_.begin());
            return true;
        }
        return inner_->PollEvent(event);
    }
    void OpenUrl(const char* url) override { urls.push_back(url); }
    void FillBlack() override { inner_->FillBlack(); }
    bool MeasureText(const char* t, uint32_t* w, uint32_t* h) override {
        return inner_->MeasureText(t, w, h);
    }
    void DrawBand(const BandRect& b, const char* t) override {
        ++bands_drawn;
        inner_->DrawBand(b, t);
    }

    // When the closing picture's window was placed, or 0.
    uint32_t ClosingShownAt() const {
        for (const Placement& p : placements)
            if (p.width == 224 && p.height == 252) return p.at_ms + 1;
        return 0;
    }

    static constexpr uint32_t kGuardMs = 8000;
    Script script;
    std::vector<Placement> placements;
    std::vector<Message> messages;
    std::vector<std::string> urls;
    uint32_t destroyed_at = 0;  // elapsed ms + 1
    int bands_drawn = 0;
    bool timed_out = false;

private:
    std::unique_ptr<Platform> inner_;
    uint32_t start_;
    std::vector<PlayerEvent> pending_;
};

PlayerEvent Key(uint32_t code) { return PlayerEvent{EventKind::kChar, code, 0, 0}; }
PlayerEvent Of(EventKind kind) { return PlayerEvent{kind, 0, 0, 0}; }

// Sends `event` once, the first time `when` holds.
ScriptedPlatform::Script Once(std::function<bool(ScriptedPlatform&)> when, std::vector<PlayerEvent> events,
                              ScriptedPlatform::Script then = nullptr) {
    auto sent = std::make_shared<bool>(false);
    return [=](ScriptedPlatform& p, std::vector<PlayerEvent>* out) {
        if (!*sent && when(p)) {
            *sent = true;
            out->insert(out->end(), events.begin(), events.end());
        }
        if (then) then(p, out);
    };
}

std::function<bool(ScriptedPlatform&)> After(uint32_t ms) {
    return [ms](ScriptedPlatform& p) { return p.Elapsed() >= ms; };
}
std::function<bool(ScriptedPlatform&)> OnClosingScreen(uint32_t delay_ms = 0) {
    return [delay_ms](ScriptedPlatform& p) {
        return p.ClosingShownAt() != 0 && p.Elapsed() >= p.ClosingShownAt() + delay_ms;
    };
}

class PlayerSession : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        platform_ = std::make_unique<ScriptedPlatform>();
    }

    // A video of `frames` frames at 25 per second whose packets hold a few arbitrary bytes.
    const std::string& Video(uint32_t width, uint32_t height, uint32_t frames) {
        test::MovieRecipe r;
        r.width = width;
        r.height = height;
        r.frames = frames;
        r.video_bytes = 16;
        files_.push_back(std::make_unique<test::TempFile>(test::BuildMovie(r)));
        return files_.back()->path();
    }

    int Run(std::vector<std::string> args) {
        args.insert(args.begin(), "zarnplay");
        std::vector<const char*> argv;
        for (const std::string& a : args) argv.push_back(a.c_str());
        const ClosingPicture picture{kClosingPicture, kClosingPictureSize};
        const int code = RunPlayer(*platform_, static_cast<int>(argv.size()), argv.data(), picture, kPage);
        EXPECT_FALSE(platform_->timed_out) << "the player did not end by itself";
        return code;
    }

    std::vector<uint32_t> VideoWidths() const {
        std::vector<uint32_t> widths;
        for (const Placement& p : platform_->placements)
            if (p.width != 224) widths.push_back(p.width);
        return widths;
    }

    std::unique_ptr<ScriptedPlatform> platform_;
    std::vector<std::unique_ptr<test::TempFile>> files_;
};

uint32_t Figure(const std::string& text, const std::string& label) {
    const size_t at = text.find(label);
    if (at == std::string::npos) return ~0u;
    return static_cast<uint32_t>(std::strtoul(text.c_str() + at + label.size(), nullptr, 10));
}

TEST_F(PlayerSession, LoopsThenShowsTheClosingScreenAndTellsTheSummary) {
    const std::string& v = Video(64, 48, 5);
    EXPECT_EQ(Run({"/L3", "/S", v}), 0);
    const uint32_t closing = platform_->ClosingShownAt();
    ASSERT_NE(closing, 0u);
    // Three passes of 5 frames at 25 per second take about 600 ms.
    EXPECT_GE(closing, 500u);
    ASSERT_NE(platform_->destroyed_at, 0u);
    const uint32_t shown = platform_->destroyed_at - closing;
    EXPECT_GE(shown, 2200u);
    EXPECT_LE(shown, 3000u);
    ASSERT_EQ(platform_->messages.size(), 1u);
    const Message& m = platform_->messages[0];
    EXPECT_EQ(m.title, "Zarn Playback Summary");
    EXPECT_EQ(Figure(m.text, "Video: "), 64u);
    EXPECT_EQ(Figure(m.text, "Total frames: "), 5u);
    EXPECT_EQ(Figure(m.text, "Total frames played: "), 15u);
    EXPECT_NE(m.text.find("Frame rate played: 25.0 frames/sec"), std::string::npos) << m.text;
}

TEST_F(PlayerSession, SeveralNamesRepeatTheWholeList) {
    const std::string& a = Video(64, 48, 2);
    const std::string& b = Video(80, 32, 2);
    EXPECT_EQ(Run({"/L2", a, b}), 0);
    EXPECT_EQ(VideoWidths(), (std::vector<uint32_t>{64, 80, 64, 80}));
    EXPECT_NE(platform_->ClosingShownAt(), 0u);
}

TEST_F(PlayerSession, SkipKeyOnTheLastVideoGoesToTheClosingScreen) {
    const std::string& v = Video(64, 48, 100);  // four seconds
    platform_->script = Once(After(200), {Key(46)});
    EXPECT_EQ(Run({v}), 0);
    const uint32_t closing = platform_->ClosingShownAt();
    ASSERT_NE(closing, 0u);
    EXPECT_LT(closing, 1500u);
    EXPECT_GE(platform_->destroyed_at - closing, 2200u);
}

TEST_F(PlayerSession, EscapeQuitsAtOnce) {
    const std::string& v = Video(64, 48, 100);
    platform_->script = Once(After(200), {Key(27)});
    EXPECT_EQ(Run({"/L0", "/S", v}), 0);
    ASSERT_NE(platform_->destroyed_at, 0u);
    EXPECT_LT(platform_->destroyed_at, 1500u);
    // The summary was taken at the key: a few frames, not a whole pass.
    ASSERT_EQ(platform_->messages.size(), 1u);
    const uint32_t played = Figure(platform_->messages[0].text, "Total frames played: ");
    EXPECT_GE(played, 1u);
    EXPECT_LT(played, 20u);
}

TEST_F(PlayerSession, EscapeEndsTheClosingScreenAndSkipIsIgnoredThere) {
    const std::string& v = Video(64, 48, 2);
    platform_->script = Once(OnClosingScreen(100), {Key(46)}, Once(OnClosingScreen(300), {Key(27)}));
    EXPECT_EQ(Run({v}), 0);
    const uint32_t closing = platform_->ClosingShownAt();
    ASSERT_NE(closing, 0u);
    ASSERT_NE(platform_->destroyed_at, 0u);
    EXPECT_GE(platform_->destroyed_at - closing, 300u);
    EXPECT_LT(platform_->destroyed_at - closing, 1000u);
}

TEST_F(PlayerSession, DisabledControlsIgnoreAllFourKeys) {
    const std::string& v = Video(64, 48, 10);  // 400 ms
    platform_->script =
        Once(After(50), {Key(32), Key(46), Key(27), Key(13)}, Once(OnClosingScreen(50), {Key(27)}));
    EXPECT_EQ(Run({"/U7", v}), 0);
    const uint32_t closing = platform_->ClosingShownAt();
    EXPECT_GE(closing, 350u);  // played to its end: not paused, skipped or quit
    EXPECT_GE(platform_->destroyed_at - closing, 2200u);  // Escape ignored there too
}

TEST_F(PlayerSession, ClickOpensThePageOnlyOnTheClosingScreen) {
    const std::string& v = Video(64, 48, 5);
    platform_->script = Once(After(30), {Of(EventKind::kClick)},
                             Once(OnClosingScreen(50), {Of(EventKind::kClick), Key(27)}));
    EXPECT_EQ(Run({v}), 0);
    EXPECT_EQ(platform_->urls, (std::vector<std::string>{std::string(kPage) + kWebPageQuery}));
}

TEST_F(PlayerSession, FocusLossPausesUntilRegained) {
    const std::string& v = Video(64, 48, 10);  // 400 ms
    platform_->script = Once(After(0), {Of(EventKind::kFocusLost)},
                             Once(After(700), {Of(EventKind::kFocusGained)},
                                  Once(OnClosingScreen(), {Key(27)})));
    EXPECT_EQ(Run({v}), 0);
    EXPECT_GE(platform_->ClosingShownAt(), 1000u);
}

TEST_F(PlayerSession, RegainedFocusKeepsTheSpacePause) {
    const std::string& v = Video(64, 48, 10);
    platform_->script = Once(After(0), {Key(32), Of(EventKind::kFocusLost)},
                             Once(After(100), {Of(EventKind::kFocusGained)},
                                  Once(After(800), {Key(27)})));
    EXPECT_EQ(Run({v}), 0);
    // Still paused when Escape came: the video never reached its end.
    EXPECT_EQ(platform_->ClosingShownAt() != 0 &&
                  platform_->ClosingShownAt() < 800,
              false);
}

TEST_F(PlayerSession, KeepPlayingUnfocusedPlaysOn) {
    const std::string& v = Video(64, 48, 10);
    platform_->script =
        Once(After(0), {Of(EventKind::kFocusLost)}, Once(OnClosingScreen(), {Key(27)}));
    EXPECT_EQ(Run({"/J", v}), 0);
    const uint32_t closing = platform_->ClosingShownAt();
    EXPECT_GE(closing, 350u);
    EXPECT_LT(closing, 900u);
}

TEST_F(PlayerSession, TwiceTheHeightMakesTheEngineDoubleTheLines) {
    const std::string& v = Video(64, 48, 2);
    platform_->script = Once(OnClosingScreen(), {Key(27)});
    EXPECT_EQ(Run({"/W64", "/H96", v}), 0);
    ASSERT_FALSE(platform_->placements.empty());
    // The target was made for the doubled movie: 64 x 96 source pixels.
    EXPECT_EQ(platform_->placements[0].width, 64u);
    EXPECT_EQ(platform_->placements[0].height, 96u);
}

TEST_F(PlayerSession, OpenFailureTellsTheEngineErrorAndExitsWithOne) {
    EXPECT_EQ(Run({"/nonexistent/zarn/video.zrn"}), 1);
    ASSERT_EQ(platform_->messages.size(), 1u);
    EXPECT_EQ(platform_->messages[0].title, "Zarn Error");
    EXPECT_FALSE(platform_->messages[0].text.empty());
    EXPECT_TRUE(platform_->placements.empty());
}

TEST_F(PlayerSession, StatisticsLineDrawnAfterEveryFrame) {
    const std::string& v = Video(64, 48, 5);
    platform_->script = Once(OnClosingScreen(), {Key(27)});
    EXPECT_EQ(Run({"/Q", v}), 0);
    EXPECT_GE(platform_->bands_drawn, 4);
    ASSERT_FALSE(platform_->placements.empty());
    uint32_t text_w = 0, text_h = 0;
    if (platform_->MeasureText(kStatisticsSizingSample, &text_w, &text_h)) {
        EXPECT_EQ(platform_->placements[0].width, text_w + 8);
        EXPECT_EQ(platform_->placements[0].height, 48 + text_h);
    }
}

// Placement with the band, on a recording platform.
TEST(StatisticsBand, WidensANarrowWindowAndKeepsThePictureCentredUnderIt) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    ScriptedPlatform platform;
    uint32_t text_w = 0, text_h = 0;
    ASSERT_TRUE(platform.MeasureText(kStatisticsSizingSample, &text_w, &text_h))
        << "the band's font is missing";
    PlayerState s;
    s.platform = &platform;
    s.options.show_statistics = true;
    s.options.x = 0;
    s.options.y = 0;
    PlaceWindowWithBand(s, 10, 20, 64, 48);
    ASSERT_EQ(platform.placements.size(), 1u);
    EXPECT_EQ(platform.placements[0].width, text_w + 8);
    EXPECT_EQ(platform.placements[0].height, 48 + text_h);
    EXPECT_EQ(s.options.x, static_cast<int32_t>(((text_w + 8 - 64) / 2) & ~3u));
    EXPECT_EQ(s.options.y, static_cast<int32_t>(text_h));
    EXPECT_EQ(s.stats_rect.top, 0);
    EXPECT_EQ(s.stats_rect.bottom, static_cast<int32_t>(text_h));
    EXPECT_EQ(s.stats_rect.right, static_cast<int32_t>(text_w + 8));

    // A window wider than the line keeps its width and the picture's x.
    PlayerState wide;
    wide.platform = &platform;
    wide.options.show_statistics = true;
    wide.options.x = 0;
    wide.options.y = 0;
    PlaceWindowWithBand(wide, 0, 0, 2000, 100);
    EXPECT_EQ(platform.placements[1].width, 2000u);
    EXPECT_EQ(wide.options.x, 0);
}

}  // namespace
}  // namespace zarn
