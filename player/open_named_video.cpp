#include "player/open_named_video.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "engine/last_error.h"
#include "engine/open_errors.h"
#include "engine/movie.h"

namespace zarn {

bool OwnExecutablePath(char* buffer, uint32_t size) {
    const ssize_t n = ::readlink("/proc/self/exe", buffer, size - 1);
    if (n <= 0 || static_cast<uint32_t>(n) >= size - 1) return false;
    buffer[n] = '\0';
    return true;
}

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
    const int fd = ::open(file, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        SetEngineLastError(error);
        return video;
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    const off_t offset = static_cast<off_t>(form.offset);
    if (offset < 0 || ::lseek(fd, offset, SEEK_SET) != offset) {
        ::close(fd);
        SetEngineLastError(error);
        return video;
    }
    video.movie = OpenMovieFromHandle(fd, open_flags);
    if (!video.movie) {
        ::close(fd);
        return video;
    }
    video.file_handle = fd;
    return video;
}

void CloseNamedVideo(NamedVideo* video) {
    CloseMovie(video->movie);
    video->movie = nullptr;
    if (video->file_handle >= 0) ::close(video->file_handle);
    video->file_handle = -1;
}

}  // namespace zarn
