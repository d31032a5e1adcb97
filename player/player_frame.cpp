// The per-frame step, the window placement with the statistics band, and the
// statistics line.
#include <cstdio>

#include "display/display_target.h"
#include "engine/changed_rects.h"
#include "engine/copy_to_buffer.h"
#include "engine/frame_control.h"
#include "engine/movie.h"
#include "engine/playback_stats.h"
#include "player/player_session.h"
#include "player/summary_text.h"

namespace zarn {

void PlaceWindowWithBand(PlayerState& s, int32_t x, int32_t y, uint32_t width, uint32_t height) {
    if (s.options.show_statistics) {
        uint32_t text_w = 0, text_h = 0;
        s.platform->MeasureText(kStatisticsSizingSample, &text_w, &text_h);
        const uint32_t band_w = text_w + 8, band_h = text_h;
        if (width < band_w) {
            s.options.x += static_cast<int32_t>(((band_w - width) / 2) & ~3u);
            width = band_w;
        }
        s.stats_rect.left = 0;
        s.stats_rect.top = s.options.y;
        s.stats_rect.right = static_cast<int32_t>(width);
        s.stats_rect.bottom = s.options.y + static_cast<int32_t>(band_h);
        s.options.y += static_cast<int32_t>(band_h);
        height += band_h;
    }
    s.platform->PlaceWindow(x, y, width, height);
    // Size events for this size are the player's own, not the user's.
    s.platform->ClientSize(&s.placed_width, &s.placed_height);
}

void DrawStatisticsLine(PlayerState& s) {
    RealtimeStats stats{};
    GetRealtimeStats(*s.video.movie, &stats, 0);
    s.platform->DrawBand(s.stats_rect, StatisticsLine(stats).c_str());
}

void PerFrameStep(PlayerState& s) {
    Movie* movie = s.video.movie;
    DisplayTarget* target = s.target;
    s.no_black_fill = false;
    if (DoFrame(movie) != 0) {
        // The file ended before this frame: every frame read before it has
        // been shown. Say so, end this video as "." does, exit 1 at the end.
        const uint32_t frame = movie->current_frame.load();
        std::fprintf(stderr, "zarnplay: %s: the file ended early, at frame %u of %u\n",
                     s.playing_name.c_str(), frame, movie->frame_count);
        s.ended_early = true;
        s.skip_request = true;
        return;
    }
    if (target) {
        if (LockDisplayTarget(target)) {
            CopyToBuffer(movie, target->buffer, target->pitch, target->source_height, 0, 0,
                         target->copy_flags);
            UnlockDisplayTarget(target);
        }
        const int32_t n = GetRects(*movie, target->copy_flags);
        BlitDisplayTarget(target, movie->rects, n);
    }
    if (movie->current_frame.load() == movie->frame_count) {
        if (--s.options.loop_count == 0)
            s.skip_request = true;
        else
            NextFrame(movie);
    } else {
        NextFrame(movie);
    }
    if (s.options.show_statistics) DrawStatisticsLine(s);
    DrawOnScreenLine(s);
    if (s.user_paused) Pause(movie, 1);
}

}  // namespace zarn
