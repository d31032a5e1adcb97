// The display output in a real X window: a known picture is shown with the
// automatic style, the DIB style and the RGB off-screen surfaces, a decoded
// frame goes through the frame copy with the automatic style and the DIB
// style, the whole screen is dumped with xwd, and the picture area is compared
// pixel for pixel with what was written or copied into memory: exactly on a 24-bit screen; on 16- and 15-bit
// screens field by field, within one step where xwd mixes visuals into a
// 24-bit dump. ZARN_XVFB_DEPTH names the server's depth.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "convert/copy_frame.h"
#include "display/display_geometry.h"
#include "display/display_state.h"
#include "display/display_target.h"
#include "tests/display/test_frame.h"

namespace zarn {
namespace {

constexpr int kWidth = 96, kHeight = 64;

int ScreenDepth() {
    const char* depth = std::getenv("ZARN_XVFB_DEPTH");
    return depth != nullptr ? std::atoi(depth) : 24;
}

// The copy format the screen's depth gives: 32-bit B, G, R, 0; 5-6-5; 5-5-5.
uint32_t ScreenCopyFormat() {
    const int depth = ScreenDepth();
    return depth == 16 ? 10 : depth == 15 ? 9 : 3;
}

// Field widths (red, green, blue) of a copy format.
void FieldBits(uint32_t format, int bits[3]) {
    bits[0] = format == 3 ? 8 : 5;
    bits[1] = format == 3 ? 8 : format == 10 ? 6 : 5;
    bits[2] = format == 3 ? 8 : 5;
}

// The picture's fields at (x, y), at the format's field widths.
void FieldsAt(int x, int y, int variant, uint32_t format, uint32_t fields[3]) {
    const uint32_t c[3] = {uint32_t(x * 2 + variant * 40) & 0xFF, uint32_t(y * 3 + 7) & 0xFF,
                           uint32_t((x ^ y) + variant * 90) & 0xFF};
    int bits[3];
    FieldBits(format, bits);
    for (int i = 0; i < 3; ++i) fields[i] = c[i] >> (8 - bits[i]);
}

void WritePicture(const DisplayTarget* t, int variant) {
    const uint32_t format = t->copy_flags & 0xF;
    ASSERT_EQ(format, ScreenCopyFormat());
    int bits[3];
    FieldBits(format, bits);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            uint8_t* at = t->buffer + y * t->pitch;
            uint32_t f[3];
            FieldsAt(x, y, variant, format, f);
            const uint32_t p = f[0] << (bits[1] + bits[2]) | f[1] << bits[2] | f[2];
            if (format == 3) {
                at[4 * x] = uint8_t(p);
                at[4 * x + 1] = uint8_t(p >> 8);
                at[4 * x + 2] = uint8_t(p >> 16);
                at[4 * x + 3] = 0;
            } else {
                at[2 * x] = uint8_t(p);
                at[2 * x + 1] = uint8_t(p >> 8);
            }
        }
}

// The root window as xwd dumps it.
struct Screenshot {
    int width = 0, height = 0, bits = 0, bytes_per_line = 0;
    bool lsb_first = true;
    std::vector<uint8_t> data;
    uint32_t Pixel(int x, int y) const {
        const uint8_t* p = data.data() + size_t(y) * bytes_per_line + size_t(x) * (bits / 8);
        uint32_t v = 0;
        for (int i = 0; i < bits / 8; ++i)
            v |= uint32_t(p[i]) << (lsb_first ? 8 * i : 8 * (bits / 8 - 1 - i));
        return v;
    }
};

uint32_t BigEndian(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

bool TakeScreenshot(Screenshot* shot) {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr) return false;
    const std::string command = std::string("xwd -root -silent -display ") + display;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return false;
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, pipe)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    const int status = pclose(pipe);
    if (status != 0 || bytes.size() < 100) {
        ADD_FAILURE() << "xwd ended with " << status << " after " << bytes.size() << " bytes";
        return false;
    }
    auto field = [&](int i) { return BigEndian(bytes.data() + 4 * i); };
    const uint32_t header_size = field(0);
    shot->width = int(field(4));
    shot->height = int(field(5));
    shot->lsb_first = field(7) == 0;
    shot->bits = int(field(11));  // a 24-bit screen may be dumped packed, 3 bytes a pixel
    shot->bytes_per_line = int(field(12));
    const uint32_t colours = field(19);
    const size_t start = size_t(header_size) + size_t(colours) * 12;
    const size_t size = size_t(shot->bytes_per_line) * shot->height;
    if (field(2) != 2 || (shot->bits != 16 && shot->bits != 24 && shot->bits != 32) ||
        bytes.size() < start + size) {
        ADD_FAILURE() << "xwd dump: format " << field(2) << ", " << shot->bits << " bits, " << bytes.size()
                      << " bytes for " << start + size;
        return false;
    }
    shot->data.assign(bytes.begin() + long(start), bytes.begin() + long(start + size));
    return true;
}

