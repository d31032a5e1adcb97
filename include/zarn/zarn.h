/* libzarn: decoding Zarn videos (.zrn) from C and from other languages.
 *
 * A movie is an opaque handle. Open it from a path, a descriptor, memory or
 * the caller's read and seek callbacks; read its facts; decode its frames
 * one after another (zarn_decode_frame), then take each picture either
 * converted into the caller's buffer (zarn_copy_frame) or as the decoded
 * planes (zarn_get_planes); pull the decoded sound of one audio track as
 * interleaved 16-bit PCM (zarn_read_audio); seek to any frame.
 *
 * Frames are numbered from 0. Every call that can fail returns a
 * zarn_status; zarn_error_text() tells more. Nothing is printed and the
 * process is never ended by the library.
 *
 * Threads: different handles may be used in different threads at the same
 * time. One handle must not be used by two threads at once.
 */
#ifndef ZARN_ZARN_H
#define ZARN_ZARN_H

#include <stddef.h>
#include <stdint.h>

#if defined(ZARN_BUILDING_LIBRARY) && defined(__GNUC__)
#define ZARN_API __attribute__((visibility("default")))
#else
#define ZARN_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The version of this header; zarn_version() gives the library's. */
#define ZARN_VERSION_MAJOR 1
#define ZARN_VERSION_MINOR 0
#define ZARN_VERSION_PATCH 0

/* The library's version as (major << 16) | (minor << 8) | patch. */
ZARN_API uint32_t zarn_version(void);
/* The library's version as text, "1.0.0". */
ZARN_API const char* zarn_version_text(void);

typedef enum zarn_status {
    ZARN_OK = 0,
    /* zarn_decode_frame: every frame has been decoded. */
    ZARN_END_OF_FILE = 1,
    /* A null handle or pointer, or a value out of its range. */
    ZARN_ERROR_BAD_ARGUMENT = -1,
    ZARN_ERROR_OUT_OF_MEMORY = -2,
    /* The file or descriptor cannot be opened. */
    ZARN_ERROR_OPEN = -3,
    /* The data does not start like a Zarn file. */
    ZARN_ERROR_NOT_ZARN = -4,
    /* The file holds no frames yet. */
    ZARN_ERROR_NO_FRAMES = -5,
    /* The header, the track tables or the frame index cannot be used. */
    ZARN_ERROR_CORRUPT_FILE = -6,
    /* A frame could not be read: the file ends early or a read failed.
       Every later decode reports it again. */
    ZARN_ERROR_READ = -7,
    /* The frame's data was damaged and part of the picture was abandoned.
       What was decoded is the current picture; decoding may go on. */
    ZARN_ERROR_CORRUPT_FRAME = -8,
    /* No frame has been decoded yet (zarn_copy_frame, zarn_get_planes). */
    ZARN_ERROR_NO_FRAME = -9
} zarn_status;

/* A short fixed text for a status, e.g. "end of file". Never null. */
ZARN_API const char* zarn_status_text(zarn_status status);

typedef struct zarn_movie zarn_movie;

/* ---- Opening and closing ------------------------------------------------ */

/* Open flags (bits may be combined). */
#define ZARN_OPEN_ALPHA 0x1u   /* decode the alpha plane, when the file has one */
#define ZARN_OPEN_GREY 0x2u    /* decode and convert luma only */
#define ZARN_OPEN_PRELOAD 0x4u /* read the whole file into memory while opening */
#define ZARN_OPEN_FACTS_ONLY \
    0x8u /* read only the header and the index while
   opening, not the first frames' data: quicker when only the facts are
   wanted; frames still decode, their data read as they come */
/* Display option n (1-6 double rows, columns or both; 7 forces none; 0, the
   default, takes the file's own): sets the output size of zarn_copy_frame. */
#define ZARN_OPEN_DISPLAY_OPTION(n) ((uint32_t)((n)&7u) << 8)

/* Opens the file at `path`. On success *movie is the new handle; on failure
   it is set to NULL and zarn_error_text(NULL) tells why. */
ZARN_API zarn_status zarn_open_file(const char* path, uint32_t flags, zarn_movie** movie);

