// The work one fuzz input may ask for. Inputs whose header asks for more are
// passed over, so that every run stays short and within the fuzzer's memory
// limit; the engine's own memory rules are not what is measured here.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zarn::fuzz {

constexpr uint32_t kMaxFuzzSide = 2048;
constexpr uint32_t kMaxFuzzTrackBuffer = 16u << 20;
// The length a header claims bounds the largest frame and the read-ahead
// open sets aside, whatever the file really holds.
constexpr uint32_t kMaxFuzzFileLength = 64u << 20;

// Whether a file image's header stays within the bounds above (true for an
// image without a header: open turns it away at once).
bool HeaderWithinBudget(const uint8_t* image, size_t size);

}  // namespace zarn::fuzz
