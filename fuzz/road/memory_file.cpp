#include "fuzz/road/memory_file.h"

#include <sys/mman.h>
#include <unistd.h>

namespace zarn::fuzz {

std::string WriteMemoryFile(int slot, const uint8_t* bytes, size_t size) {
    static int fds[4] = {-1, -1, -1, -1};
    if (slot < 0 || slot > 3) return "";
    int& fd = fds[slot];
    if (fd < 0) fd = ::memfd_create("zarn-fuzz", 0);
    if (fd < 0 || ::ftruncate(fd, 0) != 0) return "";
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd, bytes + done, size - done, static_cast<off_t>(done));
        if (n <= 0) return "";
        done += static_cast<size_t>(n);
    }
    return "/proc/self/fd/" + std::to_string(fd);
}

}  // namespace zarn::fuzz
