#include "gst/audio_positions.h"

#include <cstddef>

void ResetAudioPositions(AudioPositions* p, const std::vector<uint32_t>& frame_bytes) {
    p->tracks = static_cast<uint32_t>(frame_bytes.size());
    p->frame_bytes = frame_bytes;
    p->starts.assign(p->tracks, 0);
}

uint32_t CountedPackets(const AudioPositions& p) {
    return p.tracks ? static_cast<uint32_t>(p.starts.size() / p.tracks - 1) : UINT32_MAX;
}

uint64_t AudioStart(const AudioPositions& p, uint32_t frame, uint32_t track) {
    return p.starts[uint64_t{frame} * p.tracks + track];
}

void CountPacket(AudioPositions* p, uint32_t frame, const uint32_t* decoded_bytes) {
    if (p->tracks == 0 || frame != CountedPackets(*p)) return;
    const size_t base = p->starts.size() - p->tracks;
    for (uint32_t t = 0; t < p->tracks; ++t)
        p->starts.push_back(p->starts[base + t] + decoded_bytes[t] / p->frame_bytes[t]);
}

uint32_t AudioStartPacket(const AudioPositions& p, uint32_t track, uint64_t target, bool complete) {
    const uint32_t counted = CountedPackets(p);
    uint32_t last_with_sound = kNoPacket;
    for (uint32_t k = 0; k < counted; ++k) {
        const uint64_t begin = AudioStart(p, k, track), end = AudioStart(p, k + 1, track);
        if (end == begin) continue;
        if (end > target) return last_with_sound != kNoPacket ? last_with_sound : k;
        last_with_sound = k;
    }
    if (complete) return kNoPacket;
    return last_with_sound != kNoPacket ? last_with_sound : counted;
}
