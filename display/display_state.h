// The display state shared by every target of the process (player's thread
// only): the shared instance, the display's format, the requested mode, the
// desktop-mode references, the window's one renderer and the last error text.
#pragma once

#include <cstdint>

#include "display/display_facts.h"

struct SDL_Window;
struct SDL_Renderer;
struct SDL_Texture;
struct SDL_Surface;

namespace zarn {

struct DisplayState : DisplayFacts {
    bool unavailable;  // no video subsystem: never tried again
    int instance_count;
    SDL_Window* instance_window;
    bool exclusive_mode;  // the instance put the window full screen in a requested mode
    // Desktop mode change.
    bool desktop_mode_changed;
    int display_mode_refs;
    SDL_Window* mode_window;
    // The renderer a window carries, and the picture of the window it draws into.
    SDL_Renderer* renderer;
    SDL_Window* renderer_window;
    bool renderer_software;
    uint32_t renderer_serial;  // grows whenever a renderer is made
    SDL_Texture* canvas;
    int canvas_width, canvas_height;
};

DisplayState& Display();
void SetDisplayError(const char* text);

// Shared instance: a reference for `window`; exclusive asks for the requested
// mode full screen. Returns whether a reference was taken.
bool AcquireInstance(SDL_Window* window, bool exclusive);
void ReleaseInstance();

// Reads the display's format and size into the state.
void ReadDisplayFormat(SDL_Window* window);

// The window's renderer of the asked kind (made when needed, replacing one of
// the other kind), or nullptr.
SDL_Renderer* UseRenderer(SDL_Window* window, bool software);
// Destroys the renderer (and so every texture it made).
void DropRenderer();
// The window's own surface, after taking the window back from a renderer.
SDL_Surface* TakeWindowSurface(SDL_Window* window);
// The canvas (a render-target texture of the renderer's output size) selected
// as the render target; *fresh tells that it was just made (and is black).
SDL_Texture* BeginCanvas(bool* fresh);
// Shows the canvas in the window.
void PresentCanvas();
// Blacks out the canvas of `window`'s renderer, if it has one: what the
// window shows is drawn from it, so blacking out the window alone would
// bring the old picture back at the next blit.
void ClearCanvas(SDL_Window* window);

// Copies the window's current picture (from the canvas when a renderer draws
// the window, else from the window surface) as 32-bit ARGB pixels.
bool ReadDisplayPixels(SDL_Window* window, int x, int y, int width, int height, uint32_t* pixels);

// Copy format for an SDL pixel format (-1 unusable), and its bytes per pixel.
int CopyFormatForSdlFormat(uint32_t sdl_format);
uint32_t BitsOfSdlFormat(uint32_t sdl_format);

// Sets width x height at `bits` (0: any) full screen; returns the resulting
// bits per pixel or -1. LeaveModeChange returns to the desktop mode.
int TryFullscreenMode(SDL_Window* window, uint32_t width, uint32_t height, uint32_t bits);
void LeaveModeChange(SDL_Window* window);

// Software cursor: the probe (0 on SDL; tests may force a value with
// ForceCursorProbe, -1 lifts it), hiding over a screen rectangle and showing.
int ProbeSoftwareCursor(SDL_Window* window);
void ForceCursorProbe(int result);
int HideCursorOver(SDL_Window* window, int32_t x, int32_t y, uint32_t width, uint32_t height);
void ShowCursorTimes(int count);

}  // namespace zarn
