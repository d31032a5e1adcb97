// Decodes arbitrary bytes as one frame's video packet, the way the packet
// fuzzer does: the first four bytes choose the frame size and flags, the rest
// is the packet. Every buffer sits between guard zones that must stay intact.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zarn {
struct ChromaThread;
}

namespace zarn::test {

// What one decode of a fuzzer input left.
struct PacketResult {
    bool within_buffers = true;  // nothing outside the buffers changed
    bool whole = true;           // the decoder's result
    std::vector<uint8_t> frame, alpha, marks;
};

// Decodes the input as DecodePacketInput does, on `helper` too when given.
PacketResult DecodePacketResult(const uint8_t* data, size_t size, ChromaThread* helper);

// Returns false when any byte outside the frame, alpha, marks or bundle
// buffers changed. Inputs shorter than 4 bytes are accepted and do nothing.
bool DecodePacketInput(const uint8_t* data, size_t size);

}  // namespace zarn::test
