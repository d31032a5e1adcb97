// Movie: the record of one open video, and the engine's open and close.
//
// OpenMovie reads the header, the audio track tables and the frame index,
// puts every buffer playback needs into a few aligned blocks, chooses a
// read-ahead size, optionally loads the whole file and positions the stream
// on frame 1. Every other engine operation takes the Movie it returns.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "engine/file_reader.h"
#include "format/zarn_format.h"
#include "engine/sound_output.h"
#include "format/zarn_format.h"

namespace zarn {

struct AudioDecoder;
struct ChromaThread;
struct EngineThread;

// A rectangle of the output picture, in pixels.
struct Rect {
    int32_t x, y, w, h;
};

constexpr int kMaxRects = 8;
constexpr int kHistoryArrays = 7;

struct Movie {
    uint32_t width = 0, height = 0;  // output size (doubled by the display option)
    uint32_t frame_count = 0;
    std::atomic<uint32_t> current_frame{0};  // 1-based frame whose packet is loaded
    uint32_t previous_frame = 0;
    uint32_t rate_num = 0, rate_den = 0;  // effective frame rate
    uint32_t read_error = 0;
    uint32_t flags = 0;
    uint32_t header_flags = 0;
    char version = 0;  // the header's version letter
    uint32_t size_field = 0;

    // Frame statistics and state.
    Rect rects[kMaxRects] = {};
    int32_t rect_count = 0;
    uint32_t current_buffer = 0;
    uint32_t frames_played = 0;
    uint32_t play_start_ms = 0;
    uint32_t decode_start_ms = 0;
    uint32_t decode_end_ms = 0;
    std::atomic<uint32_t> clock_base_ms{0};
    uint32_t clock_base_frame = 0;
    uint32_t frame_start_ms = 0;
    uint32_t slowest_ms = 0, slowest_frame = 0;
    uint32_t second_slowest_ms = 0, second_slowest_frame = 0;
    uint32_t video_ms = 0, audio_ms = 0, blit_ms = 0;
    uint32_t last_copy_flags = 0;
    uint32_t decoded_frame = 0;
    uint32_t frame_damaged = 0;  // 1 when the last decoded frame was abandoned in part
    uint32_t skip_pending = 0;
    uint32_t skipped_blits = 0;
    std::atomic<uint32_t> sound_skips{0};
    std::atomic<uint32_t> next_sound_skip_ms{0};

    uint8_t* frame_buffers[2] = {};
    uint8_t* alpha_planes[2] = {};
    uint32_t luma_width = 0, luma_height = 0;
    uint32_t chroma_width = 0, chroma_height = 0;
    uint8_t* block_marks = nullptr;  // mb_count bytes, then a 0 byte
    uint32_t mb_cols = 0, mb_count = 0;
    uint32_t largest_frame = 0, index_count = 0, audio_tracks = 0;
    uint32_t default_read_ahead = 0, densest_second = 0;
    uint32_t all_key_frames = 0;
    uint32_t paused = 0;
    EngineThread* reader_thread = nullptr;
    const uint8_t* packet = nullptr;     // the current frame's packet
    uint32_t packet_bytes = 0;           // its length
    uint32_t packet_short = 0;           // 1 when the file ended before the packet did
    uint32_t marks_kept = 0;             // 1: the next DoFrame keeps the block marks (after a seek)
    uint32_t seeks = 0;                  // seeks since open
    uint32_t preloaded_bytes = 0;        // bytes of `preloaded` that the file delivered
    uint8_t* packet_buffer = nullptr;    // where the reader puts packets when streaming
    const uint8_t* preloaded = nullptr;  // the frame data in memory, or none when streaming
    const uint32_t* frame_index = nullptr;
    FileReader reader;
    uint8_t* read_ahead_buffer = nullptr;
    uint32_t read_ahead_size = 0;
    uint32_t source_width = 0, source_height = 0;
    int32_t sound_track = -1;
    const uint32_t* track_buffer_size = nullptr;
    const uint32_t* track_format = nullptr;
    const uint32_t* track_id = nullptr;
    uint32_t late_limit_ms = 0;
    uint32_t sound_on = 0;
    // 1 once the device refused to switch the sound back on: the movie
    // plays on paced by the clock, as a silent one.
    uint32_t sound_lost = 0;
    uint32_t video_on = 0;
    uint32_t memory_used = 0;
    uint32_t open_time_ms = 0;
    uint32_t source_rate_num = 0, source_rate_den = 0;
    std::atomic<uint32_t> thread_state{0};  // 1 run, 0 stop asked, 2 stopped
    // 1 when the background thread steps the reader, 0 when it only feeds
    // sound; fixed before the thread starts (the player may change `flags`).
    uint32_t background_reads = 0;
    uint32_t frames_per_second = 0;
    uint32_t history_shift = 0;
    uint32_t* second_history[kHistoryArrays] = {};

    // Decoded-audio ring of the playing track, guarded by ring_lock.
    uint32_t ring_size = 0;
    uint8_t* ring_start = nullptr;
    uint8_t* ring_end = nullptr;
    uint8_t* ring_read = nullptr;
    uint8_t* ring_write = nullptr;
    AudioDecoder* audio_decoder = nullptr;
    uint32_t ring_filled = 0;
    std::atomic<int32_t> ring_lock{0};
    uint32_t to_8bit = 0;
    SoundOutput sound;
    uint32_t audio_end_frame = 0;
    // 1 once the last frame's audio is queued (or a read error ends the
    // movie): no more audio comes, so a queue shorter than a chunk goes out.
    // Set by DoFrame, cleared by GotoFrame when frames before the last
    // follow; FeedSound may read it on the background thread.
    std::atomic<uint32_t> audio_all_queued{0};
    uint32_t prefill_bytes = 0;
    uint8_t* bundle_buffers[kBundleCount] = {};
    // The second decoding thread (SetDecodeThreads), or none.
    ChromaThread* chroma_thread = nullptr;

    // Where the movie came from.
    uint32_t from_memory = 0;
    uint8_t* data_block = nullptr;  // the read-ahead or whole-file block
    uint32_t file_length = 0;       // size_field + 8
};

// Opens a video by file name.
Movie* OpenMovie(const char* file_name, uint32_t flags);
// Opens a video from an open file positioned at its first byte (the file
// stays open and is not closed by CloseMovie).
Movie* OpenMovieFromHandle(NativeFile file, uint32_t flags);
// Opens a video read through the caller's callbacks, positioned at its
// first byte (they are copied; their `user` must outlive the movie).
Movie* OpenMovieFromCallbacks(const ReaderCallbacks& callbacks, uint32_t flags);
// Opens a complete file image of `size` bytes held in memory; the image must
// outlive the movie.
Movie* OpenMovieFromImage(const uint8_t* image, size_t size, uint32_t flags);

// Ends playback and frees everything open allocated. Null is ignored.
void CloseMovie(Movie* movie);

// Decodes each frame's video on `threads` threads: 1, or 2 to decode the
// chroma planes beside luma where the packet says where they start (more
// are taken as 2). The picture is the same either way. The second thread
// lives until the movie closes or is set back to 1; false when it cannot be
// started (decoding stays on one thread).
bool SetDecodeThreads(Movie* movie, uint32_t threads);

// Bytes of one frame buffer: luma plus two chroma planes.
uint32_t FrameBufferBytes(const Movie& movie);

}  // namespace zarn
