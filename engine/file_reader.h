// FileReader: the engine's only access to a video file.
//
// Hands out frame packets from a read-ahead ring of 4096-byte chunks, or
// straight from the file, and fills the ring one chunk per background step.
// Two threads use it: the player's (every operation) and the background
// thread (ReaderStep). A foreground operation announces itself in `fg_lock`
// and waits until no background step runs; a background step announces
// itself in both counters and proceeds only when both read exactly 1.
// The ring's fill counters are atomic because the foreground takes bytes out
// of it without the lock while a background step adds a chunk.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/file_access.h"

namespace zarn {

struct Movie;
struct FileReader;

constexpr uint32_t kReaderChunk = 4096;

using ReaderReadOp = uint32_t (*)(FileReader* reader, uint32_t position, void* destination, uint32_t bytes);
using ReaderReadFrameOp = uint32_t (*)(FileReader* reader, uint32_t frame, uint32_t position,
                                       void* destination, uint32_t bytes);
using ReaderGrantSizeOp = uint32_t (*)(FileReader* reader, uint32_t requested);
using ReaderSetBufferOp = void (*)(FileReader* reader, uint8_t* buffer, uint32_t size, uint32_t file_length,
                                   uint32_t speed);
using ReaderStepOp = int32_t (*)(FileReader* reader);
using ReaderCloseOp = void (*)(FileReader* reader);

// A caller's access to a video instead of a descriptor: `read` returns the
// bytes it delivered (0 at the end, below 0 on an error) and `seek` goes to
// a position counted from the video's first byte, returning 0 on success.
struct ReaderCallbacks {
    int64_t (*read)(void* user, void* destination, uint32_t bytes) = nullptr;
    int32_t (*seek)(void* user, uint64_t position) = nullptr;
    void* user = nullptr;
};

// Position value meaning "continue where the last read ended".
constexpr uint32_t kReaderContinue = 0xFFFFFFFFu;

struct FileReader {
    ReaderReadOp read = nullptr;
    ReaderReadFrameOp read_frame = nullptr;
    ReaderGrantSizeOp grant_size = nullptr;
    ReaderSetBufferOp set_buffer = nullptr;
    ReaderStepOp step = nullptr;
    ReaderCloseOp close = nullptr;

    Movie* movie = nullptr;
    // Called while the foreground waits for a background step, so sound
    // stays fed during long reads (installed by the engine when sound plays).
    void (*wait_hook)(Movie* movie) = nullptr;

    std::atomic<uint32_t> read_error{0};
    // Set when the movie closes: a throttled read stops waiting, so a slow
    // simulated speed cannot hold up the close.
    std::atomic<uint32_t> closing{0};
    std::atomic<uint32_t> reading_now{0};
    std::atomic<uint32_t> total_bytes{0};
    std::atomic<uint32_t> engine_busy{0};
    std::atomic<uint32_t> read_ms{0};
    std::atomic<uint32_t> foreground_ms{0};
    std::atomic<uint32_t> idle_ms{0};
    std::atomic<uint32_t> background_ms{0};
    uint32_t buffer_size = 0;
    std::atomic<uint32_t> highest_held{0};
    std::atomic<uint32_t> usable{0};
    std::atomic<uint32_t> held{0};
    NativeFile handle = kNoFile;
    ReaderCallbacks callbacks;  // used instead of `handle` when `read` is set
    uint32_t file_pos = 0;
    uint32_t stream_pos = 0;
    uint8_t* read_ptr = nullptr;
    std::atomic<uint32_t> free{0};
    std::atomic<int32_t> fg_lock{0};
    std::atomic<int32_t> bg_lock{0};
    uint8_t* ring_start = nullptr;
    uint8_t* ring_end = nullptr;
    uint8_t* write_ptr = nullptr;
    uint32_t handle_given = 0;
    uint64_t base_offset = 0;
    uint32_t file_length = 0;
    uint32_t speed = 0;
    int32_t speed_debt = 0;
};

// Opening flag: the source is an open descriptor positioned at the video.
constexpr uint32_t kOpenFromHandle = 0x800000;

// Source of a reader: a file name, an open file positioned at the video
// (with kOpenFromHandle) or the caller's callbacks (when given; the caller
// keeps them valid).
struct ReaderSource {
    const char* name = nullptr;
    NativeFile fd = kNoFile;
    const ReaderCallbacks* callbacks = nullptr;
};

// Clears the record, opens the source and fills the six operations.
// Returns false when the file cannot be opened.
bool ReaderOpen(FileReader* reader, const ReaderSource& source, uint32_t flags);

// Read-ahead fill in percent: (held + 1) * 100 / (usable + 1).
uint32_t ReaderFillPercent(const FileReader& reader);

}  // namespace zarn
