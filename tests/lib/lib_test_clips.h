// Encoded clips for the public-interface tests, and their frames as the
// library gives them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "encoder/encode_file.h"
#include "encoder/test_media.h"
#include "zarn/zarn.h"

namespace zarn::test {

inline std::vector<uint8_t> EncodeLibClip(Clip clip, uint32_t w, uint32_t h, uint32_t frames, char version,
                                          uint32_t keyint = 0, const std::vector<PcmTrack>& tracks = {}) {
    uint32_t next = 0;
    PictureSource src;
    src.width = w;
    src.height = h;
    src.next = [=, &next](YuvPicture& p, std::string&) {
        if (next >= frames) return 0;
        p = MakeClipFrame(clip, w, h, next++);
        return 1;
    };
    EncodeSettings settings;
    settings.version = version;
    settings.quality = 80;
    settings.keyint = keyint;
    return EncodeMovie(src, nullptr, tracks, settings).image;
}

// The visible Y, U and V samples of the planes, back to back.
inline std::vector<uint8_t> PlaneBytes(const zarn_planes& p) {
    std::vector<uint8_t> out;
    auto add = [&](const uint8_t* rows, int32_t stride, uint32_t w, uint32_t h) {
        for (uint32_t r = 0; r < h; ++r)
            out.insert(out.end(), rows + size_t{r} * stride, rows + size_t{r} * stride + w);
    };
    add(p.y, p.y_stride, p.width, p.height);
    add(p.u, p.uv_stride, p.chroma_width, p.chroma_height);
    add(p.v, p.uv_stride, p.chroma_width, p.chroma_height);
    return out;
}

// The same of the current frame.
inline std::vector<uint8_t> PlaneBytes(const zarn_movie* movie) {
    zarn_planes p;
    if (zarn_get_planes(movie, &p) != ZARN_OK) return {};
    return PlaneBytes(p);
}

// Every frame of an open movie, decoded from where it stands to the end.
inline std::vector<std::vector<uint8_t>> DecodeRest(zarn_movie* movie) {
    std::vector<std::vector<uint8_t>> frames;
    while (zarn_decode_frame(movie) == ZARN_OK) frames.push_back(PlaneBytes(movie));
    return frames;
}

}  // namespace zarn::test
