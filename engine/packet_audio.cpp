#include "engine/packet_audio.h"

namespace zarn {

PacketAudio FindPacketAudio(const uint8_t* packet, uint32_t packet_bytes, uint32_t tracks, int32_t track) {
    PacketAudio a;
    a.video_offset = packet_bytes;
    if (!packet) return a;
    const uint8_t* p = packet;
    uint32_t left = packet_bytes;
    for (uint32_t t = 0; t < tracks; ++t) {
        if (left < 4) return a;
        const uint32_t length =
            uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
        p += 4;
        left -= 4;
        if (length > left) return a;
        if (static_cast<int32_t>(t) == track) {
            a.chunk = p;
            a.chunk_bytes = length;
        }
        p += length;
        left -= length;
    }
    a.video_offset = packet_bytes - left;
    return a;
}

}  // namespace zarn
