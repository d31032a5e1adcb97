#include "player/size_classification.h"

#include <gtest/gtest.h>

namespace zarn {
namespace {

TEST(ClassifySize, RequestsAndTheirClasses) {
    struct Case {
        int32_t num, den;
        uint32_t video, screen, size, bits;
    };
    const uint32_t H = kHorizontalClassBase;
    const Case cases[] = {
        {0, 0, 320, 1024, 320, 0},         // no request
        {320, 1, 320, 1024, 320, 0},       // the video's own size
        {-2, 1, 320, 1024, 640, H * 8},    // /W-2: integer stretch
        {-1, 1, 320, 1024, 1024, H * 4},   // /W-1: the screen, arbitrary stretch
        {-1, 1, 256, 1024, 1024, H * 8},   // the screen, an exact multiple
        {-3, 2, 320, 1024, 480, H * 4},    // /W-1.5
        {640, 1, 320, 1024, 640, H * 8},   // /W640
        {160, 1, 320, 1024, 160, H * 2},   // integer shrink
        {300, 1, 320, 1024, 300, H},       // arbitrary shrink
        {1001, 2, 320, 1024, 500, H * 4},  // num / den in whole pixels
        {-1, 2, 320, 1024, 160, H * 2},    // half size
    };
    for (const Case& c : cases) {
        uint32_t bits = 0;
        EXPECT_EQ(ClassifySize(c.num, c.den, c.video, c.screen, H, &bits), c.size) << c.num << "/" << c.den;
        EXPECT_EQ(bits, c.bits) << c.num << "/" << c.den;
    }
    uint32_t bits = 0x1;
    EXPECT_EQ(ClassifySize(-2, 1, 240, 768, kVerticalClassBase, &bits), 480u);
    EXPECT_EQ(bits, 0x1u | 0x08000000u);
}

}  // namespace
}  // namespace zarn
