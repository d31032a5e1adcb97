// Display targets on SDL's dummy (window surface, software renderer) and
// offscreen (accelerated renderer) video drivers: every style writes a known
// picture through lock/unlock/blit and the window's pixels are read back.
#include <gtest/gtest.h>

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "display/display_geometry.h"
#include "display/display_state.h"
#include "display/display_target.h"
#include "engine/movie.h"

namespace zarn {
namespace {

constexpr int kWidth = 64, kHeight = 48;

// The test picture in 8-bit RGB.
void PictureRgb(int x, int y, int variant, uint8_t* r, uint8_t* g, uint8_t* b) {
    *r = uint8_t(x * 4 + variant * 50);
    *g = uint8_t(y * 5 + variant * 30);
    *b = uint8_t((x ^ y) * 3 + 17);
}

// YUV pictures: four solid quadrants, so that chroma order errors show.
struct Yuv {
    uint8_t y, u, v;
};
constexpr Yuv kQuadrants[4] = {{81, 90, 240}, {145, 54, 34}, {41, 240, 110}, {210, 16, 146}};
Yuv QuadrantAt(int x, int y, int variant) {
    return kQuadrants[((x >= kWidth / 2) + 2 * (y >= kHeight / 2) + variant) % 4];
}

uint32_t ExpectedFromYuv(const Yuv& c) {
    const double y = 1.164 * (c.y - 16);
    auto clamp = [](double v) { return uint32_t(std::clamp(std::lround(v), 0L, 255L)); };
    const uint32_t r = clamp(y + 1.596 * (c.v - 128));
    const uint32_t g = clamp(y - 0.813 * (c.v - 128) - 0.391 * (c.u - 128));
    const uint32_t b = clamp(y + 2.018 * (c.u - 128));
    return r << 16 | g << 8 | b;
}

uint32_t ExpectedAt(int format, int x, int y, int variant) {
    if (format >= 13) return ExpectedFromYuv(QuadrantAt(x, y, variant));
    uint8_t r, g, b;
    PictureRgb(x, y, variant, &r, &g, &b);
    return uint32_t(r) << 16 | uint32_t(g) << 8 | b;
}

// Writes the picture into a locked target in its copy format.
void WritePicture(const DisplayTarget* t, int variant) {
    const int format = int(t->copy_flags & 0xF);
    uint8_t* base = t->buffer;
    const int pitch = t->pitch;
    for (int y = 0; y < kHeight; ++y) {
        uint8_t* row = base + y * pitch;
        for (int x = 0; x < kWidth; ++x) {
            uint8_t r, g, b;
            PictureRgb(x, y, variant, &r, &g, &b);
            const Yuv c = QuadrantAt(x, y, variant);
            switch (format) {
            case 3:
                row[4 * x] = b;
                row[4 * x + 1] = g;
                row[4 * x + 2] = r;
                row[4 * x + 3] = 0;
                break;
            case 1:
                row[3 * x] = b;
                row[3 * x + 1] = g;
                row[3 * x + 2] = r;
                break;
            case 13:
                row[2 * x] = c.y;
                row[2 * x + 1] = (x & 1) ? c.v : c.u;
                break;
            case 14:
                row[2 * x] = (x & 1) ? c.v : c.u;
                row[2 * x + 1] = c.y;
                break;
            case 15: {
                row[x] = c.y;
                if ((x & 1) == 0 && (y & 1) == 0) {
                    uint8_t* v_plane = base + pitch * kHeight;
                    uint8_t* u_plane = v_plane + (pitch / 2) * (kHeight / 2);
                    v_plane[(y / 2) * (pitch / 2) + x / 2] = c.v;
                    u_plane[(y / 2) * (pitch / 2) + x / 2] = c.u;
                }
                break;
            }
            default: FAIL() << "no writer for copy format " << format;
            }
        }
    }
}

bool Near(uint32_t a, uint32_t b, int tolerance) {
    for (int shift = 0; shift < 24; shift += 8)
        if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > tolerance) return false;
    return true;
}

class DisplayTargetTest : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, GetParam(), SDL_HINT_OVERRIDE);
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
            GTEST_SKIP() << "video driver " << GetParam() << ": " << SDL_GetError();
        window_ = SDL_CreateWindow("display test", 0, 0, 160, 120, SDL_WINDOW_SHOWN);
        ASSERT_NE(window_, nullptr) << SDL_GetError();
        ForceCursorProbe(-1);
        // Whether the driver can make an accelerated renderer at all.
        if (SDL_Renderer* probe = SDL_CreateRenderer(window_, -1, SDL_RENDERER_ACCELERATED)) {
            accelerated_ = true;
            SDL_DestroyRenderer(probe);
        }
    }
    void TearDown() override {
        if (window_ == nullptr) return;
        EXPECT_EQ(Display().instance_count, 0) << "a target was left open";
        EXPECT_EQ(Display().renderer, nullptr);
        SDL_DestroyWindow(window_);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
    bool Accelerated() const { return accelerated_; }

    // Reads the picture area and compares it with the expected picture.
    void ExpectPicture(const DisplayTarget* t, int at_x, int at_y, int variant) {
        const int format = int(t->copy_flags & 0xF);
        std::vector<uint32_t> pixels(kWidth * kHeight);
        ASSERT_TRUE(ReadDisplayPixels(window_, at_x, at_y, kWidth, kHeight, pixels.data())) << SDL_GetError();
        int wrong = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                // YUV pictures: only inside the quadrants (chroma may blend at edges).
                if (format >= 13 && (std::abs(x - kWidth / 2) < 2 || std::abs(y - kHeight / 2) < 2)) continue;
                const uint32_t want = ExpectedAt(format, x, y, variant);
                const uint32_t got = pixels[y * kWidth + x] & 0xFFFFFF;
                if (!Near(got, want, format >= 13 ? 6 : 0) && wrong++ < 5)
                    ADD_FAILURE() << "pixel " << x << "," << y << " got " << std::hex << got << " want "
                                  << want;
            }
        EXPECT_EQ(wrong, 0);
    }

    DisplayTarget* ShowPicture(uint32_t flags, int variant = 0) {
        DisplayTarget* t = OpenDisplayTarget(window_, kWidth, kHeight, flags);
        if (t == nullptr) return nullptr;
        EXPECT_TRUE(LockDisplayTarget(t));
        EXPECT_NE(t->buffer, nullptr);
        WritePicture(t, variant);
        UnlockDisplayTarget(t);
        EXPECT_EQ(t->buffer, nullptr);
        EXPECT_EQ(t->pitch, 0);
        BlitDisplayTarget(t, nullptr, 1);
        return t;
    }

    SDL_Window* window_ = nullptr;
    bool accelerated_ = false;
};

