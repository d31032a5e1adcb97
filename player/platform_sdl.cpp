#include <SDL.h>

#include <cstdlib>
#include <cstring>

#include "display/window_paint.h"
#include "player/platform.h"

namespace zarn {
namespace {

// Screen size used when no display tells one.
constexpr uint32_t kHeadlessWidth = 640, kHeadlessHeight = 480;
constexpr int kIconSize = 32;
constexpr const char* kWindowTitle = "Zarn Video Player";

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
    SDL_Surface* icon =
        SDL_CreateRGBSurfaceWithFormat(0, kIconSize, kIconSize, 32, SDL_PIXELFORMAT_ARGB8888);
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
        const Uint32 flags =
            icon == MessageIcon::kError ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
        SDL_ShowSimpleMessageBox(flags, title, text, window_alive_ ? window_ : nullptr);
    }

    bool CreateWindow(const WindowRequest& request) override {
        if (!video_) return false;
        // Without a title bar is not offered apart from borderless here.
        Uint32 flags = SDL_WINDOW_HIDDEN;
        if (request.style != 0) flags |= SDL_WINDOW_BORDERLESS;
        if (request.always_on_top) flags |= SDL_WINDOW_ALWAYS_ON_TOP;
        window_ = SDL_CreateWindow(kWindowTitle, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                   32, 32, flags);
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

    bool PollEvent(PlayerEvent* event) override {
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
        case SDL_QUIT:
            DestroyWindow();
            return PollEvent(out);
        case SDL_WINDOWEVENT:
            switch (e.window.event) {
            case SDL_WINDOWEVENT_FOCUS_GAINED: out->kind = EventKind::kFocusGained; return true;
            case SDL_WINDOWEVENT_FOCUS_LOST: out->kind = EventKind::kFocusLost; return true;
            case SDL_WINDOWEVENT_EXPOSED: out->kind = EventKind::kPaint; return true;
            case SDL_WINDOWEVENT_MOVED:
                out->kind = EventKind::kMoved;
                WindowPosition(&out->x, &out->y);
                return true;
            case SDL_WINDOWEVENT_CLOSE:
                DestroyWindow();
                return PollEvent(out);
            default: return false;
            }
        case SDL_KEYDOWN:
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
            return false;
        case SDL_TEXTINPUT:
            // One character per event is enough for the keys the player knows.
            out->kind = EventKind::kChar;
            out->code = static_cast<unsigned char>(e.text.text[0]);
            return out->code != 0;
        case SDL_MOUSEBUTTONUP:
            out->kind = EventKind::kClick;
            out->x = e.button.x;
            out->y = e.button.y;
            return e.button.button == SDL_BUTTON_LEFT;
        default:
            return false;
        }
    }

    SDL_Window* window_ = nullptr;
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
