// Opening a video by one of the three name forms: a file name, ":N" (inside
// the program's own file at byte N) or "file|N" (inside that file at byte N).
#pragma once

#include <cstdint>

#include "engine/file_access.h"
#include "player/command_line.h"

namespace zarn {

struct Movie;

// The player's file handle for the offset forms; kNoFile when none is open.
struct NamedVideo {
    Movie* movie = nullptr;
    NativeFile file_handle = kNoFile;
};

// Opens the video a name form points at. On failure the movie is null and
// the engine's last-error text says why ("Error opening EXE file." for the
// program's own file). The caller closes the movie, then the handle.
NamedVideo OpenNamedVideo(const NameForm& form, uint32_t open_flags);

// Closes the movie and the handle of a named video.
void CloseNamedVideo(NamedVideo* video);

// Path of the running program's own file (own_path_posix.cpp,
// own_path_win32.cpp).
bool OwnExecutablePath(char* buffer, uint32_t size);

}  // namespace zarn
