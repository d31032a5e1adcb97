// Decoded frames through every blit style: the frame copy writes a random
// frame into the locked target in the target's own copy format, the target is
// unlocked and blitted, and the window's pixels are read back and compared
// with the same frame copied into plain memory. A second frame with only some
// blocks marked must change exactly those blocks on screen.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "convert/copy_frame.h"
#include "display/display_state.h"
#include "display/display_target.h"
#include "engine/movie.h"
#include "tests/display/test_frame.h"

namespace zarn {
namespace {

using zarn_test::MemoryPicture;
using zarn_test::TestFrame;

constexpr int kAtX = 8, kAtY = 6;  // the picture's place in the window

// The renderer converts YUV itself while the copy sums three table terms,
// each truncated toward zero (up to 2 off per channel). The renderer adds its
// own rounding: its shader's normalised texels for YV12, six fractional bits
// of fixed point in SDL's packed-YUV conversion. Measured worst: 3 for YV12,
// 4 for YUY2 and UYVY; 5 leaves one step of margin, while swapped or
// misplaced chroma planes are off by tens.
constexpr int kYuvTolerance = 5;

bool IsYuvStyle(uint32_t style) { return style >= kBlitOverlayYV12 && style <= kBlitOffscreenUYVY; }

// SDL's name for the RGB copy formats a window can carry.
uint32_t SdlFormatOf(uint32_t copy_format) {
    switch (copy_format) {
    case 1: return SDL_PIXELFORMAT_BGR24;
    case 2: return SDL_PIXELFORMAT_RGB24;
    case 3: return SDL_PIXELFORMAT_RGB888;
    case 4: return SDL_PIXELFORMAT_BGR888;
    case 9: return SDL_PIXELFORMAT_RGB555;
    case 10: return SDL_PIXELFORMAT_RGB565;
    default: return SDL_PIXELFORMAT_UNKNOWN;
    }
}

// What the screen should show of a memory picture, as 0xRRGGBB per pixel.
std::vector<uint32_t> AsScreenPixels(const MemoryPicture& m) {
    std::vector<uint32_t> out(size_t(m.width) * m.height);
    const uint32_t from = SdlFormatOf(m.format);
    EXPECT_NE(from, uint32_t(SDL_PIXELFORMAT_UNKNOWN)) << "copy format " << m.format;
    if (from == SDL_PIXELFORMAT_UNKNOWN ||
        SDL_ConvertPixels(int(m.width), int(m.height), from, m.bytes.data(), m.pitch,
                          SDL_PIXELFORMAT_ARGB8888, out.data(), int(m.width) * 4) != 0)
        ADD_FAILURE() << SDL_GetError();
    for (uint32_t& p : out) p &= 0xFFFFFF;
    return out;
}

bool Near(uint32_t a, uint32_t b, int tolerance, int* worst) {
    bool near = true;
    for (int shift = 0; shift < 24; shift += 8) {
        const int d = std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF));
        if (d > *worst) *worst = d;
        near = near && d <= tolerance;
    }
    return near;
}

class DisplayCopyTest : public ::testing::TestWithParam<uint32_t> {
protected:
    void SetUp() override {
        SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, ZARN_TEST_VIDEO_DRIVER, SDL_HINT_OVERRIDE);
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
            GTEST_SKIP() << "video driver " << ZARN_TEST_VIDEO_DRIVER << ": " << SDL_GetError();
        window_ = SDL_CreateWindow("display copy test", 0, 0, 200, 150, SDL_WINDOW_SHOWN);
        ASSERT_NE(window_, nullptr) << SDL_GetError();
        ForceCursorProbe(-1);
        if (SDL_Renderer* probe = SDL_CreateRenderer(window_, -1, SDL_RENDERER_ACCELERATED)) {
            accelerated_ = true;
            SDL_DestroyRenderer(probe);
        }
    }
    void TearDown() override {
        if (window_ == nullptr) return;
        EXPECT_EQ(Display().instance_count, 0) << "a target was left open";
        SDL_DestroyWindow(window_);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }

    // Opens the style's target, or skips when the driver cannot make it.
    DisplayTarget* Open(uint32_t width, uint32_t height) {
        const uint32_t style = GetParam();
        DisplayTarget* t = OpenDisplayTarget(window_, width, height, style);
        if (t != nullptr) {
            EXPECT_EQ(t->style, style);
            SetDisplayPosition(t, kAtX, kAtY);
            return t;
        }
        // Styles 3-9 need an accelerated renderer; the others every driver has.
        const bool needs_acceleration = style >= kBlitOverlayYV12 && style <= kBlitOffscreenVideo;
        EXPECT_TRUE(needs_acceleration && !accelerated_) << DisplayLastError();
        if (needs_acceleration) {
            EXPECT_STREQ(DisplayLastError(), "DirectDraw is not available");
        }
        return nullptr;
    }

    // Lock, copy the frame with the target's flags, unlock, blit.
    void Play(DisplayTarget* t, const TestFrame& frame, const Rect* rects, int count) {
        ASSERT_TRUE(LockDisplayTarget(t));
        ASSERT_NE(t->buffer, nullptr);
        CopyFrame(frame.Source(), t->buffer, t->pitch, t->source_height, 0, 0,
                  MergeCopyFlags(t->copy_flags, 0));
        UnlockDisplayTarget(t);
        BlitDisplayTarget(t, (t->copy_flags & kTargetNoRects) ? nullptr : rects, count);
    }

    std::vector<uint32_t> Shown(uint32_t width, uint32_t height) {
        std::vector<uint32_t> pixels(size_t(width) * height);
        EXPECT_TRUE(ReadDisplayPixels(window_, kAtX, kAtY, int(width), int(height), pixels.data()))
            << SDL_GetError();
        for (uint32_t& p : pixels) p &= 0xFFFFFF;
        return pixels;
    }

    // The frame as the screen should show it: the copy into memory in the
    // target's format (RGB styles), or in format 3 (YUV styles, which the
    // renderer converts).
    std::vector<uint32_t> Expected(const DisplayTarget* t, const TestFrame& frame) {
        const uint32_t format = IsYuvStyle(t->style) ? 3 : t->copy_flags & 0xF;
        MemoryPicture m(format, frame.width, frame.height);
        m.Copy(frame, kTargetFullRedraw);  // the whole frame, whatever its marks
        return AsScreenPixels(m);
    }

    // Compares and returns the largest channel difference seen.
    int Compare(const std::vector<uint32_t>& shown, const std::vector<uint32_t>& want, uint32_t width,
                int tolerance) {
        int worst = 0, wrong = 0;
        for (size_t i = 0; i < want.size(); ++i)
            if (!Near(shown[i], want[i], tolerance, &worst) && wrong++ < 5)
                ADD_FAILURE() << "pixel " << i % width << "," << i / width << " shows " << std::hex
                              << shown[i] << " want " << want[i];
        EXPECT_EQ(wrong, 0);
        return worst;
    }

    int Tolerance() const { return IsYuvStyle(GetParam()) ? kYuvTolerance : 0; }
    // The renderer sees video-range luma only (it does not cap luma at 235),
    // and chroma within 56 of 128: SDL's own packed-YUV conversion wraps
    // channel sums beyond -128..383 around instead of clamping them.
    TestFrame MakeFrame(uint32_t width, uint32_t height, uint32_t seed) const {
        return IsYuvStyle(GetParam()) ? TestFrame(width, height, seed, 16, 235, 56)
                                      : TestFrame(width, height, seed);
    }

    SDL_Window* window_ = nullptr;
    bool accelerated_ = false;
};

