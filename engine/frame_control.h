// Frame control: the operations through which the player steps a movie one
// frame at a time, paced by the engine clock or by the playing sound.
//
// Per frame: poll ShouldWait until it returns 0; DoFrame; CopyToBuffer;
// GetRects and blit; NextFrame. Each accepts a null Movie and then returns
// 0 and does nothing.
#pragma once

#include <cstdint>

namespace zarn {

struct Movie;

// 1 while the next frame is not yet due (or the movie is paused), 0 when
// the caller should decode and show it now. While waiting, the reader gets
// one read-ahead step.
int32_t ShouldWait(Movie* movie);

// Decodes the current frame's audio into the queue and its video into the
// frame buffer that is not current, then flips the buffers. 0 normally
// (also when the frame was already decoded); 1 on a read error.
int32_t DoFrame(Movie* movie);

// Makes the next frame current; after the last, frame 1.
void NextFrame(Movie* movie);

// Positions the movie on `frame` (1-based, clamped to the movie) exactly:
// the frames from the key frame before it are decoded into the frame
// buffers without being counted, shown or heard, and the sound queue and
// device restart there. The next DoFrame decodes `frame` itself, with
// block marks covering everything changed since the frame shown before.
// 0 normally, 1 on a read error.
int32_t SeekToFrame(Movie* movie, uint32_t frame);

// on = 1 pauses, 0 resumes; returns the new paused value.
int32_t Pause(Movie* movie, int32_t on);

// Sleeps 1 ms when a background thread reads for this movie, no chunk is
// being read and the read-ahead holds less than `percent`: gives the
// thread room to read before the foreground works on.
void LetReaderIn(Movie& movie, uint32_t percent);

}  // namespace zarn
