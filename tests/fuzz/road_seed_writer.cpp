// Writes seed inputs for the road fuzz targets, made by the project's own
// encoder: road_seed_writer <folder> makes <folder>/movie_road,
// <folder>/info and <folder>/command_line. Not a test.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "encoder/container_writer.h"
#include "encoder/encode_file.h"
#include "encoder/test_media.h"
#include "fuzz/road/movie_road_input.h"

namespace {

using namespace zarn;

struct ClipRecipe {
    const char* name;
    char version;
    uint32_t width, height, frames;
    Clip clip;
    bool alpha, grey;
    std::vector<std::pair<uint32_t, uint32_t>> tracks;  // rate, channels
    uint32_t display_option;
};

std::vector<uint8_t> EncodeClip(const ClipRecipe& r) {
    auto pictures = [&r](Clip clip) {
        PictureSource s;
        s.width = r.width;
        s.height = r.height;
        s.rate_num = 25;
        auto index = std::make_shared<uint32_t>(0);
        s.next = [&r, clip, index](YuvPicture& p, std::string&) {
            if (*index >= r.frames) return 0;
            p = MakeClipFrame(clip, r.width, r.height, (*index)++);
            return 1;
        };
        return s;
    };
    PictureSource video = pictures(r.clip);
    PictureSource alpha = pictures(Clip::kGradients);
    std::vector<PcmTrack> tracks;
    const double seconds = r.frames / 25.0;
    for (size_t t = 0; t < r.tracks.size(); ++t)
        tracks.push_back(t % 2 ? MakeSineSweep(r.tracks[t].first, r.tracks[t].second, seconds)
                               : MakeChord(r.tracks[t].first, r.tracks[t].second, seconds));
    EncodeSettings settings;
    settings.quality = 35;
    settings.keyint = 4;
    settings.version = r.version;
    settings.grey = r.grey;
    EncodeResult e = EncodeMovie(video, r.alpha ? &alpha : nullptr, tracks, settings);
    if (!e.error.empty()) {
        std::fprintf(stderr, "road_seed_writer: %s: %s\n", r.name, e.error.c_str());
        return {};
    }
    if (r.display_option != 0) e.image[header_offset::kVideoFlags + 3] |= r.display_option << 4;
    return e.image;
}

bool Write(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "Usage: road_seed_writer FOLDER\n");
        return 2;
    }
    const std::filesystem::path root = argv[1];
    for (const char* t : {"movie_road", "info", "command_line"})
        std::filesystem::create_directories(root / t);

    const std::vector<ClipRecipe> clips = {
        {"f-plain", 'f', 48, 32, 6, Clip::kPanZoom, false, false, {}, 0},
        {"g-mono", 'g', 40, 24, 6, Clip::kScrollingText, false, false, {{11025, 1}}, 0},
        {"h-stereo", 'h', 64, 48, 8, Clip::kSceneCut, false, false, {{22050, 2}}, 0},
        {"i-tracks", 'i', 33, 17, 8, Clip::kDemo, false, false, {{8000, 1}, {22050, 2}, {11025, 2}}, 0},
        {"i-alpha", 'i', 48, 48, 6, Clip::kDemo, true, false, {{11025, 1}}, 0},
        {"i-grey", 'i', 50, 30, 6, Clip::kGradients, false, true, {}, 0},
        {"h-alpha-grey", 'h', 32, 32, 5, Clip::kNoise, true, true, {}, 0},
        {"i-doubled", 'i', 24, 16, 5, Clip::kPanZoom, false, false, {{8000, 2}}, 4},
        {"g-tall", 'g', 16, 40, 5, Clip::kScrollingText, false, false, {}, 1},
        {"f-wide", 'f', 40, 16, 5, Clip::kSceneCut, false, false, {{11025, 1}}, 3},
    };
    int written = 0;
    for (size_t c = 0; c < clips.size(); ++c) {
        std::vector<uint8_t> image = EncodeClip(clips[c]);
        if (image.empty()) return 1;
        // Each clip with a few option sets: copy formats, display options,
        // buffer layouts and the file or memory path.
        for (uint32_t v = 0; v < 4; ++v) {
            std::vector<uint8_t> input = image;
            const uint32_t n = static_cast<uint32_t>(c * 4 + v);
            const uint8_t options[fuzz::kMovieOptionBytes] = {
                static_cast<uint8_t>((n * 5) % 16 | (v == 3 ? 0x10 : 0)),
                static_cast<uint8_t>((v == 2 ? 4 : 0) | (v == 1 ? 0x18 : 0) | (c % 3 == 0 ? 0x40 : 0)),
                static_cast<uint8_t>(v | (c % 2 ? 0x04 : 0) | (v == 3 ? 0x08 : 0)),
                static_cast<uint8_t>(n * 37),
            };
            input.insert(input.end(), options, options + sizeof options);
            const std::string name = std::string(clips[c].name) + "-" + std::to_string(v);
            if (!Write(root / "movie_road" / name, input)) return 1;
            ++written;
        }
        for (uint8_t option : {0, 1}) {
            std::vector<uint8_t> input(image.size() + 1);
            input[0] = static_cast<uint8_t>(option | (c % 2 ? 2 : 0));
            std::copy(image.begin(), image.end(), input.begin() + 1);
            if (!Write(root / "info" / (std::string(clips[c].name) + "-" + std::to_string(option)), input))
                return 1;
            ++written;
        }
    }

    // Command lines: option byte, then stored switches, profile text and
    // arguments separated by NUL bytes.
    struct Line {
        uint8_t option;
        std::vector<std::string> pieces;
    };
    const std::vector<Line> lines = {
        {1, {"/L0 /S", "", "clip.zrn"}},
        {3, {"/F /Q /A104", "[Qel Video Tools]\nZarnQuickPlay=\"/L2 /N\"\n", "/!", "two words.zrn", "/P"}},
        {0, {"", "", "/F30000/1001", "/W-1/1", "/H2/3", "/D1203", "\"quoted name\"", "a,b c"}},
        {5, {"/T2 /M100000 /E65536", "", "/-T", "/X10", "/Y-20", "//root.zrn", "clip|1024", ":4096"}},
        {2,
         {"", "; comment\n[qel video tools]\nzarnquickplay = '/U7 /I102'\n", "/!", "/home/me/a b.zrn", "/-"}},
    };
    for (size_t i = 0; i < lines.size(); ++i) {
        std::vector<uint8_t> input = {lines[i].option};
        for (size_t k = 0; k < lines[i].pieces.size(); ++k) {
            if (k) input.push_back(0);
            input.insert(input.end(), lines[i].pieces[k].begin(), lines[i].pieces[k].end());
        }
        if (!Write(root / "command_line" / ("line-" + std::to_string(i)), input)) return 1;
        ++written;
    }
    std::printf("%d seeds in %s\n", written, root.c_str());
    return 0;
}
