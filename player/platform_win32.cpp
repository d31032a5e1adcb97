// The Win32 platform: the window of class "ZarnWin", its window procedure,
// the message queue, message boxes, the shell's "open" and GDI text.
//
// The window procedure turns messages into PlayerEvents for the player's
// logic; PollEvent is the PeekMessage step of the loop. With the environment
// variable ZARN_MESSAGE_LOG naming a file, message boxes are appended to that
// file instead of being shown (boxes are modal: tests read them there).
#include <windows.h>
#include <shellapi.h>
#include <windowsx.h>
// The Platform interface has a CreateWindow of its own.
#undef CreateWindow

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>

#include "player/platform.h"

namespace zarn {
namespace {

constexpr const char* kClassName = "ZarnWin";
constexpr const char* kWindowTitle = "Zarn Video Player";
constexpr int kResourceIcon = 101;
constexpr int kResourceCursor = 101;

class Win32Platform final : public Platform {
public:
    explicit Win32Platform(HINSTANCE instance) : instance_(instance) {}
    ~Win32Platform() override {
        if (window_) ::DestroyWindow(window_);
    }

    bool HasDisplay() const override { return true; }

    void ScreenSize(uint32_t* width, uint32_t* height) const override {
        *width = static_cast<uint32_t>(GetSystemMetrics(SM_CXSCREEN));
        *height = static_cast<uint32_t>(GetSystemMetrics(SM_CYSCREEN));
    }

    void ShowMessage(const char* title, const char* text, MessageIcon icon) override {
        const char* log = std::getenv("ZARN_MESSAGE_LOG");
        if (log && *log) {
            if (std::FILE* f = std::fopen(log, "ab")) {
                std::fprintf(f, "[%s]\n%s\n", title, text);
                std::fclose(f);
            }
            return;
        }
        MessageBoxA(nullptr, text, title, icon == MessageIcon::kError ? MB_ICONERROR : MB_ICONINFORMATION);
    }

    bool CreateWindow(const WindowRequest& request) override {
        WNDCLASSA wc{};
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = WindowProcedure;
        wc.hInstance = instance_;
        wc.hIcon = LoadIconA(instance_, MAKEINTRESOURCEA(kResourceIcon));
        wc.hCursor = request.hide_cursor ? LoadCursorA(instance_, MAKEINTRESOURCEA(kResourceCursor))
                                         : LoadCursorA(nullptr, IDC_ARROW);
        wc.lpszClassName = kClassName;
        if (!RegisterClassA(&wc)) return false;
        DWORD ex_style = request.always_on_top ? WS_EX_TOPMOST : 0;
        if (request.style != 2) ex_style |= WS_EX_DLGMODALFRAME;
        DWORD style = WS_POPUP | WS_CLIPCHILDREN | WS_SYSMENU | WS_MINIMIZEBOX;
        // A decorated window can be dragged to a size.
        if (request.style == 0) style |= WS_CAPTION | WS_THICKFRAME | WS_MAXIMIZEBOX;
        window_ = CreateWindowExA(ex_style, kClassName, kWindowTitle, style, CW_USEDEFAULT, CW_USEDEFAULT, 32,
                                  32, reinterpret_cast<HWND>(static_cast<intptr_t>(request.parent_window)),
                                  nullptr, instance_, this);
        return window_ != nullptr;
    }

    NativeWindow Window() override { return window_; }

    void PlaceWindow(int32_t x, int32_t y, uint32_t width, uint32_t height) override {
        SetWindowPos(window_, nullptr, x, y, static_cast<int>(width), static_cast<int>(height), 0);
    }
    void MoveWindow(int32_t x, int32_t y) override {
        SetWindowPos(window_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    }
    void WindowPosition(int32_t* x, int32_t* y) override {
        RECT r{};
        GetWindowRect(window_, &r);
        *x = r.left;
        *y = r.top;
    }
    void ShowWindow() override { ::ShowWindow(window_, SW_SHOWNORMAL); }
    void HideWindow() override { ::ShowWindow(window_, SW_HIDE); }
    void DestroyWindow() override {
        if (!window_) return;
        ::DestroyWindow(window_);
        window_ = nullptr;
    }
    void RequestPaint() override { InvalidateRect(window_, nullptr, FALSE); }

    bool SetFullScreen(bool on) override {
        if (!window_) return false;
        if (on == full_screen_) return true;
        if (on) {
            // The window's own style and rectangle come back when leaving.
            saved_style_ = GetWindowLongPtrA(window_, GWL_STYLE);
            GetWindowRect(window_, &saved_rect_);
            HMONITOR monitor = MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST);
            MONITORINFO info{};
            info.cbSize = sizeof info;
            if (!GetMonitorInfoA(monitor, &info)) return false;
            SetWindowLongPtrA(window_, GWL_STYLE, saved_style_ & ~(WS_CAPTION | WS_THICKFRAME));
            const RECT& r = info.rcMonitor;
            SetWindowPos(window_, HWND_TOP, r.left, r.top, r.right - r.left, r.bottom - r.top,
                         SWP_FRAMECHANGED);
        } else {
            SetWindowLongPtrA(window_, GWL_STYLE, saved_style_);
            const RECT& r = saved_rect_;
            SetWindowPos(window_, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                         SWP_FRAMECHANGED | SWP_NOZORDER);
        }
        full_screen_ = on;
        return true;
    }

