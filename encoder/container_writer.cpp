#include "encoder/container_writer.h"

#include <algorithm>
#include <cstdio>

namespace zarn {

void PutU32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
    if (bytes.size() < offset + 4) bytes.resize(offset + 4);
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

void AppendU32(std::vector<uint8_t>& bytes, uint32_t value) { PutU32(bytes, bytes.size(), value); }

uint32_t GetU32(const std::vector<uint8_t>& bytes, size_t offset) {
    return uint32_t{bytes[offset]} | uint32_t{bytes[offset + 1]} << 8 | uint32_t{bytes[offset + 2]} << 16 |
           uint32_t{bytes[offset + 3]} << 24;
}

void ContainerWriter::AddFrame(FramePacket frame) {
    std::vector<uint8_t> packet;
    for (size_t t = 0; t < spec_.tracks.size(); ++t) {
        if (t >= frame.audio.size() || !frame.audio[t].present) {
            AppendU32(packet, 0);
            continue;
        }
        const AudioPacket& a = frame.audio[t];
        AppendU32(packet, static_cast<uint32_t>(4 + a.data.size()));
        AppendU32(packet, a.decoded_bytes);
        packet.insert(packet.end(), a.data.begin(), a.data.end());
    }
    packet.insert(packet.end(), frame.video.begin(), frame.video.end());
    packets_.push_back(std::move(packet));
    keys_.push_back(frame.key);
}

std::vector<uint8_t> ContainerWriter::Build() const {
    const uint32_t tracks = static_cast<uint32_t>(spec_.tracks.size());
    const uint32_t frames = static_cast<uint32_t>(packets_.size());
    std::vector<uint8_t> out;
    out.reserve(64);
    out.push_back('Z');
    out.push_back('R');
    out.push_back('N');
    out.push_back(static_cast<uint8_t>(spec_.version));
    AppendU32(out, 0);  // size_field, patched below
    AppendU32(out, frames);
    size_t largest = 0;
    for (const auto& p : packets_) largest = std::max(largest, p.size());
    AppendU32(out, static_cast<uint32_t>(largest));
    AppendU32(out, frames);  // index_count
    AppendU32(out, spec_.width);
    AppendU32(out, spec_.height);
    AppendU32(out, spec_.rate_num);
    AppendU32(out, spec_.rate_den);
    AppendU32(out, spec_.video_flags);
    AppendU32(out, tracks);
    for (const auto& t : spec_.tracks) AppendU32(out, t.buffer_size);
    for (const auto& t : spec_.tracks) AppendU32(out, t.format);
    for (const auto& t : spec_.tracks) AppendU32(out, t.id);

    uint32_t offset = static_cast<uint32_t>(FrameIndexOffset(tracks) + 4 * (size_t{frames} + 1));
    for (uint32_t i = 0; i < frames; ++i) {
        AppendU32(out, offset | (keys_[i] ? 1u : 0u));
        offset += static_cast<uint32_t>(packets_[i].size());
    }
    AppendU32(out, offset);
    for (const auto& p : packets_) out.insert(out.end(), p.begin(), p.end());
    PutU32(out, header_offset::kSizeField, static_cast<uint32_t>(out.size() - 8));
    return out;
}

bool ContainerWriter::WriteFile(const std::string& path) const {
    std::vector<uint8_t> image = Build();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(image.data(), 1, image.size(), f) == image.size();
    ok = (std::fclose(f) == 0) && ok;
    return ok;
}

}  // namespace zarn
