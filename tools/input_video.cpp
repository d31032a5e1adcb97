#include "tools/input_video.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zarn {
namespace {

// No Zarn file is longer: its length is a 32-bit field.
constexpr uint64_t kLargestVideo = 0xFFFFFFFFull;

// FILE|N: the file and the offset, when the name has that form and no file
// of the whole name exists.
bool SplitOffsetForm(const std::string& name, std::string& file, uint64_t& offset) {
    const size_t bar = name.rfind('|');
    if (bar == std::string::npos || bar == 0 || bar + 1 >= name.size() || bar + 21 < name.size())
        return false;
    struct stat st;
    if (::stat(name.c_str(), &st) == 0) return false;
    uint64_t v = 0;
    for (size_t i = bar + 1; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return false;
        v = v * 10 + static_cast<uint64_t>(name[i] - '0');
    }
    file = name.substr(0, bar);
    offset = v;
    return true;
}

// Copies a stream into an in-memory file that can seek.
int HoldInMemory(int from, std::string& error) {
    const int fd = ::memfd_create("zarn-input", MFD_CLOEXEC);
    if (fd < 0) {
        error = std::string("cannot hold the input in memory: ") + std::strerror(errno);
        return -1;
    }
    static char buffer[1 << 16];
    uint64_t total = 0;
    for (;;) {
        const ssize_t n = ::read(from, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = std::string("cannot read: ") + std::strerror(errno);
            break;
        }
        if (n == 0) {
            if (::lseek(fd, 0, SEEK_SET) == 0) return fd;
            error = std::string("cannot read: ") + std::strerror(errno);
            break;
        }
        total += static_cast<uint64_t>(n);
        if (total > kLargestVideo) {
            error =
                "too big to read into memory from a stream (a Zarn file is under 4 GiB);"
                " give it as a file instead";
            break;
        }
        ssize_t done = 0;
        while (done < n) {
            const ssize_t w = ::write(fd, buffer + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                error = std::string("cannot hold the input in memory: ") + std::strerror(errno);
                ::close(fd);
                return -1;
            }
            done += w;
        }
    }
    ::close(fd);
    return -1;
}

}  // namespace

bool OpenInputVideo(const std::string& name, uint32_t open_flags, InputVideo& video) {
    video = InputVideo{};
    video.name = name;
    std::string file = name;
    uint64_t offset = 0;
    SplitOffsetForm(name, file, offset);
    int fd = file == "-" ? ::fcntl(0, F_DUPFD_CLOEXEC, 3) : ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        video.error = std::string("cannot open: ") + std::strerror(errno);
        return false;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        video.error = std::string("cannot read: ") + std::strerror(S_ISDIR(st.st_mode) ? EISDIR : errno);
        ::close(fd);
        return false;
    }
    if (S_ISREG(st.st_mode)) {
        video.identity.known = true;
        video.identity.device = st.st_dev;
        video.identity.inode = st.st_ino;
    } else {
        const int held = HoldInMemory(fd, video.error);
        ::close(fd);
        if (held < 0) return false;
        fd = held;
        if (::fstat(fd, &st) != 0) st.st_size = 0;
    }
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    video.bytes_present = offset < size ? size - offset : 0;
    if (offset > size) {
        video.error = "Error opening file.";
        ::close(fd);
        return false;
    }
    if (zarn_open_fd(fd, offset, open_flags, &video.movie) != ZARN_OK) {
        video.error = zarn_error_text(nullptr);
        ::close(fd);
        return false;
    }
    video.fd = fd;
    return true;
}

void CloseInputVideo(InputVideo& video) {
    zarn_close(video.movie);
    video.movie = nullptr;
    if (video.fd >= 0) ::close(video.fd);
    video.fd = -1;
}

std::string UnplayableTrackReason(const zarn_track_info& track) {
    if (!track.has_audio) return "it holds no audio";
    // One bit gives the channels, so only the rate can be out of range.
    if (track.rate == 0) return "its sample rate is 0 Hz";
    return "";
}

}  // namespace zarn
