// Feeds one arbitrary input to a fresh AudioDecoder as an audio packet.
// Bytes 0-1: sample rate (little-endian), byte 2 bit 0: stereo, then the packet.
// Returns the number of blocks decoded; traps when an output breaks its contract.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zarn {

uint32_t DecodeAudioPacketInput(const uint8_t* data, size_t size);

}  // namespace zarn
