#include <SDL.h>

#include <cstdlib>
#include <cstring>

#include "player/platform.h"

namespace zarn {
namespace {

// Screen size used when no display tells one.
constexpr uint32_t kHeadlessWidth = 640, kHeadlessHeight = 480;

bool DriverIsHeadless(const char* driver) {
    return driver && (std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "offscreen") == 0);
}

class SdlPlatform final : public Platform {
public:
    SdlPlatform() {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) {
            video_ = true;
            display_ = !DriverIsHeadless(SDL_GetCurrentVideoDriver());
        }
    }
    ~SdlPlatform() override {
        if (video_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }

    bool HasDisplay() const override { return display_; }

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
        SDL_ShowSimpleMessageBox(flags, title, text, nullptr);
    }

private:
    bool video_ = false;
    bool display_ = false;
};

}  // namespace

std::unique_ptr<Platform> CreateSdlPlatform() { return std::make_unique<SdlPlatform>(); }

}  // namespace zarn