TEST_P(DisplayTargetTest, PrimaryWritesIntoTheWindowAtThePicturesPlace) {
    DisplayTarget* t = OpenDisplayTarget(window_, kWidth, kHeight, kBlitPrimary);
    ASSERT_NE(t, nullptr) << DisplayLastError();
    EXPECT_STREQ(BlitStyleName(t), "DirectDraw primary surface");
    EXPECT_EQ(t->copy_flags, 3u | kTargetNoRects);
    EXPECT_TRUE(t->is_primary);
    EXPECT_EQ(t->allowed_classes, 0u);
    EXPECT_EQ(t->screen_width, 1024u);
    EXPECT_EQ(t->display_bits, 32u);
    SetDisplayPosition(t, 24, 10);
    EXPECT_NE(t->copy_flags & kTargetFullRedraw, 0u);
    ASSERT_TRUE(LockDisplayTarget(t));
    WritePicture(t, 1);
    UnlockDisplayTarget(t);
    EXPECT_EQ(t->copy_flags & kTargetFullRedraw, 0u);
    ExpectPicture(t, 24, 10, 1);
    // A place where the picture does not fit the window: nothing is written.
    SetDisplayPosition(t, 120, 0);
    EXPECT_FALSE(LockDisplayTarget(t));
    EXPECT_EQ(t->buffer, nullptr);
    EXPECT_FALSE(ScaleClassesFor(t, 128, 96));
    EXPECT_EQ(t->dest_width, uint32_t(kWidth));
    CloseDisplayTarget(t);
}

