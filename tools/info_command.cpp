#include "tools/info_command.h"

#include <cstdint>
#include <cstdio>
#include <sstream>

#include "tools/input_video.h"

namespace zarn {
namespace {

constexpr const char* kUsage =
    "Usage: zarn info [--json] FILE...\n"
    "Prints what each Zarn video holds: version, size, duration, picture size, frames,\n"
    "frame rate, key frames, read-ahead and audio tracks. FILE may be FILE|N (the video\n"
    "at byte N of FILE, as in a bundled player) or - (standard input).\n"
    "A file shorter than its header says is shown as \"truncated: N of M bytes\".\n"
    "Frames are numbered from 1, in the text and in the JSON alike.\n"
    "  --json   one JSON array with an object per file: \"format\" and \"streams\",\n"
    "           or \"error\" for a file that did not open\n"
    "Exit status: 0 every file opened, 1 otherwise, 2 usage error.\n";

struct TrackInfo {
    uint32_t id, rate, channels, bits, buffer_size;
    bool has_audio;
    std::string unplayable;  // why it is not played, or empty
};

struct FileInfo {
    std::string name;
    bool ok = false;
    std::string error;
    char version = '?';
    uint32_t length = 0;   // the size the header gives
    uint64_t on_disk = 0;  // bytes of the video in its file
    uint32_t video_flags = 0;
    uint32_t width = 0, height = 0;                // picture size in the file
    uint32_t output_width = 0, output_height = 0;  // after the display option
    uint32_t display_option = 0;
    uint32_t frames = 0, key_frames = 0;
    uint32_t rate_num = 0, rate_den = 0;
    uint32_t largest_frame = 0, read_ahead = 0, densest_second = 0;
    bool alpha = false, grey = false;
    std::vector<TrackInfo> tracks;
};

FileInfo Inspect(const std::string& name) {
    FileInfo info;
    info.name = name;
    InputVideo in;
    if (!OpenInputVideo(name, ZARN_OPEN_FACTS_ONLY, in)) {
        info.error = in.error;
        return info;
    }
    zarn_info facts;
    zarn_get_info(in.movie, &facts);
    info.ok = true;
    info.version = facts.version;
    info.length = facts.file_size;
    info.on_disk = in.bytes_present;
    info.video_flags = facts.video_flags;
    info.width = facts.width;
    info.height = facts.height;
    info.output_width = facts.output_width;
    info.output_height = facts.output_height;
    info.display_option = facts.display_option;
    info.frames = facts.frame_count;
    info.key_frames = facts.key_frames;
    info.rate_num = facts.rate_num;
    info.rate_den = facts.rate_den;
    info.largest_frame = facts.largest_frame;
    info.read_ahead = facts.read_ahead;
    info.densest_second = facts.densest_second;
    info.alpha = facts.has_alpha != 0;
    info.grey = facts.grey_scale != 0;
    for (uint32_t t = 0; t < facts.audio_tracks; ++t) {
        zarn_track_info a;
        zarn_get_track_info(in.movie, t, &a);
        const bool has_audio = a.has_audio != 0;
        info.tracks.push_back({a.id, a.rate, a.channels, a.bits, a.buffer_size, has_audio,
                               has_audio ? UnplayableTrackReason(a) : std::string()});
    }
    CloseInputVideo(in);
    return info;
}

double Seconds(const FileInfo& i) {
    return i.rate_num ? static_cast<double>(i.frames) * i.rate_den / i.rate_num : 0.0;
}

uint64_t BitRate(const FileInfo& i) {
    const double s = Seconds(i);
    return s > 0 ? static_cast<uint64_t>(i.length * 8.0 / s + 0.5) : 0;
}

bool Truncated(const FileInfo& i) { return i.on_disk < i.length; }

// The first frame (numbered from 1) of the second that needs the most bytes.
uint32_t DensestFrom(const FileInfo& i) { return i.densest_second + 1; }

std::string Number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", v);
    return text;
}

std::string Fps(uint32_t num, uint32_t den) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", den ? static_cast<double>(num) / den : 0.0);
    return text;
}

