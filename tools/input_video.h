// Inputs of `zarn info` and `zarn decode`: a file name, "-" for standard
// input, or FILE|N for a video that starts at byte N of FILE (as the player
// takes it). Input that cannot seek (a pipe, a FIFO) is read whole into
// memory first, because opening a video reads its index and packets out of
// order.
#pragma once

#include <cstdint>
#include <string>

#include "tools/output_file.h"
#include "zarn/zarn.h"

namespace zarn {

struct InputVideo {
    std::string name;  // as given
    zarn_movie* movie = nullptr;
    int fd = -1;                 // the descriptor the movie reads
    uint64_t bytes_present = 0;  // bytes from the video's start to the end of its file
    FileIdentity identity;       // of a regular file, to refuse writing over it
    std::string error;           // the reason the open failed
};

// Opens the video with the library's ZARN_OPEN_* `open_flags`. False with
// `error` set (the library's message, or why the input could not be read).
bool OpenInputVideo(const std::string& name, uint32_t open_flags, InputVideo& video);

void CloseInputVideo(InputVideo& video);

// Why an audio track cannot be played or decoded, or empty.
std::string UnplayableTrackReason(const zarn_track_info& track);

}  // namespace zarn
