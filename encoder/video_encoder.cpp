#include "encoder/video_encoder.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>

#include "encoder/container_writer.h"
#include "encoder/worker_threads.h"
#include "video/decode_video_frame.h"

namespace zarn {

namespace {

constexpr float kQuantiserScale[16] = {1.0f, 4.0f / 3, 5.0f / 3, 2,  8.0f / 3, 3.5f, 4,  5,
                                       6,    8,        12,       17, 22,       28,   34, 44};

// Copies a w x h plane into a dw x dh area, repeating the last column and row.
void PadPlane(const uint8_t* src, uint32_t w, uint32_t h, uint32_t stride, uint32_t dw, uint32_t dh,
              std::vector<uint8_t>& out) {
    out.resize(size_t{dw} * dh);
    for (uint32_t y = 0; y < dh; ++y) {
        const uint8_t* row = src + size_t{std::min(y, h - 1)} * stride;
        uint8_t* o = out.data() + size_t{y} * dw;
        std::copy(row, row + std::min(w, dw), o);
        for (uint32_t x = w; x < dw; ++x) o[x] = row[w - 1];
    }
}

uint32_t RoundDown8(uint32_t v) { return v & ~7u; }

// Runs independent tasks on up to `threads` threads, each task once,
// whichever thread gets to it.
void RunSideBySide(const std::vector<std::function<void()>>& tasks, unsigned threads) {
    std::atomic<size_t> next{0};
    RunOnThreads(threads, [&](unsigned) {
        for (size_t t; (t = next.fetch_add(1, std::memory_order_relaxed)) < tasks.size();) tasks[t]();
    });
}

}  // namespace

unsigned QuantiserForQuality(unsigned quality) {
    quality = std::clamp(quality, 1u, 100u);
    return static_cast<unsigned>(std::lround((100.0 - quality) * 15.0 / 99.0));
}

float LambdaForQuantiser(unsigned q) {
    const float s = kQuantiserScale[q & 15];
    return 0.5f * s * s + 1.0f;
}

uint32_t VideoHeaderFlags(const VideoSettings& s) {
    return (s.alpha ? kVideoFlagAlpha : 0u) | (s.grey ? kVideoFlagGreyScale : 0u);
}

uint32_t VideoDecodeFlags(const VideoSettings& s) {
    uint32_t flags = VideoHeaderFlags(s);
    if (s.version == 'f' || s.version == 'g')
        flags |= 0x18000;
    else if (s.version == 'h')
        flags |= 0x8000;
    return flags;
}

VideoEncoder::VideoEncoder(const VideoSettings& settings) : s_(settings) {
    chroma_width_ = RoundDown8((s_.width + 1) / 2 + 7);
    chroma_height_ = RoundDown8((s_.height + 1) / 2 + 7);
    luma_width_ = 2 * chroma_width_;
    luma_height_ = 2 * chroma_height_;
    decode_w_ = RoundDown8(s_.width + 7);
    decode_h_ = RoundDown8(s_.height + 7);
    chroma_dw_ = chroma_width_;
    chroma_dh_ = chroma_height_;
    const size_t frame_bytes =
        size_t{luma_width_} * luma_height_ + 2 * size_t{chroma_width_} * chroma_height_;
    for (auto& f : frames_) f.assign(frame_bytes, 0);
    if (s_.alpha)
        for (auto& a : alphas_) a.assign(size_t{luma_width_} * luma_height_, 0);
    block_marks_.assign(size_t{luma_width_ / 16} * (luma_height_ / 16) + 16, 0);
    // Every bundle buffer sized for the largest bundle (colours, 16-bit room).
    const size_t per_buffer = (512 + size_t{luma_width_ / 8} * 64) * 2 + 64;
    bundle_memory_.assign(per_buffer * 9, 0);
    for (int i = 0; i < 9; ++i) bundle_buffers_[i] = bundle_memory_.data() + per_buffer * i;
}

size_t VideoEncoder::UOffset() const {
    const size_t luma = size_t{luma_width_} * luma_height_;
    const size_t chroma = size_t{chroma_width_} * chroma_height_;
    const bool u_first = s_.version == 'f' || s_.version == 'g';
    return u_first ? luma : luma + chroma;
}

size_t VideoEncoder::VOffset() const {
    const size_t luma = size_t{luma_width_} * luma_height_;
    const size_t chroma = size_t{chroma_width_} * chroma_height_;
    const bool u_first = s_.version == 'f' || s_.version == 'g';
    return u_first ? luma + chroma : luma;
}

void VideoEncoder::DecidePlane(const PlaneJob& job, bool key, unsigned threads, PlaneWork& work,
                               MotionField* motion, const std::function<void()>& side_task) const {
    PadPlane(job.src, job.src_w, job.src_h, job.src_w, job.dw, job.dh, work.padded);
    PlaneSource source;
    source.src = work.padded.data();
    source.src_stride = job.dw;
    source.prev = job.prev;
    source.prev_stride = job.prev_stride;
    source.width = job.dw;
    source.height = job.dh;
    PlaneOptions options;
    options.key = key;
    options.old_colours = s_.version != 'i';
    options.quantiser = QuantiserForQuality(s_.quality);
    options.lambda = LambdaForQuantiser(options.quantiser);
    options.hint = job.hint;
    options.threads = threads;
    PlaneReport report;
    EncodePlaneBlocks(source, options, work.data, motion, &report, side_task);
    for (int i = 0; i < 16; ++i) work.block_counts[i] = report.block_counts[i];
}

std::vector<uint8_t> VideoEncoder::Encode(const YuvPicture& pic, const YuvPicture* alpha, bool key,
                                          FrameStats* stats) {
    const unsigned prev_index = current_;
    const unsigned next_index = current_ ^ 1u;
    const std::vector<uint8_t>& prev = frames_[prev_index];

    // The planes in packet order: alpha, luma, then the chroma planes guided by the luma's motion.
    PlaneJob jobs[4];
    unsigned count = 0;
    auto add = [&](const uint8_t* src, uint32_t w, uint32_t h, const uint8_t* prev_plane,
                   uint32_t prev_stride, uint32_t dw, uint32_t dh, const MotionField* hint) {
        jobs[count++] = PlaneJob{src, w, h, prev_plane, prev_stride, dw, dh, hint};
    };
    std::vector<uint8_t> opaque;
    if (s_.alpha) {
        if (alpha) {
            add(alpha->y.data(), alpha->width, alpha->height, alphas_[prev_index].data(), luma_width_,
                decode_w_, decode_h_, nullptr);
        } else {
            opaque.assign(size_t{s_.width} * s_.height, 255);
            add(opaque.data(), s_.width, s_.height, alphas_[prev_index].data(), luma_width_, decode_w_,
                decode_h_, nullptr);
        }
    }
    const unsigned luma_job = count;
    MotionField luma_motion;
    add(pic.y.data(), pic.width, pic.height, prev.data(), luma_width_, decode_w_, decode_h_, nullptr);
    if (!s_.grey) {
        const size_t luma_bytes = size_t{luma_width_} * luma_height_;
        const size_t chroma_bytes = size_t{chroma_width_} * chroma_height_;
        const bool u_first = s_.version == 'f' || s_.version == 'g';
        const std::vector<uint8_t>* planes[2] = {u_first ? &pic.u : &pic.v, u_first ? &pic.v : &pic.u};
        for (int p = 0; p < 2; ++p)
            add(planes[p]->data(), pic.ChromaWidth(), pic.ChromaHeight(),
                prev.data() + luma_bytes + p * chroma_bytes, chroma_width_, chroma_dw_, chroma_dh_,
                &luma_motion);
    }

    // Each plane is written out while the next one is decided. The two
    // chroma planes need nothing of each other: with two threads or more they
    // are decided side by side, beside the writing of the luma.
    const bool chroma_beside = !s_.grey && s_.threads >= 2;
    const unsigned in_turn = chroma_beside ? count - 2 : count;
    for (unsigned k = 0; k < in_turn; ++k) {
        std::function<void()> write_before;
        if (k > 0) write_before = [&, k] { work_[k - 1].written = WritePlane(work_[k - 1].data); };
        DecidePlane(jobs[k], key, s_.threads, work_[k], k == luma_job ? &luma_motion : nullptr, write_before);
    }
    if (chroma_beside) {
        const unsigned each = s_.threads / 2;
        auto chroma = [&](unsigned k) {
            DecidePlane(jobs[k], key, each, work_[k], nullptr, {});
            work_[k].written = WritePlane(work_[k].data);
        };
        RunSideBySide({[&] { chroma(count - 2); }, [&] { chroma(count - 1); },
                       [&] { work_[count - 3].written = WritePlane(work_[count - 3].data); }},
                      2);
    } else {
        work_[count - 1].written = WritePlane(work_[count - 1].data);
    }
    if (stats)
        for (unsigned k = 0; k < count; ++k)
            for (int i = 0; i < 16; ++i) stats->block_counts[i] += work_[k].block_counts[i];

    std::vector<uint8_t> packet;
    for (unsigned k = 0; k < count; ++k) {
        const std::vector<uint8_t>& written = work_[k].written;
        if ((s_.alpha && k == 0) || (k == luma_job && s_.version == 'i'))
            AppendU32(packet, static_cast<uint32_t>(4 + written.size()));
        packet.insert(packet.end(), written.begin(), written.end());
    }

    std::fill(block_marks_.begin(), block_marks_.end(), 0);
    DecodeVideoFrame(frames_[next_index].data(), prev.data(), s_.alpha ? alphas_[next_index].data() : nullptr,
                     s_.alpha ? alphas_[prev_index].data() : nullptr, block_marks_.data(), s_.width,
                     s_.height, luma_width_, luma_height_, packet.data(),
                     static_cast<uint32_t>(packet.size()), key ? 1u : 0u, bundle_buffers_,
                     VideoDecodeFlags(s_), VideoHeaderFlags(s_));
    current_ = next_index;
    return packet;
}

}  // namespace zarn
