// The platform-free arithmetic of the display output: format mapping, black
// fills, scaling classes, placement, blit boxes, overlay clipping, mode walks.
#include <gtest/gtest.h>

#include <SDL.h>

#include <vector>

#include "display/display_formats.h"
#include "display/display_geometry.h"
#include "display/display_mode_walk.h"
#include "display/display_state.h"
#include "tests/display/test_frame.h"

namespace zarn {
namespace {

PixelLayout Masks(uint32_t bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a = 0) {
    return PixelLayout{0, bits, r, g, b, a};
}

TEST(CopyFormatMapping, FollowsTheSurfaceTable) {
    EXPECT_EQ(CopyFormatForLayout({kFourccYUY2, 16, 0, 0, 0, 0}), 13);
    EXPECT_EQ(CopyFormatForLayout({kFourccUYVY, 0, 0, 0, 0, 0}), 14);
    EXPECT_EQ(CopyFormatForLayout({kFourccYV12, 12, 0, 0, 0, 0}), 15);
    EXPECT_EQ(CopyFormatForLayout({MakeFourcc('I', '4', '2', '0'), 12, 0, 0, 0, 0}), -1);
    EXPECT_EQ(CopyFormatForLayout(Masks(8, 0, 0, 0)), 0);
    EXPECT_EQ(CopyFormatForLayout(Masks(24, 0xFF0000, 0xFF00, 0xFF)), 1);
    EXPECT_EQ(CopyFormatForLayout(Masks(24, 0xFF, 0xFF00, 0xFF0000)), 2);
    EXPECT_EQ(CopyFormatForLayout(Masks(32, 0xFF0000, 0xFF00, 0xFF)), 3);
    EXPECT_EQ(CopyFormatForLayout(Masks(32, 0xFF, 0xFF00, 0xFF0000)), 4);
    EXPECT_EQ(CopyFormatForLayout(Masks(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000)), 5);
    EXPECT_EQ(CopyFormatForLayout(Masks(32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000)), 6);
    EXPECT_EQ(CopyFormatForLayout(Masks(16, 0xF800, 0x07E0, 0x001F, 0xFFFF0000)), 10);
    EXPECT_EQ(CopyFormatForLayout(Masks(16, 0x7C00, 0x03E0, 0x001F, 0x8000)), 8);
    EXPECT_EQ(CopyFormatForLayout(Masks(16, 0x7C00, 0x03E0, 0x001F)), 9);
    EXPECT_EQ(CopyFormatForLayout(Masks(16, 0xFC00, 0x03E0, 0x001F)), 11);
    EXPECT_EQ(CopyFormatForLayout(Masks(16, 0xFC00, 0x03F0, 0x000F)), 12);
    EXPECT_EQ(CopyFormatForLayout(Masks(16, 0x0F00, 0x00F0, 0x000F, 0xF000)), 7);
    EXPECT_EQ(CopyFormatForLayout(Masks(16, 0x001F, 0x07E0, 0xF800)), -1);
    EXPECT_EQ(CopyFormatForLayout(Masks(15, 0x7C00, 0x03E0, 0x001F)), -1);
    EXPECT_EQ(CopyFormatForLayout(Masks(4, 0, 0, 0)), -1);
}

TEST(CopyFormatMapping, ReadsSdlFormatsByBitsAndMasks) {
    EXPECT_EQ(CopyFormatForSdlFormat(SDL_PIXELFORMAT_RGB888), 3);
    EXPECT_EQ(CopyFormatForSdlFormat(SDL_PIXELFORMAT_BGR888), 4);
    EXPECT_EQ(CopyFormatForSdlFormat(SDL_PIXELFORMAT_ARGB8888), 5);
    EXPECT_EQ(CopyFormatForSdlFormat(SDL_PIXELFORMAT_ABGR8888), 6);
    EXPECT_EQ(CopyFormatForSdlFormat(SDL_PIXELFORMAT_BGR24), 1);  // bytes B, G, R
    EXPECT_EQ(CopyFormatForSdlFormat(SDL_PIXELFORMAT_RGB24), 2);  // bytes R, G, B
    EXPECT_EQ(CopyFormatForSdlFormat(SDL_PIXELFORMAT_RGB565), 10);
    EXPECT_EQ(CopyFormatForSdlFormat(SDL_PIXELFORMAT_RGB555), 9);  // 15 bits used of 16
    EXPECT_EQ(CopyFormatForSdlFormat(SDL_PIXELFORMAT_ARGB1555), 8);
    EXPECT_EQ(CopyFormatForSdlFormat(SDL_PIXELFORMAT_ARGB4444), 7);
    EXPECT_EQ(CopyFormatForSdlFormat(SDL_PIXELFORMAT_BGR565), -1);
    EXPECT_EQ(CopyFormatForSdlFormat(SDL_PIXELFORMAT_INDEX8), 0);
    EXPECT_EQ(CopyFormatForSdlFormat(SDL_PIXELFORMAT_YUY2), 13);
    EXPECT_EQ(CopyFormatForSdlFormat(SDL_PIXELFORMAT_UYVY), 14);
    EXPECT_EQ(CopyFormatForSdlFormat(SDL_PIXELFORMAT_YV12), 15);
    EXPECT_EQ(CopyFormatForSdlFormat(SDL_PIXELFORMAT_IYUV), -1);
    EXPECT_EQ(CopyFormatForSdlFormat(SDL_PIXELFORMAT_NV12), -1);
    EXPECT_EQ(BitsOfSdlFormat(SDL_PIXELFORMAT_RGB555), 16u);
    EXPECT_EQ(BitsOfSdlFormat(SDL_PIXELFORMAT_RGB888), 32u);
}

// A 16-bit surface receives the copy format its masks map to; the copy must
// then write every field where the surface's mask reads it: each field holds
// the top bits of the 8-bit channel the 32-bit copy of the same frame has.
TEST(CopyFormatMapping, SixteenBitSurfacesReadTheFieldsTheCopyWrites) {
    struct Surface {
        uint32_t masks[3];
        int format;
    };
    const Surface surfaces[] = {{{0xFC00, 0x03E0, 0x001F}, 11},
                                {{0xFC00, 0x03F0, 0x000F}, 12},
                                {{0xF800, 0x07E0, 0x001F}, 10},
                                {{0x7C00, 0x03E0, 0x001F}, 9}};
    const zarn_test::TestFrame frame(40, 24, 7);
    zarn_test::MemoryPicture wide(3, frame.width, frame.height);
    wide.Copy(frame, 0);
    for (const Surface& s : surfaces) {
        SCOPED_TRACE(s.format);
        const int format = CopyFormatForLayout(Masks(16, s.masks[0], s.masks[1], s.masks[2]));
        ASSERT_EQ(format, s.format);
        zarn_test::MemoryPicture narrow(uint32_t(format), frame.width, frame.height);
        narrow.Copy(frame, 0);
        int wrong = 0;
        for (uint32_t y = 0; y < frame.height; ++y)
            for (uint32_t x = 0; x < frame.width; ++x) {
                const uint8_t* p = &narrow.bytes[y * uint32_t(narrow.pitch) + 2 * x];
                const uint32_t pixel = p[0] | uint32_t(p[1]) << 8;
                const uint32_t channels = wide.Fields(x, y);  // 0xRRGGBB
                for (int i = 0; i < 3; ++i) {
                    const uint32_t mask = s.masks[i];
                    const int shift = __builtin_ctz(mask), bits = __builtin_popcount(mask);
                    const uint32_t want = (channels >> (16 - 8 * i) & 0xFF) >> (8 - bits);
                    if (((pixel & mask) >> shift) != want && wrong++ < 3)
                        ADD_FAILURE() << "pixel " << x << "," << y << " field " << i << " of " << std::hex
                                      << pixel << " want " << want;
                }
            }
        EXPECT_EQ(wrong, 0);
    }
}

// A buffer filled with a marker byte, so untouched bytes show.
std::vector<uint8_t> Marked(size_t size) { return std::vector<uint8_t>(size, 0xAB); }

TEST(BlackFill, RgbFormatsClearTheRowBytesOnly) {
    for (int format : {0, 1, 3, 9, 10, 11, 12}) {
        auto buffer = Marked(4 * 16);
        FillBlack(buffer.data(), 3, 4, 16, format, 4);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 16; ++x)
                EXPECT_EQ(buffer[y * 16 + x], x < 12 ? 0 : 0xAB) << "format " << format;
    }
    for (int format : {2, 4, 5, 6, 7, 8, 16, -1}) {
        auto buffer = Marked(64);
        FillBlack(buffer.data(), 3, 4, 16, format, 4);
        EXPECT_EQ(buffer, Marked(64)) << "format " << format;
    }
}

TEST(BlackFill, PackedYuvWritesLumaZeroWithNeutralChroma) {
    auto yuy2 = Marked(2 * 12);
    FillBlack(yuy2.data(), 5, 2, 12, 13, 2);
    const uint8_t yuy2_row[12] = {0, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0xAB, 0xAB};
    auto uyvy = Marked(2 * 12);
    FillBlack(uyvy.data(), 5, 2, 12, 14, 2);
    const uint8_t uyvy_row[12] = {0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0, 0xAB, 0xAB};
    for (int y = 0; y < 2; ++y)
        for (int i = 0; i < 12; ++i) {
            EXPECT_EQ(yuy2[y * 12 + i], yuy2_row[i]) << y << "," << i;
            EXPECT_EQ(uyvy[y * 12 + i], uyvy_row[i]) << y << "," << i;
        }
}

TEST(BlackFill, Yv12WritesLuma16AndTwoChromaPlanesAtHalfPitch) {
    const int pitch = 8, width = 6, height = 4;
    auto buffer = Marked(pitch * height + 2 * (pitch / 2) * (height / 2) + 4);
    FillBlack(buffer.data(), width, height, pitch, 15, 1);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < pitch; ++x) EXPECT_EQ(buffer[y * pitch + x], x < width ? 16 : 0xAB);
    const uint8_t* chroma = buffer.data() + pitch * height;
    for (int plane = 0; plane < 2; ++plane)
        for (int y = 0; y < height / 2; ++y)
            for (int x = 0; x < pitch / 2; ++x)
                EXPECT_EQ(chroma[plane * 8 + y * 4 + x], x < width / 2 ? 128 : 0xAB);
    EXPECT_EQ(buffer[pitch * height + 16], 0xAB);  // nothing past the second plane
}

