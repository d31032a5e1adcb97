#include "engine/last_error.h"

#include <cstring>

namespace zarn {
namespace {
// The text belongs to the thread that opens movies (the player's); keeping
// it per thread means two threads opening at once cannot garble it.
thread_local char g_text[kLastErrorBytes];
}  // namespace

const char* EngineLastError() { return g_text; }

void ClearEngineLastError() { g_text[0] = '\0'; }

void SetEngineLastError(const char* text) {
    std::strncpy(g_text, text, kLastErrorBytes - 1);
    g_text[kLastErrorBytes - 1] = '\0';
}

void SetEngineLastErrorIfEmpty(const char* text) {
    if (g_text[0] == '\0') SetEngineLastError(text);
}

}  // namespace zarn
