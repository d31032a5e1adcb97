#include "engine/frame_control.h"

#include <algorithm>
#include <cstring>

#include "audio/audio_decoder.h"

#include "engine/audio_queue.h"
#include "engine/engine_clock.h"
#include "engine/frame_loading.h"
#include "engine/movie.h"
#include "engine/packet_audio.h"
#include "engine/timing.h"
#include "video/decode_video_frame.h"

namespace zarn {
namespace {

uint32_t ReadU32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// Moves every history array one entry towards its end and stores the
// newest samples in entry 0.
void RecordHistory(Movie& m) {
    const uint32_t samples[kHistoryArrays] = {m.decode_start_ms,
                                              m.audio_ms,
                                              m.video_ms,
                                              m.blit_ms,
                                              m.reader.foreground_ms.load(),
                                              m.reader.idle_ms.load(),
                                              m.reader.background_ms.load()};
    for (int k = 0; k < kHistoryArrays; ++k) {
        uint32_t* h = m.second_history[k];
        std::memmove(h + 1, h, m.history_shift);
        h[0] = samples[k];
    }
}

// Decodes blocks of one audio packet until `decoded` bytes came out. Into
// the queue, until it is full (what does not fit is dropped); or, with
// `drop`, nowhere: the decoder's state then continues from this packet as
// if it had been played.
void DecodeAudioPacket(Movie& m, const uint8_t* data, const uint8_t* end, uint32_t decoded, bool drop) {
    if (!drop) LockRingWaiting(m);
    while (decoded > 0 && (drop || m.ring_size - m.ring_filled > 0)) {
        const int16_t* pcm = nullptr;
        uint32_t bytes = 0;
        const uint8_t* next = end;
        DecodeAudioBlock(m.audio_decoder, &pcm, &bytes, data, end, &next);
        if (bytes == 0 || !pcm) break;  // no progress possible
        const uint32_t n = std::min(bytes, decoded);
        decoded -= n;
        if (!drop) AppendToRing(m, reinterpret_cast<const uint8_t*>(pcm), n);
        data = next;
    }
    if (!drop) UnlockRing(m);
}

// Queues the playing track's audio of this packet (or, with `drop`, only
// runs it through the decoder). Returns the offset of the video data, which
// follows the last track; lengths that run past the packet leave no video
// data.
uint32_t QueuePacketAudio(Movie& m, bool drop = false) {
    const PacketAudio a = FindPacketAudio(m.packet, m.packet_bytes, m.audio_tracks, m.sound_track);
    if (a.chunk && a.chunk_bytes >= 4 && m.audio_decoder)
        DecodeAudioPacket(m, a.chunk + 4, a.chunk + a.chunk_bytes, ReadU32(a.chunk), drop);
    return a.video_offset;
}

// Decodes the loaded packet's video into the frame buffer that is not
// current and makes it current.
void DecodeVideo(Movie& m, uint32_t frame, uint32_t video_offset) {
    const uint32_t shown = m.current_buffer, next = shown ^ 1;
    const bool whole = DecodeVideoFrame(m.frame_buffers[next], m.frame_buffers[shown], m.alpha_planes[next],
                                        m.alpha_planes[shown], m.block_marks, m.source_width, m.source_height,
                                        m.luma_width, m.luma_height, m.packet + video_offset,
                                        m.packet_bytes - video_offset, m.frame_index[frame - 1] & 1,
                                        m.bundle_buffers, m.flags, m.header_flags, m.chroma_thread);
    m.frame_damaged = whole ? 0 : 1;
    m.current_buffer = next;
}

}  // namespace

void LetReaderIn(Movie& m, uint32_t percent) {
    if (!(m.flags & kFlagNoThread) && !m.preloaded && m.reader.reading_now.load() == 0 &&
        ReaderFillPercent(m.reader) < percent)
        EngineSleep(1);
}

int32_t ShouldWait(Movie* movie) {
    if (!movie) return 0;
    Movie& m = *movie;
    if ((m.frames_played == 0 && !m.paused) || m.read_error) return 0;
    EnsureClockBase(m);
    if (m.sound_track != -1) FeedSound(&m);
    const uint32_t now = EngineClock();
    CloseIntervals(m, now);
    if (!m.paused && (!PacedBySound(m) || m.sound_on)) {
        if (m.rate_num == 0) return 0;
        uint32_t base = m.clock_base_ms.load(std::memory_order_acquire);
        if (base == 0) {  // dropped by the sound path meanwhile
            SetClockBase(m, now);
            base = now;
        }
        // Signed: a base set a moment after `now` counts as not yet due.
        const int64_t elapsed = static_cast<int32_t>(now - base);
        const auto due = static_cast<int64_t>(FrameDueMs(m));
        if (elapsed >= due) {
            // Without sound, never try to catch up more than two periods.
            if (!PacedBySound(m) && elapsed - due > int64_t{m.late_limit_ms}) SetClockBase(m, now);
            return 0;
        }
    }
    if (!m.preloaded) {
        const int32_t r = m.reader.step(&m.reader);
        if (r != 0 && !(m.flags & kFlagNoThread)) EngineSleep(1);
    }
    return 1;
}

int32_t DoFrame(Movie* movie) {
    if (!movie) return 0;
    Movie& m = *movie;
    const uint32_t frame = m.current_frame.load(std::memory_order_relaxed);
    if (m.decoded_frame == frame) return 0;
    m.reader.engine_busy = 1;
    m.decode_start_ms = EngineClock();
    RecordHistory(m);
    if (m.play_start_ms == 0) {
        // The first frame counts one source period; reading during open
        // is not counted.
        if (m.frames_per_second > 1) {
            const uint32_t period =
                m.source_rate_num
                    ? static_cast<uint32_t>(uint64_t{1000} * m.source_rate_den / m.source_rate_num)
                    : 0;
            m.second_history[0][1] = m.decode_start_ms - period;
        }
        m.play_start_ms = m.decode_start_ms;
        m.reader.idle_ms = 0;
        m.reader.background_ms = 0;
    } else if (m.sound_track != -1) {
        FeedSound(&m);
    }
    m.frame_start_ms = m.decode_start_ms;
    // Only a frame the file could not deliver whole is a read error: the
    // frames read ahead before the file failed still play.
    if (m.packet_short) m.read_error = 1;
    if (m.read_error) {
        m.audio_all_queued.store(1, std::memory_order_release);  // nothing more will be queued
        m.reader.engine_busy = 0;
        return 1;
    }

    const uint32_t video_offset = QueuePacketAudio(m);
    if (frame == m.frame_count) m.audio_all_queued.store(1, std::memory_order_release);
    const uint32_t audio_end = EngineClock();

    if (m.video_on) {
        // After a skipped copy the marks keep collecting changes, so the
        // next copy covers every frame since the last one shown.
        // After a seek the marks hold every change since the frame shown
        // before it.
        if (!m.skip_pending && !m.marks_kept)
            std::memset(m.block_marks, 0, (m.luma_height / 16) * (m.luma_width / 16));
        m.marks_kept = 0;
        LetReaderIn(m, 75);
        DecodeVideo(m, frame, video_offset);
    }
    if (m.sound_track != -1) FeedSound(&m);

    m.rect_count = -1;
    m.frames_played += 1;
    EnsureClockBase(m);
    const uint32_t end = EngineClock();
    m.audio_ms += audio_end - m.decode_start_ms;
    m.decode_end_ms = end;
    m.video_ms += end - audio_end;
    m.decoded_frame = frame;
    m.previous_frame = frame;
    m.reader.engine_busy = 0;
    return 0;
}

int32_t SeekToFrame(Movie* movie, uint32_t frame) {
    if (!movie) return 0;
    Movie& m = *movie;
    if (m.read_error) return 1;
    frame = std::clamp<uint32_t>(frame, 1, m.frame_count);
    uint32_t key = frame;
    while (key > 1 && !(m.frame_index[key - 1] & 1)) --key;
    m.reader.engine_busy = 1;
    CloseIntervals(m, EngineClock());
    // The queue and the device start afresh from the new position.
    if (m.sound_track != -1 && m.sound_on) SetSoundOn(&m, 0);
    // One packet before the key frame primes the audio decoder, whose
    // blocks fade into each other; its picture is not needed.
    const uint32_t start = m.sound_track != -1 && key > 1 ? key - 1 : key;
    if (!m.skip_pending && !m.marks_kept)
        std::memset(m.block_marks, 0, (m.luma_height / 16) * (m.luma_width / 16));
    int32_t result = 0;
    for (uint32_t f = start; f < frame; ++f) {
        GotoFrame(&m, f);
        if (m.packet_short) {
            m.read_error = 1;
            result = 1;
            break;
        }
        const uint32_t video_offset = QueuePacketAudio(m, true);
        if (m.video_on && f >= key) DecodeVideo(m, f, video_offset);
    }
    if (result == 0) GotoFrame(&m, frame);
    // The next DoFrame decodes `frame` and queues its sound; the frames on
    // the way were decoded, not played: they count nowhere.
    m.decoded_frame = 0;
    m.marks_kept = 1;
    m.skip_pending = 0;
    m.seeks += 1;
    m.clock_base_ms.store(0, std::memory_order_release);
    if (m.sound_track != -1 && !m.sound_on && !m.sound_lost) SetSoundOn(&m, 1);
    m.reader.engine_busy = 0;
    return result;
}

void NextFrame(Movie* movie) {
    if (!movie) return;
    Movie& m = *movie;
    m.reader.engine_busy = 1;
    CloseBlitInterval(m, EngineClock());
    const uint32_t frame = m.current_frame.load(std::memory_order_relaxed);
    GotoFrame(&m, frame < m.frame_count ? frame + 1 : 1);
    m.reader.engine_busy = 0;
}

int32_t Pause(Movie* movie, int32_t on) {
    if (!movie) return 0;
    Movie& m = *movie;
    CloseIntervals(m, EngineClock());
    const uint32_t pause = on ? 1 : 0;
    if (!pause && m.paused) m.clock_base_ms.store(0, std::memory_order_release);
    m.paused = pause;
    if (m.sound_track != -1 && m.sound.set_paused) {
        // Calls on the device are serialised with FeedSound by the queue lock.
        LockRingWaiting(m);
        m.sound.set_paused(&m.sound, on);
        UnlockRing(m);
    }
    m.skip_pending = 0;
    if (m.frames_played != 0 && m.sound_track != -1) FeedSound(&m);
    return static_cast<int32_t>(m.paused);
}

}  // namespace zarn
