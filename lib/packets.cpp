// Packet-level decoding: the container's parts and decoders fed one
// frame's data at a time, for callers that read the file themselves.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "audio/audio_decoder.h"
#include "engine/container_header.h"
#include "engine/packet_audio.h"
#include "format/zarn_format.h"
#include "video/chroma_thread.h"
#include "video/decode_video_frame.h"
#include "zarn/zarn.h"

namespace {

// Zeroed, 32-byte aligned, with slack for vector loads past the end.
uint8_t* ZeroedBlock(size_t bytes) {
    const size_t size = (bytes + 64 + 31) & ~size_t{31};
    auto* p = static_cast<uint8_t*>(std::aligned_alloc(32, size));
    if (p) std::memset(p, 0, size);
    return p;
}

uint32_t ReadLe32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

}  // namespace

struct zarn_video_decoder {
    uint32_t width = 0, height = 0, luma_width = 0, luma_height = 0, mb_count = 0;
    uint32_t flags = 0, video_flags = 0;
    size_t frame_bytes = 0, plane_bytes = 0;
    uint8_t* frames[2] = {};
    uint8_t* alpha[2] = {};
    uint8_t* marks = nullptr;
    uint8_t* bundles[zarn::kBundleCount] = {};
    zarn::ChromaThread* chroma_thread = nullptr;
    int current = 0;
    bool decoded = false;
};

struct zarn_audio_decoder {
    uint32_t rate = 0, channels = 0;
    zarn::AudioDecoder* decoder = nullptr;
};

