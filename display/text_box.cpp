#include "display/text_box.h"

#include <SDL.h>
#include <SDL_ttf.h>

#include <algorithm>
#include <string>
#include <vector>

#include "display/window_paint.h"

namespace zarn {
namespace {

constexpr int kMargin = 12;
constexpr int kButtonWidth = 80, kButtonHeight = 26;
constexpr int kLargestPoints = 11, kSmallestPoints = 5;
// Room the window system's frame and panels may take from the screen.
constexpr int kScreenReserve = 80;
// Height of one line in the system's own box, and what it adds around them.
constexpr int kSystemLine = 27, kSystemExtra = 100;

std::vector<std::string> Lines(const char* text) {
    std::vector<std::string> lines;
    std::string line;
    for (const char* p = text; *p; ++p) {
        if (*p == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += *p;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

struct Layout {
    TTF_Font* font = nullptr;
    int line_skip = 0, text_width = 0;
    TextBoxGeometry geometry;
};

// The largest size at which every line fits the screen.
bool ChooseLayout(const std::string& file, const std::vector<std::string>& lines, int screen_w, int screen_h,
                  Layout* out) {
    for (int points = kLargestPoints; points >= kSmallestPoints; --points) {
        TTF_Font* font = TTF_OpenFont(file.c_str(), points);
        if (!font) return false;
        int widest = 0;
        for (const std::string& l : lines) {
            int w = 0, h = 0;
            if (!l.empty() && TTF_SizeUTF8(font, l.c_str(), &w, &h) == 0) widest = std::max(widest, w);
        }
        const int skip = TTF_FontLineSkip(font);
        const int width = std::max(widest, 3 * kButtonWidth) + 2 * kMargin;
        const int height = static_cast<int>(lines.size()) * skip + kButtonHeight + 3 * kMargin;
        if ((height <= screen_h - kScreenReserve && width <= screen_w) || points == kSmallestPoints) {
            out->font = font;
            out->line_skip = skip;
            out->text_width = widest;
            out->geometry = {width, height, points, static_cast<int>(lines.size())};
            return true;
        }
        TTF_CloseFont(font);
    }
    return false;
}

SDL_Rect ButtonRect(const TextBoxGeometry& g) {
    return {(g.width - kButtonWidth) / 2, g.height - kMargin - kButtonHeight, kButtonWidth, kButtonHeight};
}

void Draw(SDL_Window* window, const Layout& layout, const std::vector<std::string>& lines) {
    SDL_Surface* surface = SDL_GetWindowSurface(window);
    if (!surface) return;
    SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 240, 240, 240));
    const SDL_Color ink{0, 0, 0, 255};
    int y = kMargin;
    for (const std::string& l : lines) {
        if (!l.empty()) {
            if (SDL_Surface* text = TTF_RenderUTF8_Blended(layout.font, l.c_str(), ink)) {
                SDL_Rect at{kMargin, y, text->w, text->h};
                SDL_BlitSurface(text, nullptr, surface, &at);
                SDL_FreeSurface(text);
            }
        }
        y += layout.line_skip;
    }
    const SDL_Rect button = ButtonRect(layout.geometry);
    SDL_FillRect(surface, &button, SDL_MapRGB(surface->format, 90, 90, 90));
    const SDL_Rect face{button.x + 1, button.y + 1, button.w - 2, button.h - 2};
    SDL_FillRect(surface, &face, SDL_MapRGB(surface->format, 225, 225, 225));
    if (SDL_Surface* ok = TTF_RenderUTF8_Blended(layout.font, "OK", ink)) {
        SDL_Rect at{button.x + (button.w - ok->w) / 2, button.y + (button.h - ok->h) / 2, ok->w, ok->h};
        SDL_BlitSurface(ok, nullptr, surface, &at);
        SDL_FreeSurface(ok);
    }
    SDL_UpdateWindowSurface(window);
}

bool Closes(const SDL_Event& e, Uint32 window_id, const TextBoxGeometry& g) {
    switch (e.type) {
    case SDL_QUIT: return true;
    case SDL_WINDOWEVENT: return e.window.windowID == window_id && e.window.event == SDL_WINDOWEVENT_CLOSE;
    case SDL_KEYDOWN: {
        const SDL_Keycode k = e.key.keysym.sym;
        return k == SDLK_RETURN || k == SDLK_KP_ENTER || k == SDLK_ESCAPE || k == SDLK_SPACE;
    }
    case SDL_MOUSEBUTTONUP: {
        const SDL_Rect b = ButtonRect(g);
        const SDL_Point p{e.button.x, e.button.y};
        return e.button.windowID == window_id && SDL_PointInRect(&p, &b);
    }
    default: return false;
    }
}

}  // namespace

bool TextNeedsOwnBox(const char* text, int screen_height) {
    return static_cast<int>(Lines(text).size()) * kSystemLine + kSystemExtra > screen_height;
}

bool ShowTextBox(const char* title, const char* text, int screen_width, int screen_height,
                 TextBoxGeometry* shown) {
    const std::string file = DejaVuSansFile();
    if (file.empty() || (!TTF_WasInit() && TTF_Init() != 0)) return false;
    const std::vector<std::string> lines = Lines(text);
    Layout layout;
    if (!ChooseLayout(file, lines, screen_width, screen_height, &layout)) return false;
    const TextBoxGeometry& g = layout.geometry;
    SDL_Window* window = SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, g.width,
                                          g.height, SDL_WINDOW_SHOWN | SDL_WINDOW_ALWAYS_ON_TOP);
    if (!window) {
        TTF_CloseFont(layout.font);
        return false;
    }
    if (shown) *shown = g;
    const Uint32 id = SDL_GetWindowID(window);
    Draw(window, layout, lines);
    for (;;) {
        SDL_Event e;
        if (!SDL_WaitEventTimeout(&e, 100)) continue;
        if (Closes(e, id, g)) break;
        if (e.type == SDL_WINDOWEVENT && e.window.windowID == id && e.window.event == SDL_WINDOWEVENT_EXPOSED)
            Draw(window, layout, lines);
    }
    SDL_DestroyWindow(window);
    TTF_CloseFont(layout.font);
    return true;
}

}  // namespace zarn
