#include "fuzz/road/memory_file.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zarn::fuzz {
namespace {

int& SlotDescriptor(int slot) {
    static int fds[kMemoryFileSlots] = {-1, -1, -1, -1, -1, -1, -1, -1};
    return fds[slot];
}

}  // namespace

std::string WriteMemoryFile(int slot, const uint8_t* bytes, size_t size) {
    if (slot < 0 || slot >= kMemoryFileSlots) return "";
    int& fd = SlotDescriptor(slot);
    if (fd < 0) fd = ::memfd_create("zarn-fuzz", 0);
    // Emptied and rewound: a program handed "/proc/self/fd/N" writes at the
    // descriptor's own offset, as it would through a shell redirection.
    if (fd < 0 || ::ftruncate(fd, 0) != 0 || ::lseek(fd, 0, SEEK_SET) != 0) return "";
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd, bytes + done, size - done, static_cast<off_t>(done));
        if (n <= 0) return "";
        done += static_cast<size_t>(n);
    }
    return "/proc/self/fd/" + std::to_string(fd);
}

std::vector<uint8_t> ReadMemoryFile(int slot) {
    if (slot < 0 || slot >= kMemoryFileSlots || SlotDescriptor(slot) < 0) return {};
    const int fd = SlotDescriptor(slot);
    struct stat st;
    if (::fstat(fd, &st) != 0) return {};
    std::vector<uint8_t> bytes(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n <= 0) return {};
        done += static_cast<size_t>(n);
    }
    return bytes;
}

}  // namespace zarn::fuzz
