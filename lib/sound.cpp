// The chosen track's sound: every block of each decoded frame's chunk,
// nothing dropped, kept until the caller reads it.
#include <algorithm>
#include <cstring>

#include "audio/audio_decoder.h"
#include "engine/container_header.h"
#include "engine/movie.h"
#include "engine/packet_audio.h"
#include "lib/handle.h"

namespace zarn {

void QueueFrameSound(zarn_movie& h) {
    const Movie& m = *h.movie;
    if (h.track < 0 || !h.audio) return;
    const PacketAudio a = FindPacketAudio(m.packet, m.packet_bytes, m.audio_tracks, h.track);
    if (!a.chunk || a.chunk_bytes < 4) return;
    uint32_t due = uint32_t{a.chunk[0]} | uint32_t{a.chunk[1]} << 8 | uint32_t{a.chunk[2]} << 16 |
                   uint32_t{a.chunk[3]} << 24;
    const uint8_t* data = a.chunk + 4;
    const uint8_t* end = a.chunk + a.chunk_bytes;
    // Read sound leaves the front of the buffer.
    if (h.pcm_read > 0) {
        h.pcm.erase(h.pcm.begin(), h.pcm.begin() + static_cast<ptrdiff_t>(h.pcm_read));
        h.pcm_read = 0;
    }
    while (due > 0) {
        const int16_t* pcm = nullptr;
        uint32_t bytes = 0;
        const uint8_t* next = end;
        DecodeAudioBlock(h.audio, &pcm, &bytes, data, end, &next);
        if (bytes == 0 || !pcm) break;
        const uint32_t n = std::min(bytes, due);
        due -= n;
        const auto* from = reinterpret_cast<const uint8_t*>(pcm);
        h.pcm.insert(h.pcm.end(), from, from + n);
        data = next;
    }
}

bool RestartSound(zarn_movie& h) {
    h.pcm.clear();
    h.pcm_read = 0;
    FreeAudioDecoder(h.audio);
    h.audio = nullptr;
    if (h.track < 0) return true;
    const uint32_t format = h.movie->track_format[h.track];
    h.audio = CreateAudioDecoder(format & 0xFFFF, (format & kTrackFormatStereo) ? 2 : 1, 1);
    return h.audio != nullptr;
}

}  // namespace zarn

using namespace zarn;

extern "C" {

zarn_status zarn_select_audio_track(zarn_movie* h, int32_t track) {
    if (!h) return ZARN_ERROR_BAD_ARGUMENT;
    const Movie& m = *h->movie;
    if (track < -1 || (track >= 0 && static_cast<uint32_t>(track) >= m.audio_tracks))
        return Fail(h, ZARN_ERROR_BAD_ARGUMENT, "No such audio track.");
    if (track >= 0 && !(m.track_format[track] & kTrackFormatAudio))
        return Fail(h, ZARN_ERROR_BAD_ARGUMENT, "The audio track holds no sound.");
    h->track = track;
    if (!RestartSound(*h)) {
        h->track = -1;
        return Fail(h, ZARN_ERROR_OUT_OF_MEMORY, "Out of memory.");
    }
    return ZARN_OK;
}

zarn_status zarn_read_audio(zarn_movie* h, int16_t* samples, size_t max_samples, size_t* count) {
    if (!h || !count || (!samples && max_samples > 0))
        return Fail(h, ZARN_ERROR_BAD_ARGUMENT, "Bad arguments.");
    const size_t waiting = (h->pcm.size() - h->pcm_read) / 2;
    const size_t n = std::min(waiting, max_samples);
    if (n > 0) std::memcpy(samples, h->pcm.data() + h->pcm_read, n * 2);
    h->pcm_read += n * 2;
    *count = n;
    return ZARN_OK;
}

}  // extern "C"