TEST_P(DisplayTargetTest, DibSectionStretchesOntoTheWindow) {
    DisplayTarget* t = ShowPicture(kBlitDibSection);
    ASSERT_NE(t, nullptr) << DisplayLastError();
    EXPECT_STREQ(BlitStyleName(t), "DIB Section");
    EXPECT_EQ(t->copy_flags, 3u);
    EXPECT_EQ(t->allowed_classes, 0xFF000000u);
    EXPECT_TRUE(t->holds_display_mode);
    EXPECT_FALSE(t->holds_instance);
    EXPECT_EQ(t->dib_header->width, 64);
    EXPECT_EQ(t->dib_header->height, -kHeight);
    EXPECT_EQ(t->dib_header->bit_count, 32);
    EXPECT_EQ(t->dib_header->compression, 3u);
    EXPECT_EQ(t->dib_header->red_mask, 0xFF0000u);
    EXPECT_EQ(t->dib_pitch, 256u);
    ExpectPicture(t, 0, 0, 0);
    // Twice the size: each source pixel covers 2 x 2 window pixels.
    ASSERT_TRUE(ScaleClassesFor(t, 2 * kWidth, 2 * kHeight));
    EXPECT_EQ(t->outer_width, 2u * kWidth + t->border_width);
    SetDisplayPosition(t, 8, 4);
    BlitDisplayTarget(t, nullptr, 1);
    std::vector<uint32_t> pixels(2 * kWidth * 2 * kHeight);
    ASSERT_TRUE(ReadDisplayPixels(window_, 8, 4, 2 * kWidth, 2 * kHeight, pixels.data()));
    for (int y = 0; y < 2 * kHeight; y += 7)
        for (int x = 0; x < 2 * kWidth; x += 5)
            ASSERT_EQ(pixels[y * 2 * kWidth + x] & 0xFFFFFF, ExpectedAt(3, x / 2, y / 2, 0)) << x << "," << y;
    CloseDisplayTarget(t);
    EXPECT_EQ(Display().display_mode_refs, 0);
}

TEST_P(DisplayTargetTest, DibBlitsOnlyTheGivenRectangles) {
    DisplayTarget* t = ShowPicture(kBlitDibSection, 0);
    ASSERT_NE(t, nullptr) << DisplayLastError();
    ASSERT_TRUE(LockDisplayTarget(t));
    WritePicture(t, 1);  // the whole memory picture changes...
    UnlockDisplayTarget(t);
    const Rect changed[2] = {{16, 0, 16, 16}, {48, 32, 32, 32}};  // second one clipped
    BlitDisplayTarget(t, changed, 2);                             // ...but only these reach the window
    std::vector<uint32_t> pixels(kWidth * kHeight);
    ASSERT_TRUE(ReadDisplayPixels(window_, 0, 0, kWidth, kHeight, pixels.data()));
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const bool inside = (x >= 16 && x < 32 && y < 16) || (x >= 48 && y >= 32);
            ASSERT_EQ(pixels[y * kWidth + x] & 0xFFFFFF, ExpectedAt(3, x, y, inside ? 1 : 0))
                << x << "," << y;
        }
    CloseDisplayTarget(t);
}

TEST_P(DisplayTargetTest, OffscreenSystemSurfaceShowsThePicture) {
    DisplayTarget* t = ShowPicture(kBlitOffscreenSystem, 2);
    ASSERT_NE(t, nullptr) << DisplayLastError();
    EXPECT_STREQ(BlitStyleName(t), "DirectDraw RGB off-screen system surface");
    EXPECT_EQ(t->copy_flags, 3u);
    EXPECT_TRUE(t->is_offscreen);
    EXPECT_TRUE(t->holds_instance);
    EXPECT_EQ(Display().instance_count, 1);
    ExpectPicture(t, 0, 0, 2);
    CloseDisplayTarget(t);
}

