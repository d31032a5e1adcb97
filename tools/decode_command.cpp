#include "tools/decode_command.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>

#include "encoder/y4m.h"
#include "tools/frame_rgb.h"
#include "tools/input_video.h"
#include "tools/interruption.h"
#include "tools/output_file.h"
#include "tools/png_image.h"

namespace zarn {
namespace {

constexpr const char* kUsage =
    "Usage: zarn decode INPUT [OPTIONS]\n"
    "Decodes every frame in order through the engine and writes what the options ask\n"
    "for (at least one output). INPUT is a file, FILE|N (the video at byte N of FILE)\n"
    "or - (standard input). Every OUT may be - for standard output (one of them).\n"
    "  --y4m OUT            the pictures as 4:2:0 YUV4MPEG2\n"
    "  --alpha OUT          the alpha planes, raw bytes, one per frame\n"
    "  --wav OUT            a sound track as 16-bit PCM WAV\n"
    "  --track ID           the track for --wav (default: the first)\n"
    "  --raw OUT            every frame as the frame copy makes it, back to back\n"
    "  --copy-format N      the pixel format of --raw (required with --raw):\n"
    "                         0 8-bit palette (not converted), 1 BGR 24-bit, 2 RGB 24-bit,\n"
    "                         3 BGRX 32-bit, 4 RGBX 32-bit, 5 BGRA 32-bit, 6 RGBA 32-bit,\n"
    "                         7 ARGB 4444, 8 ARGB 1555, 9 RGB 555, 10 RGB 565, 11 RGB 655,\n"
    "                         12 RGB 664, 13 YUY2, 14 UYVY, 15 YV12 (planar)\n"
    "  --changed            --raw: copy only the changed blocks into one picture kept\n"
    "                       from frame to frame, as the player does (formats 1..14).\n"
    "                       The same bytes as without it, except on files with untouched\n"
    "                       blocks: there the kept picture holds the previous frame's\n"
    "                       pixels where the whole-frame copy shows the older buffer\n"
    "  --plain              --raw: use the plain conversion kernels\n"
    "  --mode M             --raw: open with display option M (0..7)\n"
    "  --png DIR            each frame as DIR/frame-00001.png ... (24-bit)\n"
    "  --frames N           stop after N frames\n"
    "  --threads N          decode on N threads: 1 (default) or 2 (chroma beside luma)\n"
    "Frames are numbered from 1. Outputs that are files appear only when complete;\n"
    "Ctrl-C (or SIGTERM) stops after the frame in hand and keeps every output valid.\n"
    "Exit status: 0 done, 1 failure, 2 usage error, 130/143 interrupted.\n";

struct Options {
    std::string input, y4m, alpha, wav, raw, png;
    std::optional<uint32_t> track;
    std::optional<uint32_t> copy_format;
    bool plain = false;
    bool changed = false;
    uint32_t mode = 0;
    uint32_t frames = UINT32_MAX;
    uint32_t threads = 1;
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
                                 a == "--raw" || a == "--copy-format" || a == "--mode" || a == "--png" ||
                                 a == "--frames" || a == "--threads";
        if (takes_value) {
            if (i + 1 >= args.size()) return fail(a + " needs a value");
            const std::string& v = args[++i];
            uint32_t n = 0;
            if (a == "--y4m")
                o.y4m = v;
            else if (a == "--alpha")
                o.alpha = v;
            else if (a == "--wav")
                o.wav = v;
            else if (a == "--raw")
                o.raw = v;
            else if (a == "--png")
                o.png = v;
            else if (a == "--track") {
                if (!ParseNumber(v, UINT32_MAX, n)) return fail("bad track ID " + v);
                o.track = n;
            } else if (a == "--copy-format") {
                if (!ParseNumber(v, 15, n)) return fail("copy format must be 0..15");
                o.copy_format = n;
            } else if (a == "--mode") {
                if (!ParseNumber(v, 7, n)) return fail("mode must be 0..7");
                o.mode = n;
            } else if (a == "--threads") {
                if (!ParseNumber(v, 2, n) || n == 0) return fail("threads must be 1 or 2");
                o.threads = n;
            } else {
                if (!ParseNumber(v, UINT32_MAX, n) || n == 0) return fail("bad frame count " + v);
                o.frames = n;
            }
        } else if (a == "--plain") {
            o.plain = true;
        } else if (a == "--changed") {
            o.changed = true;
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
    if (o.raw.empty() && (o.copy_format || o.plain || o.mode || o.changed))
        return fail("--copy-format, --changed, --plain and --mode go with --raw");
    if (o.changed && (*o.copy_format == ZARN_FORMAT_PALETTE || *o.copy_format == ZARN_FORMAT_YV12))
        return fail("--changed needs a copy format from 1 to 14 (0 and 15 copy whole frames)");
    const std::string* names[] = {&o.y4m, &o.alpha, &o.wav, &o.raw};
    for (size_t i = 0; i < 4; ++i)
        for (size_t k = i + 1; k < 4; ++k)
            if (!names[i]->empty() && *names[i] == *names[k])
                return fail(*names[i] == "-" ? "only one output can be - (standard output)"
                                             : *names[i] + " is named for two outputs");
    if (o.wav.empty() && o.track) return fail("--track goes with --wav");
    return 0;
}

// Bytes of one --raw frame and its pitch. Nothing converts into palette
// indexes: that format's frames are left as zero bytes, one per pixel.
size_t RawFrameBytes(const zarn_movie* m, uint32_t format, const zarn_info& facts, int32_t& pitch) {
    if (format == ZARN_FORMAT_PALETTE) {
        pitch = static_cast<int32_t>(facts.output_width);
        return size_t{facts.output_width} * facts.output_height;
    }
    return zarn_frame_bytes(m, static_cast<zarn_format>(format), &pitch);
}

void PutLe(uint8_t* p, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Data size of a WAV header written before the end is known: the largest
// sizes, which readers take as "to the end of the stream".
constexpr uint64_t kWavSizeUnknown = UINT64_MAX;

void WavHeader(uint8_t h[44], uint32_t rate, uint32_t channels, uint64_t data_bytes) {
    const bool unknown = data_bytes == kWavSizeUnknown;
    const uint32_t data =
        unknown ? 0xFFFFFFFFu : static_cast<uint32_t>(std::min<uint64_t>(data_bytes, 0xFFFFFFFFu - 36));
    std::memcpy(h, "RIFF", 4);
    PutLe(h + 4, unknown ? 0xFFFFFFFFu : data + 36, 4);
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

// The visible picture of the current frame.
void TakePicture(const zarn_planes& p, YuvPicture& pic) {
    for (uint32_t r = 0; r < pic.height; ++r)
        std::memcpy(&pic.y[r * size_t{pic.width}], p.y + r * ptrdiff_t{p.y_stride}, pic.width);
    const uint32_t w = pic.ChromaWidth(), h = pic.ChromaHeight();
    for (uint32_t r = 0; r < h; ++r) {
        std::memcpy(&pic.u[r * size_t{w}], p.u + r * ptrdiff_t{p.uv_stride}, w);
        std::memcpy(&pic.v[r * size_t{w}], p.v + r * ptrdiff_t{p.uv_stride}, w);
    }
}

// Everything a run writes to. Outputs still open when the run ends without
// finishing them are discarded (their temporary files removed).
struct Outputs {
    OutputFile y4m_file, alpha, raw, wav, png;
    Y4mWriter y4m;
    bool y4m_open = false;
    std::vector<OutputFile*> reported;  // failures already told
    uint64_t wav_bytes = 0;
    uint32_t wav_rate = 0, wav_channels = 0;

    ~Outputs() {
        y4m.Close();
        for (OutputFile* f : {&y4m_file, &alpha, &raw, &wav, &png}) DiscardOutput(*f);
    }
};

// Tells an output's failure once.
bool Report(Outputs& outs, OutputFile& f, std::ostream& err) {
    if (std::find(outs.reported.begin(), outs.reported.end(), &f) == outs.reported.end()) {
        err << "zarn decode: " << f.error << "\n";
        outs.reported.push_back(&f);
    }
    return false;
}

bool Open(const std::string& name, const InputVideo& in, OutputFile& f, Outputs& outs, std::ostream& err) {
    if (name.empty()) return true;
    if (OpenOutput(name, 0666, {in.identity}, f)) return true;
    return Report(outs, f, err);
}

std::string PngPath(const std::string& dir, uint32_t number) {
    char name[32];
    std::snprintf(name, sizeof name, "frame-%05u.png", number);
    return (std::filesystem::path(dir) / name).string();
}

// The Y4M writer takes a name: give it the output's own descriptor.
std::string DescriptorPath(const OutputFile& f) { return "/proc/self/fd/" + std::to_string(f.fd); }

bool Y4mFailed(Outputs& outs, int error_number, std::ostream& err) {
    if (outs.y4m_file.error.empty())
        outs.y4m_file.error = "cannot write " + outs.y4m_file.name + ": " + std::strerror(error_number);
    return Report(outs, outs.y4m_file, err);
}

// Sets up every output the options ask for before the first frame, so that
// one that cannot be written is found at once; false with a message.
bool OpenOutputs(const Options& o, const InputVideo& in, const zarn_info& facts, Outputs& outs,
                 std::ostream& err) {
    if (!o.alpha.empty() && !facts.has_alpha) {
        err << "zarn decode: " << o.input << " has no alpha plane\n";
        return false;
    }
    if (!o.wav.empty()) {
        if (facts.audio_tracks == 0) {
            err << "zarn decode: " << o.input << " has no audio tracks\n";
            return false;
        }
        uint32_t index = 0;
        zarn_track_info track;
        zarn_get_track_info(in.movie, 0, &track);
        if (o.track) {
            index = facts.audio_tracks;
            for (uint32_t t = 0; t < facts.audio_tracks && index == facts.audio_tracks; ++t) {
                zarn_get_track_info(in.movie, t, &track);
                if (track.id == *o.track) index = t;
            }
            if (index == facts.audio_tracks) {
                err << "zarn decode: " << o.input << " has no audio track with ID " << *o.track << "\n";
                return false;
            }
        }
        const std::string why = UnplayableTrackReason(track);
        if (!why.empty()) {
            err << "zarn decode: audio track ID " << track.id << " of " << o.input
                << " cannot be decoded: " << why << "\n";
            return false;
        }
        outs.wav_rate = track.rate;
        outs.wav_channels = track.channels;
        if (zarn_select_audio_track(in.movie, static_cast<int32_t>(index)) != ZARN_OK) {
            err << "zarn decode: " << o.input << ": " << zarn_error_text(in.movie) << "\n";
            return false;
        }
        if (!Open(o.wav, in, outs.wav, outs, err)) return false;
        // Sizes unknown until the end: a stream keeps "to the end" in them.
        uint8_t header[44];
        WavHeader(header, outs.wav_rate, outs.wav_channels, kWavSizeUnknown);
        if (!WriteOutput(outs.wav, header, 44)) return Report(outs, outs.wav, err);
    }
    if (!o.y4m.empty()) {
        if (!Open(o.y4m, in, outs.y4m_file, outs, err)) return false;
        Y4mInfo info;
        info.width = facts.width;
        info.height = facts.height;
        info.rate_num = facts.rate_num;
        info.rate_den = facts.rate_den;
        errno = 0;
        if (!outs.y4m.Open(DescriptorPath(outs.y4m_file), info))
            return Y4mFailed(outs, errno ? errno : EIO, err);
        outs.y4m_open = true;
    }
    if (!Open(o.alpha, in, outs.alpha, outs, err) || !Open(o.raw, in, outs.raw, outs, err)) return false;
    if (!o.png.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(o.png, ec);
        if (!std::filesystem::is_directory(o.png)) {
            err << "zarn decode: cannot make the folder " << o.png << ": "
                << (ec ? ec.message() : std::strerror(ENOTDIR)) << "\n";
            return false;
        }
        // The first picture's file, made now to find an unwritable folder early.
        if (!Open(PngPath(o.png, 1), in, outs.png, outs, err)) return false;
    }
    return true;
}

// Moves the sound the frame brought into the WAV output.
bool WriteAudio(zarn_movie* m, Outputs& outs) {
    int16_t samples[4096];
    for (;;) {
        size_t count = 0;
        zarn_read_audio(m, samples, sizeof samples / sizeof samples[0], &count);
        if (count == 0) return true;
        outs.wav_bytes += count * 2;
        if (!WriteOutput(outs.wav, samples, count * 2)) return false;
    }
}

// The frame buffers of a run, sized once.
struct FrameBuffers {
    YuvPicture pic;
    std::vector<uint8_t> raw, rgb;
    int32_t raw_pitch = 0;
};

// Writes the outputs of the frame just decoded; false with a message on failure.
bool WriteFrame(const Options& o, zarn_movie* m, const zarn_info& facts, Outputs& outs, uint32_t number,
                FrameBuffers& b, std::ostream& err) {
    if (outs.wav.fd >= 0 && !WriteAudio(m, outs)) return Report(outs, outs.wav, err);
    zarn_planes planes;
    if (zarn_get_planes(m, &planes) != ZARN_OK) {
        err << "zarn decode: " << o.input << ": frame " << number << " is not decoded\n";
        return false;
    }
    if (outs.y4m_open) {
        TakePicture(planes, b.pic);
        errno = 0;
        if (!outs.y4m.WriteFrame(b.pic)) return Y4mFailed(outs, errno ? errno : EIO, err);
    }
    if (outs.alpha.fd >= 0) {
        bool ok = planes.a != nullptr;
        for (uint32_t r = 0; ok && r < facts.height; ++r)
            ok = WriteOutput(outs.alpha, planes.a + r * ptrdiff_t{planes.a_stride}, facts.width);
        if (!ok) return Report(outs, outs.alpha, err);
    }
    if (outs.raw.fd >= 0) {
        const uint32_t format = *o.copy_format;
        uint32_t flags = o.plain ? ZARN_COPY_PLAIN : 0;
        if (o.changed) {
            // One picture kept from frame to frame, as a display keeps it.
            flags |= ZARN_COPY_CHANGED_ONLY;
            if (number == 1) std::fill(b.raw.begin(), b.raw.end(), 0);
        } else {
            std::fill(b.raw.begin(), b.raw.end(), 0);
        }
        if (format != ZARN_FORMAT_PALETTE && zarn_copy_frame(m, static_cast<zarn_format>(format),
                                                             b.raw.data(), b.raw_pitch, flags) != ZARN_OK) {
            err << "zarn decode: " << o.input << ": " << zarn_error_text(m) << "\n";
            return false;
        }
        if (!WriteOutput(outs.raw, b.raw.data(), b.raw.size())) return Report(outs, outs.raw, err);
    }
    if (!o.png.empty()) {
        if (!CurrentFrameRgb(m, b.rgb)) {
            err << "zarn decode: " << o.input << ": " << zarn_error_text(m) << "\n";
            return false;
        }
        if (number > 1 && !Open(PngPath(o.png, number), InputVideo{}, outs.png, outs, err)) return false;
        std::vector<uint8_t> png;
        std::string why;
        if (!EncodePng(b.rgb.data(), facts.output_width, facts.output_height, png, why)) {
            err << "zarn decode: cannot make " << outs.png.name << ": " << why << "\n";
            return false;
        }
        if (!WriteOutput(outs.png, png.data(), png.size()) || !CommitOutput(outs.png))
            return Report(outs, outs.png, err);
    }
    return true;
}

// Completes the files; false with a message when one could not be written.
bool FinishOutputs(Outputs& outs, std::ostream& err) {
    bool ok = true;
    if (outs.wav.fd >= 0 && outs.wav.seekable) {
        uint8_t header[44];
        WavHeader(header, outs.wav_rate, outs.wav_channels, outs.wav_bytes);
        RewriteOutput(outs.wav, 0, header, 44);
    }
    if (outs.y4m_open) {
        errno = 0;
        if (!outs.y4m.Close()) ok = Y4mFailed(outs, errno ? errno : EIO, err);
        outs.y4m_open = false;
    }
    for (OutputFile* f : {&outs.wav, &outs.y4m_file, &outs.alpha, &outs.raw}) {
        if (f->fd < 0) continue;
        if (!CommitOutput(*f)) ok = Report(outs, *f, err);
    }
    DiscardOutput(outs.png);  // the file of a picture that did not come
    return ok;
}

int Decode(const Options& o, InputVideo& in, std::ostream& err) {
    zarn_movie* m = in.movie;
    zarn_info facts;
    zarn_get_info(m, &facts);
    Outputs outs;
    if (!OpenOutputs(o, in, facts, outs, err)) return 1;
    FrameBuffers b;
    if (outs.y4m_open) b.pic.Allocate(facts.width, facts.height);
    if (outs.raw.fd >= 0) b.raw.resize(RawFrameBytes(m, *o.copy_format, facts, b.raw_pitch));
    const bool progress = isatty(STDERR_FILENO) != 0;
    const uint32_t total = std::min(facts.frame_count, o.frames);
    int status = 0;
    uint32_t done = 0;
    for (; done < total && InterruptionSignal() == 0; ++done) {
        // A damaged frame is kept as decoded, as the player shows it.
        const zarn_status decoded = zarn_decode_frame(m);
        if (decoded != ZARN_OK && decoded != ZARN_ERROR_CORRUPT_FRAME) {
            if (progress) err << "\n";
            err << "zarn decode: read error at frame " << done + 1 << " of " << o.input << "; kept the "
                << done << " frames decoded before it\n";
            status = 1;
            break;
        }
        if (!WriteFrame(o, m, facts, outs, done + 1, b, err)) {
            status = 1;
            break;
        }
        if (progress) err << "\rframe " << done + 1 << " / " << total << std::flush;
        RaiseTestInterruption(done + 1);
    }
    if (progress) err << "\n";
    if (!FinishOutputs(outs, err)) status = 1;
    if (InterruptionSignal() != 0 && done < total) {
        err << "zarn decode: interrupted; kept the " << done << " frames decoded so far\n";
        return InterruptedExitCode();
    }
    return status;
}

}  // namespace

int RunDecodeCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Options o;
    const int parsed = ParseOptions(args, o, out, err);
    if (parsed == 1) return 0;
    if (parsed != 0) return parsed;
    uint32_t flags = ZARN_OPEN_DISPLAY_OPTION(o.mode);
    if (!o.alpha.empty()) flags |= ZARN_OPEN_ALPHA;
    InputVideo in;
    if (!OpenInputVideo(o.input, flags, in)) {
        err << "zarn decode: " << o.input << ": " << in.error << "\n";
        return 1;
    }
    if (o.threads > 1 && zarn_set_threads(in.movie, o.threads) != ZARN_OK) {
        err << "zarn decode: " << o.input << ": " << zarn_error_text(in.movie) << "\n";
        CloseInputVideo(in);
        return 1;
    }
    const int status = Decode(o, in, err);
    CloseInputVideo(in);
    return status;
}

}  // namespace zarn
