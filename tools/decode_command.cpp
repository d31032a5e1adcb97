#include "tools/decode_command.h"

#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>

#include "audio/audio_decoder.h"
#include "convert/copy_flags.h"
#include "convert/copy_frame.h"
#include "encoder/y4m.h"
#include "engine/container_header.h"
#include "engine/copy_to_buffer.h"
#include "engine/frame_control.h"
#include "engine/last_error.h"
#include "engine/movie.h"

namespace zarn {
namespace {

constexpr const char* kUsage =
    "Usage: zarn decode INPUT.zrn [OPTIONS]\n"
    "Decodes every frame in order through the engine (at least one output needed):\n"
    "  --y4m OUT.y4m        the pictures as 4:2:0 YUV4MPEG2\n"
    "  --alpha OUT.y        the alpha planes, raw bytes, one per frame\n"
    "  --wav OUT.wav        a sound track as 16-bit PCM WAV\n"
    "  --track ID           the track for --wav (default: the first)\n"
    "  --raw OUT            every frame as the frame copy makes it, back to back\n"
    "  --copy-format N      the pixel format of --raw (0..15, required with --raw)\n"
    "  --plain              --raw: use the plain conversion kernels\n"
    "  --mode M             --raw: open with display option M (0..7)\n"
    "  --png DIR            each frame as DIR/frame-00001.png ... (24-bit)\n"
    "  --frames N           stop after N frames\n";

struct Options {
    std::string input, y4m, alpha, wav, raw, png;
    std::optional<uint32_t> track;
    std::optional<uint32_t> copy_format;
    bool plain = false;
    uint32_t mode = 0;
    uint32_t frames = UINT32_MAX;
};

bool ParseNumber(const std::string& text, uint32_t limit, uint32_t& value) {
    if (text.empty() || text.size() > 10) return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    if (v > limit) return false;
    value = static_cast<uint32_t>(v);
    return true;
}

// 0 parsed, 1 help shown, 2 usage error (message written).
int ParseOptions(const std::vector<std::string>& args, Options& o, std::ostream& out, std::ostream& err) {
    auto fail = [&](const std::string& why) {
        err << "zarn decode: " << why << "\n" << kUsage;
        return 2;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            out << kUsage;
            return 1;
        }
        const bool takes_value = a == "--y4m" || a == "--alpha" || a == "--wav" || a == "--track" ||
                                 a == "--raw" || a == "--copy-format" || a == "--mode" ||
                                 a == "--png" || a == "--frames";
        if (takes_value) {
            if (i + 1 >= args.size()) return fail(a + " needs a value");
            const std::string& v = args[++i];
            uint32_t n = 0;
            if (a == "--y4m") o.y4m = v;
            else if (a == "--alpha") o.alpha = v;
            else if (a == "--wav") o.wav = v;
            else if (a == "--raw") o.raw = v;
            else if (a == "--png") o.png = v;
            else if (a == "--track") {
                if (!ParseNumber(v, UINT32_MAX, n)) return fail("bad track ID " + v);
                o.track = n;
            } else if (a == "--copy-format") {
                if (!ParseNumber(v, 15, n)) return fail("copy format must be 0..15");
                o.copy_format = n;
            } else if (a == "--mode") {
                if (!ParseNumber(v, 7, n)) return fail("mode must be 0..7");
                o.mode = n;
            } else {
                if (!ParseNumber(v, UINT32_MAX, n) || n == 0) return fail("bad frame count " + v);
                o.frames = n;
            }
        } else if (a == "--plain") {
            o.plain = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return fail("unknown option " + a);
        } else if (o.input.empty()) {
            o.input = a;
        } else {
            return fail("more than one input given");
        }
    }
    if (o.input.empty()) return fail("no input given");
    if (o.y4m.empty() && o.alpha.empty() && o.wav.empty() && o.raw.empty() && o.png.empty())
        return fail("no output given");
    if (!o.raw.empty() && !o.copy_format) return fail("--raw needs --copy-format");
    if (o.raw.empty() && (o.copy_format || o.plain || o.mode))
        return fail("--copy-format, --plain and --mode go with --raw");
    if (o.wav.empty() && o.track) return fail("--track goes with --wav");
    return 0;
}

// Bytes of one --raw frame of the output size in `format`.
size_t RawFrameBytes(uint32_t format, uint32_t width, uint32_t height) {
    const size_t w = width, h = height;
    if (format == kFormatYv12) return w * h + 2 * (w / 2) * (h / 2);
    if (format == kFormatPalette) return w * h;
    if (format == kFormatBgr24 || format == kFormatRgb24) return w * h * 3;
    if (format >= kFormatBgrx32 && format <= kFormatRgba32) return w * h * 4;
    return w * h * 2;
}

uint32_t RawPitch(uint32_t format, uint32_t width) {
    if (format == kFormatYv12) return width;
    return static_cast<uint32_t>(RawFrameBytes(format, width, 1));
}

// A 16-bit PCM WAV file; the sizes in its header are set when it closes.
struct WavOutput {
    std::FILE* file = nullptr;
    uint64_t data_bytes = 0;
    bool ok = true;
};

void PutLe(uint8_t* p, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void WavHeader(uint8_t h[44], uint32_t rate, uint32_t channels, uint64_t data_bytes) {
    const uint32_t data = static_cast<uint32_t>(std::min<uint64_t>(data_bytes, 0xFFFFFFFFu - 36));
    std::memcpy(h, "RIFF", 4);
    PutLe(h + 4, data + 36, 4);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    PutLe(h + 16, 16, 4);
    PutLe(h + 20, 1, 2);
    PutLe(h + 22, channels, 2);
    PutLe(h + 24, rate, 4);
    PutLe(h + 28, rate * channels * 2, 4);
    PutLe(h + 32, channels * 2, 2);
    PutLe(h + 34, 16, 2);
    std::memcpy(h + 36, "data", 4);
    PutLe(h + 40, data, 4);
}

// The chosen track's decoder: decodes each packet's blocks the way the
// engine queues them, with nothing dropped.
struct TrackDecode {
    uint32_t index = 0;
    AudioDecoder* decoder = nullptr;
};

uint32_t ReadLe32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void DecodePacketAudio(const Movie& m, TrackDecode& t, WavOutput& wav) {
    const uint8_t* p = m.packet;
    uint32_t left = m.packet_bytes;
    if (!p) return;
    for (uint32_t k = 0; k < m.audio_tracks; ++k) {
        if (left < 4) return;
        const uint32_t length = ReadLe32(p);
        p += 4;
        left -= 4;
        if (length > left) return;
        if (k == t.index && length >= 4) {
            uint32_t due = ReadLe32(p);
            const uint8_t* data = p + 4;
            const uint8_t* end = p + length;
            while (due > 0) {
                const int16_t* pcm = nullptr;
                uint32_t bytes = 0;
                const uint8_t* next = end;
                DecodeAudioBlock(t.decoder, &pcm, &bytes, data, end, &next);
                if (bytes == 0 || !pcm) break;
                const uint32_t n = std::min(bytes, due);
                due -= n;
                if (std::fwrite(pcm, 1, n, wav.file) != n) wav.ok = false;
                wav.data_bytes += n;
                data = next;
            }
            return;
        }
        p += length;
        left -= length;
    }
}

bool WritePng(const std::string& path, const uint8_t* rgb, uint32_t width, uint32_t height) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        std::fclose(f);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (uint32_t r = 0; r < height; ++r)
        png_write_row(png, const_cast<png_bytep>(rgb + static_cast<size_t>(r) * width * 3));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

FrameSource SourceOf(const Movie& m) {
    FrameSource s{};
    s.frame = m.frame_buffers[m.current_buffer];
    s.alpha = m.alpha_planes[m.current_buffer];
    s.block_marks = m.block_marks;
    s.mb_cols = m.mb_cols;
    s.mb_count = m.mb_count;
    s.source_width = m.source_width;
    s.source_height = m.source_height;
    s.luma_width = m.luma_width;
    s.luma_height = m.luma_height;
    return s;
}

// The visible picture of the current frame buffer, chroma mapped so that
// `u` is always Cb.
void TakePicture(const Movie& m, YuvPicture& pic) {
    const uint8_t* frame = m.frame_buffers[m.current_buffer];
    const size_t lw = m.luma_width, cw = m.luma_width / 2;
    const uint8_t* first = frame + lw * m.luma_height;
    const uint8_t* second = first + cw * (m.luma_height / 2);
    const bool first_is_u = (m.flags & kFlagVersionFG) != 0;
    const uint8_t* u = first_is_u ? first : second;
    const uint8_t* v = first_is_u ? second : first;
    for (uint32_t r = 0; r < pic.height; ++r)
        std::memcpy(&pic.y[r * size_t{pic.width}], frame + r * lw, pic.width);
    const uint32_t w = pic.chroma_width(), h = pic.chroma_height();
    for (uint32_t r = 0; r < h; ++r) {
        std::memcpy(&pic.u[r * size_t{w}], u + r * cw, w);
        std::memcpy(&pic.v[r * size_t{w}], v + r * cw, w);
    }
}

// Everything a run writes to; closed when the run ends.
struct Outputs {
    Y4mWriter y4m;
    bool y4m_open = false;
    std::FILE* alpha = nullptr;
    std::FILE* raw = nullptr;
    WavOutput wav;
    TrackDecode track;
    uint32_t wav_rate = 0, wav_channels = 0;

    ~Outputs() {
        if (alpha) std::fclose(alpha);
        if (raw) std::fclose(raw);
        if (wav.file) std::fclose(wav.file);
        FreeAudioDecoder(track.decoder);
    }
};

std::FILE* OpenOutput(const std::string& path, std::ostream& err) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) err << "zarn decode: cannot write " << path << ": " << std::strerror(errno) << "\n";
    return f;
}

