// Block decisions of one plane: for every 8x8 block, the block type costing
// the least distortion plus lambda times bits, and its bundle values and
// in-line fields in PlaneData.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "encoder/plane_data.h"

namespace zarn {

struct PlaneSource {
    const uint8_t* src = nullptr;  // picture to code, decode size
    uint32_t src_stride = 0;
    const uint8_t* prev = nullptr;  // previous reconstruction, same geometry
    uint32_t prev_stride = 0;
    uint32_t width = 0;   // decode width, multiple of 8
    uint32_t height = 0;  // decode height, multiple of 8
};

// Motion offsets chosen per block (rows x cols), kept to guide the next plane.
struct MotionField {
    uint32_t cols = 0, rows = 0;
    std::vector<int8_t> dx, dy;
    std::vector<uint8_t> valid;
};

struct PlaneOptions {
    bool key = true;                    // only blocks that need no previous picture
    bool old_colours = false;           // versions f, g, h: colour 0 cannot be stored
    unsigned quantiser = 4;             // 0..15
    float lambda = 10.0f;               // weight of one bit against squared error
    const MotionField* hint = nullptr;  // offsets of a plane of twice the size, or null
    uint32_t allowed_types = 0x3FF;     // bit t set: block type t may be chosen (fill always may)
    uint8_t* expected = nullptr;        // when set: the pixels the decoder must produce (stride width)
    unsigned threads = 1;               // workers deciding blocks; the data is the same for any count
};

struct PlaneReport {
    uint32_t block_counts[16] = {};      // per block type (a scaled block counts once)
    uint32_t sub_block_counts[16] = {};  // per sub-block type of scaled blocks
};

// `side_task`, when given, runs once beside the block decisions, on a helper
// thread before it joins them, or on the caller's thread when no helper took
// it up: work that needs none of this plane, such as writing the plane before.
void EncodePlaneBlocks(const PlaneSource& source, const PlaneOptions& options, PlaneData& out,
                       MotionField* motion_out, PlaneReport* report,
                       const std::function<void()>& side_task = {});

}  // namespace zarn
