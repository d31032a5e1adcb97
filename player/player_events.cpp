// The window's events: destruction, focus, painting, moves, keys and clicks.
#include <algorithm>

#include "display/display_target.h"
#include "engine/audio_queue.h"
#include "engine/frame_control.h"
#include "engine/movie.h"
#include "player/player_session.h"

namespace zarn {
namespace {

constexpr uint32_t kKeyEnter = 13, kKeyEscape = 27, kKeySpace = 32, kKeySkip = 46;
// Keys the player adds to those above: pause, quit, step one frame, the
// volume down, up and muted, and the on-screen line.
constexpr uint32_t kKeyPause = 'p', kKeyQuit = 'q', kKeyStep = 's';
constexpr uint32_t kKeyQuieter = '9', kKeyLouder = '0', kKeyMute = 'm', kKeyShowLine = 'o';
constexpr uint32_t kKeyFullScreen = 'f';
constexpr uint32_t kDisablePause = 1, kDisableSkip = 2, kDisableQuit = 4;

void PauseIfOpen(PlayerState& s, int32_t on) {
    if (s.video.movie) Pause(s.video.movie, on);
}

std::string VolumeText(const PlayerState& s) {
    return s.muted ? "Muted" : "Volume " + std::to_string(s.volume_percent) + "%";
}

// Position, and "Paused" while paused.
std::string StateText(const PlayerState& s) {
    std::string text = s.video.movie ? PositionText(*s.video.movie) : "";
    if (s.user_paused) text = "Paused  " + text;
    return text;
}

void ChangeVolume(PlayerState& s, int32_t step) {
    if (step != 0) {
        s.muted = false;
        const int32_t v = static_cast<int32_t>(s.volume_percent) + step;
        s.volume_percent = static_cast<uint32_t>(v < 0 ? 0 : (v > 100 ? 100 : v));
    } else {
        s.muted = !s.muted;
    }
    ApplyVolume(s);
    ShowOnScreen(s, VolumeText(s));
}

// Shows the frame the movie is positioned on at once, while paused: the
// per-frame step leaves the movie paused again.
void ShowWhilePaused(PlayerState& s) {
    if (s.user_paused && s.video.movie) PerFrameStep(s);
}

// Seconds of the video as frames.
int64_t FramesIn(const Movie& m, int64_t seconds) {
    if (m.source_rate_den == 0) return 0;
    return seconds * m.source_rate_num / m.source_rate_den;
}

// Right/Left 5 s, Up/Down 60 s, Home the start; the same while paused.
void HandleSeekKey(PlayerState& s, uint32_t key) {
    if (!s.video.movie || s.closing_screen || (s.options.disabled_controls & kDisableSkip)) return;
    Movie& m = *s.video.movie;
    int64_t target = FrameOnScreen(m);
    switch (key) {
    case kKeyRight: target += FramesIn(m, 5); break;
    case kKeyLeft: target -= FramesIn(m, 5); break;
    case kKeyUp: target += FramesIn(m, 60); break;
    case kKeyDown: target -= FramesIn(m, 60); break;
    case kKeyHome: target = 1; break;
    default: return;
    }
    target = std::clamp<int64_t>(target, 1, m.frame_count);
    SeekToFrame(&m, static_cast<uint32_t>(target));
    ShowWhilePaused(s);
    if (s.video.movie) ShowOnScreen(s, StateText(s));
}

void HandleKey(PlayerState& s, uint32_t code) {
    const uint32_t disabled = s.options.disabled_controls;
    switch (code) {
    case kKeyEnter:
        if (!(disabled & kDisablePause)) PauseIfOpen(s, 0);
        break;
    case kKeySpace:
        if (!(disabled & kDisablePause)) {
            s.user_paused = ~s.user_paused;
            PauseIfOpen(s, s.user_paused);
            if (s.user_paused) ShowOnScreen(s, StateText(s));
        }
        break;
    case kKeySkip:
        if (!(disabled & kDisableSkip) && !s.closing_screen) s.skip_request = true;
        break;
    case kKeyPause: HandleKey(s, kKeySpace); break;
    case kKeyQuit: HandleKey(s, kKeyEscape); break;
    case kKeyStep:
        if ((disabled & kDisablePause) || s.closing_screen || !s.video.movie) break;
        if (!s.user_paused) {
            s.user_paused = ~0;
            PauseIfOpen(s, s.user_paused);
        }
        ShowWhilePaused(s);
        ShowOnScreen(s, StateText(s));
        break;
    case kKeyQuieter: ChangeVolume(s, -10); break;
    case kKeyLouder: ChangeVolume(s, 10); break;
    case kKeyMute: ChangeVolume(s, 0); break;
    case kKeyFullScreen: ToggleFullScreen(s); break;
    case kKeyShowLine:
        if (s.video.movie) ShowOnScreen(s, StateText(s) + "  " + VolumeText(s));
        break;
    case kKeyEscape:
        if (disabled & kDisableQuit) break;
        s.list_passes = 1;
        s.list_text.clear();
        s.exit_state = s.closing_screen ? 2 : 1;
        if (!s.closing_screen && s.video.movie) GetSummary(s.video.movie, &s.summary_record);
        PauseIfOpen(s, 0);
        break;
    default: break;
    }
}

// The window moved: the picture's place on the screen goes through the
// target's alignment, and the window follows the corrected place.
void HandleMove(PlayerState& s, int32_t window_x, int32_t window_y) {
    if (!s.target) return;
    int32_t x = window_x + s.options.x, y = window_y + s.options.y;
    AdjustDisplayPosition(s.target, &x, &y);
    x -= s.options.x;
    y -= s.options.y;
    if (x != window_x || y != window_y) s.platform->MoveWindow(x, y);
    SetDisplayPosition(s.target, s.options.x, s.options.y);
}

}  // namespace

void ApplyVolume(PlayerState& s) {
    if (!s.video.movie || s.closing_screen) return;
    // The back ends' own scales: waveOut 0..65535, the default 0..32767.
    const uint32_t full = s.options.use_waveout ? 65535 : 32767;
    SetSoundVolume(s.video.movie, s.muted ? 0 : full * s.volume_percent / 100);
}

void HandleEvent(PlayerState& s, const PlayerEvent& event) {
    Platform& p = *s.platform;
    switch (event.kind) {
    case EventKind::kQuit: break;
    case EventKind::kFocusGained:
        if (!s.options.keep_playing_unfocused) {
            PauseIfOpen(s, s.user_paused);
            s.focused = true;
        }
        break;
    case EventKind::kFocusLost:
        if (!s.options.keep_playing_unfocused) {
            PauseIfOpen(s, 1);
            s.focused = false;
        }
        break;
    case EventKind::kPaint:
        if (!s.no_black_fill) p.FillBlack();
        if (s.target) BlitDisplayTarget(s.target, nullptr, 1);
        break;
    case EventKind::kMoved: HandleMove(s, event.x, event.y); break;
    case EventKind::kChar: HandleKey(s, event.code); break;
    case EventKind::kClick:
        if (s.closing_screen)
            p.OpenUrl(ClosingScreenLink(s.web_page).c_str());
        else if (event.code == 2)
            ToggleFullScreen(s);
        break;
    case EventKind::kResized:
        // Back at the placed size (out of full screen): the picture is fitted again too.
        if (s.full_screen || s.picture_refitted || event.x != static_cast<int32_t>(s.placed_width) ||
            event.y != static_cast<int32_t>(s.placed_height))
            FitPicture(s, static_cast<uint32_t>(event.x), static_cast<uint32_t>(event.y));
        break;
    case EventKind::kKey: HandleSeekKey(s, event.code); break;
    case EventKind::kWheel:
        if (!s.closing_screen) ChangeVolume(s, event.y > 0 ? 10 : -10);
        break;
    }
}

}  // namespace zarn
