// The closing screen: the stored one-frame picture shown for a moment after
// the last video.
#include "display/display_target.h"
#include "engine/engine_clock.h"
#include "engine/movie.h"
#include "format/zarn_format.h"
#include "engine/playback_stats.h"
#include "player/player_session.h"

namespace zarn {

std::string ClosingScreenLink(const std::string& web_page) {
    if (web_page.rfind("file:", 0) == 0) return web_page;
    return web_page + kWebPageQuery;
}

void ClosingScreenStep(PlayerState& s) {
    Platform& p = *s.platform;
    PlayerOptions& o = s.options;
    if (s.video.movie) GetSummary(s.video.movie, &s.summary_record);
    s.on_screen_shown = false;
    // The closing picture shows in the window, as it was before full screen.
    if (s.full_screen && p.SetFullScreen(false)) s.full_screen = false;
    Movie* picture = s.closing_picture.image ? OpenMovieFromImage(s.closing_picture.image,
                                                                  s.closing_picture.size, kFlagFromMemory)
                                             : nullptr;
    CloseNamedVideo(&s.video);
    s.closing_screen = true;
    if (!picture) {
        s.closing_deadline = 0;
        return;
    }
    s.video.movie = picture;
    p.FillBlack();
    o.loop_count = -1;
    s.closing_deadline = EngineClock() + kClosingScreenMs;
    o.show_statistics = false;
    s.user_paused = 0;

    if (!s.target || s.target->source_width < picture->width || s.target->source_height < picture->height) {
        uint32_t screen_w = 0, screen_h = 0;
        p.ScreenSize(&screen_w, &screen_h);
        if (s.target) {
            screen_w = s.target->screen_width;
            screen_h = s.target->screen_height;
        }
        if ((o.display_flags & kTargetChangeMode) &&
            (screen_w < picture->width || screen_h < picture->height)) {
            o.display_flags &= ~kTargetChangeMode;
            if (s.target) CloseDisplayTarget(s.target);
            s.target = nullptr;
            o.black_background = false;
        }
        DisplayTarget* fresh =
            OpenDisplayTarget(p.Window(), picture->width, picture->height, o.display_flags);
        if (!fresh) {
            CloseMovie(picture);
            s.video.movie = nullptr;
            return;
        }
        if (s.target) CloseDisplayTarget(s.target);
        s.target = fresh;
        if (!o.black_background) {
            p.PlaceWindow((static_cast<int32_t>(screen_w) - static_cast<int32_t>(picture->width)) / 2,
                          (static_cast<int32_t>(screen_h) - static_cast<int32_t>(picture->height)) / 2,
                          fresh->outer_width, fresh->outer_height);
            o.x = 0;
            o.y = 0;
        }
    } else {
        ClearDisplayTarget(s.target);
    }
    DisplayTarget& t = *s.target;
    // A larger target left from the video shows the picture in its middle.
    SetDisplayPicture(&t, picture->width, picture->height);
    ScaleClassesFor(&t, t.source_width, t.source_height);
    o.x += static_cast<int32_t>(t.source_width - picture->width) / 2;
    o.y += static_cast<int32_t>(t.source_height - picture->height) / 2;
    SetDisplayPosition(&t, o.x, o.y);
}

}  // namespace zarn
