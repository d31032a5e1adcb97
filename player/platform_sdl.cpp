#include <SDL.h>

#include <csignal>
#include <cstdlib>
#include <cstring>

#include "display/text_box.h"
#include "display/window_paint.h"
#include "player/platform.h"

namespace zarn {
namespace {

// Screen size used when no display tells one.
constexpr uint32_t kHeadlessWidth = 640, kHeadlessHeight = 480;
constexpr int kIconSize = 32;
constexpr const char* kWindowTitle = "Zarn Video Player";

// SIGINT and SIGTERM close the window: the player then shuts down as after
// a click on the close box (summary included) instead of dying mid-frame.
volatile std::sig_atomic_t g_close_signal = 0;

extern "C" void OnCloseSignal(int) { g_close_signal = 1; }

void CatchCloseSignals() {
    std::signal(SIGINT, OnCloseSignal);
    std::signal(SIGTERM, OnCloseSignal);
}

bool DriverIsHeadless(const char* driver) {
    return driver && (std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "offscreen") == 0);
}

bool DisplayServerNamed() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

// The program's icon, drawn by code: a deep blue rounded square holding a
// yellow play triangle.
SDL_Surface* DrawIcon() {
    SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormat(0, kIconSize, kIconSize, 32, SDL_PIXELFORMAT_ARGB8888);
    if (!icon) return nullptr;
    auto* pixels = static_cast<uint32_t*>(icon->pixels);
    const int stride = icon->pitch / 4;
    for (int y = 0; y < kIconSize; ++y) {
        for (int x = 0; x < kIconSize; ++x) {
            const int cx = x < 4 ? 4 - x : (x > 27 ? x - 27 : 0);
            const int cy = y < 4 ? 4 - y : (y > 27 ? y - 27 : 0);
            uint32_t colour = 0;  // transparent corners
            if (cx * cx + cy * cy <= 16) colour = 0xFF1A2A6Cu;
            // The triangle: from (10, 8) to (10, 24) to (24, 16).
            const int dy = y < 16 ? y - 8 : 24 - y;
            if (x >= 10 && y >= 8 && y <= 24 && (x - 10) * 8 <= dy * 14) colour = 0xFFFFD200u;
            pixels[y * stride + x] = colour;
        }
    }
    return icon;
}

class SdlPlatform final : public Platform {
public:
    SdlPlatform() {
        const bool forced_headless = DriverIsHeadless(std::getenv("SDL_VIDEODRIVER"));
        if (!forced_headless && !DisplayServerNamed()) {
            notice_ = "zarnplay: no display server; playing without a window";
        } else if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) {
            video_ = true;
            display_ = !DriverIsHeadless(SDL_GetCurrentVideoDriver());
        } else {
            notice_ = "zarnplay: the display server cannot be reached; playing without a window";
        }
        if (!video_) {
            // The dummy driver stands in: same pacing, no picture.
            SDL_SetHint(SDL_HINT_VIDEODRIVER, "dummy");
            setenv("SDL_VIDEODRIVER", "dummy", 1);
            video_ = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
        }
        font_ = OpenBandFont();
        // After SDL's start-up, which installs handlers of its own.
        CatchCloseSignals();
    }
    ~SdlPlatform() override {
        CloseBandFont(font_);
        if (window_) SDL_DestroyWindow(window_);
        if (video_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }

    bool HasDisplay() const override { return display_; }
    const char* HeadlessNotice() const override { return notice_; }

    void ScreenSize(uint32_t* width, uint32_t* height) const override {
        SDL_Rect bounds;
        if (video_ && SDL_GetDisplayBounds(0, &bounds) == 0 && bounds.w > 0 && bounds.h > 0) {
            *width = static_cast<uint32_t>(bounds.w);
            *height = static_cast<uint32_t>(bounds.h);
        } else {
            *width = kHeadlessWidth;
            *height = kHeadlessHeight;
        }
    }

    void ShowMessage(const char* title, const char* text, MessageIcon icon) override {
        if (!display_) return;
        uint32_t screen_w = 0, screen_h = 0;
        ScreenSize(&screen_w, &screen_h);
        // The system's box grows with its text past the screen's edge (the
        // summary is 33 lines): such a text goes into a box that fits.
        if (TextNeedsOwnBox(text, static_cast<int>(screen_h)) &&
            ShowTextBox(title, text, static_cast<int>(screen_w), static_cast<int>(screen_h), &last_box_))
            return;
        const Uint32 flags = icon == MessageIcon::kError ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
        SDL_ShowSimpleMessageBox(flags, title, text, window_alive_ ? window_ : nullptr);
    }

    bool CreateWindow(const WindowRequest& request) override {
        if (!video_) return false;
        // Without a title bar is not offered apart from borderless here.
        Uint32 flags = SDL_WINDOW_HIDDEN;
        if (request.style != 0)
            flags |= SDL_WINDOW_BORDERLESS;
        else
            flags |= SDL_WINDOW_RESIZABLE;  // a decorated window can be dragged to a size
        if (request.always_on_top) flags |= SDL_WINDOW_ALWAYS_ON_TOP;
        window_ =
            SDL_CreateWindow(kWindowTitle, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 32, 32, flags);
        if (!window_) return false;
        window_alive_ = true;
        if (SDL_Surface* icon = DrawIcon()) {
            SDL_SetWindowIcon(window_, icon);
            SDL_FreeSurface(icon);
        }
        if (request.hide_cursor) SDL_ShowCursor(SDL_DISABLE);
        SDL_StartTextInput();
        return true;
    }

    NativeWindow Window() override { return window_; }

    void PlaceWindow(int32_t x, int32_t y, uint32_t width, uint32_t height) override {
        if (!window_) return;
        int top = 0, left = 0, bottom = 0, right = 0;
        SDL_GetWindowBordersSize(window_, &top, &left, &bottom, &right);
        const int w = static_cast<int>(width) - left - right;
        const int h = static_cast<int>(height) - top - bottom;
        SDL_SetWindowSize(window_, w > 0 ? w : 1, h > 0 ? h : 1);
        SDL_SetWindowPosition(window_, x + left, y + top);
    }

    void MoveWindow(int32_t x, int32_t y) override {
        if (!window_) return;
        int top = 0, left = 0;
        SDL_GetWindowBordersSize(window_, &top, &left, nullptr, nullptr);
        SDL_SetWindowPosition(window_, x + left, y + top);
    }

    void WindowPosition(int32_t* x, int32_t* y) override {
        int wx = 0, wy = 0, top = 0, left = 0;
        if (window_) {
            SDL_GetWindowPosition(window_, &wx, &wy);
            SDL_GetWindowBordersSize(window_, &top, &left, nullptr, nullptr);
        }
        *x = wx - left;
        *y = wy - top;
    }

    void ShowWindow() override {
        if (!window_) return;
        SDL_ShowWindow(window_);
        SDL_RaiseWindow(window_);
    }
    void HideWindow() override {
        if (window_) SDL_HideWindow(window_);
    }
    void DestroyWindow() override {
        if (!window_alive_) return;
        window_alive_ = false;
        HideWindow();
        quit_pending_ = true;
    }
    void RequestPaint() override { paint_pending_ = true; }

    bool SetFullScreen(bool on) override {
        if (!window_) return false;
        return SDL_SetWindowFullscreen(window_, on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) == 0;
    }
    void ClientSize(uint32_t* width, uint32_t* height) override {
        int w = 0, h = 0;
        if (window_) SDL_GetWindowSize(window_, &w, &h);
        *width = static_cast<uint32_t>(w);
        *height = static_cast<uint32_t>(h);
    }

    bool PollEvent(PlayerEvent* event) override {
        if (g_close_signal) {
            g_close_signal = 0;
            DestroyWindow();
        }
        if (quit_pending_) {
            quit_pending_ = false;
            *event = PlayerEvent{EventKind::kQuit, 0, 0, 0};
            return true;
        }
        if (paint_pending_) {
            paint_pending_ = false;
            *event = PlayerEvent{EventKind::kPaint, 0, 0, 0};
            return true;
        }
        SDL_Event e;
        while (window_alive_ && SDL_PollEvent(&e)) {
            if (Translate(e, event)) return true;
        }
        return false;
    }

    void OpenUrl(const char* url) override { SDL_OpenURL(url); }

    void FillBlack() override { PaintWindowBlack(window_); }
    bool MeasureText(const char* text, uint32_t* width, uint32_t* height) override {
        return MeasureBandText(font_, text, width, height);
    }
    void DrawBand(const BandRect& band, const char* text) override {
        DrawBandText(window_, font_, band.left, band.top, band.right, band.bottom, text);
    }

private:
    // One SDL event as the window's message; false for those the player ignores.
    bool Translate(const SDL_Event& e, PlayerEvent* out) {
        *out = PlayerEvent{};
        switch (e.type) {
        case SDL_QUIT: DestroyWindow(); return PollEvent(out);
        case SDL_WINDOWEVENT:
            switch (e.window.event) {
            case SDL_WINDOWEVENT_FOCUS_GAINED:
                NoteKeysHeldAtFocus();
                out->kind = EventKind::kFocusGained;
                return true;
            case SDL_WINDOWEVENT_FOCUS_LOST: out->kind = EventKind::kFocusLost; return true;
            case SDL_WINDOWEVENT_EXPOSED: out->kind = EventKind::kPaint; return true;
            case SDL_WINDOWEVENT_SIZE_CHANGED:
                out->kind = EventKind::kResized;
                out->x = e.window.data1;
                out->y = e.window.data2;
                return true;
            case SDL_WINDOWEVENT_MOVED:
                out->kind = EventKind::kMoved;
                WindowPosition(&out->x, &out->y);
                return true;
            case SDL_WINDOWEVENT_CLOSE: DestroyWindow(); return PollEvent(out);
            default: return false;
            }
        case SDL_KEYUP: held_at_focus_[e.key.keysym.scancode] = false; return false;
        case SDL_KEYDOWN:
            // A key already down when the focus came is no press made in
            // this window (a held Escape would quit at once).
            if (held_at_focus_[e.key.keysym.scancode]) return false;
            // Enter and Escape type no text; they arrive as keys.
            out->kind = EventKind::kChar;
            if (e.key.keysym.sym == SDLK_RETURN || e.key.keysym.sym == SDLK_KP_ENTER) {
                out->code = 13;
                return true;
            }
            if (e.key.keysym.sym == SDLK_ESCAPE) {
                out->code = 27;
                return true;
            }
            out->kind = EventKind::kKey;
            switch (e.key.keysym.sym) {
            case SDLK_RIGHT: out->code = kKeyRight; return true;
            case SDLK_LEFT: out->code = kKeyLeft; return true;
            case SDLK_UP: out->code = kKeyUp; return true;
            case SDLK_DOWN: out->code = kKeyDown; return true;
            case SDLK_HOME: out->code = kKeyHome; return true;
            default: return false;
            }
        case SDL_TEXTINPUT:
            // One character per event is enough for the keys the player knows.
            out->kind = EventKind::kChar;
            out->code = static_cast<unsigned char>(e.text.text[0]);
            return out->code != 0;
        case SDL_MOUSEWHEEL:
            out->kind = EventKind::kWheel;
            out->y = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
            return out->y != 0;
        case SDL_MOUSEBUTTONUP:
            out->kind = EventKind::kClick;
            out->code = e.button.clicks >= 2 ? 2 : 1;
            out->x = e.button.x;
            out->y = e.button.y;
            return e.button.button == SDL_BUTTON_LEFT;
        default: return false;
        }
    }

    // Keys that were down when the window last gained the focus.
    void NoteKeysHeldAtFocus() {
        int count = 0;
        const Uint8* state = SDL_GetKeyboardState(&count);
        for (int i = 0; i < SDL_NUM_SCANCODES; ++i) held_at_focus_[i] = i < count && state[i] != 0;
    }

    SDL_Window* window_ = nullptr;
    bool held_at_focus_[SDL_NUM_SCANCODES] = {};
    TextBoxGeometry last_box_;
    bool window_alive_ = false;
    bool video_ = false;
    bool display_ = false;
    bool quit_pending_ = false;
    bool paint_pending_ = false;
    const char* notice_ = nullptr;
    BandFont* font_ = nullptr;
};

}  // namespace

std::unique_ptr<Platform> CreateSdlPlatform() { return std::make_unique<SdlPlatform>(); }

}  // namespace zarn
