// Decoding and seeking, and the current frame as a copy or as planes: the
// engine's DoFrame, NextFrame, GotoFrame and CopyToBuffer, stepped the way
// `zarn decode` steps them.
#include "convert/copy_flags.h"
#include "convert/copy_frame.h"
#include "engine/copy_to_buffer.h"
#include "engine/frame_control.h"
#include "engine/frame_loading.h"
#include "engine/movie.h"
#include "lib/handle.h"

namespace zarn {
namespace {

constexpr const char* kReadErrorText = "A frame could not be read.";
constexpr const char* kCorruptFrameText = "The frame's data is damaged; part of it was not decoded.";

// Makes the engine's current frame the handle's next one.
void Position(zarn_movie& h) {
    if (!h.positioned) {
        NextFrame(h.movie);
        h.positioned = true;
    }
}

zarn_status FrameStatus(zarn_movie& h, int32_t read_failed) {
    if (read_failed) return Fail(&h, ZARN_ERROR_READ, kReadErrorText);
    if (h.movie->frame_damaged) return Fail(&h, ZARN_ERROR_CORRUPT_FRAME, kCorruptFrameText);
    return ZARN_OK;
}

// Bytes of one output-size row, and of the frame, in a copy format.
size_t RowBytes(uint32_t format, uint32_t width) {
    if (format == kFormatYv12) return width;
    if (format == kFormatBgr24 || format == kFormatRgb24) return size_t{width} * 3;
    if (format >= kFormatBgrx32 && format <= kFormatRgba32) return size_t{width} * 4;
    return size_t{width} * 2;
}

size_t FrameBytes(uint32_t format, uint32_t width, uint32_t height) {
    if (format == kFormatYv12) return size_t{width} * height + 2 * size_t{width / 2} * (height / 2);
    return RowBytes(format, width) * height;
}

}  // namespace
}  // namespace zarn

using namespace zarn;

extern "C" {

zarn_status zarn_decode_frame(zarn_movie* h) {
    if (!h) return ZARN_ERROR_BAD_ARGUMENT;
    Movie& m = *h->movie;
    if (h->next_frame >= m.frame_count) return Fail(h, ZARN_END_OF_FILE, "Every frame is decoded.");
    Position(*h);
    const int32_t read_failed = DoFrame(&m);
    if (read_failed) return FrameStatus(*h, read_failed);
    QueueFrameSound(*h);
    h->decoded = true;
    h->positioned = false;
    h->next_frame += 1;
    return FrameStatus(*h, 0);
}

int zarn_is_key_frame(const zarn_movie* h, uint32_t frame) {
    if (!h || frame >= h->movie->frame_count) return -1;
    return (h->movie->frame_index[frame] & 1) != 0;
}

int64_t zarn_current_frame(const zarn_movie* h) {
    if (!h || !h->decoded) return -1;
    return int64_t{h->next_frame} - 1;
}

zarn_status zarn_seek(zarn_movie* h, uint32_t frame) {
    if (!h) return ZARN_ERROR_BAD_ARGUMENT;
    Movie& m = *h->movie;
    if (frame >= m.frame_count) return Fail(h, ZARN_ERROR_BAD_ARGUMENT, "No such frame.");
    // The engine decodes from the key frame at or before the target; the
    // next decode gives the target itself.
    if (SeekToFrame(&m, frame + 1) != 0) return Fail(h, ZARN_ERROR_READ, kReadErrorText);
    h->decoded = false;
    h->positioned = true;
    h->next_frame = frame;
    h->copied_frame = -1;
    if (!RestartSound(*h)) return Fail(h, ZARN_ERROR_OUT_OF_MEMORY, "Out of memory.");
    return ZARN_OK;
}

size_t zarn_frame_bytes(const zarn_movie* h, zarn_format format, int32_t* pitch) {
    const uint32_t f = static_cast<uint32_t>(format);
    if (!h || f == kFormatPalette || f > kFormatYv12) return 0;
    if (pitch) *pitch = static_cast<int32_t>(RowBytes(f, h->movie->width));
    return FrameBytes(f, h->movie->width, h->movie->height);
}

zarn_status zarn_copy_frame(zarn_movie* h, zarn_format format, void* buffer, int32_t pitch, uint32_t flags) {
    const uint32_t f = static_cast<uint32_t>(format);
    // Nothing converts into palette indexes: such a copy would write nothing.
    if (!h || !buffer || f == kFormatPalette || f > kFormatYv12 ||
        (flags & ~(ZARN_COPY_CHANGED_ONLY | ZARN_COPY_PLAIN)))
        return Fail(h, ZARN_ERROR_BAD_ARGUMENT, "Bad copy arguments.");
    if (!h->decoded) return Fail(h, ZARN_ERROR_NO_FRAME, "No frame is decoded yet.");
    Movie& m = *h->movie;
    const int64_t frame = int64_t{h->next_frame} - 1;
    const size_t row = RowBytes(f, m.width);
    if ((pitch < 0 ? -int64_t{pitch} : int64_t{pitch}) < static_cast<int64_t>(row))
        return Fail(h, ZARN_ERROR_BAD_ARGUMENT, "The pitch is shorter than a row.");
    uint32_t copy = f | kCopyNeverSkip;
    // Only blocks changed since the previous frame may be left out, and only
    // when this buffer got that frame, in this format, from the last copy.
    const bool changed_only = (flags & ZARN_COPY_CHANGED_ONLY) && h->copied_frame == frame - 1 &&
                              h->copied_format == f && h->copied_buffer == buffer && h->copied_pitch == pitch;
    if (!changed_only) copy |= kCopyWholeFrame;
    if (flags & ZARN_COPY_PLAIN) copy |= kCopyForcePlain;
    CopyToBuffer(&m, static_cast<uint8_t*>(buffer), pitch, m.height, 0, 0, copy);
    h->copied_frame = frame;
    h->copied_format = f;
    h->copied_buffer = buffer;
    h->copied_pitch = pitch;
    return ZARN_OK;
}

zarn_status zarn_get_planes(const zarn_movie* h, zarn_planes* planes) {
    if (!h || !planes) return ZARN_ERROR_BAD_ARGUMENT;
    if (!h->decoded) return ZARN_ERROR_NO_FRAME;
    const Movie& m = *h->movie;
    const uint8_t* frame = m.frame_buffers[m.current_buffer];
    const uint8_t* first = frame + size_t{m.luma_width} * m.luma_height;
    const uint8_t* second = first + size_t{m.luma_width / 2} * (m.luma_height / 2);
    // Older files store U first, the rest V first.
    const bool u_first = (m.flags & kFlagVersionFG) != 0;
    planes->y = frame;
    planes->u = u_first ? first : second;
    planes->v = u_first ? second : first;
    planes->a = m.alpha_planes[m.current_buffer];
    planes->y_stride = static_cast<int32_t>(m.luma_width);
    planes->uv_stride = static_cast<int32_t>(m.luma_width / 2);
    planes->a_stride = planes->a ? static_cast<int32_t>(m.luma_width) : 0;
    planes->width = m.source_width;
    planes->height = m.source_height;
    planes->chroma_width = (m.source_width + 1) / 2;
    planes->chroma_height = (m.source_height + 1) / 2;
    return ZARN_OK;
}

}  // extern "C"