void PrintText(const FileInfo& i, std::ostream& out) {
    out << i.name << "\n";
    out << "  version:        " << i.version << "\n";
    out << "  size:           " << i.on_disk << " bytes";
    if (i.on_disk > i.length) out << " (" << i.length << " in the header)";
    out << "\n";
    if (Truncated(i)) out << "  truncated: " << i.on_disk << " of " << i.length << " bytes\n";
    out << "  duration:       " << Number(Seconds(i)) << " seconds\n";
    out << "  bit rate:       " << BitRate(i) << " bits/sec\n";
    out << "  picture:        " << i.width << " x " << i.height << "\n";
    if (i.display_option != 0)
        out << "  output:         " << i.output_width << " x " << i.output_height << " (display option "
            << i.display_option << ")\n";
    out << "  frames:         " << i.frames << "\n";
    out << "  frame rate:     " << i.rate_num << "/" << i.rate_den << " (" << Fps(i.rate_num, i.rate_den)
        << " frames/sec)\n";
    out << "  key frames:     " << i.key_frames << "\n";
    out << "  largest frame:  " << i.largest_frame << " bytes\n";
    out << "  read-ahead:     " << i.read_ahead << " bytes (densest second from frame " << DensestFrom(i)
        << ")\n";
    out << "  alpha plane:    " << (i.alpha ? "yes" : "no") << "\n";
    out << "  grey-scale:     " << (i.grey ? "yes" : "no") << "\n";
    out << "  audio tracks:   " << i.tracks.size() << "\n";
    for (size_t t = 0; t < i.tracks.size(); ++t) {
        const TrackInfo& a = i.tracks[t];
        out << "    track " << t << ": ID " << a.id << ", " << a.rate << " Hz, " << a.channels
            << (a.channels == 1 ? " channel, " : " channels, ") << a.bits << " bits, buffer " << a.buffer_size
            << " bytes" << (a.has_audio ? "" : ", no audio");
        if (!a.unplayable.empty()) out << ", not played: " << a.unplayable;
        out << "\n";
    }
}

// Length of the well-formed UTF-8 sequence at s[at], or 0.
size_t Utf8Length(const std::string& s, size_t at) {
    const unsigned char c = static_cast<unsigned char>(s[at]);
    size_t n = 0;
    uint32_t cp = 0;
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF)
        n = 2, cp = c & 0x1F;
    else if (c >= 0xE0 && c <= 0xEF)
        n = 3, cp = c & 0x0F;
    else if (c >= 0xF0 && c <= 0xF4)
        n = 4, cp = c & 0x07;
    else
        return 0;
    if (at + n > s.size()) return 0;
    for (size_t k = 1; k < n; ++k) {
        const unsigned char d = static_cast<unsigned char>(s[at + k]);
        if ((d & 0xC0) != 0x80) return 0;
        cp = cp << 6 | (d & 0x3F);
    }
    const bool overlong = (n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000);
    if (overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

// A JSON string: quotes, backslashes and control characters escaped, and
// bytes that are not UTF-8 (a file name can hold any) replaced by U+FFFD.
std::string JsonString(const std::string& s) {
    std::string out = "\"";
    for (size_t at = 0; at < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[at]);
        const size_t n = Utf8Length(s, at);
        if (n == 0) {
            out += "\\ufffd";
            ++at;
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++at;
        } else if (c < 0x20 || c == 0x7F) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
            ++at;
        } else {
            out.append(s, at, n);
            at += n;
        }
    }
    return out + "\"";
}

const char* Bool(bool b) { return b ? "true" : "false"; }

void PrintJson(const FileInfo& i, std::ostream& out) {
    out << "  {\"file\": " << JsonString(i.name);
    if (!i.ok) {
        out << ", \"error\": " << JsonString(i.error) << "}";
        return;
    }
    out << ",\n   \"format\": {\"file\": " << JsonString(i.name) << ", \"size\": " << i.on_disk
        << ", \"header_size\": " << i.length << ", \"truncated\": " << Bool(Truncated(i))
        << ", \"version\": " << JsonString(std::string(1, i.version))
        << ", \"duration\": " << Number(Seconds(i)) << ", \"bit_rate\": " << BitRate(i)
        << ", \"frames\": " << i.frames << ", \"frame_rate\": \"" << i.rate_num << "/" << i.rate_den
        << "\", \"rate_num\": " << i.rate_num << ", \"rate_den\": " << i.rate_den
        << ", \"frames_per_second\": "
        << Number(i.rate_den ? static_cast<double>(i.rate_num) / i.rate_den : 0)
        << ", \"key_frames\": " << i.key_frames << ", \"largest_frame\": " << i.largest_frame
        << ", \"read_ahead\": " << i.read_ahead << ", \"densest_second_from_frame\": " << DensestFrom(i)
        << ", \"flags\": " << i.video_flags
        << "},\n   \"streams\": [{\"type\": \"video\", \"width\": " << i.width << ", \"height\": " << i.height
        << ", \"output_width\": " << i.output_width << ", \"output_height\": " << i.output_height
        << ", \"display_option\": " << i.display_option << ", \"alpha\": " << Bool(i.alpha)
        << ", \"grey_scale\": " << Bool(i.grey) << "}";
    for (const TrackInfo& a : i.tracks) {
        out << ",\n     {\"id\": " << a.id << ", \"rate\": " << a.rate << ", \"channels\": " << a.channels
            << ", \"bits\": " << a.bits << ", \"buffer_size\": " << a.buffer_size
            << ", \"has_audio\": " << Bool(a.has_audio)
            << ", \"playable\": " << Bool(a.has_audio && a.unplayable.empty());
        if (!a.unplayable.empty()) out << ", \"not_played_because\": " << JsonString(a.unplayable);
        out << ", \"type\": \"audio\"}";
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
            err << "zarn info: " << info.name << ": " << info.error << "\n";
        }
    }
    if (json) out << "]\n";
    return status;
}

}  // namespace zarn
