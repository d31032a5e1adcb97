#include "tools/info_command.h"

#include <cstdint>
#include <cstdio>
#include <sstream>

#include "engine/last_error.h"
#include "engine/movie.h"

namespace zarn {
namespace {

constexpr const char* kUsage =
    "Usage: zarn info [--json] FILE...\n"
    "Prints what each Zarn video holds: version, size, picture size, frames,\n"
    "frame rate, key frames, read-ahead and audio tracks.\n"
    "  --json   one JSON array with an object per file\n";

struct TrackInfo {
    uint32_t id, rate, channels, bits, buffer_size;
    bool has_audio;
};

struct FileInfo {
    std::string name;
    bool ok = false;
    std::string error;
    char version = '?';
    uint32_t length = 0;
    uint32_t width = 0, height = 0;              // picture size in the file
    uint32_t output_width = 0, output_height = 0;  // after the display option
    uint32_t display_option = 0;
    uint32_t frames = 0, key_frames = 0;
    uint32_t rate_num = 0, rate_den = 0;
    uint32_t largest_frame = 0, read_ahead = 0, densest_second = 0;
    bool alpha = false, grey = false;
    std::vector<TrackInfo> tracks;
};

char ReadVersionLetter(const std::string& name) {
    FILE* f = std::fopen(name.c_str(), "rb");
    if (!f) return '?';
    char sig[4] = {};
    const size_t got = std::fread(sig, 1, 4, f);
    std::fclose(f);
    return got == 4 ? sig[3] : '?';
}

FileInfo Inspect(const std::string& name) {
    FileInfo info;
    info.name = name;
    Movie* m = OpenMovie(name.c_str(), kFlagNoInitialFill | kFlagNoThread);
    if (!m) {
        info.error = EngineLastError();
        return info;
    }
    info.ok = true;
    // The open flags cannot tell "f" from "g": take the letter from the file.
    info.version = ReadVersionLetter(name);
    info.length = m->file_length;
    info.width = m->source_width;
    info.height = m->source_height;
    info.output_width = m->width;
    info.output_height = m->height;
    info.display_option = DisplayOption(m->flags);
    info.frames = m->frame_count;
    for (uint32_t i = 0; i < m->frame_count; ++i) info.key_frames += m->frame_index[i] & 1;
    info.rate_num = m->source_rate_num;
    info.rate_den = m->source_rate_den;
    info.largest_frame = m->largest_frame;
    info.read_ahead = m->default_read_ahead;
    info.densest_second = m->densest_second;
    info.alpha = (m->header_flags & 0x100000) != 0;
    info.grey = (m->header_flags & 0x20000) != 0;
    for (uint32_t t = 0; t < m->audio_tracks; ++t) {
        const uint32_t f = m->track_format[t];
        info.tracks.push_back({m->track_id[t], f & 0xFFFF, (f & 0x20000000) ? 2u : 1u,
                               (f & 0x40000000) ? 16u : 8u, m->track_buffer_size[t],
                               (f & 0x80000000) != 0});
    }
    CloseMovie(m);
    return info;
}

std::string Fps(uint32_t num, uint32_t den) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", den ? static_cast<double>(num) / den : 0.0);
    return text;
}

void PrintText(const FileInfo& i, std::ostream& out) {
    out << i.name << "\n";
    out << "  version:        " << i.version << "\n";
    out << "  size:           " << i.length << " bytes\n";
    out << "  picture:        " << i.width << " x " << i.height << "\n";
    if (i.display_option != 0)
        out << "  output:         " << i.output_width << " x " << i.output_height
            << " (display option " << i.display_option << ")\n";
    out << "  frames:         " << i.frames << "\n";
    out << "  frame rate:     " << i.rate_num << "/" << i.rate_den << " (" << Fps(i.rate_num, i.rate_den)
        << " frames/sec)\n";
    out << "  key frames:     " << i.key_frames << "\n";
    out << "  largest frame:  " << i.largest_frame << " bytes\n";
    out << "  read-ahead:     " << i.read_ahead << " bytes (densest second from frame "
        << i.densest_second + 1 << ")\n";
    out << "  alpha plane:    " << (i.alpha ? "yes" : "no") << "\n";
    out << "  grey-scale:     " << (i.grey ? "yes" : "no") << "\n";
    out << "  audio tracks:   " << i.tracks.size() << "\n";
    for (size_t t = 0; t < i.tracks.size(); ++t) {
        const TrackInfo& a = i.tracks[t];
        out << "    track " << t << ": ID " << a.id << ", " << a.rate << " Hz, " << a.channels
            << (a.channels == 1 ? " channel, " : " channels, ") << a.bits << " bits, buffer "
            << a.buffer_size << " bytes" << (a.has_audio ? "" : ", no audio") << "\n";
    }
}

std::string JsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

void PrintJson(const FileInfo& i, std::ostream& out) {
    out << "  {\"file\": " << JsonString(i.name);
    if (!i.ok) {
        out << ", \"error\": " << JsonString(i.error) << "}";
        return;
    }
    out << ", \"version\": \"" << i.version << "\", \"size\": " << i.length
        << ", \"width\": " << i.width << ", \"height\": " << i.height
        << ", \"output_width\": " << i.output_width << ", \"output_height\": " << i.output_height
        << ", \"display_option\": " << i.display_option << ", \"frames\": " << i.frames
        << ", \"rate_num\": " << i.rate_num << ", \"rate_den\": " << i.rate_den
        << ", \"key_frames\": " << i.key_frames << ", \"largest_frame\": " << i.largest_frame
        << ", \"read_ahead\": " << i.read_ahead << ", \"densest_second\": " << i.densest_second
        << ", \"alpha\": " << (i.alpha ? "true" : "false")
        << ", \"grey_scale\": " << (i.grey ? "true" : "false") << ", \"audio_tracks\": [";
    for (size_t t = 0; t < i.tracks.size(); ++t) {
        const TrackInfo& a = i.tracks[t];
        out << (t ? ", " : "") << "{\"id\": " << a.id << ", \"rate\": " << a.rate
            << ", \"channels\": " << a.channels << ", \"bits\": " << a.bits
            << ", \"buffer_size\": " << a.buffer_size
            << ", \"has_audio\": " << (a.has_audio ? "true" : "false") << "}";
    }
    out << "]}";
}

}  // namespace

int RunInfoCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    bool json = false;
    std::vector<std::string> files;
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h") {
            out << kUsage;
            return 0;
        } else if (a == "--json") {
            json = true;
        } else if (a.size() > 1 && a[0] == '-') {
            err << "zarn info: unknown option " << a << "\n" << kUsage;
            return 2;
        } else {
            files.push_back(a);
        }
    }
    if (files.empty()) {
        err << "zarn info: no file given\n" << kUsage;
        return 2;
    }
    int status = 0;
    if (json) out << "[\n";
    for (size_t n = 0; n < files.size(); ++n) {
        const FileInfo info = Inspect(files[n]);
        if (!info.ok) status = 1;
        if (json) {
            PrintJson(info, out);
            out << (n + 1 < files.size() ? ",\n" : "\n");
        } else if (info.ok) {
            PrintText(info, out);
        } else {
            err << info.name << ": " << info.error << "\n";
        }
    }
    if (json) out << "]\n";
    return status;
}

}  // namespace zarn