class XvfbCheck : public ::testing::Test {
protected:
    // One connection to the server for the whole run: a busy server may refuse
    // a quick reconnection.
    static void SetUpTestSuite() {
        if (std::getenv("DISPLAY") == nullptr) return;
        SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, "x11", SDL_HINT_OVERRIDE);
        for (int attempt = 0; attempt < 5 && !video_; ++attempt) {
            video_ = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
            if (!video_) SDL_Delay(200);
        }
    }
    static void TearDownTestSuite() {
        if (video_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
        video_ = false;
    }
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display";
        ASSERT_TRUE(video_) << SDL_GetError();
        window_ =
            SDL_CreateWindow("display check", 120, 90, 2 * kWidth + 40, 2 * kHeight + 40, SDL_WINDOW_SHOWN);
        ASSERT_NE(window_, nullptr) << SDL_GetError();
        Settle();
    }
    void TearDown() override {
        if (window_ != nullptr) SDL_DestroyWindow(window_);
    }
    void Settle() {
        for (int i = 0; i < 20; ++i) {
            SDL_PumpEvents();
            SDL_Delay(10);
        }
    }
    // Compares the screen under the picture with the written test picture.
    void ExpectOnScreen(const DisplayTarget* t, int variant, int scale) {
        ExpectOnScreen(t, scale, [&](int x, int y, uint32_t want[3]) {
            FieldsAt(x, y, variant, ScreenCopyFormat(), want);
        });
    }
    // Compares the screen under the picture with the fields `want_at` gives
    // for each source pixel.
    void ExpectOnScreen(const DisplayTarget* t, int scale,
                        const std::function<void(int, int, uint32_t[3])>& want_at) {
        Settle();
        Screenshot shot;
        ASSERT_TRUE(TakeScreenshot(&shot));
        const uint32_t format = ScreenCopyFormat();
        int bits[3];
        FieldBits(format, bits);
        // A dump wider than the screen's pixels went through 8-bit colour.
        const bool widened = format != 3 && shot.bits != 16;
        const int tolerance = widened ? 1 : 0;
        int wrong = 0;
        for (int y = 0; y < kHeight * scale; ++y)
            for (int x = 0; x < kWidth * scale; ++x) {
                const int sx = t->screen_x + x, sy = t->screen_y + y;
                ASSERT_TRUE(sx >= 0 && sy >= 0 && sx < shot.width && sy < shot.height);
                const uint32_t pixel = shot.Pixel(sx, sy);
                uint32_t want[3], got[3];
                want_at(x / scale, y / scale, want);
                for (int i = 0; i < 3; ++i) {
                    if (format == 3 || widened) {
                        got[i] = (pixel >> (16 - 8 * i) & 0xFF) >> (8 - bits[i]);
                    } else {
                        const int shift = i == 0 ? bits[1] + bits[2] : i == 1 ? bits[2] : 0;
                        got[i] = pixel >> shift & ((1u << bits[i]) - 1);
                    }
                }
                bool same = true;
                for (int i = 0; i < 3; ++i) same = same && std::abs(int(got[i]) - int(want[i])) <= tolerance;
                if (!same && wrong++ < 5)
                    ADD_FAILURE() << "screen " << sx << "," << sy << " pixel " << std::hex << pixel
                                  << " fields " << got[0] << "," << got[1] << "," << got[2] << " want "
                                  << want[0] << "," << want[1] << "," << want[2];
            }
        EXPECT_EQ(wrong, 0);
    }
    DisplayTarget* Show(uint32_t flags, int variant) {
        DisplayTarget* t = OpenDisplayTarget(window_, kWidth, kHeight, flags);
        if (t == nullptr) return nullptr;
        SetDisplayPosition(t, 8, 12);
        EXPECT_TRUE(LockDisplayTarget(t));
        WritePicture(t, variant);
        UnlockDisplayTarget(t);
        BlitDisplayTarget(t, nullptr, 1);
        return t;
    }
    // One decoded frame through the frame copy: lock, copy, unlock, blit.
    DisplayTarget* PlayFrame(uint32_t flags, const zarn_test::TestFrame& frame) {
        DisplayTarget* t = OpenDisplayTarget(window_, kWidth, kHeight, flags);
        if (t == nullptr) return nullptr;
        SetDisplayPosition(t, 8, 12);
        EXPECT_TRUE(LockDisplayTarget(t));
        CopyFrame(frame.Source(), t->buffer, t->pitch, t->source_height, 0, 0,
                  MergeCopyFlags(t->copy_flags, 0));
        UnlockDisplayTarget(t);
        BlitDisplayTarget(t, nullptr, 1);
        return t;
    }
    // The same frame copied into plain memory in the screen's copy format.
    void ExpectFrameOnScreen(const DisplayTarget* t, const zarn_test::TestFrame& frame) {
        ASSERT_EQ(t->copy_flags & 0xF, ScreenCopyFormat());
        zarn_test::MemoryPicture copied(ScreenCopyFormat(), kWidth, kHeight);
        copied.Copy(frame, 0);
        ExpectOnScreen(t, 1, [&](int x, int y, uint32_t want[3]) {
            const uint32_t fields = copied.Fields(uint32_t(x), uint32_t(y));
            for (int i = 0; i < 3; ++i) want[i] = fields >> (16 - 8 * i) & 0xFF;
        });
    }
    static inline bool video_ = false;
    SDL_Window* window_ = nullptr;
};

