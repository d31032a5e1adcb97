#include "encoder/encode_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "encoder/audio_encoder.h"
#include "encoder/container_writer.h"
#include "encoder/video_encoder.h"

namespace zarn {

namespace {

// A new scene: the luma histograms (32 bins) of two frames differ by more
// than this share of the pixels. Moving content keeps its histogram.
constexpr double kSceneCutShare = 0.5;

bool IsSceneCut(const YuvPicture& a, const YuvPicture& b) {
    if (a.y.size() != b.y.size() || a.y.empty()) return false;
    int64_t hist[32] = {};
    for (uint8_t v : a.y) ++hist[v >> 3];
    for (uint8_t v : b.y) --hist[v >> 3];
    int64_t moved = 0;
    for (int64_t h : hist) moved += h < 0 ? -h : h;
    return static_cast<double>(moved) / 2.0 > kSceneCutShare * static_cast<double>(a.y.size());
}

// An inter frame whose blocks mostly ignore the previous picture.
bool IsMostlyIntra(const FrameStats& s) {
    uint64_t total = 0, intra = 0;
    for (int t = 0; t < 16; ++t) total += s.block_counts[t];
    for (int t : {3, 5, 6, 8, 9}) intra += s.block_counts[t];
    return total > 0 && intra * 10 > total * 6;
}

}  // namespace

unsigned EncodeThreadCount(unsigned requested) {
    if (requested) return requested;
    return std::thread::hardware_concurrency() >= 2 ? 2 : 1;
}

PictureSource Y4mSource(Y4mReader& reader) {
    PictureSource s;
    s.width = reader.Info().width;
    s.height = reader.Info().height;
    s.rate_num = reader.Info().rate_num;
    s.rate_den = reader.Info().rate_den;
    s.next = [&reader](YuvPicture& p, std::string& error) {
        int r = reader.ReadFrame(p);
        if (r < 0) error = reader.Error();
        return r;
    };
    return s;
}

uint64_t HashFramePlanes(const uint8_t* frame, const uint8_t* alpha, uint32_t width, uint32_t height,
                         bool grey) {
    const uint32_t cw = (((width + 1) / 2) + 7) & ~7u, chh = (((height + 1) / 2) + 7) & ~7u;
    const uint32_t lw = 2 * cw, lh = 2 * chh;
    const uint32_t dw = (width + 7) & ~7u, dh = (height + 7) & ~7u;
    uint64_t h = 1469598103934665603ull;
    auto plane = [&](const uint8_t* p, uint32_t stride, uint32_t w, uint32_t rows) {
        for (uint32_t y = 0; y < rows; ++y)
            for (uint32_t x = 0; x < w; ++x) h = (h ^ p[size_t{y} * stride + x]) * 1099511628211ull;
    };
    plane(frame, lw, dw, dh);
    if (!grey) {
        plane(frame + size_t{lw} * lh, cw, cw, chh);
        plane(frame + size_t{lw} * lh + size_t{cw} * chh, cw, cw, chh);
    }
    if (alpha) plane(alpha, lw, dw, dh);
    return h;
}

double PlanePsnr(const uint8_t* a, uint32_t a_stride, const uint8_t* b, uint32_t b_stride, uint32_t w,
                 uint32_t h) {
    uint64_t sse = 0;
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            int d = a[size_t{y} * a_stride + x] - b[size_t{y} * b_stride + x];
            sse += static_cast<uint64_t>(d * d);
        }
    if (sse == 0) return 99.0;
    const double mse = static_cast<double>(sse) / (static_cast<double>(w) * h);
    return 10.0 * std::log10(255.0 * 255.0 / mse);
}

