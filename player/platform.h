// The player's view of the platform: screen, message boxes and (later) the
// window, its events and the URL opener. The player's logic talks to this
// interface only, so it builds without any platform library; one
// implementation stands on SDL2.
#pragma once

#include <cstdint>
#include <memory>

namespace zarn {

enum class MessageIcon { kInformation, kError };

class Platform {
public:
    virtual ~Platform() = default;

    // Whether a display server is reachable (windows and boxes can be shown).
    virtual bool HasDisplay() const = 0;
    virtual void ScreenSize(uint32_t* width, uint32_t* height) const = 0;
    // Shows a modal message box (only when there is a display).
    virtual void ShowMessage(const char* title, const char* text, MessageIcon icon) = 0;
};

// The SDL2 platform. Never fails: without a display server it reports so
// and runs headless.
std::unique_ptr<Platform> CreateSdlPlatform();

}  // namespace zarn