extern "C" {

zarn_status zarn_parse_header(const void* bytes, size_t size, zarn_header* header) {
    if (!bytes || !header || size < ZARN_HEADER_BYTES) return ZARN_ERROR_BAD_ARGUMENT;
    zarn::ContainerHeader h;
    if (!zarn::ParseContainerHeader(static_cast<const uint8_t*>(bytes), &h)) return ZARN_ERROR_NOT_ZARN;
    if (h.frame_count == 0) return ZARN_ERROR_NO_FRAMES;
    if (!zarn::ContainerHeaderIsSound(h)) return ZARN_ERROR_CORRUPT_FILE;
    header->version = h.version;
    header->size_field = h.size_field;
    header->frame_count = h.frame_count;
    header->largest_frame = h.largest_frame;
    header->index_count = h.index_count;
    header->width = h.width;
    header->height = h.height;
    header->rate_num = h.rate_num;
    header->rate_den = h.rate_den;
    header->video_flags = h.video_flags;
    header->audio_tracks = h.audio_tracks;
    header->data_start = zarn::ContainerDataStart(h);
    return ZARN_OK;
}

zarn_status zarn_packet_audio(const void* packet, size_t packet_size, uint32_t tracks, uint32_t track,
                              const uint8_t** data, size_t* size, size_t* video_offset) {
    if ((!packet && packet_size) || !data || !size || track >= tracks || packet_size > UINT32_MAX)
        return ZARN_ERROR_BAD_ARGUMENT;
    const auto bytes = static_cast<uint32_t>(packet_size);
    const zarn::PacketAudio a = zarn::FindPacketAudio(static_cast<const uint8_t*>(packet), bytes, tracks,
                                                      static_cast<int32_t>(track));
    *data = a.chunk;
    *size = a.chunk ? a.chunk_bytes : 0;
    if (video_offset) *video_offset = a.video_offset;
    // The walk stops short of the track when a length runs past the packet.
    if (!a.chunk) return ZARN_ERROR_CORRUPT_FRAME;
    return ZARN_OK;
}

zarn_status zarn_video_decoder_create(const zarn_header* header, uint32_t flags,
                                      zarn_video_decoder** decoder) {
    if (!decoder) return ZARN_ERROR_BAD_ARGUMENT;
    *decoder = nullptr;
    if (!header || header->width == 0 || header->height == 0 || header->width > zarn::kMaxPictureSide ||
        header->height > zarn::kMaxPictureSide || header->version < zarn::kFirstVersion ||
        header->version > zarn::kLastVersion)
        return ZARN_ERROR_BAD_ARGUMENT;
    auto* d = new (std::nothrow) zarn_video_decoder;
    if (!d) return ZARN_ERROR_OUT_OF_MEMORY;
    d->width = header->width;
    d->height = header->height;
    const uint32_t cw = zarn::ChromaSize(d->width), ch = zarn::ChromaSize(d->height);
    d->luma_width = 2 * cw;
    d->luma_height = 2 * ch;
    d->mb_count = (d->luma_width / 16) * (d->luma_height / 16);
    d->video_flags = header->video_flags;
    // The movie's effective flags as open makes them: grey from the header,
    // alpha only when the file has it, the version marks.
    d->flags = header->video_flags & zarn::kVideoFlagGreyScale;
    if (flags & ZARN_OPEN_GREY) d->flags |= zarn::kFlagGreyScale;
    if ((flags & ZARN_OPEN_ALPHA) && (header->video_flags & zarn::kVideoFlagAlpha))
        d->flags |= zarn::kFlagAlpha;
    if (header->version == 'f' || header->version == 'g')
        d->flags |= zarn::kFlagVersionH | zarn::kFlagVersionFG;
    else if (header->version == 'h')
        d->flags |= zarn::kFlagVersionH;
    d->plane_bytes = size_t{d->luma_width} * d->luma_height;
    d->frame_bytes = d->plane_bytes + 2 * size_t{cw} * ch;
    bool ok = true;
    for (int i = 0; i < 2; ++i) {
        ok = ok && (d->frames[i] = ZeroedBlock(d->frame_bytes)) != nullptr;
        if (d->flags & zarn::kFlagAlpha) ok = ok && (d->alpha[i] = ZeroedBlock(d->plane_bytes)) != nullptr;
    }
    ok = ok && (d->marks = ZeroedBlock(d->mb_count + 16)) != nullptr;
    for (unsigned i = 0; i < zarn::kBundleCount; ++i)
        ok = ok && (d->bundles[i] = ZeroedBlock(zarn::BundleBufferBytes(i, d->luma_width))) != nullptr;
    if (!ok) {
        zarn_video_decoder_free(d);
        return ZARN_ERROR_OUT_OF_MEMORY;
    }
    *decoder = d;
    return ZARN_OK;
}

zarn_status zarn_video_decoder_decode(zarn_video_decoder* d, const void* data, size_t size, int key_frame) {
    if (!d || (!data && size) || size > UINT32_MAX) return ZARN_ERROR_BAD_ARGUMENT;
    const int next = d->current ^ 1;
    std::memset(d->marks, 0, d->mb_count + 16);
    const bool whole =
        zarn::DecodeVideoFrame(d->frames[next], d->frames[d->current], d->alpha[next], d->alpha[d->current],
                               d->marks, d->width, d->height, d->luma_width, d->luma_height,
                               static_cast<const uint8_t*>(data), static_cast<uint32_t>(size),
                               key_frame ? 1 : 0, d->bundles, d->flags, d->video_flags, d->chroma_thread);
    d->current = next;
    d->decoded = true;
    return whole ? ZARN_OK : ZARN_ERROR_CORRUPT_FRAME;
}

zarn_status zarn_video_decoder_get_planes(const zarn_video_decoder* d, zarn_planes* planes) {
    if (!d || !planes) return ZARN_ERROR_BAD_ARGUMENT;
    if (!d->decoded) return ZARN_ERROR_NO_FRAME;
    const uint8_t* frame = d->frames[d->current];
    const uint8_t* first = frame + d->plane_bytes;
    const uint8_t* second = first + size_t{d->luma_width / 2} * (d->luma_height / 2);
    // Older files store U first, the rest V first.
    const bool u_first = (d->flags & zarn::kFlagVersionFG) != 0;
    planes->y = frame;
    planes->u = u_first ? first : second;
    planes->v = u_first ? second : first;
    planes->a = d->alpha[d->current];
    planes->y_stride = static_cast<int32_t>(d->luma_width);
    planes->uv_stride = static_cast<int32_t>(d->luma_width / 2);
    planes->a_stride = planes->a ? static_cast<int32_t>(d->luma_width) : 0;
    planes->width = d->width;
    planes->height = d->height;
    planes->chroma_width = (d->width + 1) / 2;
    planes->chroma_height = (d->height + 1) / 2;
    return ZARN_OK;
}

zarn_status zarn_video_decoder_set_threads(zarn_video_decoder* d, uint32_t threads) {
    if (!d || threads == 0) return ZARN_ERROR_BAD_ARGUMENT;
    if (threads == 1) {
        zarn::StopChromaThread(d->chroma_thread);
        d->chroma_thread = nullptr;
    } else if (!d->chroma_thread) {
        d->chroma_thread = zarn::StartChromaThread(d->luma_width, d->luma_height);
        if (!d->chroma_thread) return ZARN_ERROR_OUT_OF_MEMORY;
    }
    return ZARN_OK;
}

void zarn_video_decoder_reset(zarn_video_decoder* d) {
    if (!d) return;
    for (int i = 0; i < 2; ++i) {
        std::memset(d->frames[i], 0, d->frame_bytes);
        if (d->alpha[i]) std::memset(d->alpha[i], 0, d->plane_bytes);
    }
    d->decoded = false;
}

void zarn_video_decoder_free(zarn_video_decoder* d) {
    if (!d) return;
    zarn::StopChromaThread(d->chroma_thread);
    for (int i = 0; i < 2; ++i) {
        std::free(d->frames[i]);
        std::free(d->alpha[i]);
    }
    std::free(d->marks);
    for (uint8_t* b : d->bundles) std::free(b);
    delete d;
}

zarn_status zarn_audio_decoder_create(uint32_t rate, uint32_t channels, zarn_audio_decoder** decoder) {
    if (!decoder) return ZARN_ERROR_BAD_ARGUMENT;
    *decoder = nullptr;
    if (rate == 0 || rate > 0xFFFF || (channels != 1 && channels != 2)) return ZARN_ERROR_BAD_ARGUMENT;
    auto* d = new (std::nothrow) zarn_audio_decoder;
    if (!d) return ZARN_ERROR_OUT_OF_MEMORY;
    d->rate = rate;
    d->channels = channels;
    d->decoder = zarn::CreateAudioDecoder(rate, channels, 1);
    if (!d->decoder) {
        delete d;
        return ZARN_ERROR_OUT_OF_MEMORY;
    }
    *decoder = d;
    return ZARN_OK;
}

size_t zarn_audio_packet_samples(const void* data, size_t size) {
    if (!data || size < 4) return 0;
    return ReadLe32(static_cast<const uint8_t*>(data)) / 2;
}

zarn_status zarn_audio_decoder_decode(zarn_audio_decoder* d, const void* data, size_t size, int16_t* samples,
                                      size_t max_samples, size_t* count) {
    if (!d || !count || (!data && size)) return ZARN_ERROR_BAD_ARGUMENT;
    *count = 0;
    if (size == 0) return ZARN_OK;
    if (size < 4) return ZARN_ERROR_CORRUPT_FRAME;
    const auto* p = static_cast<const uint8_t*>(data);
    uint32_t due = ReadLe32(p);
    if (due / 2 > max_samples || (!samples && due >= 2)) return ZARN_ERROR_BAD_ARGUMENT;
    const uint8_t* block = p + 4;
    const uint8_t* end = p + size;
    bool short_data = false;
    size_t written = 0;  // bytes
    while (due > 0) {
        const int16_t* pcm = nullptr;
        uint32_t bytes = 0;
        const uint8_t* next = end;
        zarn::DecodeAudioBlock(d->decoder, &pcm, &bytes, block, end, &next);
        if (bytes == 0 || !pcm) break;
        // A block cut off by the end decodes as silence.
        if (d->decoder->last_block_cut) short_data = true;
        const uint32_t n = std::min(bytes, due);
        std::memcpy(reinterpret_cast<uint8_t*>(samples) + written, pcm, n);
        written += n;
        due -= n;
        block = next;
    }
    *count = written / 2;
    return short_data || due > 0 ? ZARN_ERROR_CORRUPT_FRAME : ZARN_OK;
}

zarn_status zarn_audio_decoder_reset(zarn_audio_decoder* d) {
    if (!d) return ZARN_ERROR_BAD_ARGUMENT;
    zarn::AudioDecoder* fresh = zarn::CreateAudioDecoder(d->rate, d->channels, 1);
    if (!fresh) return ZARN_ERROR_OUT_OF_MEMORY;
    zarn::FreeAudioDecoder(d->decoder);
    d->decoder = fresh;
    return ZARN_OK;
}

void zarn_audio_decoder_free(zarn_audio_decoder* d) {
    if (!d) return;
    zarn::FreeAudioDecoder(d->decoder);
    delete d;
}

}  // extern "C"
