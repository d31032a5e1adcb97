// A video encoded by the project's own encoder from one of its drawn test
// clips: real pictures (and sound) for tests that decode, show or seek.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "encoder/encode_file.h"
#include "encoder/test_media.h"

namespace zarn::test {

// The .zrn image of `frames` frames of `clip` at width x height; empty (and
// `error` set) when the encoder refuses. `reports` receives the frames'
// reports when given.
inline std::vector<uint8_t> EncodeClipImage(Clip clip, uint32_t width, uint32_t height, uint32_t frames,
                                            const EncodeSettings& settings = {},
                                            const std::vector<PcmTrack>& tracks = {},
                                            std::string* error = nullptr,
                                            std::vector<FrameReport>* reports = nullptr) {
    uint32_t next = 0;
    PictureSource src;
    src.width = width;
    src.height = height;
    src.next = [&](YuvPicture& p, std::string&) {
        if (next >= frames) return 0;
        p = MakeClipFrame(clip, width, height, next++);
        return 1;
    };
    EncodeResult r = EncodeMovie(src, nullptr, tracks, settings);
    if (error) *error = r.error;
    if (reports) *reports = r.frames;
    return r.error.empty() ? std::move(r.image) : std::vector<uint8_t>{};
}

}  // namespace zarn::test
