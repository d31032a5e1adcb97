// The decoded-audio queue of the playing track and the feeding of sound.
//
// DoFrame appends decoded 16-bit PCM to a ring; FeedSound moves it into the
// sound back end's device chunks, from the player's thread or the
// background thread. The ring's fields (ring_read, ring_write, ring_filled,
// sound_on) change only while `ring_lock` is held. The lock is a counter:
// the decoding side waits for it, the feeding side only tries.
#pragma once

#include <cstdint>

namespace zarn {

struct Movie;

// Takes ring_lock and waits (1 ms sleeps) until this holder is alone.
void LockRingWaiting(Movie& movie);
// Announces a holder without waiting; WaitRingExclusive completes the take.
void AnnounceRingLock(Movie& movie);
void WaitRingExclusive(Movie& movie);
// Takes ring_lock only when nobody holds it; false when given up.
bool TryLockRing(Movie& movie);
void UnlockRing(Movie& movie);

// Appends up to `bytes` of PCM at ring_write, wrapping at ring_end; an odd
// last byte is dropped so the ring keeps whole 16-bit samples. Returns the
// bytes appended (at most the room left). Caller holds ring_lock.
uint32_t AppendToRing(Movie& movie, const uint8_t* pcm, uint32_t bytes);

// Moves queued audio into the sound device as far as it takes it.
void FeedSound(Movie* movie);

// 16-bit signed samples to unsigned 8-bit: (s >> 8) + 128. Returns the end
// of the destination (bytes / 2 bytes written).
uint8_t* NarrowSamples(uint8_t* destination, const uint8_t* source, uint32_t bytes);

// Tops the queue up to prefill_bytes with silence played before the audio
// already queued. Caller holds ring_lock.
void PadSilence(Movie& movie);

// Switches the sound device on or off; returns the back end's answer.
// Off empties the queue; on (except at frame 1 and the last frame) queues
// prefill_bytes of silence and drops the timing base.
int32_t SetSoundOn(Movie* movie, int32_t on);

// Hands `volume` (on the back end's own scale) to the playing sound's
// device, serialised with feeding as every call on the device is.
void SetSoundVolume(Movie* movie, uint32_t volume);

// The reader's wait hook: keeps sound fed while the foreground waits.
void FeedSoundHook(Movie* movie);

}  // namespace zarn