TEST_P(DisplayTargetTest, OffscreenBlitsRectanglesScaled) {
    DisplayTarget* t = OpenDisplayTarget(window_, kWidth, kHeight, kBlitOffscreenSystem | kScaleAll);
    ASSERT_NE(t, nullptr) << DisplayLastError();
    EXPECT_EQ(t->copy_flags, 3u | kTargetOneRect);
    ASSERT_TRUE(ScaleClassesFor(t, 2 * kWidth, 2 * kHeight));
    ASSERT_TRUE(LockDisplayTarget(t));
    WritePicture(t, 0);
    UnlockDisplayTarget(t);
    BlitDisplayTarget(t, nullptr, 1);
    ASSERT_TRUE(LockDisplayTarget(t));
    WritePicture(t, 1);
    UnlockDisplayTarget(t);
    const Rect changed{32, 16, 16, 16};
    BlitDisplayTarget(t, &changed, 1);
    std::vector<uint32_t> pixels(4 * kWidth * kHeight);
    ASSERT_TRUE(ReadDisplayPixels(window_, 0, 0, 2 * kWidth, 2 * kHeight, pixels.data()));
    for (int y = 0; y < 2 * kHeight; ++y)
        for (int x = 0; x < 2 * kWidth; ++x) {
            const bool inside = x >= 64 && x < 96 && y >= 32 && y < 64;
            ASSERT_EQ(pixels[y * 2 * kWidth + x] & 0xFFFFFF, ExpectedAt(3, x / 2, y / 2, inside))
                << x << "," << y;
        }
    CloseDisplayTarget(t);
}

// Styles 3-9 need an accelerated renderer: the dummy driver has none.
TEST_P(DisplayTargetTest, AcceleratedStylesShowThePictureOrAreNotAvailable) {
    for (uint32_t style = kBlitOverlayYV12; style <= kBlitOffscreenVideo; ++style) {
        SCOPED_TRACE(style);
        DisplayTarget* t = ShowPicture(style, int(style) % 2);
        if (!Accelerated()) {
            EXPECT_EQ(t, nullptr);
            EXPECT_STREQ(DisplayLastError(), "DirectDraw is not available");
            EXPECT_EQ(Display().instance_count, 0);
            continue;
        }
        ASSERT_NE(t, nullptr) << DisplayLastError();
        const uint32_t formats[7] = {15, 13, 14, 15, 13, 14, 3};
        EXPECT_EQ(t->copy_flags & 0xF, formats[style - 3]);
        const bool overlay = style <= kBlitOverlayUYVY;
        EXPECT_EQ(t->is_overlay, overlay);
        EXPECT_EQ((t->copy_flags & kTargetNoRects) != 0, overlay);
        ExpectPicture(t, 0, 0, int(style) % 2);
        CloseDisplayTarget(t);
    }
}

TEST_P(DisplayTargetTest, BlackFillOfNewTargets) {
    // A new texture target shows black; a cleared DIB is black again.
    DisplayTarget* t = OpenDisplayTarget(window_, kWidth, kHeight, kBlitOffscreenSystem);
    ASSERT_NE(t, nullptr);
    BlitDisplayTarget(t, nullptr, 1);
    std::vector<uint32_t> pixels(kWidth * kHeight);
    ASSERT_TRUE(ReadDisplayPixels(window_, 0, 0, kWidth, kHeight, pixels.data()));
    for (uint32_t p : pixels) ASSERT_EQ(p & 0xFFFFFF, 0u);
    CloseDisplayTarget(t);
    t = ShowPicture(kBlitDibSection);
    ASSERT_NE(t, nullptr);
    ClearDisplayTarget(t);
    BlitDisplayTarget(t, nullptr, 1);
    ASSERT_TRUE(ReadDisplayPixels(window_, 0, 0, kWidth, kHeight, pixels.data()));
    for (uint32_t p : pixels) ASSERT_EQ(p & 0xFFFFFF, 0u);
    CloseDisplayTarget(t);
    if (!Accelerated()) return;
    // YV12 black is luma 16, which shows as black too.
    t = OpenDisplayTarget(window_, kWidth, kHeight, kBlitOffscreenYV12);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->texture_memory[0], 16);
    EXPECT_EQ(t->texture_memory[t->texture_pitch * kHeight], 128);
    CloseDisplayTarget(t);
    t = OpenDisplayTarget(window_, kWidth, kHeight, kBlitOffscreenYUY2);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->texture_memory[0], 0);
    EXPECT_EQ(t->texture_memory[1], 128);
    CloseDisplayTarget(t);
}

