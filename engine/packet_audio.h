// The audio chunks at the front of a frame packet: one per track, each a
// length word and that many bytes, then the video data.
#pragma once

#include <cstdint>

namespace zarn {

struct PacketAudio {
    const uint8_t* chunk = nullptr;  // the track's bytes (none when absent or cut off)
    uint32_t chunk_bytes = 0;
    // Where the video data starts: the packet's length when a track's
    // length runs past the packet.
    uint32_t video_offset = 0;
};

// Walks the `tracks` chunks of a packet, keeping the one of `track` (-1: none).
PacketAudio FindPacketAudio(const uint8_t* packet, uint32_t packet_bytes, uint32_t tracks, int32_t track);

}  // namespace zarn
