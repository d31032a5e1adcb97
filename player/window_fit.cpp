// The picture in a window of another size than its own: full screen, a
// window dragged to a new size, or a video larger than the screen.
#include <algorithm>

#include "display/display_target.h"
#include "player/player_session.h"

namespace zarn {

void FitPicture(PlayerState& s, uint32_t width, uint32_t height) {
    DisplayTarget* t = s.target;
    if (!t || s.closing_screen || s.options.black_background || s.picture_width == 0 || s.picture_height == 0)
        return;
    // The statistics band, when shown, stays above the picture.
    const int32_t band = s.options.show_statistics ? s.stats_rect.bottom - s.stats_rect.top : 0;
    if (height <= static_cast<uint32_t>(band) || width == 0) return;
    const uint64_t area_w = width, area_h = height - static_cast<uint32_t>(band);
    uint64_t w = area_w, h = area_w * s.picture_height / s.picture_width;
    if (h > area_h) {
        h = area_h;
        w = area_h * s.picture_width / s.picture_height;
    }
    ScaleClassesFor(t, static_cast<uint32_t>(std::max<uint64_t>(w, 1)),
                    static_cast<uint32_t>(std::max<uint64_t>(h, 1)));
    const int32_t x = static_cast<int32_t>(area_w > t->dest_width ? (area_w - t->dest_width) / 2 : 0);
    const int32_t y =
        band + static_cast<int32_t>(area_h > t->dest_height ? (area_h - t->dest_height) / 2 : 0);
    s.options.x = x;
    s.options.y = y;
    s.picture_refitted = true;
    s.platform->FillBlack();
    SetDisplayPosition(t, x, y);
    RedrawPicture(s);
}

void ToggleFullScreen(PlayerState& s) {
    if (s.closing_screen || !s.target || s.options.black_background) return;
    if (!s.platform->SetFullScreen(!s.full_screen)) return;
    s.full_screen = !s.full_screen;
    // The kResized event that follows fits the picture to the new size.
}

void FitLargeVideoToScreen(PlayerOptions& o, uint32_t video_w, uint32_t video_h, uint32_t screen_w,
                           uint32_t screen_h) {
    if (o.width_num != 0 || o.height_num != 0 || screen_w == 0 || screen_h <= kWindowFrameAllowance) return;
    const uint64_t room_w = screen_w, room_h = screen_h - kWindowFrameAllowance;
    if (video_w <= room_w && video_h <= room_h) return;
    uint64_t w = room_w, h = room_w * video_h / video_w;
    if (h > room_h) {
        h = room_h;
        w = room_h * video_w / video_h;
    }
    o.width_num = static_cast<int32_t>(std::max<uint64_t>(w, 1));
    o.width_den = 1;
    o.height_num = static_cast<int32_t>(std::max<uint64_t>(h, 1));
    o.height_den = 1;
}

}  // namespace zarn
