#include "convert/copy_frame.h"

#include <cstring>

#include "convert/colour_tables.h"
#include "convert/convert_changed_blocks.h"
#include "convert/convert_frame.h"
#include "convert/copy_flags.h"
#include "convert/copy_planes_yv12.h"
#include "convert/descriptors.h"

namespace zarn {

uint32_t MergeCopyFlags(uint32_t copy_flags, uint32_t movie_flags) {
    return copy_flags | (movie_flags & kMovieCopyFlagsMask);
}

namespace {

bool SomeBlockUnchanged(const FrameSource& s) {
    return s.block_marks != nullptr && std::memchr(s.block_marks, 0, s.mb_count) != nullptr;
}

}  // namespace

CopyPath ChooseCopyPath(const FrameSource& source, uint32_t merged_flags) {
    const uint32_t format = CopyFormatOf(merged_flags);
    if (format == kFormatYv12) return CopyPath::kPlanes;
    if (DescriptorForFormat(format, source.alpha != nullptr) < 0) return CopyPath::kNone;
    if (!(merged_flags & kCopyWholeFrame) && SomeBlockUnchanged(source)) return CopyPath::kChangedBlocks;
    return CopyPath::kWholeFrame;
}

void CopyFrame(const FrameSource& source, uint8_t* buffer, int32_t pitch, uint32_t buffer_height, uint32_t x,
               uint32_t y, uint32_t merged_flags) {
    if (buffer == nullptr || source.frame == nullptr) return;
    // Planes are laid out for even luma sizes; anything else is not a frame.
    if ((source.luma_width | source.luma_height) & 1) return;
    if (pitch < 0) {
        // Bottom-up buffer: start at the row that shows the picture's top row.
        buffer -= static_cast<ptrdiff_t>(static_cast<int64_t>(buffer_height) - y - 1) * pitch;
        y = 0;
    }
    const uint32_t format = CopyFormatOf(merged_flags);
    PrepareConversionTables(static_cast<int32_t>(format));
    InstalledKernelSet();

    // The picture never reaches past the decoded planes.
    const uint32_t width = source.source_width < source.luma_width ? source.source_width : source.luma_width;
    const uint32_t height =
        source.source_height < source.luma_height ? source.source_height : source.luma_height;
    const uint32_t mb_cols = source.luma_width / 16;

    const CopyPath path = ChooseCopyPath(source, merged_flags);
    switch (path) {
    case CopyPath::kNone: return;
    case CopyPath::kPlanes:
        CopyPlanesYV12(buffer, x, y, pitch, buffer_height, source.frame, width, height, source.luma_width,
                       source.luma_height, merged_flags);
        return;
    case CopyPath::kWholeFrame:
    case CopyPath::kChangedBlocks: break;
    }
    const int d = DescriptorForFormat(format, source.alpha != nullptr);
    const bool alpha_layout = DescriptorCarriesAlpha(d);
    const uint8_t* alpha = alpha_layout ? source.alpha : nullptr;
    if (path == CopyPath::kChangedBlocks &&
        static_cast<uint64_t>(mb_cols) * (source.luma_height / 16) <= source.mb_count) {
        ConvertChangedBlocks(buffer, x, y, pitch, source.block_marks, mb_cols, source.frame, width, height,
                             source.luma_width, source.luma_height, alpha, merged_flags, g_descriptors[d]);
    } else {
        ConvertFrame(buffer, x, y, pitch, source.frame, 0, 0, width, height, source.luma_width,
                     source.luma_height, alpha, merged_flags, g_descriptors[d]);
    }
}

}  // namespace zarn
