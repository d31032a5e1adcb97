#include "engine/container_header.h"

namespace zarn {
namespace {
uint32_t U32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
}  // namespace

bool ParseContainerHeader(const uint8_t bytes[kHeaderBytes], ContainerHeader* h) {
    if (bytes[0] != 'Z' || bytes[1] != 'R' || bytes[2] != 'N') return false;
    if (bytes[3] < 'f' || bytes[3] > 'i') return false;
    h->version = static_cast<char>(bytes[3]);
    h->size_field = U32(bytes + 4);
    h->frame_count = U32(bytes + 8);
    h->largest_frame = U32(bytes + 12);
    h->index_count = U32(bytes + 16);
    h->width = U32(bytes + 20);
    h->height = U32(bytes + 24);
    h->rate_num = U32(bytes + 28);
    h->rate_den = U32(bytes + 32);
    h->video_flags = U32(bytes + 36);
    h->audio_tracks = U32(bytes + 40);
    return true;
}

uint64_t ContainerDataStart(const ContainerHeader& h) {
    return kHeaderBytes + 12 * uint64_t{h.audio_tracks} + 4 * (uint64_t{h.index_count} + 1);
}

bool ContainerHeaderIsSound(const ContainerHeader& h) {
    if (h.width == 0 || h.height == 0 || h.width > kMaxPictureSide || h.height > kMaxPictureSide)
        return false;
    if (h.rate_den == 0) return false;
    if ((uint64_t{h.rate_num} + h.rate_den / 2) / h.rate_den > kMaxFramesPerSecond) return false;
    if (h.index_count < h.frame_count) return false;
    const uint64_t file_length = uint64_t{h.size_field} + 8;
    if (file_length > 0xFFFFFFFFu) return false;
    if (h.largest_frame > file_length) return false;
    if (ContainerDataStart(h) > file_length) return false;
    return true;
}

}  // namespace zarn
