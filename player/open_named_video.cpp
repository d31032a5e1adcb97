#include "player/open_named_video.h"

#include <cstring>

#include "engine/file_access.h"
#include "engine/last_error.h"
#include "engine/open_errors.h"
#include "engine/movie.h"

namespace zarn {

NamedVideo OpenNamedVideo(const NameForm& form, uint32_t open_flags) {
    NamedVideo video;
    if (form.kind == NameKind::kFile) {
        video.movie = OpenMovie(form.file.c_str(), open_flags);
        // A name without an extension may be the file itself ("clip",
        // "/dev/stdin"); the first attempt's text stays when neither opens.
        if (!video.movie && !form.given.empty() && std::strcmp(EngineLastError(), kErrorOpening) == 0) {
            video.movie = OpenMovie(form.given.c_str(), open_flags);
            if (!video.movie) SetEngineLastError(kErrorOpening);
        }
        return video;
    }
    const bool own = form.kind == NameKind::kOwnExecutable;
    const char* error = own ? "Error opening EXE file." : "Error opening file.";
    char path[4096];
    const char* file = form.file.c_str();
    if (own) {
        if (!OwnExecutablePath(path, sizeof path)) {
            SetEngineLastError(error);
            return video;
        }
        file = path;
    }
    const NativeFile fd = FileOpenRead(file);
    if (fd == kNoFile) {
        SetEngineLastError(error);
        return video;
    }
    if (!FileSeek(fd, form.offset)) {
        FileClose(fd);
        SetEngineLastError(error);
        return video;
    }
    video.movie = OpenMovieFromHandle(fd, open_flags);
    if (!video.movie) {
        FileClose(fd);
        return video;
    }
    video.file_handle = fd;
    return video;
}

void CloseNamedVideo(NamedVideo* video) {
    CloseMovie(video->movie);
    video->movie = nullptr;
    FileClose(video->file_handle);
    video->file_handle = kNoFile;
}

}  // namespace zarn