TEST_P(DisplayTargetTest, AutomaticPicksPrimaryUnlessScalingIsNeeded) {
    DisplayTarget* t = OpenDisplayTarget(window_, kWidth, kHeight, kBlitAutomatic);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->style, uint32_t(kBlitPrimary));
    CloseDisplayTarget(t);
    const uint32_t stretch = kScaleHIntStretch | kScaleVIntStretch;
    t = OpenDisplayTarget(window_, kWidth, kHeight, kBlitAutomatic | stretch);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->style, uint32_t(kBlitDibSection));
    EXPECT_STREQ(BlitStyleName(t), "DIB Section");
    EXPECT_EQ(t->copy_flags, 3u | kTargetOneRect);
    EXPECT_TRUE(t->holds_instance);  // the shared instance was taken before the DIB
    EXPECT_FALSE(t->holds_display_mode);
    CloseDisplayTarget(t);
    // The explicit primary refuses scaling with the final text.
    EXPECT_EQ(OpenDisplayTarget(window_, kWidth, kHeight, kBlitPrimary | stretch), nullptr);
    EXPECT_STREQ(DisplayLastError(), "No capable blitting style available.");
    // Names of other values leave the text buffer as it was.
    EXPECT_STREQ(BlitStyleName(nullptr), "DIB Section");
    EXPECT_EQ(OpenDisplayTarget(window_, 0, kHeight, kBlitAutomatic), nullptr);
    // Without a window nothing can be made, and every reference is given back.
    EXPECT_EQ(OpenDisplayTarget(nullptr, kWidth, kHeight, kBlitAutomatic), nullptr);
    EXPECT_STREQ(DisplayLastError(), "No capable blitting style available.");
    EXPECT_EQ(OpenDisplayTarget(nullptr, kWidth, kHeight, kBlitOverlayYV12), nullptr);
    EXPECT_STREQ(DisplayLastError(), "DirectDraw is not available");
    EXPECT_EQ(Display().display_mode_refs, 0);
    EXPECT_EQ(OpenDisplayTarget(window_, 100000, kHeight, kBlitAutomatic), nullptr);
    EXPECT_EQ(Display().instance_count, 0);
}

TEST_P(DisplayTargetTest, ClosingTheLastTargetReleasesTheSharedInstance) {
    DisplayTarget* a = OpenDisplayTarget(window_, kWidth, kHeight, kBlitOffscreenSystem);
    ASSERT_NE(a, nullptr);
    const uint32_t serial = Display().renderer_serial;
    DisplayTarget* b = OpenDisplayTarget(window_, kWidth, kHeight, kBlitOffscreenSystem);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(Display().instance_count, 2);
    EXPECT_EQ(Display().renderer_serial, serial);  // one renderer serves both
    CloseDisplayTarget(a);
    EXPECT_EQ(Display().instance_count, 1);
    EXPECT_NE(Display().renderer, nullptr);
    CloseDisplayTarget(b);
    EXPECT_EQ(Display().instance_count, 0);
    EXPECT_EQ(Display().renderer, nullptr);
    a = OpenDisplayTarget(window_, kWidth, kHeight, kBlitOffscreenSystem);
    ASSERT_NE(a, nullptr);
    EXPECT_GT(Display().renderer_serial, serial);  // a new one was made
    CloseDisplayTarget(a);
    CloseDisplayTarget(nullptr);
}

