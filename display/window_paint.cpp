#include "display/window_paint.h"

#include <SDL.h>
#include <SDL_ttf.h>
#include <fontconfig/fontconfig.h>

#include <string>

#include "display/display_state.h"

namespace zarn {

struct BandFont {
    TTF_Font* font = nullptr;
};

namespace {

constexpr int kBandPointSize = 11;

}  // namespace

std::string DejaVuSansFile() {
    std::string file;
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (!config) return file;
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("DejaVu Sans"));
    if (pattern) {
        FcConfigSubstitute(config, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(config, pattern, &result);
        FcChar8* path = nullptr;
        if (match && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path)
            file = reinterpret_cast<const char*>(path);
        if (match) FcPatternDestroy(match);
        FcPatternDestroy(pattern);
    }
    FcConfigDestroy(config);
    return file;
}

namespace {

// Where the band's pixels go: the window's renderer when a display target
// made one, otherwise the window surface.
void FillBlack(SDL_Window* window, const SDL_Rect* rect) {
    if (SDL_Renderer* renderer = SDL_GetRenderer(window)) {
        SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
        if (rect)
            SDL_RenderFillRect(renderer, rect);
        else
            SDL_RenderClear(renderer);
        return;
    }
    if (SDL_Surface* surface = SDL_GetWindowSurface(window))
        SDL_FillRect(surface, rect, SDL_MapRGB(surface->format, 0, 0, 0));
}

void Present(SDL_Window* window, const SDL_Rect* rect) {
    if (SDL_Renderer* renderer = SDL_GetRenderer(window)) {
        SDL_RenderPresent(renderer);
        return;
    }
    if (rect)
        SDL_UpdateWindowSurfaceRects(window, rect, 1);
    else
        SDL_UpdateWindowSurface(window);
}

void DrawText(SDL_Window* window, SDL_Surface* text, const SDL_Rect& place) {
    if (SDL_Renderer* renderer = SDL_GetRenderer(window)) {
        if (SDL_Texture* texture = SDL_CreateTextureFromSurface(renderer, text)) {
            SDL_RenderCopy(renderer, texture, nullptr, &place);
            SDL_DestroyTexture(texture);
        }
        return;
    }
    if (SDL_Surface* surface = SDL_GetWindowSurface(window)) {
        SDL_Rect dest = place;
        SDL_BlitSurface(text, nullptr, surface, &dest);
    }
}

}  // namespace

BandFont* OpenBandFont() {
    if (!TTF_WasInit() && TTF_Init() != 0) return nullptr;
    const std::string file = DejaVuSansFile();
    if (file.empty()) return nullptr;
    TTF_Font* font = TTF_OpenFont(file.c_str(), kBandPointSize);
    if (!font) return nullptr;
    return new BandFont{font};
}

void CloseBandFont(BandFont* font) {
    if (!font) return;
    TTF_CloseFont(font->font);
    delete font;
    TTF_Quit();
}

bool MeasureBandText(BandFont* font, const char* text, uint32_t* width, uint32_t* height) {
    *width = *height = 0;
    int w = 0, h = 0;
    if (!font || TTF_SizeUTF8(font->font, text, &w, &h) != 0) return false;
    *width = static_cast<uint32_t>(w);
    *height = static_cast<uint32_t>(h);
    return true;
}

void PaintWindowBlack(SDL_Window* window) {
    if (!window) return;
    ClearCanvas(window);
    FillBlack(window, nullptr);
    Present(window, nullptr);
}

void DrawBandText(SDL_Window* window, BandFont* font, int32_t left, int32_t top, int32_t right,
                  int32_t bottom, const char* text) {
    if (!window || right <= left || bottom <= top) return;
    const SDL_Rect band{left, top, right - left, bottom - top};
    FillBlack(window, &band);
    if (font) {
        const SDL_Color yellow{255, 255, 0, 255}, black{0, 0, 0, 255};
        if (SDL_Surface* line = TTF_RenderUTF8_Shaded(font->font, text, yellow, black)) {
            const SDL_Rect place{(left + right) / 2 - line->w / 2, top, line->w, line->h};
            SDL_SetClipRect(line, nullptr);
            DrawText(window, line, place);
            SDL_FreeSurface(line);
        }
    }
    Present(window, &band);
}

}  // namespace zarn