TEST_P(DisplayCopyTest, ShowsTheCopiedFrame) {
    // Not a whole number of blocks: the copy's edge strips are shown too.
    constexpr uint32_t kWidth = 88, kHeight = 56;
    DisplayTarget* t = Open(kWidth, kHeight);
    if (t == nullptr) GTEST_SKIP() << "style " << GetParam() << ": " << DisplayLastError();
    const TestFrame frame = MakeFrame(kWidth, kHeight, 1000 + GetParam());
    Play(t, frame, nullptr, 1);
    const int worst = Compare(Shown(kWidth, kHeight), Expected(t, frame), kWidth, Tolerance());
    RecordProperty("worst_channel_difference", worst);
    CloseDisplayTarget(t);
}

// Blocks 16 x 16 of a 96 x 64 picture: every pairing of marked and unmarked
// neighbours occurs.
constexpr uint8_t kPartialMarks[4][6] = {
    {1, 1, 0, 1, 0, 0}, {0, 1, 1, 0, 0, 1}, {1, 0, 0, 0, 1, 1}, {0, 0, 1, 1, 1, 0}};

TEST_P(DisplayCopyTest, UnmarkedBlocksKeepTheirPixels) {
    constexpr uint32_t kWidth = 96, kHeight = 64;
    DisplayTarget* t = Open(kWidth, kHeight);
    if (t == nullptr) GTEST_SKIP() << "style " << GetParam() << ": " << DisplayLastError();
    const TestFrame first = MakeFrame(kWidth, kHeight, 2000 + GetParam());
    TestFrame second = MakeFrame(kWidth, kHeight, 3000 + GetParam());
    std::vector<Rect> changed;
    for (uint32_t r = 0; r < 4; ++r)
        for (uint32_t c = 0; c < 6; ++c) {
            second.marks[r * 6 + c] = kPartialMarks[r][c];
            if (kPartialMarks[r][c]) changed.push_back(Rect{int32_t(16 * c), int32_t(16 * r), 16, 16});
        }
    ASSERT_EQ(ChooseCopyPath(second.Source(), t->copy_flags & 0xF),
              (t->copy_flags & 0xF) == 15 ? CopyPath::kPlanes : CopyPath::kChangedBlocks);

    Play(t, first, nullptr, 1);
    EXPECT_EQ(t->copy_flags & kTargetFullRedraw, 0u);  // the next copy may skip blocks
    Play(t, second, changed.data(), int(changed.size()));

    // The planar copy always takes whole planes; only the styles that blit the
    // changed rectangles then keep the old picture outside them.
    const bool whole_planes = (t->copy_flags & 0xF) == 15;
    const bool shown_whole = (t->copy_flags & kTargetNoRects) != 0;
    const std::vector<uint32_t> old_picture = Expected(t, first);
    const std::vector<uint32_t> new_picture = Expected(t, second);
    std::vector<uint32_t> want(old_picture.size());
    for (uint32_t y = 0; y < kHeight; ++y)
        for (uint32_t x = 0; x < kWidth; ++x) {
            const size_t i = size_t(y) * kWidth + x;
            const bool renewed = second.Marked(x / 16, y / 16) || (whole_planes && shown_whole);
            want[i] = renewed ? new_picture[i] : old_picture[i];
        }
    Compare(Shown(kWidth, kHeight), want, kWidth, Tolerance());
    CloseDisplayTarget(t);
}

// One binary per video driver (the build defines ZARN_TEST_VIDEO_DRIVER),
// which names the cases apart.
INSTANTIATE_TEST_SUITE_P(Styles, DisplayCopyTest, ::testing::Range(1u, 11u), [](const auto& param_info) {
    return "Style" + std::to_string(param_info.param) + "_" + ZARN_TEST_VIDEO_DRIVER;
});

}  // namespace
}  // namespace zarn