TEST_F(XvfbCheck, AutomaticStyleShowsThePicture) {
    DisplayTarget* t = Show(kBlitAutomatic, 0);
    ASSERT_NE(t, nullptr) << DisplayLastError();
    EXPECT_STREQ(BlitStyleName(t), "DirectDraw primary surface");
    EXPECT_EQ(t->display_bits, ScreenCopyFormat() == 3 ? 32u : 16u);
    EXPECT_EQ(t->copy_flags, ScreenCopyFormat() | kTargetNoRects);
    ExpectOnScreen(t, 0, 1);
    CloseDisplayTarget(t);
}

TEST_F(XvfbCheck, DibSectionShowsThePictureAlsoStretched) {
    DisplayTarget* t = Show(kBlitDibSection, 1);
    ASSERT_NE(t, nullptr) << DisplayLastError();
    // 5-6-5 screens give the DIB format 10, 5-5-5 screens 9.
    EXPECT_EQ(t->copy_flags, ScreenCopyFormat());
    EXPECT_EQ(t->dib_header->red_mask, ScreenCopyFormat() == 10  ? 0xF800u
                                       : ScreenCopyFormat() == 9 ? 0x7C00u
                                                                 : 0xFF0000u);
    ExpectOnScreen(t, 1, 1);
    ASSERT_TRUE(ScaleClassesFor(t, 2 * kWidth, 2 * kHeight));
    BlitDisplayTarget(t, nullptr, 1);
    ExpectOnScreen(t, 1, 2);
    CloseDisplayTarget(t);
}

TEST_F(XvfbCheck, RgbOffscreenSurfacesShowThePicture) {
    DisplayTarget* t = Show(kBlitOffscreenSystem, 2);
    ASSERT_NE(t, nullptr) << DisplayLastError();
    ExpectOnScreen(t, 2, 1);
    CloseDisplayTarget(t);
    t = Show(kBlitOffscreenVideo, 3);
    if (t == nullptr) GTEST_SKIP() << "style 9: " << DisplayLastError();
    EXPECT_STREQ(BlitStyleName(t), "DirectDraw RGB off-screen video surface");
    ExpectOnScreen(t, 3, 1);
    CloseDisplayTarget(t);
}

TEST_F(XvfbCheck, CopiedFrameWithTheAutomaticStyle) {
    const zarn_test::TestFrame frame(kWidth, kHeight, 41);
    DisplayTarget* t = PlayFrame(kBlitAutomatic, frame);
    ASSERT_NE(t, nullptr) << DisplayLastError();
    EXPECT_STREQ(BlitStyleName(t), "DirectDraw primary surface");
    ExpectFrameOnScreen(t, frame);
    CloseDisplayTarget(t);
}

TEST_F(XvfbCheck, CopiedFrameWithTheDibSection) {
    const zarn_test::TestFrame frame(kWidth, kHeight, 42);
    DisplayTarget* t = PlayFrame(kBlitDibSection, frame);
    ASSERT_NE(t, nullptr) << DisplayLastError();
    EXPECT_STREQ(BlitStyleName(t), "DIB Section");
    ExpectFrameOnScreen(t, frame);
    CloseDisplayTarget(t);
}

}  // namespace
}  // namespace zarn