TEST(ScaleClasses, ClassifiesEachAxis) {
    EXPECT_EQ(HorizontalScaleClass(320, 640), kScaleHIntStretch);
    EXPECT_EQ(HorizontalScaleClass(320, 480), kScaleHStretch);
    EXPECT_EQ(HorizontalScaleClass(640, 320), kScaleHIntShrink);
    EXPECT_EQ(HorizontalScaleClass(640, 400), kScaleHShrink);
    EXPECT_EQ(HorizontalScaleClass(320, 320), 0u);
    EXPECT_EQ(VerticalScaleClass(240, 720), kScaleVIntStretch);
    EXPECT_EQ(VerticalScaleClass(240, 250), kScaleVStretch);
    EXPECT_EQ(VerticalScaleClass(240, 80), kScaleVIntShrink);
    EXPECT_EQ(VerticalScaleClass(240, 100), kScaleVShrink);
}

TEST(ScaleClasses, CapabilitiesGiveBothOrOnlyTheIntegerClass) {
    ScaleCaps caps{};
    EXPECT_EQ(ScaleClassesFromCaps(caps), 0u);
    caps.h_stretch = true;
    caps.v_int_shrink = true;
    EXPECT_EQ(ScaleClassesFromCaps(caps), kScaleHStretch | kScaleHIntStretch | kScaleVIntShrink);
    caps = ScaleCaps{false, true, false, true, false, true, false, true};
    EXPECT_EQ(ScaleClassesFromCaps(caps),
              kScaleHIntStretch | kScaleHIntShrink | kScaleVIntStretch | kScaleVIntShrink);
    caps = ScaleCaps{true, true, true, true, true, true, true, true};
    EXPECT_EQ(ScaleClassesFromCaps(caps), kScaleAll);
}

