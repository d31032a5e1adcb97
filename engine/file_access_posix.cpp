#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "engine/file_access.h"

namespace zarn {

NativeFile FileOpenRead(const char* name) {
    if (!name) return kNoFile;
    const int fd = ::open(name, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return kNoFile;
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return fd;
}

uint32_t FileRead(NativeFile file, void* destination, uint32_t bytes) {
    auto* out = static_cast<uint8_t*>(destination);
    uint32_t got = 0;
    while (got < bytes) {
        const ssize_t n = ::read(static_cast<int>(file), out + got, bytes - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<uint32_t>(n);
    }
    return got;
}

bool FileSeek(NativeFile file, uint64_t position) {
    const off_t target = static_cast<off_t>(position);
    return target >= 0 && ::lseek(static_cast<int>(file), target, SEEK_SET) == target;
}

bool FilePosition(NativeFile file, uint64_t* position) {
    if (file < 0) return false;
    const off_t here = ::lseek(static_cast<int>(file), 0, SEEK_CUR);
    if (here < 0) return false;
    *position = static_cast<uint64_t>(here);
    return true;
}

bool FileSize(NativeFile file, uint64_t* size) {
    struct stat st;
    if (::fstat(static_cast<int>(file), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    *size = static_cast<uint64_t>(st.st_size);
    return true;
}

void FileClose(NativeFile file) {
    if (file >= 0) ::close(static_cast<int>(file));
}

}  // namespace zarn
