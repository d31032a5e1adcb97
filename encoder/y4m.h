// YUV4MPEG2 reading and writing: 4:2:0 8-bit pictures, one frame at a time.
//
// The reader takes any 4:2:0 chroma tag (420, 420jpeg, 420mpeg2, 420paldv)
// or none (4:2:0 is the default); anything else is refused with a message.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace zarn {

// A 4:2:0 picture: Y of width x height, U and V of ((width + 1) / 2) x ((height + 1) / 2).
struct YuvPicture {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> y, u, v;

    uint32_t ChromaWidth() const { return (width + 1) / 2; }
    uint32_t ChromaHeight() const { return (height + 1) / 2; }
    void Allocate(uint32_t w, uint32_t h);
};

struct Y4mInfo {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t rate_num = 25;
    uint32_t rate_den = 1;
};

class Y4mReader {
public:
    Y4mReader() = default;
    ~Y4mReader();
    Y4mReader(const Y4mReader&) = delete;
    Y4mReader& operator=(const Y4mReader&) = delete;

    // Opens the file and reads its stream header. False with error() set on failure.
    bool Open(const std::string& path);
    const Y4mInfo& Info() const { return info_; }

    // Reads the next frame. Returns 1 with a frame, 0 at the clean end of the
    // stream, -1 on a malformed or truncated frame (error() set).
    int ReadFrame(YuvPicture& picture);

    const std::string& Error() const { return error_; }

private:
    bool ParseHeader(const std::string& line);
    std::FILE* file_ = nullptr;
    Y4mInfo info_;
    std::string path_;
    std::string error_;
    uint32_t frames_read_ = 0;
};

// Writes a stream header, then frames. False when the file cannot be written.
class Y4mWriter {
public:
    Y4mWriter() = default;
    ~Y4mWriter();
    Y4mWriter(const Y4mWriter&) = delete;
    Y4mWriter& operator=(const Y4mWriter&) = delete;

    bool Open(const std::string& path, const Y4mInfo& info);
    bool WriteFrame(const YuvPicture& picture);
    bool Close();

private:
    std::FILE* file_ = nullptr;
    bool ok_ = true;
};

}  // namespace zarn