    void ClientSize(uint32_t* width, uint32_t* height) override {
        RECT r{};
        if (window_) GetClientRect(window_, &r);
        *width = static_cast<uint32_t>(r.right - r.left);
        *height = static_cast<uint32_t>(r.bottom - r.top);
    }

    bool PollEvent(PlayerEvent* event) override {
        MSG msg;
        while (events_.empty() && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                events_.push_back(PlayerEvent{EventKind::kQuit, 0, 0, 0});
                break;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (events_.empty()) return false;
        *event = events_.front();
        events_.pop_front();
        return true;
    }

    void OpenUrl(const char* url) override { ShellExecuteA(window_, "open", url, nullptr, nullptr, SW_SHOW); }

    void FillBlack() override {
        HDC dc = GetDC(window_);
        PatBlt(dc, 0, 0, 4096, 4096, BLACKNESS);
        ReleaseDC(window_, dc);
    }

    bool MeasureText(const char* text, uint32_t* width, uint32_t* height) override {
        HDC dc = GetDC(window_);
        SIZE size{};
        const bool ok = GetTextExtentPoint32A(dc, text, static_cast<int>(std::strlen(text)), &size);
        ReleaseDC(window_, dc);
        *width = ok ? static_cast<uint32_t>(size.cx) : 0;
        *height = ok ? static_cast<uint32_t>(size.cy) : 0;
        return ok;
    }

    void DrawBand(const BandRect& band, const char* text) override {
        HDC dc = GetDC(window_);
        SetTextColor(dc, RGB(255, 255, 0));
        SetBkColor(dc, RGB(0, 0, 0));
        SetTextAlign(dc, TA_CENTER | TA_TOP);
        const RECT r{band.left, band.top, band.right, band.bottom};
        ExtTextOutA(dc, band.right / 2, band.top, ETO_OPAQUE, &r, text, static_cast<UINT>(std::strlen(text)),
                    nullptr);
        ReleaseDC(window_, dc);
    }

private:
    static LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTA*>(lparam);
            SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* self = reinterpret_cast<Win32Platform*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (!self) return DefWindowProcA(hwnd, message, wparam, lparam);
        return self->Handle(hwnd, message, wparam, lparam);
    }

    void Push(EventKind kind, uint32_t code = 0, int32_t x = 0, int32_t y = 0) {
        events_.push_back(PlayerEvent{kind, code, x, y});
    }

    LRESULT Handle(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
        switch (message) {
        case WM_DESTROY: PostQuitMessage(0); return 0;
        case WM_SETFOCUS: Push(EventKind::kFocusGained); break;
        case WM_KILLFOCUS: Push(EventKind::kFocusLost); break;
        case WM_PAINT: {
            // The player paints through its own device contexts when it
            // takes the event; the region is validated here.
            PAINTSTRUCT ps;
            BeginPaint(hwnd, &ps);
            EndPaint(hwnd, &ps);
            Push(EventKind::kPaint);
            return 0;
        }
        case WM_ERASEBKGND: return 1;
        case WM_MOVE: {
            RECT r{};
            GetWindowRect(hwnd, &r);
            Push(EventKind::kMoved, 0, r.left, r.top);
            break;
        }
        case WM_SIZE:
            // Sizes given to the hidden window (at creation, by placing it)
            // are the player's own, not a user's resize.
            if (wparam != SIZE_MINIMIZED && IsWindowVisible(hwnd))
                Push(EventKind::kResized, 0, LOWORD(lparam), HIWORD(lparam));
            break;
        case WM_CHAR: Push(EventKind::kChar, static_cast<uint32_t>(wparam)); return 1;
        case WM_KEYDOWN:
            if (const uint32_t key = NavigationKeyOf(wparam)) {
                Push(EventKind::kKey, key);
                return 0;
            }
            break;
        case WM_MOUSEWHEEL: {
            // Positive away from the user; a fine-grained wheel's part of a
            // notch still counts as one step.
            const int delta = GET_WHEEL_DELTA_WPARAM(wparam);
            const int steps = delta / WHEEL_DELTA;
            if (delta != 0) Push(EventKind::kWheel, 0, 0, steps != 0 ? steps : (delta > 0 ? 1 : -1));
            return 0;
        }
        case WM_LBUTTONUP:
            // The release that ends a double click reports it.
            Push(EventKind::kClick, double_click_ ? 2 : 1, GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
            double_click_ = false;
            break;
        case WM_LBUTTONDBLCLK: double_click_ = true; break;
        default: break;
        }
        return DefWindowProcA(hwnd, message, wparam, lparam);
    }

    static uint32_t NavigationKeyOf(WPARAM key) {
        switch (key) {
        case VK_RIGHT: return kKeyRight;
        case VK_LEFT: return kKeyLeft;
        case VK_UP: return kKeyUp;
        case VK_DOWN: return kKeyDown;
        case VK_HOME: return kKeyHome;
        default: return 0;
        }
    }

    HINSTANCE instance_;
    HWND window_ = nullptr;
    bool full_screen_ = false;
    bool double_click_ = false;
    LONG_PTR saved_style_ = 0;
    RECT saved_rect_{};
    std::deque<PlayerEvent> events_;
};

}  // namespace

std::unique_ptr<Platform> CreateWin32Platform(void* instance) {
    return std::make_unique<Win32Platform>(static_cast<HINSTANCE>(instance));
}

}  // namespace zarn
