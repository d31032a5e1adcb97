// VideoEncoder: codes frames into video packets and keeps the decoder's own
// reconstruction of each, so that the next frame predicts from exactly what
// a player will show.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "encoder/plane_encoder.h"
#include "encoder/y4m.h"

namespace zarn {

struct VideoSettings {
    uint32_t width = 0;
    uint32_t height = 0;
    char version = 'i';     // 'f', 'g', 'h' or 'i'
    bool alpha = false;     // frames carry an alpha plane
    bool grey = false;      // luma only
    unsigned quality = 60;  // 1..100
    unsigned threads = 1;   // workers per plane; the packets are the same for any count
};

// Quantiser index and rate-distortion weight of a quality setting.
unsigned QuantiserForQuality(unsigned quality);
float LambdaForQuantiser(unsigned q);

// The header's video_flags and the decoder's effective flags of the settings.
uint32_t VideoHeaderFlags(const VideoSettings& s);
uint32_t VideoDecodeFlags(const VideoSettings& s);

struct FrameStats {
    std::array<uint32_t, 16> block_counts{};
};

class VideoEncoder {
public:
    explicit VideoEncoder(const VideoSettings& settings);

    // Codes one frame (alpha: the alpha picture's luma, when settings.alpha).
    // The reconstruction is updated to what the decoder makes of the packet.
    std::vector<uint8_t> Encode(const YuvPicture& picture, const YuvPicture* alpha, bool key,
                                FrameStats* stats = nullptr);

    // Forgets the last encode(): the reconstruction returns to the frame before.
    void Undo() { current_ ^= 1u; }

    uint32_t LumaWidth() const { return luma_width_; }
    uint32_t LumaHeight() const { return luma_height_; }
    // The reconstruction: luma (stride luma_width), then the two chroma planes in file order.
    const std::vector<uint8_t>& Reconstruction() const { return frames_[current_]; }
    const std::vector<uint8_t>& AlphaReconstruction() const { return alphas_[current_]; }
    // Offsets of the U and V planes inside reconstruction().
    size_t UOffset() const;
    size_t VOffset() const;

private:
    // One plane of a frame: the picture to code (stride src_w) and the previous reconstruction.
    struct PlaneJob {
        const uint8_t* src;
        uint32_t src_w, src_h;
        const uint8_t* prev;
        uint32_t prev_stride, dw, dh;
        const MotionField* hint;
    };
    // What one plane of the frame in hand needs and makes.
    struct PlaneWork {
        std::vector<uint8_t> padded;  // the picture at decode size
        PlaneData data;
        std::array<uint32_t, 16> block_counts{};
        std::vector<uint8_t> written;
    };
    void DecidePlane(const PlaneJob& job, bool key, unsigned threads, PlaneWork& work, MotionField* motion,
                     const std::function<void()>& side_task) const;

    VideoSettings s_;
    uint32_t luma_width_ = 0, luma_height_ = 0;
    uint32_t chroma_width_ = 0, chroma_height_ = 0;
    uint32_t decode_w_ = 0, decode_h_ = 0, chroma_dw_ = 0, chroma_dh_ = 0;
    std::vector<uint8_t> frames_[2];
    std::vector<uint8_t> alphas_[2];
    unsigned current_ = 0;
    std::vector<uint8_t> block_marks_;
    std::vector<uint8_t> bundle_memory_;
    uint8_t* bundle_buffers_[9] = {};
    PlaneWork work_[4];  // alpha, luma and chroma planes in packet order (as many as the frame has)
};

}  // namespace zarn