// Sets up the outputs the options ask for; false with a message on failure.
bool OpenOutputs(const Options& o, const Movie& m, Outputs& outs, std::ostream& err) {
    if (!o.alpha.empty() && !(m.header_flags & kFlagAlpha)) {
        err << "zarn decode: " << o.input << " has no alpha plane\n";
        return false;
    }
    if (!o.wav.empty()) {
        if (m.audio_tracks == 0) {
            err << "zarn decode: " << o.input << " has no audio tracks\n";
            return false;
        }
        uint32_t index = 0;
        if (o.track) {
            index = m.audio_tracks;
            for (uint32_t t = 0; t < m.audio_tracks; ++t)
                if (m.track_id[t] == *o.track) {
                    index = t;
                    break;
                }
            if (index == m.audio_tracks) {
                err << "zarn decode: " << o.input << " has no audio track with ID " << *o.track << "\n";
                return false;
            }
        }
        const uint32_t format = m.track_format[index];
        if (!(format & kTrackFormatAudio)) {
            err << "zarn decode: audio track " << index << " of " << o.input << " holds no audio\n";
            return false;
        }
        outs.wav_rate = format & 0xFFFF;
        outs.wav_channels = (format & kTrackFormatStereo) ? 2 : 1;
        outs.track.index = index;
        outs.track.decoder = CreateAudioDecoder(outs.wav_rate, outs.wav_channels, 1);
        if (!outs.track.decoder) {
            err << "zarn decode: out of memory for the audio decoder\n";
            return false;
        }
        outs.wav.file = OpenOutput(o.wav, err);
        if (!outs.wav.file) return false;
        uint8_t header[44];
        WavHeader(header, outs.wav_rate, outs.wav_channels, 0);
        if (std::fwrite(header, 1, 44, outs.wav.file) != 44) outs.wav.ok = false;
    }
    if (!o.y4m.empty()) {
        Y4mInfo info;
        info.width = m.source_width;
        info.height = m.source_height;
        info.rate_num = m.source_rate_num;
        info.rate_den = m.source_rate_den;
        if (!outs.y4m.open(o.y4m, info)) {
            err << "zarn decode: cannot write " << o.y4m << "\n";
            return false;
        }
        outs.y4m_open = true;
    }
    if (!o.alpha.empty() && !(outs.alpha = OpenOutput(o.alpha, err))) return false;
    if (!o.raw.empty() && !(outs.raw = OpenOutput(o.raw, err))) return false;
    if (!o.png.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(o.png, ec);
        if (!std::filesystem::is_directory(o.png, ec)) {
            err << "zarn decode: cannot make directory " << o.png << "\n";
            return false;
        }
    }
    return true;
}