TEST(ScaleClasses, ApplyTakesAllowedAxesAndTheScreenForZero) {
    // Width 0 means the screen width: 320 -> 1024 is an arbitrary stretch.
    ScaleResult r = ApplyScale(320, 240, 320, 240, kScaleAll, 0, 480, 1024, 768);
    EXPECT_TRUE(r.allowed);
    EXPECT_EQ(r.dest_width, 1024u);
    EXPECT_EQ(r.dest_height, 480u);
    // Only integer stretching: the arbitrary vertical axis keeps its old size.
    r = ApplyScale(320, 240, 320, 240, kScaleHIntStretch | kScaleVIntStretch, 640, 300, 1024, 768);
    EXPECT_FALSE(r.allowed);
    EXPECT_EQ(r.dest_width, 640u);
    EXPECT_EQ(r.dest_height, 240u);
    // No classes at all: only the unscaled size passes.
    r = ApplyScale(320, 240, 320, 240, 0, 320, 240, 1024, 768);
    EXPECT_TRUE(r.allowed);
    r = ApplyScale(320, 240, 320, 240, 0, 0, 0, 1024, 768);
    EXPECT_FALSE(r.allowed);
    EXPECT_EQ(r.dest_width, 320u);
}

PlacementInput Primary(uint32_t bytes) { return PlacementInput{true, 3, 22, 320, 240, 1024, 768, bytes}; }

