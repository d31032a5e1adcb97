// Pictures and sounds drawn by our own code: test clips, the demo video and
// the closing picture are all made from these.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "encoder/wav_reader.h"
#include "encoder/y4m.h"

namespace zarn {

// Draws text in a 5x7 pixel font (upper case, digits, a few lower-case
// letters and punctuation), each font pixel `scale` x `scale`, into a plane.
void DrawText(std::vector<uint8_t>& plane, uint32_t stride, uint32_t height, int x, int y,
              const std::string& text, int scale, uint8_t value);
// Width in pixels of drawn text.
int TextWidth(const std::string& text, int scale);

enum class Clip {
    kPanZoom,        // slow pan and zoom over a drawn picture
    kScrollingText,  // lines of text moving up
    kGradients,      // moving colour gradients
    kNoise,          // random pixels every frame
    kSceneCut,       // a drawn picture, then from frame 15 on moving gradients
    kDemo,           // the demo: shapes moving over a gradient with a title
};

// Frame `index` of a clip at the given size.
YuvPicture MakeClipFrame(Clip clip, uint32_t width, uint32_t height, uint32_t index);

// Sounds: a sine sweep from 100 Hz to 8 kHz, a three-note chord, and the
// demo's little tune; `seconds` long at `rate` with 1 or 2 channels.
PcmTrack MakeSineSweep(uint32_t rate, uint32_t channels, double seconds);
PcmTrack MakeChord(uint32_t rate, uint32_t channels, double seconds);
PcmTrack MakeTune(uint32_t rate, uint32_t channels, double seconds);

// The closing picture: the player's name and a logo, 224 x 252.
YuvPicture MakeClosingPicture();

}  // namespace zarn
