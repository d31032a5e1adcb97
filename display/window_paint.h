// Painting the player's window outside the picture: the whole client area
// black, and one line of text yellow on black centred in a band.
#pragma once

#include <cstdint>
#include <string>

struct SDL_Window;

namespace zarn {

struct BandFont;

// The file of the DejaVu Sans font, found through fontconfig, or "".
std::string DejaVuSansFile();

// Opens the band's font (DejaVu Sans, found through fontconfig); null when
// no font or no text renderer is available.
BandFont* OpenBandFont();
void CloseBandFont(BandFont* font);

// The size of `text` as drawn in `font`; false (sizes 0) without a font.
bool MeasureBandText(BandFont* font, const char* text, uint32_t* width, uint32_t* height);

// Blacks out the whole client area.
void PaintWindowBlack(SDL_Window* window);

// Clears the band to black and draws `text` centred at its top in yellow.
void DrawBandText(SDL_Window* window, BandFont* font, int32_t left, int32_t top, int32_t right,
                  int32_t bottom, const char* text);

}  // namespace zarn