// Writes the outputs of the frame just decoded; false with a message on failure.
bool WriteFrame(const Options& o, Movie& m, Outputs& outs, uint32_t number, YuvPicture& pic,
                std::vector<uint8_t>& raw, std::vector<uint8_t>& rgb, std::ostream& err) {
    if (outs.wav.file) DecodePacketAudio(m, outs.track, outs.wav);
    if (outs.y4m_open) {
        TakePicture(m, pic);
        if (!outs.y4m.write_frame(pic)) {
            err << "zarn decode: cannot write " << o.y4m << "\n";
            return false;
        }
    }
    if (outs.alpha) {
        const uint8_t* a = m.alpha_planes[m.current_buffer];
        bool ok = a != nullptr;
        for (uint32_t r = 0; ok && r < m.source_height; ++r)
            ok = std::fwrite(a + size_t{r} * m.luma_width, 1, m.source_width, outs.alpha) == m.source_width;
        if (!ok) {
            err << "zarn decode: cannot write " << o.alpha << "\n";
            return false;
        }
    }
    if (outs.raw) {
        const uint32_t format = *o.copy_format;
        uint32_t flags = format | kCopyWholeFrame | kCopyNeverSkip;
        if (o.plain) flags |= kCopyForcePlain;
        std::fill(raw.begin(), raw.end(), 0);
        CopyToBuffer(&m, raw.data(), static_cast<int32_t>(RawPitch(format, m.width)), m.height, 0, 0, flags);
        if (std::fwrite(raw.data(), 1, raw.size(), outs.raw) != raw.size()) {
            err << "zarn decode: cannot write " << o.raw << "\n";
            return false;
        }
    }
    if (!o.png.empty()) {
        CopyFrame(SourceOf(m), rgb.data(), static_cast<int32_t>(m.width * 3), m.height, 0, 0,
                  MergeCopyFlags(kFormatRgb24 | kCopyWholeFrame, m.flags));
        char name[32];
        std::snprintf(name, sizeof name, "frame-%05u.png", number);
        const std::string path = (std::filesystem::path(o.png) / name).string();
        if (!WritePng(path, rgb.data(), m.width, m.height)) {
            err << "zarn decode: cannot write " << path << "\n";
            return false;
        }
    }
    return true;
}

