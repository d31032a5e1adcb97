// Audio coding: blocks of the interleaved signal as quantised real spectra,
// and the packing of whole blocks into the frames' audio packets.
#pragma once

#include <cstdint>
#include <vector>

#include "encoder/container_writer.h"
#include "encoder/wav_reader.h"

namespace zarn {

// Signal-to-noise ratio in dB that a quality setting aims at per band.
double AudioTargetSnr(unsigned quality);

class AudioBlockEncoder {
public:
    AudioBlockEncoder(uint32_t rate, uint32_t channels, unsigned quality);

    uint32_t BlockSize() const { return n_; }
    uint32_t Overlap() const { return n_ / 16; }
    // Values delivered per block (n - overlap).
    uint32_t Step() const { return n_ - n_ / 16; }

    // Codes the n values at `values` (fewer than n available: the rest is
    // silence) and appends the block's words to `out`.
    void Encode(const int16_t* values, size_t available, std::vector<uint8_t>& out);

private:
    uint32_t n_;
    uint32_t band_count_;
    uint32_t band_edges_[26];
    double alpha_;                   // quantiser step relative to a band's RMS
    std::vector<double> cos_, sin_;  // twiddles of the forward transform
    std::vector<double> re_, im_;
    std::vector<int32_t> coef_;
};

// One track's audio packets, one per frame, and its decoded-buffer size.
struct AudioTrackPackets {
    std::vector<AudioPacket> packets;
    uint32_t buffer_size = 0;
    uint32_t format = 0;
};

// Codes a whole track for a video of `frames` frames at rate_num/rate_den:
// each frame's packet holds whole blocks so that the decoded audio reaches
// the end of that frame's time; the decoded total equals the input length.
AudioTrackPackets EncodeAudioTrack(const PcmTrack& track, uint32_t frames, uint32_t rate_num,
                                   uint32_t rate_den, unsigned quality);

}  // namespace zarn