/* Opens a video that starts `offset` bytes into the open descriptor `fd`
   (a file holding other data around it). The movie reads and moves `fd`
   until it is closed; zarn_close does not close `fd`. */
ZARN_API zarn_status zarn_open_fd(int fd, uint64_t offset, uint32_t flags, zarn_movie** movie);

/* Opens a complete Zarn file held in memory. The bytes are used in place:
   they must stay unchanged until the movie is closed. */
ZARN_API zarn_status zarn_open_memory(const void* data, size_t size, uint32_t flags, zarn_movie** movie);

/* The caller's access to a video. Positions count from the video's first
   byte. `read` returns the bytes it stored (fewer only at the end of the
   data), 0 at the end, or a negative value on an error; `seek` returns 0 on
   success. Both are called only from inside calls on this movie. */
typedef struct zarn_io {
    int64_t (*read)(void* user, void* buffer, size_t bytes);
    int (*seek)(void* user, uint64_t position);
    void* user;
} zarn_io;

/* Opens a video read through `io` (copied; `io->user` must stay valid until
   the movie is closed). `read` and `seek` are both required. */
ZARN_API zarn_status zarn_open_io(const zarn_io* io, uint32_t flags, zarn_movie** movie);

/* Closes the movie and frees everything it holds. NULL is ignored. */
ZARN_API void zarn_close(zarn_movie* movie);

/* Decodes the movie's pictures on `threads` threads (1 after open): with 2
   (or more, taken as 2) a second thread, started by this call and ended by
   zarn_close or a call with 1, decodes each frame's chroma planes beside
   its luma plane, on files whose frames say where their chroma data starts
   (version "i"); other frames are decoded on one thread. The pictures, and
   which frames are ZARN_ERROR_CORRUPT_FRAME, are the same either way.
   ZARN_ERROR_BAD_ARGUMENT for a NULL movie or 0 threads,
   ZARN_ERROR_OUT_OF_MEMORY when the thread cannot be started (decoding
   stays on one thread). */
ZARN_API zarn_status zarn_set_threads(zarn_movie* movie, uint32_t threads);

/* The text of the movie's last failed call, or "" when none failed. With
   NULL: the text of the last failed open in the calling thread. */
ZARN_API const char* zarn_error_text(const zarn_movie* movie);

/* ---- What the file holds ------------------------------------------------ */

typedef struct zarn_info {
    char version;                         /* the format's version letter, 'f' to 'i' */
    uint32_t file_size;                   /* bytes, as the header gives them */
    uint32_t width, height;               /* the picture */
    uint32_t output_width, output_height; /* after the display option */
    uint32_t display_option;              /* 0-7, the one in effect */
    uint32_t frame_count;
    uint32_t key_frames;
    uint32_t rate_num, rate_den; /* frames per second as a fraction */
    uint32_t largest_frame;      /* bytes of the largest frame */
    uint32_t read_ahead;         /* bytes that hold the densest second */
    uint32_t densest_second;     /* the first frame of that second */
    int has_alpha;               /* the file carries an alpha plane */
    int grey_scale;              /* the file is luma only */
    uint32_t audio_tracks;
    uint32_t video_flags; /* the header's flag word, as stored */
} zarn_info;

typedef struct zarn_track_info {
    uint32_t id;
    uint32_t rate;        /* samples per second */
    uint32_t channels;    /* 1 or 2 */
    uint32_t bits;        /* 8 or 16, as stored; zarn_read_audio gives 16 */
    uint32_t buffer_size; /* bytes of decoded sound the track asks to buffer */
    int has_audio;        /* 0: the track holds no sound */
} zarn_track_info;

/* Fills *info with what `zarn info` prints about the file. */
ZARN_API zarn_status zarn_get_info(const zarn_movie* movie, zarn_info* info);
/* Facts of audio track `index` (0 to audio_tracks - 1). */
ZARN_API zarn_status zarn_get_track_info(const zarn_movie* movie, uint32_t index, zarn_track_info* track);

/* ---- Decoding ----------------------------------------------------------- */

