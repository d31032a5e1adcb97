// Video frame decoder: one video packet into the planes of a frame buffer.
#pragma once

#include <cstdint>

#include "format/zarn_format.h"

namespace zarn {

struct ChromaThread;

// Of `flags` (the movie's effective flags) the decoder reads kFlagVersionH
// (versions f, g, h: no chroma offset word, colours around 128),
// kFlagGreyScale (luma only; chroma planes untouched) and kFlagAlpha; of
// `header_flags` (the header's video flags) kVideoFlagAlpha.

// Decodes one frame's video packet (packet_bytes long; bits beyond it read as zero) into `dest`
// (luma luma_width x luma_height, then two chroma planes of (luma_width/2) x (luma_height/2)),
// predicting from `prev` (may equal dest when every frame is a key frame). Alpha planes may be null.
// Returns false when part of the frame was abandoned (damaged data or buffers that cannot hold it);
// what was decoded stays in `dest` either way. With a `helper` (StartChromaThread), chroma planes
// whose start the packet gives are decoded on it beside luma, to the same result.
bool DecodeVideoFrame(uint8_t* dest, const uint8_t* prev, uint8_t* dest_alpha, const uint8_t* prev_alpha,
                      uint8_t* block_marks, uint32_t source_width, uint32_t source_height,
                      uint32_t luma_width, uint32_t luma_height, const uint8_t* packet, uint32_t packet_bytes,
                      uint32_t key_frame, uint8_t* const bundle_buffers[kBundleCount], uint32_t flags,
                      uint32_t header_flags, ChromaThread* helper = nullptr);

}  // namespace zarn
