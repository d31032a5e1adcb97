// The work one fuzz input may ask for. Inputs whose header asks for more are
// passed over, so that every run stays short and within the fuzzer's memory
// limit; the engine's own memory rules are not what is measured here.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zarn::fuzz {

constexpr uint32_t kMaxFuzzSide = 2048;
constexpr uint32_t kMaxFuzzTrackBuffer = 16u << 20;

// Picture area of a file image's header (0 when the image has no header that
// opens), and whether the header stays within the bounds above.
struct HeaderBudget {
    bool within = true;
    uint64_t area = 0;
};
HeaderBudget CheckHeaderBudget(const uint8_t* image, size_t size);

}  // namespace zarn::fuzz
