#include "tools/encode_command.h"

#include <unistd.h>

#include <cstdio>
#include <iomanip>
#include <memory>

#include "encoder/encode_file.h"
#include "encoder/wav_reader.h"
#include "encoder/y4m.h"
#include "tools/interruption.h"
#include "tools/output_file.h"

namespace zarn {

namespace {

constexpr const char* kEncodeUsage =
    "Usage: zarn encode INPUT.y4m -o OUT.zrn [options]\n"
    "Makes a Zarn video. INPUT (or one other input) may be - for standard input and\n"
    "OUT - for standard output; a file OUT appears only once it is complete.\n"
    "Options:\n"
    "  -o, --output OUT    the video to write (required)\n"
    "  --wav AUDIO.wav     add an audio track (repeatable; track IDs 0, 1, 2 ...)\n"
    "  --quality Q         1 (smallest) to 100 (best), default 60\n"
    "  --keyint N          largest distance between key frames (default 10 seconds)\n"
    "  --version f|g|h|i   file version letter (default i)\n"
    "  --alpha ALPHA.y4m   alpha plane from this video's luma\n"
    "  --grey              luma only\n"
    "  --threads N         threads to encode with, 1 to 64 (default 2 on two or more cores)\n"
    "  --psnr              print per-frame and average PSNR and bits per pixel\n"
    "Ctrl-C (or SIGTERM) stops after the frame in hand and writes a valid video of\n"
    "the frames encoded so far. Frames are numbered from 0 in --psnr lines.\n"
    "Exit status: 0 done, 1 failure, 2 usage error, 130/143 interrupted.\n";

constexpr unsigned kMaxEncodeThreads = 64;

bool ParseNumber(const std::string& text, unsigned& value) {
    if (text.empty() || text.size() > 9) return false;
    unsigned v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<unsigned>(c - '0');
    }
    value = v;
    return true;
}

struct EncodeArgs {
    std::string input, output, alpha;
    std::vector<std::string> wavs;
    EncodeSettings settings;
    bool psnr = false;
};

// Returns 0 when parsed, 2 on a usage error (message written), -1 for --help.
int ParseArgs(const std::vector<std::string>& args, EncodeArgs& a, std::ostream& err) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                err << "zarn encode: " << arg << " needs a value\n";
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string v;
        if (arg == "--help" || arg == "-h") return -1;
        if (arg == "-o" || arg == "--output") {
            if (!value(a.output)) return 2;
        } else if (arg == "--wav") {
            if (!value(v)) return 2;
            a.wavs.push_back(v);
        } else if (arg == "--alpha") {
            if (!value(a.alpha)) return 2;
        } else if (arg == "--quality") {
            unsigned q = 0;
            if (!value(v)) return 2;
            if (!ParseNumber(v, q) || q < 1 || q > 100) {
                err << "zarn encode: --quality takes a number from 1 to 100\n";
                return 2;
            }
            a.settings.quality = q;
        } else if (arg == "--keyint") {
            unsigned k = 0;
            if (!value(v)) return 2;
            if (!ParseNumber(v, k) || k < 1) {
                err << "zarn encode: --keyint takes a number of frames, at least 1\n";
                return 2;
            }
            a.settings.keyint = k;
        } else if (arg == "--version") {
            if (!value(v)) return 2;
            if (v.size() != 1 || v[0] < 'f' || v[0] > 'i') {
                err << "zarn encode: --version takes f, g, h or i\n";
                return 2;
            }
            a.settings.version = v[0];
        } else if (arg == "--threads") {
            unsigned n = 0;
            if (!value(v)) return 2;
            if (!ParseNumber(v, n) || n < 1 || n > kMaxEncodeThreads) {
                err << "zarn encode: --threads takes a number from 1 to " << kMaxEncodeThreads << "\n";
                return 2;
            }
            a.settings.threads = n;
        } else if (arg == "--grey" || arg == "--gray") {
            a.settings.grey = true;
        } else if (arg == "--psnr") {
            a.psnr = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            err << "zarn encode: unknown option '" << arg << "'\n" << kEncodeUsage;
            return 2;
        } else if (a.input.empty()) {
            a.input = arg;
        } else {
            err << "zarn encode: more than one input given\n" << kEncodeUsage;
            return 2;
        }
    }
    if (a.input.empty() || a.output.empty()) {
        err << "zarn encode: an input and -o OUTPUT are needed\n" << kEncodeUsage;
        return 2;
    }
    int from_stdin = (a.input == "-") + (a.alpha == "-");
    for (const std::string& w : a.wavs) from_stdin += w == "-";
    if (from_stdin > 1) {
        err << "zarn encode: only one input can be - (standard input)\n";
        return 2;
    }
    return 0;
}

}  // namespace

int RunEncodeCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    EncodeArgs a;
    int parsed = ParseArgs(args, a, err);
    if (parsed < 0) {
        out << kEncodeUsage;
        return 0;
    }
    if (parsed) return parsed;
    a.settings.measure = a.psnr;
    auto input_path = [](const std::string& name) { return name == "-" ? std::string("/dev/stdin") : name; };

    // The output is made (and checked not to be an input) before any work.
    std::vector<FileIdentity> inputs = {IdentityOfInput(a.input)};
    if (!a.alpha.empty()) inputs.push_back(IdentityOfInput(a.alpha));
    for (const std::string& wav : a.wavs) inputs.push_back(IdentityOfInput(wav));
    OutputFile output;
    if (!OpenOutput(a.output, 0666, inputs, output)) {
        err << "zarn encode: " << output.error << "\n";
        return 1;
    }

    Y4mReader reader;
    if (!reader.Open(input_path(a.input))) {
        DiscardOutput(output);
        err << "zarn encode: " << reader.Error() << "\n";
        return 1;
    }
    std::unique_ptr<Y4mReader> alpha_reader;
    PictureSource alpha_source;
    if (!a.alpha.empty()) {
        alpha_reader = std::make_unique<Y4mReader>();
        if (!alpha_reader->Open(input_path(a.alpha))) {
            DiscardOutput(output);
            err << "zarn encode: " << alpha_reader->Error() << "\n";
            return 1;
        }
        alpha_source = Y4mSource(*alpha_reader);
    }
    std::vector<PcmTrack> tracks;
    for (const std::string& wav : a.wavs) {
        PcmTrack t;
        std::string error;
        if (!ReadWavFile(input_path(wav), t, error)) {
            DiscardOutput(output);
            err << "zarn encode: " << error << "\n";
            return 1;
        }
        tracks.push_back(std::move(t));
    }

    PictureSource source = Y4mSource(reader);
    // An interruption ends the picture stream: what was encoded becomes the video.
    source.next = [next = source.next](YuvPicture& p, std::string& e) {
        return InterruptionSignal() != 0 ? 0 : next(p, e);
    };
    const bool progress = isatty(STDERR_FILENO) != 0;
    const double pixels = static_cast<double>(source.width) * source.height;
    auto on_frame = [&](const FrameReport& r) {
        if (a.psnr) {
            out << "frame " << r.index << (r.key ? " key" : "    ") << std::fixed << std::setprecision(2)
                << "  Y " << r.psnr[0] << "  U " << r.psnr[1] << "  V " << r.psnr[2] << " dB  "
                << std::setprecision(3) << r.bytes * 8.0 / pixels << " bpp\n";
        }
        if (progress) err << "\rzarn encode: frame " << (r.index + 1) << std::flush;
        RaiseTestInterruption(r.index + 1);
    };
    EncodeResult result =
        EncodeMovie(source, alpha_reader ? &alpha_source : nullptr, tracks, a.settings, on_frame);
    if (progress) err << "\n";
    const bool interrupted = InterruptionSignal() != 0;
    if (interrupted && result.frames.empty()) {
        DiscardOutput(output);
        err << "zarn encode: interrupted before the first frame; nothing written\n";
        return InterruptedExitCode();
    }
    if (!result.error.empty()) {
        DiscardOutput(output);
        err << "zarn encode: " << result.error << "\n";
        return 1;
    }
    if (a.psnr) {
        double sum[3] = {}, bits = 0;
        for (const FrameReport& r : result.frames) {
            for (int i = 0; i < 3; ++i) sum[i] += r.psnr[i];
            bits += r.bytes * 8.0;
        }
        const double n = static_cast<double>(result.frames.size());
        out << "average" << std::fixed << std::setprecision(2) << "  Y " << sum[0] / n << "  U " << sum[1] / n
            << "  V " << sum[2] / n << " dB  " << std::setprecision(3) << bits / (n * pixels) << " bpp\n";
    }
    if (!WriteOutput(output, result.image.data(), result.image.size()) || !CommitOutput(output)) {
        err << "zarn encode: " << output.error << "\n";
        DiscardOutput(output);
        return 1;
    }
    if (interrupted) {
        err << "zarn encode: interrupted; kept the " << result.frames.size() << " frames encoded so far in "
            << a.output << "\n";
        return InterruptedExitCode();
    }
    return 0;
}

}  // namespace zarn
