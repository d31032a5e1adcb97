// The player's view of the platform: the screen, its one window, the window's
// events, message boxes, the URL opener and the statistics band's text. The
// player's logic talks to this interface only, so it builds without any
// platform library; one implementation stands on SDL2, one on Win32.
#pragma once

#include <cstdint>
#include <memory>

#include "display/native_window.h"

namespace zarn {

enum class MessageIcon { kInformation, kError };

// What the window reports, in the window system's own terms.
enum class EventKind {
    kQuit,  // the window has been destroyed: the loop ends
    kFocusGained,
    kFocusLost,
    kPaint,    // part of the window must be drawn again
    kMoved,    // the window's top-left corner is now (x, y)
    kChar,     // a typed character: `code` is 13, 27, 32, 46 or another
    kClick,    // the left mouse button went up
    kKey,      // a key that types nothing: `code` is a NavigationKey
    kWheel,    // the mouse wheel turned: `y` is positive away from the user
    kResized,  // the client area is now `x` by `y` pixels
};

// The keys of kKey events.
enum NavigationKey : uint32_t { kKeyRight = 1, kKeyLeft, kKeyUp, kKeyDown, kKeyHome };

struct PlayerEvent {
    EventKind kind = EventKind::kQuit;
    uint32_t code = 0;  // kClick: 2 for a double click
    int32_t x = 0, y = 0;
};

struct WindowRequest {
    uint32_t style = 0;  // 0 decorated, 1 without title bar, 2 borderless
    bool always_on_top = false;
    bool hide_cursor = false;
    int32_t parent_window = 0;  // a window handle given with /#, 0 none
};

// A band of the window's client area: left, top, right, bottom.
struct BandRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};

class Platform {
public:
    virtual ~Platform() = default;

    // Whether a display server is reachable (boxes can be shown).
    virtual bool HasDisplay() const = 0;
    // Why the player runs without a visible window, or null when it has one.
    virtual const char* HeadlessNotice() const { return nullptr; }
    virtual void ScreenSize(uint32_t* width, uint32_t* height) const = 0;
    // Shows a modal message box (only when there is a display).
    virtual void ShowMessage(const char* title, const char* text, MessageIcon icon) = 0;

    // The window: created hidden at 32 x 32.
    virtual bool CreateWindow(const WindowRequest& request) = 0;
    virtual NativeWindow Window() = 0;
    // Places the window by its outer rectangle (frame included).
    virtual void PlaceWindow(int32_t x, int32_t y, uint32_t width, uint32_t height) = 0;
    virtual void MoveWindow(int32_t x, int32_t y) = 0;
    virtual void WindowPosition(int32_t* x, int32_t* y) = 0;
    virtual void ShowWindow() = 0;
    virtual void HideWindow() = 0;
    // Ends the window's life as seen by the player: a kQuit event follows.
    // The system window itself lives on until the platform is released, so
    // display targets can still be closed after it.
    virtual void DestroyWindow() = 0;
    // Asks for a kPaint event without erasing anything first.
    virtual void RequestPaint() = 0;
    // Full screen on the window's display, or back to the window as it was;
    // a kResized event tells the new client size. False where there is none.
    virtual bool SetFullScreen(bool /*on*/) { return false; }
    virtual void ClientSize(uint32_t* width, uint32_t* height) { *width = *height = 0; }

    // Takes the next event without waiting; false when none is queued.
    virtual bool PollEvent(PlayerEvent* event) = 0;

    virtual void OpenUrl(const char* url) = 0;

    // Painting outside the picture: the whole client area black, and the
    // statistics line yellow on black centred in its band.
    virtual void FillBlack() = 0;
    virtual bool MeasureText(const char* text, uint32_t* width, uint32_t* height) = 0;
    virtual void DrawBand(const BandRect& band, const char* text) = 0;
};

// The SDL2 platform. Never fails: without a display server it says so on
// standard error and runs headless.
std::unique_ptr<Platform> CreateSdlPlatform();

// The Win32 platform for the program instance (an HINSTANCE).
std::unique_ptr<Platform> CreateWin32Platform(void* instance);

}  // namespace zarn
