#include "tools/frame_rgb.h"

namespace zarn {

bool CurrentFrameRgb(zarn_movie* movie, std::vector<uint8_t>& rgb) {
    int32_t pitch = 0;
    rgb.resize(zarn_frame_bytes(movie, ZARN_FORMAT_RGB24, &pitch));
    return !rgb.empty() && zarn_copy_frame(movie, ZARN_FORMAT_RGB24, rgb.data(), pitch, 0) == ZARN_OK;
}

}  // namespace zarn