TEST(Placement, PrimaryClampsIntoTheScreenAndRoundsXByDepth) {
    int32_t x = 1000 - 3, y = 700 - 22;  // absolute (1000, 700) runs off the screen
    AdjustPosition(Primary(4), &x, &y);
    EXPECT_EQ(x, 1024 - 320 - 3);
    EXPECT_EQ(y, 768 - 240 - 22);
    x = -50, y = -50;  // off the top left: clamped to 0
    AdjustPosition(Primary(4), &x, &y);
    EXPECT_EQ(x, -3);
    EXPECT_EQ(y, -22);
    const int32_t rounded[3][2] = {{4, 102}, {3, 104}, {2, 104}};  // bytes, absolute x
    for (const auto& [bytes, expect] : rounded) {
        x = 101 - 3;
        y = 51 - 22;
        AdjustPosition(Primary(uint32_t(bytes)), &x, &y);
        EXPECT_EQ(x + 3, expect) << bytes << " bytes per pixel";
        EXPECT_EQ(y + 22, 51);  // y is not rounded
    }
    x = 100 - 3;  // already a multiple of 4 (and 2): unchanged
    AdjustPosition(Primary(2), &x, &y);
    EXPECT_EQ(x, 97);
}

TEST(Placement, PictureWiderThanTheScreenStartsAtZero) {
    PlacementInput in = Primary(4);
    in.source_width = 1200;
    int32_t x = 40, y = 0;
    AdjustPosition(in, &x, &y);
    EXPECT_EQ(x + 3, 0);
}

TEST(Placement, OtherTargetsPassThrough) {
    PlacementInput in = Primary(4);
    in.is_primary = false;
    int32_t x = 1001, y = -77;
    AdjustPosition(in, &x, &y);
    EXPECT_EQ(x, 1001);
    EXPECT_EQ(y, -77);
}

