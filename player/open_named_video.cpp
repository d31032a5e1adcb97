#include "player/open_named_video.h"

#include "engine/file_access.h"
#include "engine/last_error.h"
#include "engine/movie.h"

namespace zarn {

NamedVideo OpenNamedVideo(const NameForm& form, uint32_t open_flags) {
    NamedVideo video;
    if (form.kind == NameKind::kFile) {
        video.movie = OpenMovie(form.file.c_str(), open_flags);
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
