#include "engine/audio_queue.h"

#include <algorithm>
#include <cstring>

#include "engine/engine_clock.h"
#include "engine/movie.h"

namespace zarn {
namespace {

// A ring position equal to ring_end stands for ring_start.
uint8_t* Wrapped(const Movie& m, uint8_t* position) {
    return position == m.ring_end ? m.ring_start : position;
}

// Copies `bytes` queued bytes from ring_read into `out` (narrowed to 8 bits
// when the device wants them), advancing ring_read with wrap-around.
void TakeFromRing(Movie& m, uint8_t* out, uint32_t bytes) {
    uint8_t* r = Wrapped(m, m.ring_read);
    const uint32_t to_end = static_cast<uint32_t>(m.ring_end - r);
    const uint32_t first = std::min(bytes, to_end);
    auto put = [&](const uint8_t* from, uint32_t n) {
        if (m.to_8bit)
            out = NarrowSamples(out, from, n);
        else {
            std::memcpy(out, from, n);
            out += n;
        }
    };
    put(r, first);
    r += first;
    if (bytes > first) {
        put(m.ring_start, bytes - first);
        r = m.ring_start + (bytes - first);
    }
    m.ring_read = r;
}

}  // namespace

void LockRingWaiting(Movie& m) {
    AnnounceRingLock(m);
    WaitRingExclusive(m);
}

void AnnounceRingLock(Movie& m) { m.ring_lock.fetch_add(1, std::memory_order_acq_rel); }

void WaitRingExclusive(Movie& m) {
    while (m.ring_lock.load(std::memory_order_acquire) != 1) EngineSleep(1);
}

bool TryLockRing(Movie& m) {
    if (m.ring_lock.fetch_add(1, std::memory_order_acq_rel) + 1 == 1) return true;
    m.ring_lock.fetch_sub(1, std::memory_order_release);
    return false;
}

void UnlockRing(Movie& m) { m.ring_lock.fetch_sub(1, std::memory_order_release); }

uint32_t AppendToRing(Movie& m, const uint8_t* pcm, uint32_t bytes) {
    const uint32_t room = m.ring_size - m.ring_filled;
    const uint32_t n = std::min(bytes, room) & ~1u;
    if (n == 0) return 0;
    uint8_t* w = Wrapped(m, m.ring_write);
    const uint32_t first = std::min(n, static_cast<uint32_t>(m.ring_end - w));
    std::memcpy(w, pcm, first);
    w += first;
    if (n > first) {
        std::memcpy(m.ring_start, pcm + first, n - first);
        w = m.ring_start + (n - first);
    }
    m.ring_write = w;
    m.ring_filled += n;
    return n;
}

uint8_t* NarrowSamples(uint8_t* destination, const uint8_t* source, uint32_t bytes) {
    for (uint32_t i = 0; i < bytes / 2; ++i) {
        // Little-endian signed sample; its high byte shifted arithmetically.
        const auto high = static_cast<int8_t>(source[2 * i + 1]);
        *destination++ = static_cast<uint8_t>(high + 128);
    }
    return destination;
}

void PadSilence(Movie& m) {
    if (m.ring_filled >= m.prefill_bytes) return;
    const uint32_t g = m.prefill_bytes - m.ring_filled;
    // Move ring_read back by g, wrapping below ring_start to the end.
    const uint32_t offset = static_cast<uint32_t>(Wrapped(m, m.ring_read) - m.ring_start);
    const uint32_t back = offset >= g ? offset - g : m.ring_size - (g - offset);
    m.ring_read = m.ring_start + back;
    const uint32_t first = std::min(g, m.ring_size - back);
    std::memset(m.ring_read, 0, first);
    if (g > first) std::memset(m.ring_start, 0, g - first);
    m.ring_filled += g;
}

void FeedSound(Movie* movie) {
    if (!movie) return;
    Movie& m = *movie;
    SoundOutput& s = m.sound;
    if (!s.ready || !m.ring_start) return;
    if (!TryLockRing(m)) return;
    while (s.ready(&s)) {
        const uint32_t frame = m.current_frame.load(std::memory_order_relaxed);
        if (m.ring_filled <= s.chunk_bytes) {
            // Until the movie's audio is all queued, a short queue waits for
            // more: a part-filled chunk would be padded with silence. Then
            // the tail goes out even when shorter.
            if (!(m.audio_all_queued.load(std::memory_order_acquire) && m.ring_filled > 0)) break;
        }
        if (s.underrun.exchange(0) != 0) {
            const uint32_t now = EngineClock();
            if (1 < frame && frame <= m.audio_end_frame &&
                now > m.next_sound_skip_ms.load(std::memory_order_relaxed)) {
                m.sound_skips.fetch_add(1, std::memory_order_relaxed);
                PadSilence(m);
                m.clock_base_ms.store(0, std::memory_order_release);  // re-time to the sound
                m.next_sound_skip_ms.store(now + 750, std::memory_order_relaxed);
            }
        }
        uint8_t* chunk = nullptr;
        uint32_t size = 0;
        // A back end that hands out no chunk (or an empty one) while saying
        // it is ready would keep this loop spinning: stop instead.
        if (!s.get_buffer(&s, &chunk, &size) || !chunk || size == 0) break;
        uint32_t n = m.to_8bit ? size * 2 : size;
        n = std::min(n, m.ring_filled);
        if (m.to_8bit) n &= ~1u;
        if (n == 0) break;
        m.ring_filled -= n;
        TakeFromRing(m, chunk, n);
        s.commit(&s, m.to_8bit ? n / 2 : n);
    }
    UnlockRing(m);
}

void FeedSoundHook(Movie* movie) {
    if (movie && movie->sound_track != -1) FeedSound(movie);
}

void SetSoundVolume(Movie* movie, uint32_t volume) {
    if (!movie || movie->sound_track == -1 || !movie->sound.set_volume) return;
    LockRingWaiting(*movie);
    movie->sound.set_volume(&movie->sound, volume);
    UnlockRing(*movie);
}

int32_t SetSoundOn(Movie* movie, int32_t on) {
    if (!movie || movie->sound_track == -1 || !movie->sound.set_on) return 0;
    Movie& m = *movie;
    // The device is switched under the lock too, so that no FeedSound on the
    // background thread talks to it meanwhile.
    LockRingWaiting(m);
    const int32_t r = m.sound.set_on(&m.sound, on);
    if (r == 0 && m.sound_on) {
        m.ring_read = m.ring_write = m.ring_start;
        m.ring_filled = 0;
        m.sound_on = 0;
    } else if (r == 1 && !m.sound_on) {
        const uint32_t frame = m.current_frame.load(std::memory_order_relaxed);
        if (frame != 1 && frame != m.index_count && m.ring_start) {
            std::memset(m.ring_start, 0, m.prefill_bytes);
            m.ring_filled = m.prefill_bytes;
            m.ring_read = m.ring_start;
            m.ring_write = m.ring_start + m.prefill_bytes;
        }
        m.sound_on = 1;
        m.clock_base_ms.store(0, std::memory_order_release);
    } else if (on && r != 1 && !m.sound_lost) {
        // Waiting for a sound that never comes back would freeze playback:
        // go on paced by the clock, and count the fault as a sound skip.
        m.sound_lost = 1;
        m.sound_skips.fetch_add(1, std::memory_order_relaxed);
        m.clock_base_ms.store(0, std::memory_order_release);
    }
    UnlockRing(m);
    return r;
}

}  // namespace zarn