TEST(BlitBoxes, ScaleEachRectangleWithTruncatingDivision) {
    Box src{}, dst{};
    ASSERT_TRUE(BlitBoxFor(16, 32, 16, 16, 320, 240, 640, 480, 10, 20, &src, &dst));
    EXPECT_EQ(src.left, 16);
    EXPECT_EQ(src.bottom, 48);
    EXPECT_EQ(dst.left, 42);
    EXPECT_EQ(dst.top, 84);
    EXPECT_EQ(dst.right, 74);
    EXPECT_EQ(dst.bottom, 116);
    // 320 -> 480: left = 16*480/320 = 24, width 16*480/320 = 24; 240 -> 100:
    // top = 48*100/240 = 20, height 16*100/240 = 6 (truncated).
    ASSERT_TRUE(BlitBoxFor(16, 48, 16, 16, 320, 240, 480, 100, 0, 0, &src, &dst));
    EXPECT_EQ(dst.left, 24);
    EXPECT_EQ(dst.right, 48);
    EXPECT_EQ(dst.top, 20);
    EXPECT_EQ(dst.bottom, 26);
    // Products beyond 32 bits.
    ASSERT_TRUE(BlitBoxFor(0, 60000, 10, 5000, 100, 65536, 100, 131072, 0, 0, &src, &dst));
    EXPECT_EQ(dst.top, 120000);
    EXPECT_EQ(dst.bottom, 130000);
}

TEST(BlitBoxes, RectanglesAreClippedToThePicture) {
    Box src{}, dst{};
    ASSERT_TRUE(BlitBoxFor(-8, 230, 32, 32, 320, 240, 320, 240, 0, 0, &src, &dst));
    EXPECT_EQ(src.left, 0);
    EXPECT_EQ(src.right, 24);
    EXPECT_EQ(src.bottom, 240);
    EXPECT_FALSE(BlitBoxFor(320, 0, 16, 16, 320, 240, 320, 240, 0, 0, &src, &dst));
    EXPECT_FALSE(BlitBoxFor(0, 0, -5, 16, 320, 240, 320, 240, 0, 0, &src, &dst));
    EXPECT_FALSE(BlitBoxFor(0x7FFFFFF0, 0, 0x7FFFFFFF, 16, 320, 240, 320, 240, 0, 0, &src, &dst));
}

TEST(OverlayClip, LeftEdgeOffTheScreenShowsTheRightPart) {
    Box src{}, dst{};
    ASSERT_TRUE(ClipOverlay(-100, 10, 320, 240, 320, 240, 1024, 768, &src, &dst));
    EXPECT_EQ(src.left, 100);
    EXPECT_EQ(src.right, 320);
    EXPECT_EQ(dst.left, 0);
    EXPECT_EQ(dst.right, 220);
    EXPECT_EQ(dst.top, 10);
    ASSERT_TRUE(ClipOverlay(900, 700, 320, 240, 320, 240, 1024, 768, &src, &dst));
    EXPECT_EQ(src.right, 320 - 196);
    EXPECT_EQ(src.bottom, 240 - 172);
    EXPECT_EQ(dst.right, 1024);
    EXPECT_EQ(dst.bottom, 768);
    EXPECT_FALSE(ClipOverlay(-400, 0, 320, 240, 320, 240, 1024, 768, &src, &dst));
    EXPECT_FALSE(ClipOverlay(1024, 0, 320, 240, 320, 240, 1024, 768, &src, &dst));
}

TEST(Boxes, OverlapNeedsAPixelInCommon) {
    const Box picture{100, 100, 420, 340};
    EXPECT_TRUE(BoxesOverlap(Box{90, 90, 122, 122}, picture));
    EXPECT_FALSE(BoxesOverlap(Box{68, 90, 100, 122}, picture));
    EXPECT_FALSE(BoxesOverlap(Box{420, 200, 452, 232}, picture));
    EXPECT_TRUE(BoxesOverlap(Box{419, 339, 451, 371}, picture));
}