// The player opens the next video's target before closing the previous one.
TEST_P(DisplayTargetTest, WindowSurfaceAndRendererTakeTheWindowInTurn) {
    DisplayTarget* textured = ShowPicture(kBlitOffscreenSystem, 0);
    ASSERT_NE(textured, nullptr);
    DisplayTarget* primary = ShowPicture(kBlitPrimary, 1);  // drops the renderer
    ASSERT_NE(primary, nullptr) << DisplayLastError();
    EXPECT_EQ(Display().renderer, nullptr);
    EXPECT_FALSE(LockDisplayTarget(textured));  // its texture went with the renderer
    BlitDisplayTarget(textured, nullptr, 1);
    CloseDisplayTarget(textured);
    ExpectPicture(primary, 0, 0, 1);
    DisplayTarget* again = ShowPicture(kBlitOffscreenSystem, 2);  // and back
    ASSERT_NE(again, nullptr);
    EXPECT_FALSE(LockDisplayTarget(primary));
    CloseDisplayTarget(primary);
    ExpectPicture(again, 0, 0, 2);
    CloseDisplayTarget(again);
}

TEST_P(DisplayTargetTest, OverlayClipsToTheScreen) {
    if (!Accelerated()) GTEST_SKIP() << "overlays need an accelerated renderer";
    DisplayTarget* t = ShowPicture(kBlitOverlayYUY2, 0);
    ASSERT_NE(t, nullptr) << DisplayLastError();
    EXPECT_TRUE(t->overlay_shown);
    // The window sits at the screen's left edge: a picture 16 pixels further left
    // shows its right part from the window's first column.
    SetDisplayPosition(t, -16, 0);
    EXPECT_EQ(t->screen_x, -16);
    std::vector<uint32_t> pixels(kWidth * kHeight);
    ASSERT_TRUE(ReadDisplayPixels(window_, 0, 0, kWidth, kHeight, pixels.data()));
    EXPECT_TRUE(Near(pixels[5 * kWidth + 4] & 0xFFFFFF, ExpectedAt(13, 20, 5, 0), 6));
    EXPECT_TRUE(Near(pixels[5 * kWidth + 20] & 0xFFFFFF, ExpectedAt(13, 36, 5, 0), 6));
    EXPECT_EQ(pixels[5 * kWidth + 50] & 0xFFFFFF, 0u);  // beyond the picture
    RefreshOverlay(t, 1);
    EXPECT_FALSE(t->overlay_shown);
    ASSERT_TRUE(ReadDisplayPixels(window_, 0, 0, kWidth, kHeight, pixels.data()));
    EXPECT_EQ(pixels[5 * kWidth + 4] & 0xFFFFFF, 0u);
    CloseDisplayTarget(t);
}

TEST_P(DisplayTargetTest, CursorIsHiddenOnlyOverThePicture) {
    int mx = -1, my = -1;
    SDL_GetGlobalMouseState(&mx, &my);
    if (mx < 0 || my < 0 || mx >= 40 || my >= 30) GTEST_SKIP() << "mouse at " << mx << "," << my;
    ForceCursorProbe(1);
    SDL_ShowCursor(SDL_ENABLE);
    DisplayTarget* t = OpenDisplayTarget(window_, kWidth, kHeight, kBlitPrimary);
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(t->hide_cursor);
    ASSERT_TRUE(LockDisplayTarget(t));  // the cursor lies on the picture at (0, 0)
    EXPECT_EQ(t->cursor_hides, 1);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    UnlockDisplayTarget(t);
    EXPECT_EQ(t->cursor_hides, 0);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
    SetDisplayPosition(t, 96, 72);  // away from the cursor
    ASSERT_TRUE(LockDisplayTarget(t));
    EXPECT_EQ(t->cursor_hides, 0);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
    UnlockDisplayTarget(t);
    CloseDisplayTarget(t);
    ForceCursorProbe(-1);
    t = OpenDisplayTarget(window_, kWidth, kHeight, kBlitPrimary);
    ASSERT_NE(t, nullptr);
    EXPECT_FALSE(t->hide_cursor);  // the system draws the cursor
    CloseDisplayTarget(t);
}

