#include "video/decode_video_frame.h"

#include "video/chroma_thread.h"
#include "video/decode_plane.h"

namespace zarn {

namespace {

uint32_t WordAt(const uint8_t* packet, size_t bytes, size_t offset) {
    BitReader r = MakeBitReader(packet, bytes, offset);
    return PeekWord(r);
}

uint64_t Round8(uint64_t v) { return v & ~uint64_t{7}; }

}  // namespace

bool DecodeVideoFrame(uint8_t* dest, const uint8_t* prev, uint8_t* dest_alpha, const uint8_t* prev_alpha,
                      uint8_t* block_marks, uint32_t source_width, uint32_t source_height,
                      uint32_t luma_width, uint32_t luma_height, const uint8_t* packet, uint32_t packet_bytes,
                      uint32_t key_frame, uint8_t* const bundle_buffers[kBundleCount], uint32_t flags,
                      uint32_t header_flags, ChromaThread* helper) {
    if (dest == nullptr || block_marks == nullptr || bundle_buffers == nullptr) return false;
    if (packet == nullptr) packet_bytes = 0;
    for (int i = 0; i < 9; ++i)
        if (bundle_buffers[i] == nullptr) return false;
    if (prev == nullptr) prev = dest;

    const uint64_t w = source_width, h = source_height;
    const uint64_t luma_dw = Round8(w + 7), luma_dh = Round8(h + 7);
    const uint64_t chroma_dw = Round8((w + 1) / 2 + 7), chroma_dh = Round8((h + 1) / 2 + 7);
    // Frame buffers that cannot hold the decode area: decode nothing.
    if (luma_width % 16 != 0 || luma_height % 16 != 0 || luma_dw > luma_width || luma_dh > luma_height ||
        chroma_dw > luma_width / 2 || chroma_dh > luma_height / 2)
        return false;

    PlaneInput in;
    in.packet = packet;
    in.packet_bytes = packet_bytes;
    in.bundle_buffers = bundle_buffers;
    in.luma_width = luma_width;
    in.key_frame = key_frame;
    in.flags = flags;

    PlaneGeometry luma;
    luma.decode_width = static_cast<uint32_t>(luma_dw);
    luma.decode_height = static_cast<uint32_t>(luma_dh);
    luma.stride = luma_width;
    luma.rows = luma_height;
    luma.block_marks = block_marks;
    luma.mark_cols = luma_width / 16;
    luma.mark_rows = luma_height / 16;
    luma.mark_step = 1;

    bool whole = true;
    size_t pos = 0;
    if (header_flags & kVideoFlagAlpha) {
        const uint32_t alpha_bytes = WordAt(packet, packet_bytes, 0);
        if ((flags & kFlagAlpha) && dest_alpha != nullptr) {
            PlaneGeometry alpha = luma;
            alpha.dest = dest_alpha;
            alpha.prev = prev_alpha != nullptr ? prev_alpha : dest_alpha;
            in.start = 4;
            DecodePlane(alpha, in, &whole);
        }
        // The rest of the packet would start outside it: abandon the frame.
        if (alpha_bytes > packet_bytes) return false;
        pos = alpha_bytes;
    }

    size_t chroma_start = 0;
    bool chroma_in_packet = true;
    const bool older = (flags & kFlagVersionH) != 0;
    if (!older) {
        const uint32_t offset = WordAt(packet, packet_bytes, pos);
        chroma_start = pos + offset;
        // A chroma offset pointing outside the packet: the chroma planes are not decoded.
        chroma_in_packet = chroma_start <= packet_bytes;
        pos += 4;
    }

    luma.dest = dest;
    luma.prev = prev;
    const bool grey = (flags & kFlagGreyScale) != 0;

    PlaneGeometry chroma = luma;
    chroma.decode_width = static_cast<uint32_t>(chroma_dw);
    chroma.decode_height = static_cast<uint32_t>(chroma_dh);
    chroma.stride = luma_width / 2;
    chroma.rows = luma_height / 2;
    chroma.mark_step = 2;
    const size_t luma_size = size_t{luma_width} * luma_height;
    const size_t chroma_size = size_t{luma_width / 2} * (luma_height / 2);
    chroma.dest = dest + luma_size;
    chroma.prev = prev + luma_size;

    // Where the chroma start is known before luma is decoded, the helper
    // decodes chroma meanwhile; planes, marks and bundles do not overlap.
    if (helper != nullptr && !older && !grey && chroma_in_packet &&
        ChromaThreadFits(*helper, luma_width, luma_height)) {
        PlaneInput chroma_in = in;
        chroma_in.start = chroma_start;
        PostChroma(*helper, chroma, chroma_in, chroma_size);
        in.start = pos;
        DecodePlane(luma, in, &whole);
        const bool chroma_whole = FinishChroma(*helper, block_marks, size_t{luma.mark_cols} * luma.mark_rows);
        return whole && chroma_whole;
    }

    in.start = pos;
    const size_t luma_end = DecodePlane(luma, in, &whole);
    if (grey) return whole;
    if (!chroma_in_packet) return false;
    if (older) chroma_start = luma_end;
    in.start = chroma_start;
    DecodeChromaPlanes(chroma, in, chroma_size, &whole);
    return whole;
}

}  // namespace zarn
