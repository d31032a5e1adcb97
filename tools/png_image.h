// PNG pictures made by the `zarn` tools.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zarn {

// A 24-bit RGB PNG of the picture (rows of width * 3 bytes, top first), made
// in memory; false with `error` set.
bool EncodePng(const uint8_t* rgb, uint32_t width, uint32_t height, std::vector<uint8_t>& bytes,
               std::string& error);

// The picture of a PNG file's bytes as 24-bit RGB, as EncodePng takes it;
// false with `error` set.
bool DecodePng(const std::vector<uint8_t>& bytes, std::vector<uint8_t>& rgb, uint32_t* width,
               uint32_t* height, std::string& error);

}  // namespace zarn