/* Decodes the next frame (the first after opening, the one sought after
   zarn_seek) and, when a track is chosen, its sound. Returns ZARN_OK,
   ZARN_END_OF_FILE after the last frame, ZARN_ERROR_CORRUPT_FRAME (the
   frame is current all the same) or ZARN_ERROR_READ. */
ZARN_API zarn_status zarn_decode_frame(zarn_movie* movie);

/* 1 when `frame` is a key frame (it decodes without the frames before it),
   0 when it is not, -1 for a NULL movie or a frame out of range. */
ZARN_API int zarn_is_key_frame(const zarn_movie* movie, uint32_t frame);

/* The number of the current (last decoded) frame, or -1 before the first. */
ZARN_API int64_t zarn_current_frame(const zarn_movie* movie);

/* Positions the movie so that the next zarn_decode_frame gives `frame`
   exactly: the frames from the key frame at or before it are decoded on
   the way (their sound is dropped and the sound decoder starts afresh). */
ZARN_API zarn_status zarn_seek(zarn_movie* movie, uint32_t frame);

/* Pixel formats of zarn_copy_frame. */
typedef enum zarn_format {
    ZARN_FORMAT_PALETTE = 0,  /* palette indexes: no conversion makes them; refused */
    ZARN_FORMAT_BGR24 = 1,    /* bytes B, G, R */
    ZARN_FORMAT_RGB24 = 2,    /* bytes R, G, B */
    ZARN_FORMAT_BGRX32 = 3,   /* bytes B, G, R, 0 */
    ZARN_FORMAT_RGBX32 = 4,   /* bytes R, G, B, 0 */
    ZARN_FORMAT_BGRA32 = 5,   /* bytes B, G, R, alpha (0 without alpha) */
    ZARN_FORMAT_RGBA32 = 6,   /* bytes R, G, B, alpha (0 without alpha) */
    ZARN_FORMAT_ARGB4444 = 7, /* 16-bit little-endian words from here on */
    ZARN_FORMAT_ARGB1555 = 8,
    ZARN_FORMAT_RGB555 = 9,
    ZARN_FORMAT_RGB565 = 10,
    ZARN_FORMAT_RGB655 = 11,
    ZARN_FORMAT_RGB664 = 12,
    ZARN_FORMAT_YUY2 = 13, /* packed Y, U, Y, V */
    ZARN_FORMAT_UYVY = 14, /* packed U, Y, V, Y */
    ZARN_FORMAT_YV12 = 15  /* planes Y, then V, then U at half size */
} zarn_format;

/* Bytes of a buffer that holds one output-size frame in `format` with no
   gap between rows; *pitch (when not NULL) receives its row pitch (for YV12
   the luma pitch; the chroma planes follow at half of it). 0 for a format
   that is refused or out of range, or a NULL movie. */
ZARN_API size_t zarn_frame_bytes(const zarn_movie* movie, zarn_format format, int32_t* pitch);

/* Copy flags. */
#define ZARN_COPY_CHANGED_ONLY \
    0x1u                     /* write only the blocks that changed
   since the previous frame, when the movie's last copy put that frame into
   this same buffer, format and pitch (else the whole frame is written) */
#define ZARN_COPY_PLAIN 0x2u /* use the plain conversion routines */

/* Converts the current frame into `buffer` at the output size: rows of
   `pitch` bytes, a negative pitch for a bottom-up buffer (`buffer` is then
   its lowest address; the buffer holds output_height rows either way). */
ZARN_API zarn_status zarn_copy_frame(zarn_movie* movie, zarn_format format, void* buffer, int32_t pitch,
                                     uint32_t flags);

/* zarn_get_planes fills *planes with the current frame's decoded planes at
   the picture size: Y, U (Cb), V (Cr) at half size rounded up, and the
   alpha plane (NULL unless opened with ZARN_OPEN_ALPHA on a file that has
   one). The pointers stay valid until the next decode, seek or close. */
typedef struct zarn_planes {
    const uint8_t* y;
    const uint8_t* u;
    const uint8_t* v;
    const uint8_t* a;
    int32_t y_stride, uv_stride, a_stride;
    uint32_t width, height;
    uint32_t chroma_width, chroma_height;
} zarn_planes;

