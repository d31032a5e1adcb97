#include <windows.h>

#include "player/command_line.h"

namespace zarn {

// String resource 1 of the program (player/win32/zarnplay.rc), at most 511
// characters, cut at its first "~".
std::string StoredDefaultCommand() {
    char text[kStoredCommandArea] = "";
    const int n = LoadStringA(GetModuleHandleA(nullptr), 1, text, sizeof text);
    return n > 0 ? CutDefaultCommand(std::string_view(text, static_cast<size_t>(n))) : std::string();
}

}  // namespace zarn
