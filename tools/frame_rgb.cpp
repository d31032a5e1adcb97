#include "tools/frame_rgb.h"

#include "convert/copy_flags.h"
#include "convert/copy_frame.h"
#include "engine/movie.h"

namespace zarn {
namespace {

FrameSource SourceOf(const Movie& m) {
    FrameSource s{};
    s.frame = m.frame_buffers[m.current_buffer];
    s.alpha = m.alpha_planes[m.current_buffer];
    s.block_marks = m.block_marks;
    s.mb_cols = m.mb_cols;
    s.mb_count = m.mb_count;
    s.source_width = m.source_width;
    s.source_height = m.source_height;
    s.luma_width = m.luma_width;
    s.luma_height = m.luma_height;
    return s;
}

}  // namespace

void CurrentFrameRgb(const Movie& m, std::vector<uint8_t>& rgb) {
    rgb.resize(size_t{m.width} * m.height * 3);
    CopyFrame(SourceOf(m), rgb.data(), static_cast<int32_t>(m.width * 3), m.height, 0, 0,
              MergeCopyFlags(kFormatRgb24 | kCopyWholeFrame, m.flags));
}

}  // namespace zarn