TEST_P(DisplayTargetTest, DesktopModeChangeIsUndoneByTheLastReference) {
    RequestDisplayMode(640, 480, 3);
    DisplayTarget* t = OpenDisplayTarget(window_, kWidth, kHeight, kBlitDibSection | kTargetChangeMode);
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(t->holds_display_mode);
    EXPECT_EQ(Display().mode_width, 0u);  // the request was used up
    EXPECT_TRUE(Display().desktop_mode_changed);
    EXPECT_NE(SDL_GetWindowFlags(window_) & SDL_WINDOW_FULLSCREEN, 0u);
    EXPECT_EQ(PrepareGdiDisplay(window_, true), 1);  // a second reference, no change
    ReleaseGdiDisplay();
    EXPECT_NE(SDL_GetWindowFlags(window_) & SDL_WINDOW_FULLSCREEN, 0u);
    CloseDisplayTarget(t);
    EXPECT_FALSE(Display().desktop_mode_changed);
    EXPECT_EQ(SDL_GetWindowFlags(window_) & SDL_WINDOW_FULLSCREEN, 0u);
}

TEST_P(DisplayTargetTest, ExclusiveModeLivesAsLongAsTheInstance) {
    RequestDisplayMode(800, 600, 2);
    DisplayTarget* t = OpenDisplayTarget(window_, kWidth, kHeight, kBlitOffscreenSystem | kTargetChangeMode);
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(Display().exclusive_mode);
    EXPECT_EQ(Display().mode_depth, 0u);
    // The desktop change is refused while the instance is held.
    EXPECT_EQ(PrepareGdiDisplay(window_, true), 0);
    EXPECT_NE(SDL_GetWindowFlags(window_) & SDL_WINDOW_FULLSCREEN, 0u);
    CloseDisplayTarget(t);
    EXPECT_FALSE(Display().exclusive_mode);
    EXPECT_EQ(SDL_GetWindowFlags(window_) & SDL_WINDOW_FULLSCREEN, 0u);
}

TEST_P(DisplayTargetTest, AdjustingAndScaling) {
    DisplayTarget* t = OpenDisplayTarget(window_, kWidth, kHeight, kBlitPrimary);
    ASSERT_NE(t, nullptr);
    int32_t x = 1010, y = 5;
    AdjustDisplayPosition(t, &x, &y);
    EXPECT_EQ(x + t->client_offset_x, 1024 - kWidth);
    x = 7, y = 5;
    AdjustDisplayPosition(t, &x, &y);
    EXPECT_EQ((x + t->client_offset_x) % 2, 0);  // 4 bytes per pixel: even
    EXPECT_EQ(y, 5);
    CloseDisplayTarget(t);
    t = OpenDisplayTarget(window_, kWidth, kHeight, kBlitDibSection);
    ASSERT_NE(t, nullptr);
    x = 1010;
    AdjustDisplayPosition(t, &x, &y);
    EXPECT_EQ(x, 1010);  // only the primary is clamped
    ASSERT_TRUE(ScaleClassesFor(t, 0, 0));
    EXPECT_EQ(t->dest_width, 1024u);
    EXPECT_EQ(t->dest_height, 768u);
    CloseDisplayTarget(t);
}

// One binary per video driver (the build defines ZARN_TEST_VIDEO_DRIVER).
INSTANTIATE_TEST_SUITE_P(Drivers, DisplayTargetTest, ::testing::Values(ZARN_TEST_VIDEO_DRIVER),
                         [](const auto& param_info) { return std::string(param_info.param); });

}  // namespace
}  // namespace zarn
