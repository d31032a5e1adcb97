// Inputs of `zarn info` and `zarn decode`: a file name, "-" for standard
// input, or FILE|N for a video that starts at byte N of FILE (as the player
// takes it). Input that cannot seek (a pipe, a FIFO) is read whole into
// memory first, because opening a video reads its index and packets out of
// order.
#pragma once

#include <cstdint>
#include <string>

#include "tools/output_file.h"

namespace zarn {

struct Movie;

struct InputVideo {
    std::string name;          // as given
    Movie* movie = nullptr;
    int fd = -1;               // the descriptor the movie reads
    char version = '?';        // the letter after "ZRN"
    uint64_t bytes_present = 0;  // bytes from the video's start to the end of its file
    FileIdentity identity;     // of a regular file, to refuse writing over it
    std::string error;         // the reason the open failed
};

// Opens the video with the engine's `open_flags`. False with `error` set
// (the engine's message, or why the input could not be read).
bool OpenInputVideo(const std::string& name, uint32_t open_flags, InputVideo& video);

void CloseInputVideo(InputVideo& video);

// Why an audio track of this format cannot be played or decoded, or empty.
std::string UnplayableTrackReason(uint32_t track_format);

}  // namespace zarn
