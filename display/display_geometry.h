// Scaling classes, picture placement, per-rectangle blit arithmetic and
// overlay clipping of the display output. No platform code.
#pragma once

#include <cstdint>

namespace zarn {

// Scaling classes: four bits per axis in the top byte.
constexpr uint32_t kScaleHIntStretch = 0x80000000;
constexpr uint32_t kScaleHStretch = 0x40000000;
constexpr uint32_t kScaleHIntShrink = 0x20000000;
constexpr uint32_t kScaleHShrink = 0x10000000;
constexpr uint32_t kScaleVIntStretch = 0x08000000;
constexpr uint32_t kScaleVStretch = 0x04000000;
constexpr uint32_t kScaleVIntShrink = 0x02000000;
constexpr uint32_t kScaleVShrink = 0x01000000;
constexpr uint32_t kScaleAll = 0xFF000000;

// The class one axis needs to go from `source` to `dest` pixels, given with
// the horizontal bits; shift right by 4 for the vertical axis. 0 = no scaling.
uint32_t AxisScaleClass(uint32_t source, uint32_t dest);
inline uint32_t HorizontalScaleClass(uint32_t source, uint32_t dest) { return AxisScaleClass(source, dest); }
inline uint32_t VerticalScaleClass(uint32_t source, uint32_t dest) {
    return AxisScaleClass(source, dest) >> 4;
}

// What a device can do on each axis.
struct ScaleCaps {
    bool h_stretch, h_int_stretch, h_shrink, h_int_shrink;
    bool v_stretch, v_int_stretch, v_shrink, v_int_shrink;
};
// Arbitrary stretch gives both stretch classes, integer-only stretch the
// integer one; the same for shrinking.
uint32_t ScaleClassesFromCaps(const ScaleCaps& caps);

// Result of the scale operation on one target's sizes.
struct ScaleResult {
    uint32_t dest_width, dest_height;
    bool allowed;
};
// dest 0 means the screen's size; an axis whose class is not allowed keeps its
// old destination size.
ScaleResult ApplyScale(uint32_t source_width, uint32_t source_height, uint32_t old_dest_width,
                       uint32_t old_dest_height, uint32_t allowed, uint32_t dest_width, uint32_t dest_height,
                       uint32_t screen_width, uint32_t screen_height);

// Proposed picture position correction for the primary surface: clamp the
// absolute position (proposed + client offset) into the screen, round x up to
// 2, 8 or 4 pixels for 4, 3 or other bytes per pixel, and subtract the client
// offset again. Other targets only pass through.
struct PlacementInput {
    bool is_primary;
    int32_t client_offset_x, client_offset_y;
    uint32_t source_width, source_height;
    uint32_t screen_width, screen_height;
    uint32_t bytes_per_pixel;
};
void AdjustPosition(const PlacementInput& in, int32_t* x, int32_t* y);

struct Box {  // left, top, right, bottom
    int32_t left, top, right, bottom;
};

// The screen box of one changed source rectangle (x, y, w, h): scaled by
// dest/source with 64-bit products and truncating division, moved by the
// picture's origin. The rectangle is first clipped to the source picture;
// returns false when nothing of it remains.
bool BlitBoxFor(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t source_width, uint32_t source_height,
                uint32_t dest_width, uint32_t dest_height, int32_t origin_x, int32_t origin_y,
                Box* source_box, Box* dest_box);

// The overlay's source and destination boxes for a picture at screen (x, y)
// of dest size, clipped to the screen; edges cut on screen move the source's
// edges by the same amount. Returns false when either box is empty.
bool ClipOverlay(int32_t screen_x, int32_t screen_y, uint32_t dest_width, uint32_t dest_height,
                 uint32_t source_width, uint32_t source_height, uint32_t screen_width, uint32_t screen_height,
                 Box* source_box, Box* dest_box);

// Whether two boxes share at least one pixel.
bool BoxesOverlap(const Box& a, const Box& b);

}  // namespace zarn