ZARN_API zarn_status zarn_get_planes(const zarn_movie* movie, zarn_planes* planes);

#define ZARN_MAX_RECTS 8
#define ZARN_RECTS_ONE 0x1u /* one rectangle around every change */

typedef struct zarn_rect {
    int32_t x, y, w, h;
} zarn_rect;

/* Up to ZARN_MAX_RECTS rectangles (output pixels, at the scale of the last
   copy) that cover every 16 x 16 block the current frame changed. They are
   worked out once per frame: the first call's flags decide. Returns their
   count, 0 when nothing changed or nothing is decoded, -1 for a bad
   argument. */
ZARN_API int32_t zarn_get_changed_rects(zarn_movie* movie, zarn_rect rects[ZARN_MAX_RECTS], uint32_t flags);

/* ---- Sound -------------------------------------------------------------- */

/* Chooses the audio track (0 to audio_tracks - 1) whose sound the frames
   decoded from now on deliver; -1 (the default) decodes none. Drops sound
   not yet read. ZARN_ERROR_BAD_ARGUMENT for a track that holds no sound. */
ZARN_API zarn_status zarn_select_audio_track(zarn_movie* movie, int32_t track);

/* Moves up to `max_samples` 16-bit samples (channels interleaved) of the
   decoded frames' sound into `samples`; *count receives how many. Sound
   waits in the movie until read, so read it after each frame. */
ZARN_API zarn_status zarn_read_audio(zarn_movie* movie, int16_t* samples, size_t max_samples, size_t* count);

/* ---- Statistics --------------------------------------------------------- */

/* Figures of the decoding so far (times in milliseconds). */
typedef struct zarn_summary {
    uint32_t width, height;
    uint32_t play_ms;
    uint32_t source_rate_num, source_rate_den;
    uint32_t play_rate_num, play_rate_den;
    uint32_t open_ms;
    uint32_t total_frames, frames_played, skipped_frames;
    uint32_t skipped_blits, sound_skips;
    uint32_t blit_ms, read_ms, video_ms, audio_ms, idle_read_ms, background_read_ms;
    uint32_t device_speed; /* bytes per second */
    uint32_t slowest_ms, second_slowest_ms, slowest_frame, second_slowest_frame;
    uint32_t average_data_rate, average_frame_bytes;
    uint32_t memory_used, input_memory, highest_input_memory;
    uint32_t peak_data_rate, peak_data_rate_frame;
} zarn_summary;

/* Figures over the last `window` frames. */
typedef struct zarn_realtime_stats {
    uint32_t frame;
    uint32_t rate_num, rate_den;
    uint32_t window;  /* frames */
    uint32_t span_ms; /* never 0 */
    uint32_t video_ms, audio_ms, read_ms, idle_read_ms, background_read_ms, blit_ms;
    uint32_t read_ahead_size, read_ahead_held;
    uint32_t data_rate; /* bytes per second */
} zarn_realtime_stats;

/* Fills *summary with the figures of the frames decoded so far. */
ZARN_API zarn_status zarn_get_summary(zarn_movie* movie, zarn_summary* summary);
/* Fills *stats with the figures over the last `window` frames; 0 takes the
   default (about one second of frames). */
ZARN_API zarn_status zarn_get_realtime_stats(zarn_movie* movie, zarn_realtime_stats* stats, uint32_t window);

/* ---- Packet-level decoding ------------------------------------------- */

/* For programs that read the container themselves (a demultiplexer in a
   media framework): the header's fields, a frame packet's parts, and
   decoders that take one frame's data at a time. */

#define ZARN_HEADER_BYTES 44

typedef struct zarn_header {
    char version;        /* 'f' to 'i' */
    uint32_t size_field; /* the file's length minus 8 */
    uint32_t frame_count;
    uint32_t largest_frame;
    uint32_t index_count; /* index entries before the end entry */
    uint32_t width, height;
    uint32_t rate_num, rate_den;
    uint32_t video_flags; /* as stored; hand them to the video decoder */
    uint32_t audio_tracks;
    uint64_t data_start; /* offset of the first frame packet */
} zarn_header;

