#include "tools/thumbnail_command.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "tools/frame_rgb.h"
#include "tools/input_video.h"
#include "tools/output_file.h"
#include "tools/png_image.h"

namespace zarn {
namespace {

constexpr const char* kUsage =
    "Usage: zarn thumbnail INPUT OUT.png [-s SIZE]\n"
    "Writes one representative picture of the video as a 24-bit PNG, scaled to fit\n"
    "SIZE x SIZE pixels with its aspect kept (the longer side is SIZE).\n"
    "The picture is the first key frame after the first tenth of the video that is not\n"
    "flat (one colour, such as a black fade-in); when every key frame looked at is\n"
    "flat, the least flat of them. Only key frames are decoded.\n"
    "INPUT is a file, FILE|N (the video at byte N of FILE) or - (standard input);\n"
    "OUT may be - for standard output.\n"
    "  -s, --size SIZE   the box to fit, 1..4096 pixels (default 256)\n"
    "Exit status: 0 done, 1 failure, 2 usage error.\n";

constexpr uint32_t kDefaultSize = 256;
constexpr uint32_t kLargestSize = 4096;
// Key frames looked at before settling for the least flat one.
constexpr uint32_t kMostCandidates = 12;
// A picture whose brightness varies less than this (standard deviation, in
// 0..255 levels) counts as flat.
constexpr double kFlatSpread = 6.0;

struct Options {
    std::string input, output;
    uint32_t size = kDefaultSize;
};

// 0 parsed, 1 help shown, 2 usage error (message written).
int ParseOptions(const std::vector<std::string>& args, Options& o, std::ostream& out, std::ostream& err) {
    auto fail = [&](const std::string& why) {
        err << "zarn thumbnail: " << why << "\n" << kUsage;
        return 2;
    };
    std::vector<std::string> names;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            out << kUsage;
            return 1;
        }
        if (a == "-s" || a == "--size") {
            if (i + 1 >= args.size()) return fail(a + " needs a value");
            const std::string& v = args[++i];
            uint32_t n = 0;
            bool ok = !v.empty() && v.size() <= 4;
            for (char c : v) {
                ok = ok && c >= '0' && c <= '9';
                n = n * 10 + static_cast<uint32_t>(c - '0');
            }
            if (!ok || n == 0 || n > kLargestSize) return fail("size must be 1..4096");
            o.size = n;
        } else if (a.size() > 1 && a[0] == '-') {
            return fail("unknown option " + a);
        } else {
            names.push_back(a);
        }
    }
    if (names.size() != 2) return fail("give one input and one output");
    o.input = names[0];
    o.output = names[1];
    return 0;
}

// Standard deviation of the picture's brightness.
double BrightnessSpread(const std::vector<uint8_t>& rgb) {
    const size_t pixels = rgb.size() / 3;
    if (pixels == 0) return 0;
    double sum = 0, squares = 0;
    for (size_t i = 0; i < pixels; ++i) {
        const double y = 0.299 * rgb[3 * i] + 0.587 * rgb[3 * i + 1] + 0.114 * rgb[3 * i + 2];
        sum += y;
        squares += y * y;
    }
    const double mean = sum / static_cast<double>(pixels);
    return std::sqrt(std::max(0.0, squares / static_cast<double>(pixels) - mean * mean));
}

bool IsKeyFrame(const zarn_movie* m, uint32_t frame) { return zarn_is_key_frame(m, frame - 1) == 1; }

// Key frames in the order they are tried: from the first after a tenth of
// the video to the end, then the earlier ones.
std::vector<uint32_t> Candidates(const zarn_movie* m, uint32_t frame_count) {
    std::vector<uint32_t> keys;
    const uint32_t start = frame_count / 10 + 1;
    for (uint32_t f = start; f <= frame_count && keys.size() < kMostCandidates; ++f)
        if (IsKeyFrame(m, f)) keys.push_back(f);
    for (uint32_t f = 1; f < start && keys.size() < kMostCandidates; ++f)
        if (IsKeyFrame(m, f)) keys.push_back(f);
    return keys;
}

// A frame whose picture is in hand, damaged or not.
bool Decoded(zarn_status s) { return s == ZARN_OK || s == ZARN_ERROR_CORRUPT_FRAME; }

