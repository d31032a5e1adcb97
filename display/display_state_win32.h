// The display state shared by every Win32 target of the process (player's
// thread only): the shared DirectDraw instance, the display's format and size,
// the requested mode, the GDI mode change and its references, the last error.
#pragma once

#include <windows.h>
#include <ddraw.h>

#include <cstdint>

#include "display/display_facts.h"

namespace zarn {

struct Win32Display : DisplayFacts {
    // DirectDraw: the library (tried once), the object, the primary surface.
    HMODULE ddraw_library;
    bool ddraw_unavailable;
    HRESULT(WINAPI* direct_draw_create)(GUID*, IDirectDraw**, IUnknown*);
    IDirectDraw* direct_draw;
    IDirectDrawSurface* primary;
    int instance_count;
    // GDI mode change.
    bool mode_changed;
    int mode_refs;
};

Win32Display& Display();
void SetDisplayError(const char* text);

// Planes x bits per pixel of the screen's device context.
uint32_t ScreenBits();
// Reads the screen's size and depth into the state.
void ReadScreenFormat();

// The shared DirectDraw instance: a reference for `window`; exclusive asks
// for the requested display mode. Returns whether a reference was taken.
bool AcquireDirectDraw(HWND window, bool exclusive);
void ReleaseDirectDraw();

// A surface's pixel format as a copy format (-1 unusable).
int SurfaceCopyFormat(IDirectDrawSurface* surface);

// Locks a whole surface, waiting; a lost surface is restored and locked again
// while the restore succeeds. *restored tells that a restore was needed.
bool LockSurface(IDirectDrawSurface* surface, DDSURFACEDESC* desc, bool* restored);

// Software cursor: the probe for the primary surface, hiding over a screen
// rectangle and showing again.
int ProbeSoftwareCursor(IDirectDrawSurface* primary, HWND window);
int HideCursorOver(HWND window, int32_t x, int32_t y, uint32_t width, uint32_t height);
void ShowCursorTimes(int count);

}  // namespace zarn
