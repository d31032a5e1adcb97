// libFuzzer entry: see movie_road_input.h for what the input holds.
#include <cstddef>
#include <cstdint>

#include "fuzz/road/movie_road_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!zarn::fuzz::PlayMovieInput(data, size)) __builtin_trap();
    return 0;
}
