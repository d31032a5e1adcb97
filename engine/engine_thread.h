// The engine's background thread: one per movie, keeping the read-ahead
// buffer filled and the sound fed while the player's thread decodes.
#pragma once

#include <cstdint>

namespace zarn {

struct Movie;
struct EngineThread;

using EngineThreadRoutine = void (*)(void* argument1, void* argument2);

// Starts routine(argument1, argument2) on a new thread. The record comes
// from the engine allocator; nullptr when the thread cannot be started.
EngineThread* StartEngineThread(EngineThreadRoutine routine, void* argument1, void* argument2);

// Waits for the routine to return and frees the record. Null is ignored.
void ReleaseEngineThread(EngineThread* thread);

// The routine open starts: while thread_state is 1, one reader step (unless
// the movie only feeds sound) and FeedSound every 10 ms. Sets thread_state
// to 2 when it ends.
void BackgroundLoop(void* movie, void* unused);

// Starts BackgroundLoop for the movie (thread_state 1). False on failure,
// with thread_state back at 0.
bool StartBackgroundThread(Movie& movie);

// Asks the thread to stop, waits until it has, and releases it.
void StopBackgroundThread(Movie& movie);

}  // namespace zarn
