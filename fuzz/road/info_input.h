// One fuzz input through `zarn info`: the image is written to a memory file
// and inspected as a named file, as text or as JSON.
//
// Input: one option byte (bit 0: --json, bit 1: a second file, the image cut
// in half, bit 2: a third name that does not exist), then the file image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zarn::fuzz {

// Whether `text` is one well-formed JSON value with nothing but white space
// around it.
bool IsJsonText(const std::string& text);

// Runs the command on the input. False when its exit code or its output
// breaks what the command promises (JSON that does not parse, a success
// with error text, a failure without any).
bool InspectInfoInput(const uint8_t* data, size_t size);

}  // namespace zarn::fuzz
