// What a movie holds, its statistics, the status texts and the version.
#include <cstddef>
#include <cstring>

#include "engine/container_header.h"
#include "engine/movie.h"
#include "engine/playback_stats.h"
#include "lib/handle.h"

namespace zarn {
namespace {

// The public records are the engine's, field for field.
static_assert(sizeof(zarn_summary) == sizeof(PlaybackSummary));
static_assert(offsetof(zarn_summary, device_speed) == offsetof(PlaybackSummary, device_speed));
static_assert(offsetof(zarn_summary, peak_data_rate_frame) ==
              offsetof(PlaybackSummary, peak_data_rate_frame));
static_assert(sizeof(zarn_realtime_stats) == sizeof(RealtimeStats));
static_assert(offsetof(zarn_realtime_stats, span_ms) == offsetof(RealtimeStats, span_ms));
static_assert(offsetof(zarn_realtime_stats, data_rate) == offsetof(RealtimeStats, data_rate));

#define ZARN_TEXT(x) #x
#define ZARN_VERSION_TEXT(a, b, c) ZARN_TEXT(a) "." ZARN_TEXT(b) "." ZARN_TEXT(c)

}  // namespace
}  // namespace zarn

using namespace zarn;

extern "C" {

uint32_t zarn_version(void) {
    return (ZARN_VERSION_MAJOR << 16) | (ZARN_VERSION_MINOR << 8) | ZARN_VERSION_PATCH;
}

const char* zarn_version_text(void) {
    return ZARN_VERSION_TEXT(ZARN_VERSION_MAJOR, ZARN_VERSION_MINOR, ZARN_VERSION_PATCH);
}

const char* zarn_status_text(zarn_status status) {
    switch (status) {
    case ZARN_OK: return "success";
    case ZARN_END_OF_FILE: return "end of file";
    case ZARN_ERROR_BAD_ARGUMENT: return "bad argument";
    case ZARN_ERROR_OUT_OF_MEMORY: return "out of memory";
    case ZARN_ERROR_OPEN: return "cannot open the file";
    case ZARN_ERROR_NOT_ZARN: return "not a Zarn file";
    case ZARN_ERROR_NO_FRAMES: return "no frames";
    case ZARN_ERROR_CORRUPT_FILE: return "corrupt file";
    case ZARN_ERROR_READ: return "read error";
    case ZARN_ERROR_CORRUPT_FRAME: return "corrupt frame";
    case ZARN_ERROR_NO_FRAME: return "no frame decoded";
    }
    return "unknown status";
}

zarn_status zarn_get_info(const zarn_movie* h, zarn_info* info) {
    if (!h || !info) return ZARN_ERROR_BAD_ARGUMENT;
    const Movie& m = *h->movie;
    zarn_info i{};
    i.version = m.version;
    i.file_size = m.file_length;
    i.width = m.source_width;
    i.height = m.source_height;
    i.output_width = m.width;
    i.output_height = m.height;
    i.display_option = DisplayOption(m.flags);
    i.frame_count = m.frame_count;
    for (uint32_t f = 0; f < m.frame_count; ++f) i.key_frames += m.frame_index[f] & 1;
    i.rate_num = m.source_rate_num;
    i.rate_den = m.source_rate_den;
    i.largest_frame = m.largest_frame;
    i.read_ahead = m.default_read_ahead;
    i.densest_second = m.densest_second;
    i.has_alpha = (m.header_flags & kFlagAlpha) != 0;
    i.grey_scale = (m.header_flags & kFlagGreyScale) != 0;
    i.audio_tracks = m.audio_tracks;
    i.video_flags = m.header_flags;
    *info = i;
    return ZARN_OK;
}

zarn_status zarn_get_track_info(const zarn_movie* h, uint32_t index, zarn_track_info* track) {
    if (!h || !track || index >= h->movie->audio_tracks) return ZARN_ERROR_BAD_ARGUMENT;
    const Movie& m = *h->movie;
    const uint32_t f = m.track_format[index];
    track->id = m.track_id[index];
    track->rate = f & 0xFFFF;
    track->channels = (f & kTrackFormatStereo) ? 2 : 1;
    track->bits = (f & kTrackFormatSixteenBit) ? 16 : 8;
    track->buffer_size = m.track_buffer_size[index];
    track->has_audio = (f & kTrackFormatAudio) != 0;
    return ZARN_OK;
}

zarn_status zarn_get_summary(zarn_movie* h, zarn_summary* summary) {
    if (!h || !summary) return ZARN_ERROR_BAD_ARGUMENT;
    PlaybackSummary s;
    GetSummary(h->movie, &s);
    std::memcpy(summary, &s, sizeof s);
    return ZARN_OK;
}

zarn_status zarn_get_realtime_stats(zarn_movie* h, zarn_realtime_stats* stats, uint32_t window) {
    if (!h || !stats) return ZARN_ERROR_BAD_ARGUMENT;
    RealtimeStats r;
    GetRealtimeStats(*h->movie, &r, window);
    std::memcpy(stats, &r, sizeof r);
    return ZARN_OK;
}

}  // extern "C"
