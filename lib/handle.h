// The record behind a zarn_movie handle: the engine's Movie and what the
// public calls keep between them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/file_reader.h"
#include "zarn/zarn.h"

namespace zarn {
struct AudioDecoder;
struct Movie;
}  // namespace zarn

struct zarn_movie {
    zarn::Movie* movie = nullptr;
    zarn_io io{};                     // the caller's callbacks (zarn_open_io)
    zarn::ReaderCallbacks reader_io;  // the engine's view of them
    uint32_t next_frame = 0;          // the frame the next decode gives
    bool decoded = false;             // next_frame - 1 is decoded and current
    bool positioned = true;           // the engine's current frame is next_frame
    // The frame last copied, where and how, for changed-only copies.
    int64_t copied_frame = -1;
    uint32_t copied_format = 0;
    const void* copied_buffer = nullptr;
    int32_t copied_pitch = 0;
    // The chosen track's sound: its decoder and the bytes not yet read.
    int32_t track = -1;
    zarn::AudioDecoder* audio = nullptr;
    std::vector<uint8_t> pcm;
    size_t pcm_read = 0;
    std::string error;
};

namespace zarn {

// Keeps `text` as the movie's error text and returns `status`.
zarn_status Fail(zarn_movie* movie, zarn_status status, const char* text);

// Decodes the packet's sound of the chosen track into the waiting bytes.
void QueueFrameSound(zarn_movie& h);

// Drops the waiting sound and starts the chosen track's decoder afresh;
// false when its memory cannot be had.
bool RestartSound(zarn_movie& h);

}  // namespace zarn
