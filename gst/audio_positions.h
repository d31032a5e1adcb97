// Where each audio track's sound stands at each frame packet. The index
// gives only the packets' offsets: the sound a packet yields is in the
// packet itself, so positions are known for the packets counted so far,
// from the first one on.
#pragma once

#include <cstdint>
#include <vector>

struct AudioPositions {
    uint32_t tracks = 0;
    std::vector<uint32_t> frame_bytes;  // bytes of one sample frame, per track
    std::vector<uint64_t> starts;       // per counted packet and one more: sample frames before it
};

// Nothing counted, for tracks whose sample frames take these bytes.
void ResetAudioPositions(AudioPositions* p, const std::vector<uint32_t>& frame_bytes);

// The packets whose sound is counted (the first ones of the file).
uint32_t CountedPackets(const AudioPositions& p);

// Sample frames of track `track` before packet `frame` (at most
// CountedPackets).
uint64_t AudioStart(const AudioPositions& p, uint32_t frame, uint32_t track);

// Counts packet `frame` from its tracks' decoded byte counts, when it is the
// next one not counted.
void CountPacket(AudioPositions* p, uint32_t frame, const uint32_t* decoded_bytes);

// The first packet to read for track `track` to play from sample frame
// `target`: the packet before the one that reaches it (its sound is the
// decoder's state there) or, when no counted packet reaches it, the last
// one with sound, else the first not counted. `complete`: every packet is
// counted, and then kNoPacket when none reaches the target.
constexpr uint32_t kNoPacket = UINT32_MAX;
uint32_t AudioStartPacket(const AudioPositions& p, uint32_t track, uint64_t target, bool complete);
