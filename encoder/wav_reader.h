// Reads a sound file (through libsndfile) as interleaved signed 16-bit PCM.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zarn {

struct PcmTrack {
    uint32_t rate = 0;             // Hz, 1..65535
    uint32_t channels = 0;         // 1 or 2
    std::vector<int16_t> samples;  // interleaved
};

// False with `error` set when the file is unreadable, has more than two
// channels, or a rate outside 1..65535 Hz.
bool ReadWavFile(const std::string& path, PcmTrack& track, std::string& error);

// Writes a 16-bit PCM WAV file (used by generators and tests).
bool WriteWavFile(const std::string& path, const PcmTrack& track);

}  // namespace zarn