// Completes the files; false with a message when one could not be written.
bool FinishOutputs(const Options& o, Outputs& outs, std::ostream& err) {
    bool ok = true;
    if (outs.wav.file) {
        uint8_t header[44];
        WavHeader(header, outs.wav_rate, outs.wav_channels, outs.wav.data_bytes);
        ok = outs.wav.ok && std::fseek(outs.wav.file, 0, SEEK_SET) == 0 &&
             std::fwrite(header, 1, 44, outs.wav.file) == 44;
        ok = std::fclose(outs.wav.file) == 0 && ok;
        outs.wav.file = nullptr;
        if (!ok) err << "zarn decode: cannot write " << o.wav << "\n";
    }
    if (outs.y4m_open && !outs.y4m.close()) {
        err << "zarn decode: cannot write " << o.y4m << "\n";
        ok = false;
    }
    for (std::FILE** f : {&outs.alpha, &outs.raw}) {
        if (*f && std::fclose(*f) != 0) {
            err << "zarn decode: cannot write " << (f == &outs.alpha ? o.alpha : o.raw) << "\n";
            ok = false;
        }
        *f = nullptr;
    }
    return ok;
}

int Decode(const Options& o, Movie& m, std::ostream& err) {
    Outputs outs;
    if (!OpenOutputs(o, m, outs, err)) return 1;
    YuvPicture pic;
    if (outs.y4m_open) pic.allocate(m.source_width, m.source_height);
    std::vector<uint8_t> raw, rgb;
    if (outs.raw) raw.resize(RawFrameBytes(*o.copy_format, m.width, m.height));
    if (!o.png.empty()) rgb.resize(size_t{m.width} * m.height * 3);
    const bool progress = isatty(STDERR_FILENO) != 0;
    const uint32_t total = std::min(m.frame_count, o.frames);
    int status = 0;
    uint32_t done = 0;
    for (; done < total; ++done) {
        if (DoFrame(&m) != 0) {
            if (progress) err << "\n";
            err << "zarn decode: read error at frame " << done + 1 << " of " << o.input
                << "; kept the " << done << " frames decoded before it\n";
            status = 1;
            break;
        }
        if (!WriteFrame(o, m, outs, done + 1, pic, raw, rgb, err)) {
            status = 1;
            break;
        }
        if (progress) err << "\rframe " << done + 1 << " / " << total << std::flush;
        NextFrame(&m);
    }
    if (progress && status == 0) err << "\n";
    if (!FinishOutputs(o, outs, err)) status = 1;
    return status;
}

}  // namespace

int RunDecodeCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Options o;
    const int parsed = ParseOptions(args, o, out, err);
    if (parsed == 1) return 0;
    if (parsed != 0) return parsed;
    uint32_t flags = kFlagNoThread | kFlagNeverSkip | (o.mode << kDisplayOptionShift);
    if (!o.alpha.empty()) flags |= kFlagAlpha;
    Movie* m = OpenMovie(o.input.c_str(), flags);
    if (!m) {
        err << "zarn decode: " << o.input << ": " << EngineLastError() << "\n";
        return 1;
    }
    const int status = Decode(o, *m, err);
    CloseMovie(m);
    return status;
}

}  // namespace zarn