EncodeResult EncodeMovie(PictureSource& pictures, PictureSource* alpha, const std::vector<PcmTrack>& tracks,
                         const EncodeSettings& settings,
                         const std::function<void(const FrameReport&)>& on_frame) {
    EncodeResult result;
    if (alpha && (alpha->width != pictures.width || alpha->height != pictures.height)) {
        result.error = "the alpha video's size differs from the video's";
        return result;
    }
    // A row of raw blocks must fit one colour chunk (at most 32767 values).
    if (pictures.width > kMaxEncodeWidth) {
        result.error = "pictures wider than " + std::to_string(kMaxEncodeWidth) + " pixels are not supported";
        return result;
    }
    VideoSettings vs;
    vs.width = pictures.width;
    vs.height = pictures.height;
    vs.version = settings.version;
    vs.alpha = alpha != nullptr;
    vs.grey = settings.grey;
    vs.quality = settings.quality;
    vs.threads = EncodeThreadCount(settings.threads);
    VideoEncoder encoder(vs);

    uint32_t keyint = settings.keyint;
    if (keyint == 0)
        keyint = static_cast<uint32_t>(
            std::max<uint64_t>(1, uint64_t{10} * pictures.rate_num / pictures.rate_den));

    std::vector<std::vector<uint8_t>> video;
    std::vector<bool> keys;
    YuvPicture picture, previous, alpha_picture;
    uint32_t since_key = 0;
    for (uint32_t index = 0;; ++index) {
        int r = pictures.next(picture, result.error);
        if (r < 0) return result;
        if (r == 0) break;
        if (alpha) {
            int ra = alpha->next(alpha_picture, result.error);
            if (ra < 0) return result;
            if (ra == 0) {
                result.error = "the alpha video has fewer frames than the video";
                return result;
            }
        }
        bool key = index == 0 || since_key + 1 >= keyint || IsSceneCut(picture, previous);
        since_key = key ? 0 : since_key + 1;
        FrameStats stats;
        std::vector<uint8_t> packet = encoder.Encode(picture, alpha ? &alpha_picture : nullptr, key, &stats);
        if (!key && IsMostlyIntra(stats)) {
            // The picture has little to do with the previous one: a scene cut.
            encoder.Undo();
            key = true;
            since_key = 0;
            packet = encoder.Encode(picture, alpha ? &alpha_picture : nullptr, key);
        }
        video.push_back(std::move(packet));
        keys.push_back(key);

        FrameReport report;
        report.index = index;
        report.key = key;
        report.bytes = static_cast<uint32_t>(video.back().size());
        if (settings.measure) {
            const auto& rec = encoder.Reconstruction();
            const uint32_t lw = encoder.LumaWidth();
            report.psnr[0] =
                PlanePsnr(picture.y.data(), picture.width, rec.data(), lw, picture.width, picture.height);
            if (!settings.grey) {
                report.psnr[1] =
                    PlanePsnr(picture.u.data(), picture.ChromaWidth(), rec.data() + encoder.UOffset(), lw / 2,
                              picture.ChromaWidth(), picture.ChromaHeight());
                report.psnr[2] =
                    PlanePsnr(picture.v.data(), picture.ChromaWidth(), rec.data() + encoder.VOffset(), lw / 2,
                              picture.ChromaWidth(), picture.ChromaHeight());
            }
            report.picture_hash =
                HashFramePlanes(rec.data(), alpha ? encoder.AlphaReconstruction().data() : nullptr,
                                picture.width, picture.height, settings.grey);
        }
        result.frames.push_back(report);
        if (on_frame) on_frame(report);
        std::swap(previous, picture);
    }
    if (video.empty()) {
        result.error = "the video has no frames";
        return result;
    }

    ContainerSpec spec;
    spec.version = settings.version;
    spec.width = pictures.width;
    spec.height = pictures.height;
    spec.rate_num = pictures.rate_num;
    spec.rate_den = pictures.rate_den;
    spec.video_flags = VideoHeaderFlags(vs);
    std::vector<AudioTrackPackets> audio;
    for (size_t t = 0; t < tracks.size(); ++t) {
        audio.push_back(EncodeAudioTrack(tracks[t], static_cast<uint32_t>(video.size()), pictures.rate_num,
                                         pictures.rate_den, settings.quality));
        spec.tracks.push_back({audio.back().buffer_size, audio.back().format, static_cast<uint32_t>(t)});
    }
    ContainerWriter writer(spec);
    for (size_t f = 0; f < video.size(); ++f) {
        FramePacket frame;
        for (auto& a : audio) frame.audio.push_back(std::move(a.packets[f]));
        frame.video = std::move(video[f]);
        frame.key = keys[f];
        writer.AddFrame(std::move(frame));
    }
    result.image = writer.Build();
    return result;
}

}  // namespace zarn
