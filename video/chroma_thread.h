// A second thread of one decoder: it decodes a frame's two chroma planes
// while the caller's thread decodes luma. Started once, used for every frame
// whose packet says where its chroma data starts, stopped at close.
#pragma once

#include <cstddef>
#include <cstdint>

#include "video/decode_plane.h"

namespace zarn {

struct ChromaThread;

// Starts the thread with its own bundle buffers and block marks, enough for
// frames up to luma_width x luma_height. Null when the memory or the thread
// cannot be had (decoding then stays on one thread).
ChromaThread* StartChromaThread(uint32_t luma_width, uint32_t luma_height);

// Asks the thread to end, joins it and frees it. Null is ignored.
void StopChromaThread(ChromaThread* thread);

// True when the thread's buffers hold a frame of this size.
bool ChromaThreadFits(const ChromaThread& thread, uint32_t luma_width, uint32_t luma_height);

// Hands the thread both chroma planes: `geometry` is the first plane's (its
// block_marks is replaced by the thread's own), the second follows it by
// `plane_bytes` in both frame buffers; `input`'s bundle buffers are replaced
// by the thread's own.
void PostChroma(ChromaThread& thread, const PlaneGeometry& geometry, const PlaneInput& input,
                size_t plane_bytes);

// Waits for the posted planes, adds the blocks they marked to `block_marks`
// (`count` bytes) and returns whether both decoded whole.
bool FinishChroma(ChromaThread& thread, uint8_t* block_marks, size_t count);

// Frames whose chroma the thread has decoded since it started.
uint32_t ChromaThreadFrames(const ChromaThread& thread);

}  // namespace zarn
