#include <windows.h>

#include "player/open_named_video.h"

namespace zarn {

bool OwnExecutablePath(char* buffer, uint32_t size) {
    const DWORD n = GetModuleFileNameA(nullptr, buffer, size);
    // A full buffer means the path was cut.
    return n > 0 && n < size;
}

}  // namespace zarn
