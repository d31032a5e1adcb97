// The engine's last-error text: set by a failing open, read by the player.
#pragma once

namespace zarn {

constexpr int kLastErrorBytes = 256;

const char* EngineLastError();
void ClearEngineLastError();
void SetEngineLastError(const char* text);
// Sets the text only when no text is held yet.
void SetEngineLastErrorIfEmpty(const char* text);

}  // namespace zarn
