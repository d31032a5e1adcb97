#include "encoder/y4m.h"

#include <cstdlib>
#include <cstring>

namespace zarn {

void YuvPicture::Allocate(uint32_t w, uint32_t h) {
    width = w;
    height = h;
    y.assign(size_t{w} * h, 0);
    u.assign(size_t{ChromaWidth()} * ChromaHeight(), 128);
    v.assign(size_t{ChromaWidth()} * ChromaHeight(), 128);
}

namespace {

constexpr size_t kMaxHeaderLine = 4096;
constexpr uint32_t kMaxDimension = 16384;

// Reads one line up to '\n' (not included). False at end of file or when too long.
bool ReadLine(std::FILE* f, std::string& line, bool& eof_at_start) {
    line.clear();
    eof_at_start = false;
    for (;;) {
        int c = std::fgetc(f);
        if (c == EOF) {
            eof_at_start = line.empty();
            return false;
        }
        if (c == '\n') return true;
        if (line.size() >= kMaxHeaderLine) return false;
        line.push_back(static_cast<char>(c));
    }
}

bool ParseUnsigned(const std::string& text, uint32_t& value) {
    if (text.empty() || text.size() > 9) return false;
    uint32_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint32_t>(c - '0');
    }
    value = v;
    return true;
}

}  // namespace

Y4mReader::~Y4mReader() {
    if (file_) std::fclose(file_);
}

bool Y4mReader::Open(const std::string& path) {
    path_ = path;
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_) {
        error_ = "cannot open '" + path + "': " + std::strerror(errno);
        return false;
    }
    std::string line;
    bool eof = false;
    if (!ReadLine(file_, line, eof)) {
        error_ = "'" + path + "' is not a YUV4MPEG2 file (no stream header)";
        return false;
    }
    return ParseHeader(line);
}

bool Y4mReader::ParseHeader(const std::string& line) {
    const std::string magic = "YUV4MPEG2";
    if (line.compare(0, magic.size(), magic) != 0) {
        error_ = "'" + path_ + "' is not a YUV4MPEG2 file";
        return false;
    }
    bool have_w = false, have_h = false;
    size_t pos = magic.size();
    while (pos < line.size()) {
        while (pos < line.size() && line[pos] == ' ') ++pos;
        size_t end = line.find(' ', pos);
        if (end == std::string::npos) end = line.size();
        if (end == pos) break;
        const std::string token = line.substr(pos, end - pos);
        pos = end;
        const char tag = token[0];
        const std::string value = token.substr(1);
        if (tag == 'W') {
            have_w = ParseUnsigned(value, info_.width);
        } else if (tag == 'H') {
            have_h = ParseUnsigned(value, info_.height);
        } else if (tag == 'F') {
            size_t colon = value.find(':');
            uint32_t num = 0, den = 0;
            if (colon == std::string::npos || !ParseUnsigned(value.substr(0, colon), num) ||
                !ParseUnsigned(value.substr(colon + 1), den) || num == 0 || den == 0) {
                error_ = "'" + path_ + "': bad frame rate '" + value + "'";
                return false;
            }
            info_.rate_num = num;
            info_.rate_den = den;
        } else if (tag == 'C') {
            if (value.compare(0, 3, "420") != 0 || value.find("p1") != std::string::npos) {
                error_ = "'" + path_ + "': unsupported chroma format '" + value +
                         "' (only 4:2:0 8-bit is supported)";
                return false;
            }
        }
        // I (interlacing), A (aspect) and X (extensions) are accepted as they are.
    }
    if (!have_w || !have_h || info_.width == 0 || info_.height == 0 || info_.width > kMaxDimension ||
        info_.height > kMaxDimension) {
        error_ = "'" + path_ + "': missing or bad picture size in the stream header";
        return false;
    }
    return true;
}

int Y4mReader::ReadFrame(YuvPicture& picture) {
    if (!file_) {
        error_ = "no open stream";
        return -1;
    }
    std::string line;
    bool eof = false;
    if (!ReadLine(file_, line, eof)) {
        if (eof) return 0;
        error_ = "'" + path_ + "': truncated frame header after frame " + std::to_string(frames_read_);
        return -1;
    }
    if (line.compare(0, 5, "FRAME") != 0) {
        error_ = "'" + path_ + "': bad frame header after frame " + std::to_string(frames_read_);
        return -1;
    }
    picture.Allocate(info_.width, info_.height);
    bool ok = std::fread(picture.y.data(), 1, picture.y.size(), file_) == picture.y.size() &&
              std::fread(picture.u.data(), 1, picture.u.size(), file_) == picture.u.size() &&
              std::fread(picture.v.data(), 1, picture.v.size(), file_) == picture.v.size();
    if (!ok) {
        error_ = "'" + path_ + "': truncated frame " + std::to_string(frames_read_ + 1);
        return -1;
    }
    ++frames_read_;
    return 1;
}

Y4mWriter::~Y4mWriter() { Close(); }

bool Y4mWriter::Open(const std::string& path, const Y4mInfo& info) {
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) return false;
    ok_ = std::fprintf(file_, "YUV4MPEG2 W%u H%u F%u:%u Ip A1:1 C420jpeg\n", info.width, info.height,
                       info.rate_num, info.rate_den) > 0;
    return ok_;
}

bool Y4mWriter::WriteFrame(const YuvPicture& p) {
    if (!file_) return false;
    ok_ = ok_ && std::fputs("FRAME\n", file_) >= 0;
    ok_ = ok_ && std::fwrite(p.y.data(), 1, p.y.size(), file_) == p.y.size();
    ok_ = ok_ && std::fwrite(p.u.data(), 1, p.u.size(), file_) == p.u.size();
    ok_ = ok_ && std::fwrite(p.v.data(), 1, p.v.size(), file_) == p.v.size();
    return ok_;
}

bool Y4mWriter::Close() {
    if (!file_) return ok_;
    ok_ = (std::fclose(file_) == 0) && ok_;
    file_ = nullptr;
    return ok_;
}

}  // namespace zarn
