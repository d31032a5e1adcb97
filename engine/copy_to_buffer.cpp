#include "engine/copy_to_buffer.h"

#include "convert/copy_frame.h"
#include "engine/audio_queue.h"
#include "engine/engine_clock.h"
#include "engine/frame_control.h"
#include "engine/movie.h"
#include "engine/timing.h"

namespace zarn {
namespace {

enum class Lateness { kOnTime, kLateCopy, kSkip };

// Reader steps while the read-ahead holds less than `percent` (a step that
// finds nothing to read ends it early), feeding sound when `feed`.
void RefillReader(Movie& m, uint32_t percent, bool feed) {
    while (ReaderFillPercent(m.reader) < percent) {
        if (feed && m.sound_track != -1) FeedSound(&m);
        if (m.reader.step(&m.reader) == 0) break;
    }
}

// After a device underrun between frame 2 and the end of the audio: off,
// refill the read-ahead, pad with silence and on again with a new base.
void RestartSound(Movie& m) {
    const uint32_t frame = m.current_frame.load(std::memory_order_relaxed);
    if (!(1 < frame && frame <= m.audio_end_frame)) return;
    SetSoundOn(&m, 0);
    AnnounceRingLock(m);
    if (!m.preloaded) RefillReader(m, 90, false);
    WaitRingExclusive(m);
    m.sound_skips.fetch_add(1, std::memory_order_relaxed);
    PadSilence(m);
    m.clock_base_ms.store(0, std::memory_order_release);
    UnlockRing(m);
    SetSoundOn(&m, 1);
}

// Playback paced by a sound track: decides whether this copy is made.
Lateness CheckLateness(Movie& m, uint32_t merged_flags) {
    if (!PacedBySound(m) || m.rate_num == 0 || m.paused) return Lateness::kOnTime;
    const uint32_t base = EnsureClockBase(m);
    const uint32_t elapsed = EngineClock() - base;
    const uint64_t due = FrameDueMs(m);
    if (elapsed < due || elapsed - due <= m.late_limit_ms) {
        m.skip_pending = 0;
        return Lateness::kOnTime;
    }
    if ((merged_flags | m.flags) & kFlagNeverSkip) return Lateness::kLateCopy;
    m.skipped_blits += 1;
    m.skip_pending = 1;
    if (m.preloaded || ReaderFillPercent(m.reader) >= 10) return Lateness::kSkip;
    // The reader is starved: let it catch up before the next frame.
    m.reader.engine_busy = 0;
    RefillReader(m, 40, true);
    if (m.sound.underrun.exchange(0) != 0) RestartSound(m);
    return Lateness::kSkip;
}

}  // namespace

int32_t CopyToBuffer(Movie* movie, uint8_t* buffer, int32_t pitch, uint32_t buffer_height, uint32_t x,
                     uint32_t y, uint32_t copy_flags) {
    if (!movie || !buffer) return 0;
    Movie& m = *movie;
    m.reader.engine_busy = 1;
    const uint32_t merged = MergeCopyFlags(copy_flags, m.flags);
    m.last_copy_flags = merged;
    if (m.sound_track != -1) FeedSound(&m);
    const Lateness late = CheckLateness(m, merged);
    if (late == Lateness::kSkip) {
        m.reader.engine_busy = 0;
        return 1;
    }
    LetReaderIn(m, 75);
    const uint32_t shown = m.current_buffer;
    const FrameSource source{
        m.frame_buffers[shown], m.alpha_planes[shown], m.block_marks, m.mb_cols,    m.mb_count,
        m.source_width,         m.source_height,       m.luma_width,  m.luma_height};
    CopyFrame(source, buffer, pitch, buffer_height, x, y, merged);
    if (m.sound_track != -1) FeedSound(&m);
    m.reader.engine_busy = 0;
    return late == Lateness::kLateCopy ? 1 : 0;
}

}  // namespace zarn
