// The player program in-process, headless, with a scripted event source: the
// real SDL platform on the dummy drivers, with events injected by time or by
// what the window has been asked to do.
#include <gtest/gtest.h>
#include <SDL.h>

#include <csignal>

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

constexpr const char* kPage = "https://zarn.invalid/zarnplay";

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
        if (band_texts.empty() || band_texts.back() != t) band_texts.push_back(t);
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
    std::vector<std::string> band_texts;  // each text drawn, repeats left out
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
        return files_.back()->Path();
    }

    int Run(std::vector<std::string> args) {
        args.insert(args.begin(), "zarnplay");
        std::vector<const char*> argv;
        for (const std::string& a : args) argv.push_back(a.c_str());
        const ClosingPicture picture{kClosingPicture, kClosingPictureSize};
        const int code = RunPlayer(*platform_, static_cast<int>(argv.size()), argv.data(), picture, page_);
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
    std::string page_ = kPage;  // the link the player is given
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

// Closing the window, SIGINT or SIGTERM during playback end the player as
// Escape does: the summary covers the frames played so far.
TEST_F(PlayerSession, ClosingTheWindowOrASignalStillTellsTheSummary) {
    const std::string& v = Video(64, 48, 100);
    const std::vector<std::function<void(ScriptedPlatform&, std::vector<PlayerEvent>*)>> enders = {
        [](ScriptedPlatform&, std::vector<PlayerEvent>* out) { out->push_back(Of(EventKind::kQuit)); },
        [](ScriptedPlatform&, std::vector<PlayerEvent>*) { std::raise(SIGINT); },
        [](ScriptedPlatform&, std::vector<PlayerEvent>*) { std::raise(SIGTERM); }};
    for (size_t i = 0; i < enders.size(); ++i) {
        platform_.reset();  // one SDL platform at a time
        platform_ = std::make_unique<ScriptedPlatform>();
        auto sent = std::make_shared<bool>(false);
        platform_->script = [sent, end = enders[i]](ScriptedPlatform& p, std::vector<PlayerEvent>* out) {
            if (!*sent && p.Elapsed() >= 200) {
                *sent = true;
                end(p, out);
            }
        };
        EXPECT_EQ(Run({"/S", v}), 0) << i;
        EXPECT_EQ(platform_->ClosingShownAt(), 0u) << i;
        ASSERT_EQ(platform_->messages.size(), 1u) << i;
        EXPECT_EQ(platform_->messages[0].title, "Zarn Playback Summary");
        const uint32_t played = Figure(platform_->messages[0].text, "Total frames played: ");
        EXPECT_GE(played, 2u) << i;
        EXPECT_LT(played, 50u) << i;
    }
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
    EXPECT_GE(closing, 350u);                             // played to its end: not paused, skipped or quit
    EXPECT_GE(platform_->destroyed_at - closing, 2200u);  // Escape ignored there too
}

TEST_F(PlayerSession, ClickOpensThePageOnlyOnTheClosingScreen) {
    const std::string& v = Video(64, 48, 5);
    platform_->script =
        Once(After(30), {Of(EventKind::kClick)}, Once(OnClosingScreen(50), {Of(EventKind::kClick), Key(27)}));
    EXPECT_EQ(Run({v}), 0);
    EXPECT_EQ(platform_->urls, (std::vector<std::string>{std::string(kPage) + kWebPageQuery}));
}

TEST_F(PlayerSession, AFileLinkOpensWithoutTheQuery) {
    page_ = "file:///usr/share/doc/zarn/README.md";
    platform_->script = Once(OnClosingScreen(50), {Of(EventKind::kClick), Key(27)});
    EXPECT_EQ(Run({Video(64, 48, 5)}), 0);
    EXPECT_EQ(platform_->urls, (std::vector<std::string>{page_}));
}

TEST_F(PlayerSession, FocusLossPausesUntilRegained) {
    const std::string& v = Video(64, 48, 10);  // 400 ms
    platform_->script =
        Once(After(0), {Of(EventKind::kFocusLost)},
             Once(After(700), {Of(EventKind::kFocusGained)}, Once(OnClosingScreen(), {Key(27)})));
    EXPECT_EQ(Run({v}), 0);
    EXPECT_GE(platform_->ClosingShownAt(), 1000u);
}

TEST_F(PlayerSession, RegainedFocusKeepsTheSpacePause) {
    const std::string& v = Video(64, 48, 10);
    platform_->script = Once(After(0), {Key(32), Of(EventKind::kFocusLost)},
                             Once(After(100), {Of(EventKind::kFocusGained)}, Once(After(800), {Key(27)})));
    EXPECT_EQ(Run({v}), 0);
    // Still paused when Escape came: the video never reached its end.
    EXPECT_EQ(platform_->ClosingShownAt() != 0 && platform_->ClosingShownAt() < 800, false);
}

TEST_F(PlayerSession, KeepPlayingUnfocusedPlaysOn) {
    const std::string& v = Video(64, 48, 10);
    platform_->script = Once(After(0), {Of(EventKind::kFocusLost)}, Once(OnClosingScreen(), {Key(27)}));
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

// /W or /H asking for more than can be shown: a clear message at once, not
// a window of gigabytes.
TEST_F(PlayerSession, PictureTooLargeToShowIsRefusedAtOnce) {
    const std::string& v = Video(64, 48, 5);
    for (const char* size : {"/W-100000", "/W2000000000", "/H20000"}) {
        platform_.reset();
        platform_ = std::make_unique<ScriptedPlatform>();
        EXPECT_EQ(Run({size, v}), 1) << size;
        ASSERT_EQ(platform_->messages.size(), 1u) << size;
        EXPECT_EQ(platform_->messages[0].title, "Zarn Error");
        EXPECT_NE(platform_->messages[0].text.find("is too large to show"), std::string::npos)
            << platform_->messages[0].text;
        EXPECT_LT(platform_->Elapsed(), 1000u) << size;
    }
}

// The keys the player adds: Right moves 5 s (125 frames) on in a 12 s
// video played at 100 frames a second, "q" ends the closing screen like
// Escape; /O8 starts 8 s in (the last 100 frames).
TEST_F(PlayerSession, SeekKeysAndStartTimeSkipTheVideoAhead) {
    const std::string& v = Video(64, 48, 300);
    platform_->script = Once(After(200), {PlayerEvent{EventKind::kKey, kKeyRight, 0, 0}},
                             Once(OnClosingScreen(10), {Key('q')}));
    EXPECT_EQ(Run({"/S", "/F100", v}), 0);
    ASSERT_EQ(platform_->messages.size(), 1u);
    // Frames 1 to d, then d + 125 to 300: 176 whatever d was.
    EXPECT_EQ(Figure(platform_->messages[0].text, "Total frames played: "), 176u)
        << platform_->messages[0].text;

    platform_.reset();
    platform_ = std::make_unique<ScriptedPlatform>();
    platform_->script = Once(OnClosingScreen(10), {Key('q')});
    EXPECT_EQ(Run({"/S", "/F100", "/O8", v}), 0);
    ASSERT_EQ(platform_->messages.size(), 1u);
    EXPECT_EQ(Figure(platform_->messages[0].text, "Total frames played: "), 100u)
        << platform_->messages[0].text;
}

// Volume keys and the wheel, mute, pause and "o" show what they did in the
// on-screen line; a seek shows the new position.
TEST_F(PlayerSession, OnScreenLineTellsVolumePauseAndPosition) {
    const std::string& v = Video(64, 48, 300);  // 12 s
    platform_->script =
        Once(After(100), {Key('9'), Key('9'), PlayerEvent{EventKind::kWheel, 0, 0, 1}, Key('m')},
             Once(After(300), {PlayerEvent{EventKind::kKey, kKeyRight, 0, 0}, Key(' '), Key('o')},
                  Once(After(500), {Key(27)})));
    EXPECT_EQ(Run({v}), 0);
    const std::vector<std::string>& t = platform_->band_texts;
    ASSERT_GE(t.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(t.begin(), t.begin() + 4),
              (std::vector<std::string>{"Volume 90%", "Volume 80%", "Volume 90%", "Muted"}));
    EXPECT_EQ(t[4].substr(0, 5), "00:05") << t[4];
    EXPECT_EQ(t[4].substr(5), " / 00:12");
    EXPECT_EQ(t[5], "Paused  " + t[4]);
    EXPECT_EQ(t.back(), "Paused  " + t[4] + "  Muted");
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

// A key already held when the window gains the focus is no press: only a
// press made after it counts. (The dummy video driver keeps no keyboard of
// its own, so the test sets the held key in SDL's state itself.)
TEST(SdlPlatform, KeyHeldWhenTheFocusComesIsNoPress) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    std::unique_ptr<Platform> p = CreateSdlPlatform();
    ASSERT_TRUE(p->CreateWindow(WindowRequest{}));
    auto push = [](Uint32 type, SDL_Scancode code) {
        SDL_Event e{};
        e.type = type;
        if (type == SDL_WINDOWEVENT) {
            e.window.event = SDL_WINDOWEVENT_FOCUS_GAINED;
        } else {
            e.key.keysym.scancode = code;
            e.key.keysym.sym = SDL_GetKeyFromScancode(code);
        }
        SDL_PushEvent(&e);
    };
    auto drain = [&p] {
        std::vector<PlayerEvent> events;
        PlayerEvent ev;
        while (p->PollEvent(&ev)) events.push_back(ev);
        return events;
    };
    drain();
    Uint8* state = const_cast<Uint8*>(SDL_GetKeyboardState(nullptr));
    state[SDL_SCANCODE_ESCAPE] = 1;
    push(SDL_WINDOWEVENT, SDL_SCANCODE_UNKNOWN);
    push(SDL_KEYDOWN, SDL_SCANCODE_ESCAPE);
    std::vector<PlayerEvent> events = drain();
    state[SDL_SCANCODE_ESCAPE] = 0;
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, EventKind::kFocusGained);

    push(SDL_KEYUP, SDL_SCANCODE_ESCAPE);
    push(SDL_KEYDOWN, SDL_SCANCODE_ESCAPE);
    events = drain();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, EventKind::kChar);
    EXPECT_EQ(events[0].code, 27u);
}

}  // namespace
}  // namespace zarn
