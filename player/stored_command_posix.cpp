#include "player/command_line.h"

namespace zarn {
namespace {

#define ZARN_TILDE_16 "~~~~~~~~~~~~~~~~"
#define ZARN_TILDE_128                                                                                \
    ZARN_TILDE_16 ZARN_TILDE_16 ZARN_TILDE_16 ZARN_TILDE_16 ZARN_TILDE_16 ZARN_TILDE_16 ZARN_TILDE_16 \
        ZARN_TILDE_16
#define ZARN_TILDE_512 ZARN_TILDE_128 ZARN_TILDE_128 ZARN_TILDE_128 ZARN_TILDE_128

// Volatile so that every read comes from the (possibly patched) program image
// instead of being folded from the initial "~" run at build time.
[[gnu::used]] volatile char g_stored_command[] = ZARN_STORED_COMMAND_MARKER ZARN_TILDE_512;
static_assert(sizeof(g_stored_command) == kStoredCommandMarkerLength + kStoredCommandArea + 1);

}  // namespace

std::string StoredDefaultCommand() {
    std::string area(kStoredCommandArea, '~');
    for (size_t i = 0; i < kStoredCommandArea; ++i)
        area[i] = g_stored_command[kStoredCommandMarkerLength + i];
    return CutDefaultCommand(area);
}

}  // namespace zarn