// Decodes the chosen frame into `rgb`; false with `error` set.
bool PickPicture(zarn_movie* m, uint32_t frame_count, std::vector<uint8_t>& rgb, std::string& error) {
    std::vector<uint32_t> keys = Candidates(m, frame_count);
    if (keys.empty()) keys.push_back(1);  // no key frame marked: the first frame still decodes
    double best = -1;
    std::vector<uint8_t> picture;
    for (uint32_t f : keys) {
        if (zarn_seek(m, f - 1) != ZARN_OK || !Decoded(zarn_decode_frame(m))) {
            error = "read error at frame " + std::to_string(f);
            if (best >= 0) break;  // keep what was found before the damage
            return false;
        }
        if (!CurrentFrameRgb(m, picture)) {
            error = zarn_error_text(m);
            return false;
        }
        const double spread = BrightnessSpread(picture);
        if (spread > best) {
            best = spread;
            rgb.swap(picture);
        }
        if (best >= kFlatSpread) break;
    }
    return true;
}

// Area average of the source pixels under each output pixel (a nearest
// pixel when the picture is enlarged).
std::vector<uint8_t> Scale(const std::vector<uint8_t>& rgb, uint32_t w, uint32_t h, uint32_t tw,
                           uint32_t th) {
    std::vector<uint8_t> out(size_t{tw} * th * 3);
    for (uint32_t y = 0; y < th; ++y) {
        const uint32_t y0 = static_cast<uint32_t>(uint64_t{y} * h / th);
        const uint32_t y1 = std::max(y0 + 1, static_cast<uint32_t>(uint64_t{y + 1} * h / th));
        for (uint32_t x = 0; x < tw; ++x) {
            const uint32_t x0 = static_cast<uint32_t>(uint64_t{x} * w / tw);
            const uint32_t x1 = std::max(x0 + 1, static_cast<uint32_t>(uint64_t{x + 1} * w / tw));
            uint64_t sum[3] = {};
            for (uint32_t sy = y0; sy < y1; ++sy)
                for (uint32_t sx = x0; sx < x1; ++sx)
                    for (int c = 0; c < 3; ++c) sum[c] += rgb[(size_t{sy} * w + sx) * 3 + c];
            const uint64_t n = uint64_t{y1 - y0} * (x1 - x0);
            for (int c = 0; c < 3; ++c)
                out[(size_t{y} * tw + x) * 3 + c] = static_cast<uint8_t>((sum[c] + n / 2) / n);
        }
    }
    return out;
}

int MakeThumbnail(const Options& o, InputVideo& in, std::ostream& err) {
    zarn_info facts;
    zarn_get_info(in.movie, &facts);
    OutputFile file;
    if (!OpenOutput(o.output, 0666, {in.identity}, file)) {
        err << "zarn thumbnail: " << file.error << "\n";
        return 1;
    }
    std::vector<uint8_t> rgb;
    std::string why;
    if (!PickPicture(in.movie, facts.frame_count, rgb, why)) {
        err << "zarn thumbnail: " << o.input << ": " << why << "\n";
        DiscardOutput(file);
        return 1;
    }
    // The longer side becomes the size; the other keeps the aspect.
    const uint32_t w = facts.output_width, h = facts.output_height;
    const uint32_t tw =
        w >= h ? o.size : std::max<uint32_t>(1, static_cast<uint32_t>((uint64_t{w} * o.size + h / 2) / h));
    const uint32_t th =
        w >= h ? std::max<uint32_t>(1, static_cast<uint32_t>((uint64_t{h} * o.size + w / 2) / w)) : o.size;
    std::vector<uint8_t> png;
    if (!EncodePng(Scale(rgb, w, h, tw, th).data(), tw, th, png, why)) {
        err << "zarn thumbnail: cannot make " << o.output << ": " << why << "\n";
        DiscardOutput(file);
        return 1;
    }
    if (!WriteOutput(file, png.data(), png.size()) || !CommitOutput(file)) {
        err << "zarn thumbnail: " << file.error << "\n";
        DiscardOutput(file);
        return 1;
    }
    return 0;
}

}  // namespace

int RunThumbnailCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Options o;
    const int parsed = ParseOptions(args, o, out, err);
    if (parsed == 1) return 0;
    if (parsed != 0) return parsed;
    InputVideo in;
    // Only a few packets are read: no read-ahead fill, no reading thread.
    if (!OpenInputVideo(o.input, ZARN_OPEN_FACTS_ONLY, in)) {
        err << "zarn thumbnail: " << o.input << ": " << in.error << "\n";
        return 1;
    }
    const int status = MakeThumbnail(o, in, err);
    CloseInputVideo(in);
    return status;
}

}  // namespace zarn
