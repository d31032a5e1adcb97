// The window's events: destruction, focus, painting, moves, keys and clicks.
#include <algorithm>

#include "display/display_target.h"
#include "engine/frame_control.h"
#include "engine/movie.h"
#include "player/player_session.h"

namespace zarn {
namespace {

constexpr uint32_t kKeyEnter = 13, kKeyEscape = 27, kKeySpace = 32, kKeySkip = 46;
// Keys the player adds to those above: pause, quit and step one frame.
constexpr uint32_t kKeyPause = 'p', kKeyQuit = 'q', kKeyStep = 's';
constexpr uint32_t kDisablePause = 1, kDisableSkip = 2, kDisableQuit = 4;

void PauseIfOpen(PlayerState& s, int32_t on) {
    if (s.video.movie) Pause(s.video.movie, on);
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
    // The frame on screen: the last one decoded (none yet: the first).
    const int64_t shown = m.decoded_frame != 0 ? m.decoded_frame : 1;
    int64_t target = shown;
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
        }
        break;
    case kKeySkip:
        if (!(disabled & kDisableSkip) && !s.closing_screen) s.skip_request = true;
        break;
    case kKeyPause:
        HandleKey(s, kKeySpace);
        break;
    case kKeyQuit:
        HandleKey(s, kKeyEscape);
        break;
    case kKeyStep:
        if ((disabled & kDisablePause) || s.closing_screen || !s.video.movie) break;
        if (!s.user_paused) {
            s.user_paused = ~0;
            PauseIfOpen(s, s.user_paused);
        }
        ShowWhilePaused(s);
        break;
    case kKeyEscape:
        if (disabled & kDisableQuit) break;
        s.list_passes = 1;
        s.list_text.clear();
        s.exit_state = s.closing_screen ? 2 : 1;
        if (!s.closing_screen && s.video.movie) GetSummary(s.video.movie, &s.summary_record);
        PauseIfOpen(s, 0);
        break;
    default:
        break;
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

void HandleEvent(PlayerState& s, const PlayerEvent& event) {
    Platform& p = *s.platform;
    switch (event.kind) {
    case EventKind::kQuit:
        break;
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
    case EventKind::kMoved:
        HandleMove(s, event.x, event.y);
        break;
    case EventKind::kChar:
        HandleKey(s, event.code);
        break;
    case EventKind::kClick:
        if (s.closing_screen) p.OpenUrl((s.web_page + kWebPageQuery).c_str());
        break;
    case EventKind::kKey:
        HandleSeekKey(s, event.code);
        break;
    }
}

}  // namespace zarn