// A fake display: `accepts` maps a tried depth to the resulting depth (-1 refused).
struct FakeDisplay {
    std::vector<uint32_t> tried;
    int restores = 0;
    std::function<int(uint32_t)> accepts;
    TryModeFn Try() {
        return [this](uint32_t, uint32_t, uint32_t bits) {
            tried.push_back(bits);
            return accepts(bits);
        };
    }
    RestoreModeFn Restore() {
        return [this] { ++restores; };
    }
};

TEST(ModeWalk, DepthOrders) {
    uint32_t d[3];
    ASSERT_EQ(DepthOrder(1, d), 3);
    EXPECT_EQ((std::vector<uint32_t>{d[0], d[1], d[2]}), (std::vector<uint32_t>{16, 32, 24}));
    ASSERT_EQ(DepthOrder(2, d), 3);
    EXPECT_EQ((std::vector<uint32_t>{d[0], d[1], d[2]}), (std::vector<uint32_t>{32, 24, 16}));
    ASSERT_EQ(DepthOrder(3, d), 2);
    EXPECT_EQ((std::vector<uint32_t>{d[0], d[1]}), (std::vector<uint32_t>{32, 24}));
    ASSERT_EQ(DepthOrder(24, d), 1);
    EXPECT_EQ(d[0], 24u);
    EXPECT_EQ(DepthOrder(0, d), 0);
    EXPECT_EQ(DepthOrder(15, d), 0);
}

TEST(ModeWalk, DesktopEndsWithAnAnyDepthChange) {
    FakeDisplay display;  // refuses 32 and 24, accepts a change without a depth
    display.accepts = [](uint32_t bits) { return bits == 0 ? 16 : -1; };
    EXPECT_TRUE(WalkDesktopModes(640, 480, 3, display.Try(), display.Restore()));
    EXPECT_EQ(display.tried, (std::vector<uint32_t>{32, 24, 0}));
    EXPECT_EQ(display.restores, 0);

    FakeDisplay refusing;
    refusing.accepts = [](uint32_t) { return -1; };
    EXPECT_FALSE(WalkDesktopModes(640, 480, 2, refusing.Try(), refusing.Restore()));
    EXPECT_EQ(refusing.tried, (std::vector<uint32_t>{32, 24, 16, 0}));
}

TEST(ModeWalk, DesktopUndoesAWrongDepthAndStopsAtTheRightOne) {
    FakeDisplay display;  // 16 comes out as 32; 32 works
    display.accepts = [](uint32_t bits) { return bits == 16 ? 32 : int(bits); };
    EXPECT_TRUE(WalkDesktopModes(800, 600, 1, display.Try(), display.Restore()));
    EXPECT_EQ(display.tried, (std::vector<uint32_t>{16, 32}));
    EXPECT_EQ(display.restores, 1);
}

TEST(ModeWalk, ExclusiveTakesTheLastCandidateWithoutAnAnyDepthTry) {
    FakeDisplay display;  // every change comes out at 32 bits
    display.accepts = [](uint32_t) { return 32; };
    EXPECT_TRUE(WalkExclusiveModes(640, 480, 1, display.Try()));
    EXPECT_EQ(display.tried, (std::vector<uint32_t>{16, 32}));

    FakeDisplay wrong;  // 32 refused, 24 comes out as 16: the last candidate stands
    wrong.accepts = [](uint32_t bits) { return bits == 32 ? -1 : 16; };
    EXPECT_TRUE(WalkExclusiveModes(640, 480, 3, wrong.Try()));
    EXPECT_EQ(wrong.tried, (std::vector<uint32_t>{32, 24}));

    FakeDisplay refusing;
    refusing.accepts = [](uint32_t) { return -1; };
    EXPECT_FALSE(WalkExclusiveModes(640, 480, 16, refusing.Try()));
    EXPECT_EQ(refusing.tried, (std::vector<uint32_t>{16}));
}

}  // namespace
}  // namespace zarn
