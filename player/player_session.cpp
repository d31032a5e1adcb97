// Start-up, playing each video of the list, the message loop and shutdown.
#include "player/player_session.h"

#include <algorithm>
#include <cstdio>
#include <thread>

#include "display/display_target.h"
#include "engine/engine_clock.h"
#include "engine/engine_settings.h"
#include "engine/frame_control.h"
#include "engine/last_error.h"
#include "engine/movie.h"
#include "engine/playback_stats.h"
#include "format/zarn_format.h"
#include "player/help_text.h"
#include "player/quick_play.h"
#include "player/size_classification.h"
#include "player/summary_text.h"
#include "sound/default_sound_system.h"

namespace zarn {
namespace {

constexpr const char* kErrorTitle = "Zarn Error";
constexpr const char* kSummaryTitle = "Zarn Playback Summary";
constexpr const char* kWindowTitle = "Windows";
constexpr const char* kWindowError = "Error creating window.";

enum class VideoEnd { kNext, kShutdown, kFailed };

// The largest picture side the player shows, as the largest a file may hold.
constexpr uint32_t kLargestShownSide = 16384;

bool NamesRemain(const std::string& list) {
    std::string copy = list;
    return !NextName(copy).empty();
}

// The options that reach the engine before each open.
void HandEngineSettings(const PlayerOptions& o) {
    if (o.rate_override_num != -1 && o.rate_override_den != -1)
        SetFrameRateOverride(static_cast<uint32_t>(o.rate_override_num),
                             static_cast<uint32_t>(o.rate_override_den));
    if (o.track_choice != 0) SetSoundTrack(static_cast<uint32_t>(o.track_choice));
    if (o.read_speed != 0) SetSimulatedReadSpeed(static_cast<uint32_t>(o.read_speed));
    if (o.read_buffer != -1) SetReadAheadSize(static_cast<uint32_t>(o.read_buffer));
}

// The engine doubles lines or columns itself instead of a stretching blit.
void ChooseEngineDoubling(PlayerState& s, Movie& movie) {
    if (DisplayOption(movie.flags) != 0) return;
    const uint32_t pw = s.picture_width, ph = s.picture_height;
    const uint32_t mw = movie.width, mh = movie.height;
    uint32_t option = 0;
    if (pw == mw && ph == 2 * mh) {
        option = 1;
        movie.height *= 2;
    } else if (pw == 2 * mw && ph == mh) {
        option = 3;
        movie.width *= 2;
    } else if (pw == 2 * mw && ph == 2 * mh) {
        option = 4;
        movie.width *= 2;
        movie.height *= 2;
    }
    if (option == 0) return;
    s.options.display_flags &= ~kTargetClassMask;
    movie.flags |= option << kDisplayOptionShift;
}

void ScreenOf(const PlayerState& s, uint32_t* w, uint32_t* h) {
    *w = s.options.screen_width;
    *h = s.options.screen_height;
    if (*w == 0 || *h == 0) s.platform->ScreenSize(w, h);
}

VideoEnd FailWith(PlayerState& s, const std::string& text) {
    Tell(*s.platform, kErrorTitle, text, MessageIcon::kError);
    s.platform->DestroyWindow();
    return VideoEnd::kFailed;
}

// Opens the video, its display target, and places and shows the window.
VideoEnd StartVideo(PlayerState& s, const std::string& name) {
    Platform& p = *s.platform;
    PlayerOptions& o = s.options;
    HandEngineSettings(o);
    s.playing_name = name;
    s.video = OpenNamedVideo(ClassifyName(name), o.open_flags);
    if (!s.video.movie) return FailWith(s, EngineLastError());
    Movie& movie = *s.video.movie;
    // A free second core decodes chroma beside luma; the picture is the
    // same, and without the thread playback simply stays on one. Files with
    // no chroma offset word, and grey ones, would leave the thread idle.
    const bool chroma_apart = (movie.flags & (kFlagVersionH | kFlagGreyScale)) == 0;
    if (chroma_apart && std::thread::hardware_concurrency() >= 2) SetDecodeThreads(&movie, 2);
    if (o.start_num > 0 && o.start_den > 0 && movie.source_rate_den != 0) {
        const uint64_t frames =
            uint64_t(o.start_num) * movie.source_rate_num / (uint64_t(o.start_den) * movie.source_rate_den);
        SeekToFrame(&movie, static_cast<uint32_t>(std::min<uint64_t>(frames + 1, movie.frame_count)));
    }

    uint32_t screen_w = 0, screen_h = 0;
    ScreenOf(s, &screen_w, &screen_h);
    FitLargeVideoToScreen(o, movie.width, movie.height, screen_w, screen_h);
    uint32_t h_bits = 0, v_bits = 0;
    s.picture_width =
        ClassifySize(o.width_num, o.width_den, movie.width, screen_w, kHorizontalClassBase, &h_bits);
    s.picture_height =
        ClassifySize(o.height_num, o.height_den, movie.height, screen_h, kVerticalClassBase, &v_bits);
    if (s.picture_width > kLargestShownSide || s.picture_height > kLargestShownSide) {
        // A window and a surface that size would take gigabytes, if they
        // could be made at all.
        const std::string text = "Picture size " + std::to_string(s.picture_width) + " x " +
                                 std::to_string(s.picture_height) + " is too large to show (at most " +
                                 std::to_string(kLargestShownSide) + " pixels a side).";
        CloseNamedVideo(&s.video);
        return FailWith(s, text);
    }
    o.width_num = static_cast<int32_t>(s.picture_width);
    o.height_num = static_cast<int32_t>(s.picture_height);
    o.display_flags |= h_bits | v_bits;
    ChooseEngineDoubling(s, movie);
    if (o.black_background || o.show_statistics) s.no_black_fill = false;

    s.target = OpenDisplayTarget(p.Window(), movie.width, movie.height, o.display_flags);
    if (s.previous_target) {
        CloseDisplayTarget(s.previous_target);
        s.previous_target = nullptr;
        if (!s.target) s.target = OpenDisplayTarget(p.Window(), movie.width, movie.height, o.display_flags);
    }
    if (!s.target) {
        p.HideWindow();
        const std::string text = DisplayLastError();
        CloseNamedVideo(&s.video);
        return FailWith(s, text);
    }
    DisplayTarget& t = *s.target;
    ScaleClassesFor(&t, s.picture_width, s.picture_height);

    const int32_t sw = static_cast<int32_t>(t.screen_width), sh = static_cast<int32_t>(t.screen_height);
    const int32_t ow = static_cast<int32_t>(t.outer_width), oh = static_cast<int32_t>(t.outer_height);
    if (o.x == kCentredPosition) {
        o.x = ow > sw ? -t.client_offset_x : ((sw - ow) / 2) & ~3;
        o.y = oh > sh ? -t.client_offset_y : (sh - oh) / 2;
    }
    if (o.black_background) {
        AdjustDisplayPosition(&t, &o.x, &o.y);
        PlaceWindowWithBand(s, -t.client_offset_x, -t.client_offset_y, t.screen_width + t.border_width,
                            t.screen_height + t.border_height);
    } else {
        const int32_t wx = o.x, wy = o.y;
        o.x = 0;
        o.y = 0;
        PlaceWindowWithBand(s, wx, wy, t.outer_width, t.outer_height);
    }
    p.ShowWindow();
    s.focused = true;  // showing the window activates it
    if (s.muted || s.volume_percent != 100) ApplyVolume(s);
    if (s.full_screen) {
        uint32_t w = 0, h = 0;
        p.ClientSize(&w, &h);
        FitPicture(s, w, h);
    }
    SetDisplayPosition(&t, o.x, o.y);
    const uint32_t option = DisplayOption(movie.flags);
    if (option == 2 || option == 5 || option == 6) {
        s.no_black_fill = false;
        p.RequestPaint();
    }
    return VideoEnd::kNext;
}

// Sleeps off the idle counter in slices of at most 10 ms; the time actually
// slept is paid off, and the counter may run up to 100 ms into credit.
void PayIdle(int32_t* idle) {
    if (*idle <= 0) return;
    const uint32_t before = EngineClock();
    EngineSleep(static_cast<uint32_t>(std::min(*idle, 10)));
    *idle += static_cast<int32_t>(before - EngineClock());
    if (*idle < -100) *idle = -100;
}

VideoEnd MessageLoop(PlayerState& s) {
    Platform& p = *s.platform;
    int32_t idle = 0;
    for (;;) {
        PlayerEvent event;
        if (p.PollEvent(&event)) {
            if (event.kind == EventKind::kQuit) {
                // The window closed during playback: the summary covers
                // what was played up to now, as after Escape.
                if (!s.closing_screen && s.video.movie) GetSummary(s.video.movie, &s.summary_record);
                return VideoEnd::kShutdown;
            }
            HandleEvent(s, event);
            continue;
        }
        Movie* movie = s.video.movie;
        if (movie && ShouldWait(movie) != 0 && s.exit_state != 1) {
            idle += 1;
        } else if (movie) {
            if (s.skip_request || s.exit_state == 1) {
                // A quit during playback also ends the closing screen at once.
                if (s.exit_state == 1) s.exit_state = 2;
                s.skip_request = false;
                Pause(movie, 1);
                if (NamesRemain(s.list_text)) return VideoEnd::kNext;
                if (--s.list_passes != 0) {
                    s.list_text = s.saved_list;
                    return VideoEnd::kNext;
                }
                ClosingScreenStep(s);
            }
            if (s.video.movie) PerFrameStep(s);
        }
        ExpireOnScreenLine(s);
        if (s.user_paused || (!s.focused && !s.options.keep_playing_unfocused)) idle += 5;
        PayIdle(&idle);
        if (s.closing_screen && (static_cast<int32_t>(EngineClock() - s.closing_deadline) > 0 ||
                                 !s.video.movie || s.exit_state == 2))
            p.DestroyWindow();
    }
}

void EndVideo(PlayerState& s) {
    s.on_screen_shown = false;
    CloseNamedVideo(&s.video);
    s.previous_target = s.target;
    s.target = nullptr;
    s.options.loop_count = 1;
    if (!s.options.black_background) s.platform->WindowPosition(&s.options.x, &s.options.y);
}

int Shutdown(PlayerState& s) {
    std::string text;
    if (s.options.show_summary) {
        DisplaySummary display;
        if (s.target) {
            display.blit_style_name = BlitStyleName(s.target);
            display.screen_width = s.target->screen_width;
            display.screen_height = s.target->screen_height;
            display.bits_per_pixel = s.target->display_bits;
        } else {
            display.blit_style_name = "None";
        }
        text = SummaryText(s.summary_record, display);
        if (text.empty()) s.options.show_summary = false;
    }
    CloseNamedVideo(&s.video);
    if (s.target) CloseDisplayTarget(s.target);
    if (s.previous_target) CloseDisplayTarget(s.previous_target);
    s.target = s.previous_target = nullptr;
    if (s.options.show_summary) {
        EngineSleep(10);
        Tell(*s.platform, kSummaryTitle, text, MessageIcon::kInformation);
    }
    return 0;
}

}  // namespace

void Tell(Platform& platform, const char* title, const std::string& text, MessageIcon icon) {
    std::FILE* stream = icon == MessageIcon::kError ? stderr : stdout;
    std::fputs(text.c_str(), stream);
    if (text.empty() || text.back() != '\n') std::fputc('\n', stream);
    std::fflush(stream);
    platform.ShowMessage(title, text.c_str(), icon);
}

int RunPlayer(Platform& platform, int argc, const char* const* argv, const ClosingPicture& closing_picture,
              const std::string& web_page) {
    PlayerState s;
    s.platform = &platform;
    s.closing_picture = closing_picture;
    s.web_page = web_page;
    // The conventions of other programs: never taken as video names.
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--version") {
            std::printf("zarnplay %s\n", ZARN_VERSION);
            return 0;
        }
        if (arg == "--help" || arg == "-h") {
            Tell(platform, kHelpTitle, HelpText(), MessageIcon::kInformation);
            return 1;
        }
    }
    std::string text = BuildCommandText(StoredDefaultCommand(), argc, argv, QuickPlayFromEnvironment());
    uint32_t screen_w = 0, screen_h = 0;
    platform.ScreenSize(&screen_w, &screen_h);
    ParseResult parsed = ParseSwitches(text, screen_w, screen_h);
    if (parsed.show_help) {
        Tell(platform, kHelpTitle, HelpText(), MessageIcon::kInformation);
        return 1;
    }
    s.options = parsed.options;
    if (s.options.display_mode_width != 0)
        RequestDisplayMode(s.options.display_mode_width, s.options.display_mode_height,
                           s.options.display_mode_depth);
    s.no_black_fill = true;
    WindowRequest request;
    request.style = s.options.window_style;
    request.always_on_top = s.options.always_on_top != 0;
    request.hide_cursor = s.options.hide_cursor;
    request.parent_window = s.options.parent_window;
    if (!platform.CreateWindow(request)) {
        Tell(platform, kWindowTitle, kWindowError, MessageIcon::kError);
        return 1;
    }
    SetSoundSystem(DefaultSoundSystem(s.options.use_waveout), nullptr);

    s.list_text = text;
    s.saved_list = text;
    std::string name = NextName(s.list_text);
    if (!name.empty() && NamesRemain(s.list_text)) {
        s.list_passes = s.options.loop_count;
        s.options.loop_count = 1;
    }
    while (!name.empty()) {
        VideoEnd end = StartVideo(s, name);
        if (end == VideoEnd::kFailed) return 1;
        end = MessageLoop(s);
        if (end == VideoEnd::kShutdown) break;
        EndVideo(s);
        name = NextName(s.list_text);
    }
    const int code = Shutdown(s);
    return s.ended_early ? 1 : code;
}

}  // namespace zarn
