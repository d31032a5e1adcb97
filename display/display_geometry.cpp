#include "display/display_geometry.h"

#include <algorithm>

namespace zarn {

uint32_t AxisScaleClass(uint32_t source, uint32_t dest) {
    if (dest == source) return 0;
    if (source != 0 && dest % source == 0) return kScaleHIntStretch;
    if (dest != 0 && source % dest == 0) return kScaleHIntShrink;
    return dest > source ? kScaleHStretch : kScaleHShrink;
}

uint32_t ScaleClassesFromCaps(const ScaleCaps& c) {
    uint32_t classes = 0;
    if (c.h_stretch)
        classes |= kScaleHStretch | kScaleHIntStretch;
    else if (c.h_int_stretch)
        classes |= kScaleHIntStretch;
    if (c.h_shrink)
        classes |= kScaleHShrink | kScaleHIntShrink;
    else if (c.h_int_shrink)
        classes |= kScaleHIntShrink;
    if (c.v_stretch)
        classes |= kScaleVStretch | kScaleVIntStretch;
    else if (c.v_int_stretch)
        classes |= kScaleVIntStretch;
    if (c.v_shrink)
        classes |= kScaleVShrink | kScaleVIntShrink;
    else if (c.v_int_shrink)
        classes |= kScaleVIntShrink;
    return classes;
}

ScaleResult ApplyScale(uint32_t source_width, uint32_t source_height, uint32_t old_dest_width,
                       uint32_t old_dest_height, uint32_t allowed, uint32_t dest_width, uint32_t dest_height,
                       uint32_t screen_width, uint32_t screen_height) {
    if (dest_width == 0) dest_width = screen_width;
    if (dest_height == 0) dest_height = screen_height;
    const uint32_t h = HorizontalScaleClass(source_width, dest_width);
    const uint32_t v = VerticalScaleClass(source_height, dest_height);
    ScaleResult r{old_dest_width, old_dest_height, true};
    if ((h & allowed) == h)
        r.dest_width = dest_width;
    else
        r.allowed = false;
    if ((v & allowed) == v)
        r.dest_height = dest_height;
    else
        r.allowed = false;
    return r;
}

void AdjustPosition(const PlacementInput& in, int32_t* x, int32_t* y) {
    if (!in.is_primary) return;
    int64_t ax = int64_t(*x) + in.client_offset_x;
    int64_t ay = int64_t(*y) + in.client_offset_y;
    if (ax + in.source_width > in.screen_width) ax = int64_t(in.screen_width) - in.source_width;
    if (ax < 0) ax = 0;
    if (ay + in.source_height > in.screen_height) ay = int64_t(in.screen_height) - in.source_height;
    if (ay < 0) ay = 0;
    const int64_t step = in.bytes_per_pixel == 4 ? 2 : in.bytes_per_pixel == 3 ? 8 : 4;
    ax = (ax + step - 1) / step * step;
    *x = int32_t(ax - in.client_offset_x);
    *y = int32_t(ay - in.client_offset_y);
}

bool BlitBoxFor(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t source_width, uint32_t source_height,
                uint32_t dest_width, uint32_t dest_height, int32_t origin_x, int32_t origin_y,
                Box* source_box, Box* dest_box) {
    if (source_width == 0 || source_height == 0) return false;
    const int64_t l = std::clamp<int64_t>(x, 0, source_width);
    const int64_t t = std::clamp<int64_t>(y, 0, source_height);
    const int64_t r = std::clamp<int64_t>(int64_t(x) + w, l, source_width);
    const int64_t b = std::clamp<int64_t>(int64_t(y) + h, t, source_height);
    if (r <= l || b <= t) return false;
    *source_box = Box{int32_t(l), int32_t(t), int32_t(r), int32_t(b)};
    const int64_t left = l * dest_width / source_width + origin_x;
    const int64_t top = t * dest_height / source_height + origin_y;
    dest_box->left = int32_t(left);
    dest_box->top = int32_t(top);
    dest_box->right = int32_t(left + (r - l) * dest_width / source_width);
    dest_box->bottom = int32_t(top + (b - t) * dest_height / source_height);
    return true;
}

bool ClipOverlay(int32_t screen_x, int32_t screen_y, uint32_t dest_width, uint32_t dest_height,
                 uint32_t source_width, uint32_t source_height, uint32_t screen_width, uint32_t screen_height,
                 Box* source_box, Box* dest_box) {
    int64_t sl = 0, st = 0, sr = source_width, sb = source_height;
    int64_t dl = screen_x, dt = screen_y;
    int64_t dr = dl + dest_width, db = dt + dest_height;
    if (dl < 0) {
        sl -= dl;
        dl = 0;
    }
    if (dt < 0) {
        st -= dt;
        dt = 0;
    }
    if (dr > int64_t(screen_width)) {
        sr -= dr - screen_width;
        dr = screen_width;
    }
    if (db > int64_t(screen_height)) {
        sb -= db - screen_height;
        db = screen_height;
    }
    if (sl >= sr || st >= sb || dl >= dr || dt >= db) return false;
    *source_box = Box{int32_t(sl), int32_t(st), int32_t(sr), int32_t(sb)};
    *dest_box = Box{int32_t(dl), int32_t(dt), int32_t(dr), int32_t(db)};
    return true;
}

bool BoxesOverlap(const Box& a, const Box& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

}  // namespace zarn