/* Reads the first ZARN_HEADER_BYTES bytes of a file. ZARN_ERROR_NOT_ZARN
   for another signature, ZARN_ERROR_NO_FRAMES for no frames,
   ZARN_ERROR_CORRUPT_FILE for fields playback cannot rely on. */
ZARN_API zarn_status zarn_parse_header(const void* bytes, size_t size, zarn_header* header);

/* The audio data of track `track` (0 to tracks - 1) in a frame packet:
   *data and *size get the track's bytes (size 0 when the track has none in
   this packet); *video_offset (may be NULL) the offset of the video data.
   ZARN_ERROR_CORRUPT_FRAME when the track lengths run past the packet. */
ZARN_API zarn_status zarn_packet_audio(const void* packet, size_t packet_size, uint32_t tracks,
                                       uint32_t track, const uint8_t** data, size_t* size,
                                       size_t* video_offset);

typedef struct zarn_video_decoder zarn_video_decoder;

/* A video decoder for pictures of the header's size and kind. `flags`:
   ZARN_OPEN_ALPHA (decode the alpha plane, when the header has one) and
   ZARN_OPEN_GREY. */
ZARN_API zarn_status zarn_video_decoder_create(const zarn_header* header, uint32_t flags,
                                               zarn_video_decoder** decoder);

/* Decodes one frame's video data (the packet from its video offset on),
   predicting from the picture it decoded before (black before the first,
   or after zarn_video_decoder_reset). Returns ZARN_OK, or
   ZARN_ERROR_CORRUPT_FRAME when part of the picture was abandoned (what was
   decoded is the current picture all the same). */
ZARN_API zarn_status zarn_video_decoder_decode(zarn_video_decoder* decoder, const void* data, size_t size,
                                               int key_frame);

/* As zarn_set_threads, for the decoder: its second thread, if any, ends
   with zarn_video_decoder_free or a call with 1. */
ZARN_API zarn_status zarn_video_decoder_set_threads(zarn_video_decoder* decoder, uint32_t threads);

/* The current picture's planes, as zarn_get_planes gives them (valid until
   the next decode, reset or free); ZARN_ERROR_NO_FRAME before a decode. */
ZARN_API zarn_status zarn_video_decoder_get_planes(const zarn_video_decoder* decoder, zarn_planes* planes);

/* Forgets the pictures (for a jump to a key frame). */
ZARN_API void zarn_video_decoder_reset(zarn_video_decoder* decoder);
ZARN_API void zarn_video_decoder_free(zarn_video_decoder* decoder);

typedef struct zarn_audio_decoder zarn_audio_decoder;

/* An audio decoder for one track: `rate` and `channels` (1 or 2) as
   zarn_get_track_info gives them. */
ZARN_API zarn_status zarn_audio_decoder_create(uint32_t rate, uint32_t channels,
                                               zarn_audio_decoder** decoder);

/* The most samples one packet may yield: zarn_audio_decoder_decode's
   *count for `data` of `size` bytes, read from its first word. */
ZARN_API size_t zarn_audio_packet_samples(const void* data, size_t size);

/* Decodes one packet's audio data (as zarn_packet_audio gives it) into
   `samples` (16-bit, channels interleaved); *count receives how many.
   ZARN_ERROR_CORRUPT_FRAME when the data is shorter than its length word
   says (the samples then end early) or too short to hold one;
   ZARN_ERROR_BAD_ARGUMENT when `max_samples` cannot hold what it yields. */
ZARN_API zarn_status zarn_audio_decoder_decode(zarn_audio_decoder* decoder, const void* data, size_t size,
                                               int16_t* samples, size_t max_samples, size_t* count);

/* Starts afresh, as after a seek. */
ZARN_API zarn_status zarn_audio_decoder_reset(zarn_audio_decoder* decoder);
ZARN_API void zarn_audio_decoder_free(zarn_audio_decoder* decoder);

#ifdef __cplusplus
}
#endif

#endif /* ZARN_ZARN_H */
