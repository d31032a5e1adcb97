// ContainerWriter: the one writer of Zarn container files.
//
// Lays out the header, the three audio-track arrays, the frame index and the
// frame packets exactly as the player reads them. Used by the encoder and by
// every test that needs a .zrn file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "format/zarn_format.h"

namespace zarn {

struct TrackSpec {
    uint32_t buffer_size = 0;  // decoded-audio buffer the track needs
    uint32_t format = 0;       // sample rate in bits 0-15 plus kTrackFormat* bits
    uint32_t id = 0;
};

struct ContainerSpec {
    char version = 'i';  // 'f', 'g', 'h' or 'i'
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t rate_num = 25;
    uint32_t rate_den = 1;
    uint32_t video_flags = 0;
    std::vector<TrackSpec> tracks;
};

// One audio packet of a track inside a frame: the decoded-byte count and the
// audio bitstream. An absent packet (length word 0) has present = false.
struct AudioPacket {
    bool present = false;
    uint32_t decoded_bytes = 0;
    std::vector<uint8_t> data;
};

struct FramePacket {
    std::vector<AudioPacket> audio;  // one per track (missing entries: absent)
    std::vector<uint8_t> video;
    bool key = true;
};

// Builds a complete file image in memory.
class ContainerWriter {
public:
    explicit ContainerWriter(ContainerSpec spec) : spec_(std::move(spec)) {}

    void AddFrame(FramePacket frame);
    size_t FrameCount() const { return packets_.size(); }

    // The finished image. largest_frame, index_count and size_field are
    // computed from the frames added.
    std::vector<uint8_t> Build() const;

    // Writes Build() to a file; false when the file cannot be written.
    bool WriteFile(const std::string& path) const;

private:
    ContainerSpec spec_;
    std::vector<std::vector<uint8_t>> packets_;  // serialised frame packets
    std::vector<bool> keys_;
};

void PutU32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value);
void AppendU32(std::vector<uint8_t>& bytes, uint32_t value);
uint32_t GetU32(const std::vector<uint8_t>& bytes, size_t offset);

}  // namespace zarn
