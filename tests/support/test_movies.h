// Builds small .zrn images for engine and player tests with the project's
// container writer. Packets carry arbitrary bytes: tests built on them check
// engine behaviour, not pixels.
#pragma once

#include <cstdint>
#include <vector>

#include "encoder/container_writer.h"

namespace zarn::test {

struct MovieRecipe {
    uint32_t width = 64, height = 48;
    uint32_t rate_num = 25, rate_den = 1;
    uint32_t frames = 10;
    uint32_t video_bytes = 100;  // per frame; frame i's bytes are all (i & 0xFF)
    std::vector<TrackSpec> tracks;
    uint32_t audio_bytes = 0;    // compressed bytes per frame for every track (0: absent)
    uint32_t decoded_bytes = 0;  // the count each audio packet announces
    bool all_key = true;
};

// A 16-bit stereo track at `rate` Hz with a decoded buffer of `buffer` bytes.
inline TrackSpec StereoTrack(uint32_t rate, uint32_t buffer, uint32_t id = 1) {
    return TrackSpec{buffer, rate | kTrackFormatAudio | kTrackFormatStereo | kTrackFormatSixteenBit, id};
}

inline std::vector<uint8_t> BuildMovie(const MovieRecipe& r) {
    ContainerSpec spec;
    spec.width = r.width;
    spec.height = r.height;
    spec.rate_num = r.rate_num;
    spec.rate_den = r.rate_den;
    spec.tracks = r.tracks;
    ContainerWriter w(spec);
    for (uint32_t i = 0; i < r.frames; ++i) {
        FramePacket f;
        for (size_t t = 0; t < r.tracks.size(); ++t) {
            AudioPacket a;
            a.present = r.audio_bytes != 0;
            a.decoded_bytes = r.decoded_bytes;
            a.data.assign(r.audio_bytes, static_cast<uint8_t>(0xA0 + t));
            f.audio.push_back(a);
        }
        f.video.assign(r.video_bytes, static_cast<uint8_t>(i));
        f.key = r.all_key || i == 0;
        w.AddFrame(std::move(f));
    }
    return w.Build();
}

}  // namespace zarn::test
