// The target-level scaling, placement and picture-size operations: the same
// arithmetic on every platform, over the platform-free geometry.
#include "display/display_geometry.h"
#include "display/display_target.h"
#include "engine/movie.h"

namespace zarn {

void MarkTargetCopyKinds(DisplayTarget* t, uint32_t needed) {
    if (t->is_primary || t->is_overlay) t->copy_flags |= kTargetNoRects;
    if ((t->is_offscreen || t->style == kBlitDibSection) && needed != 0) t->copy_flags |= kTargetOneRect;
}

void FitTargetToPicture(DisplayTarget* t) {
    t->outer_width = t->source_width + t->border_width;
    t->outer_height = t->source_height + t->border_height;
    t->dest_width = t->source_width;
    t->dest_height = t->source_height;
    SetDisplayPosition(t, 0, 0);
    t->copy_flags &= ~kTargetFullRedraw;
}

void SetUpAcceptedTarget(DisplayTarget* t, uint32_t needed, uint32_t screen_width, uint32_t screen_height,
                         uint32_t display_bits, const WindowFrame& frame) {
    MarkTargetCopyKinds(t, needed);
    t->screen_width = screen_width;
    t->screen_height = screen_height;
    t->display_bits = display_bits;
    t->border_width = frame.border_width;
    t->border_height = frame.border_height;
    t->client_offset_x = frame.client_offset_x;
    t->client_offset_y = frame.client_offset_y;
    FitTargetToPicture(t);
}

void EndTargetUnlock(DisplayTarget* t) {
    t->buffer = nullptr;
    t->pitch = 0;
    if (t->is_overlay) RefreshOverlay(t, 2);
    t->copy_flags &= ~kTargetFullRedraw;
}

int FillDibHeader(DibHeader& h, uint32_t width, uint32_t height, uint32_t bytes, bool is565) {
    h = DibHeader{};
    const uint32_t row_bytes = (width * bytes + 31) / 32 * 32;
    h.width = int32_t(row_bytes / bytes);
    h.height = -int32_t(height);
    h.planes = 1;
    h.bit_count = uint16_t(8 * bytes);
    h.compression = bytes == 3 ? 0 : 3;
    if (bytes >= 3) {
        h.red_mask = 0xFF0000;
        h.green_mask = 0xFF00;
        h.blue_mask = 0xFF;
        return bytes == 3 ? 1 : 3;
    }
    h.red_mask = is565 ? 0xF800 : 0x7C00;
    h.green_mask = is565 ? 0x7E0 : 0x3E0;
    h.blue_mask = 0x1F;
    return is565 ? 10 : 9;
}

bool ScaleClassesFor(DisplayTarget* t, uint32_t dest_width, uint32_t dest_height) {
    if (t == nullptr) return false;
    const ScaleResult r =
        ApplyScale(t->source_width, t->source_height, t->dest_width, t->dest_height, t->allowed_classes,
                   dest_width, dest_height, t->screen_width, t->screen_height);
    t->dest_width = r.dest_width;
    t->dest_height = r.dest_height;
    t->outer_width = t->dest_width + t->border_width;
    t->outer_height = t->dest_height + t->border_height;
    return r.allowed;
}

void AdjustDisplayPosition(const DisplayTarget* t, int32_t* x, int32_t* y) {
    if (t == nullptr || x == nullptr || y == nullptr) return;
    const PlacementInput in{t->is_primary,    t->client_offset_x, t->client_offset_y, t->source_width,
                            t->source_height, t->screen_width,    t->screen_height,   DisplayBytesPerPixel()};
    AdjustPosition(in, x, y);
}

void SetDisplayPicture(DisplayTarget* t, uint32_t width, uint32_t height) {
    if (t == nullptr) return;
    t->picture_width = width < t->source_width ? width : t->source_width;
    t->picture_height = height < t->source_height ? height : t->source_height;
}

void ForEachBlitBox(const DisplayTarget* t, const Rect* rects, int count, int32_t origin_x, int32_t origin_y,
                    const std::function<void(const Box&, const Box&)>& draw) {
    const Rect whole{0, 0, int32_t(t->source_width), int32_t(t->source_height)};
    if (rects == nullptr) {
        rects = &whole;
        count = 1;
    }
    for (int i = 0; i < count; ++i) {
        Box from{}, to{};
        if (BlitBoxFor(rects[i].x, rects[i].y, rects[i].w, rects[i].h, t->source_width, t->source_height,
                       t->dest_width, t->dest_height, origin_x, origin_y, &from, &to))
            draw(from, to);
    }
}

}  // namespace zarn
