// The window a display target draws into, as the window system knows it: an
// SDL_Window* on SDL2, an HWND on Win32. Only the platform's own files look
// inside it.
#pragma once

namespace zarn {

using NativeWindow = void*;

}  // namespace zarn
