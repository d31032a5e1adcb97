#include <unistd.h>

#include "player/open_named_video.h"

namespace zarn {

bool OwnExecutablePath(char* buffer, uint32_t size) {
    const ssize_t n = ::readlink("/proc/self/exe", buffer, size - 1);
    if (n <= 0 || static_cast<uint32_t>(n) >= size - 1) return false;
    buffer[n] = '\0';
    return true;
}

}  // namespace zarn
