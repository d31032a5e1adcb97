// The whole encoding of a Zarn file: Y4M picture (optionally an alpha Y4M),
// zero or more sound files, into a container image.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "encoder/wav_reader.h"
#include "encoder/y4m.h"

namespace zarn {

// Widest picture the encoder takes.
constexpr uint32_t kMaxEncodeWidth = 4000;

struct EncodeSettings {
    unsigned quality = 60;  // 1..100
    uint32_t keyint = 0;    // largest key-frame distance in frames; 0: ten seconds
    char version = 'i';
    bool grey = false;
    bool measure = false;  // fill the PSNR figures of FrameReport
    unsigned threads =
        0;  // encoding threads; 0: two when the machine has two cores. Same file for any count.
};

// The thread count `EncodeMovie` uses for EncodeSettings::threads.
unsigned EncodeThreadCount(unsigned requested);

struct FrameReport {
    uint32_t index = 0;
    bool key = false;
    uint32_t bytes = 0;         // video packet bytes
    double psnr[3] = {};        // Y, U, V of the reconstruction (with `measure`)
    uint64_t picture_hash = 0;  // hash of the reconstruction's decoded planes (with `measure`)
};

// Hash of the decoded area of a frame buffer (luma, then chroma unless grey,
// then the alpha plane when given), for comparing reconstructions.
uint64_t HashFramePlanes(const uint8_t* frame, const uint8_t* alpha, uint32_t width, uint32_t height,
                         bool grey);

// A source of pictures: the frames of a Y4M file, or frames made in memory.
struct PictureSource {
    uint32_t width = 0, height = 0, rate_num = 25, rate_den = 1;
    // Returns 1 with a picture, 0 at the end, -1 on failure (error set).
    std::function<int(YuvPicture&, std::string& error)> next;
};

struct EncodeResult {
    std::vector<uint8_t> image;  // the file
    std::vector<FrameReport> frames;
    std::string error;  // set on failure (image empty)
};

// Codes the pictures (and alpha pictures when `alpha` is given) and tracks.
// `on_frame` is called after each frame (may be empty).
EncodeResult EncodeMovie(PictureSource& pictures, PictureSource* alpha, const std::vector<PcmTrack>& tracks,
                         const EncodeSettings& settings,
                         const std::function<void(const FrameReport&)>& on_frame = {});

// A PictureSource reading an open Y4M stream.
PictureSource Y4mSource(Y4mReader& reader);

// PSNR of two planes of w x h samples (99 when equal).
double PlanePsnr(const uint8_t* a, uint32_t a_stride, const uint8_t* b, uint32_t b_stride, uint32_t w,
                 uint32_t h);

}  // namespace zarn
