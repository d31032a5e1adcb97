// The on-screen line: a short text over the bottom of the picture after a
// seek, a pause or a volume change (and on "o"), gone after 1.5 s. It is
// drawn on the window, never into the picture's memory; when it goes, the
// whole picture is copied and shown again over it.
#include <cstdio>

#include "display/display_target.h"
#include "engine/copy_to_buffer.h"
#include "engine/engine_clock.h"
#include "engine/movie.h"
#include "player/player_session.h"

namespace zarn {
namespace {

constexpr uint32_t kOnScreenMs = 1500;
constexpr uint32_t kCopyWhole = 0x80000000u;

std::string Clock(uint64_t seconds) {
    char text[32];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%u:%02u:%02u", unsigned(seconds / 3600),
                      unsigned(seconds / 60 % 60), unsigned(seconds % 60));
    else
        std::snprintf(text, sizeof text, "%02u:%02u", unsigned(seconds / 60), unsigned(seconds % 60));
    return text;
}

}  // namespace

void RedrawPicture(PlayerState& s) {
    DisplayTarget* t = s.target;
    Movie* m = s.video.movie;
    if (!t || !m || m->decoded_frame == 0) return;
    if (LockDisplayTarget(t)) {
        CopyToBuffer(m, t->buffer, t->pitch, t->source_height, 0, 0,
                     t->copy_flags | kCopyWhole | kFlagNeverSkip);
        UnlockDisplayTarget(t);
    }
    BlitDisplayTarget(t, nullptr, 1);
}

uint32_t FrameOnScreen(const Movie& m) {
    // Right after a seek nothing is decoded yet: the frame about to be.
    const uint32_t frame = m.decoded_frame != 0 ? m.decoded_frame : m.current_frame.load();
    return frame != 0 ? frame : 1;
}

std::string PositionText(const Movie& m) {
    if (m.source_rate_num == 0) return "";
    const uint64_t shown = FrameOnScreen(m) - 1;
    const uint64_t at = shown * m.source_rate_den / m.source_rate_num;
    const uint64_t length = uint64_t{m.frame_count} * m.source_rate_den / m.source_rate_num;
    return Clock(at) + " / " + Clock(length);
}

void ShowOnScreen(PlayerState& s, const std::string& text) {
    if (s.closing_screen || !s.target) return;
    s.on_screen_text = text;
    s.on_screen_until = EngineClock() + kOnScreenMs;
    s.on_screen_shown = true;
    DrawOnScreenLine(s);
}

void ExpireOnScreenLine(PlayerState& s) {
    if (!s.on_screen_shown || static_cast<int32_t>(EngineClock() - s.on_screen_until) < 0) return;
    s.on_screen_shown = false;
    RedrawPicture(s);
}

void DrawOnScreenLine(PlayerState& s) {
    if (!s.on_screen_shown || !s.target) return;
    uint32_t w = 0, h = 0;
    if (!s.platform->MeasureText(s.on_screen_text.c_str(), &w, &h)) return;
    const DisplayTarget& t = *s.target;
    const int32_t left = t.window_x, right = t.window_x + static_cast<int32_t>(t.dest_width);
    const int32_t bottom = t.window_y + static_cast<int32_t>(t.dest_height);
    const int32_t width = static_cast<int32_t>(w) + 8;
    BandRect band;
    band.left = left + ((right - left) - width) / 2;
    band.right = band.left + width;
    band.bottom = bottom - 4;
    band.top = band.bottom - static_cast<int32_t>(h);
    if (band.top < t.window_y) return;  // no room over a picture this small
    s.platform->DrawBand(band, s.on_screen_text.c_str());
}

}  // namespace zarn
