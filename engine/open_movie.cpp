// OpenMovie and CloseMovie: from a file, a descriptor or a memory image to a
// Movie whose buffers live in a few aligned blocks.

#include <algorithm>
#include <cstring>
#include <new>

#include "engine/container_header.h"
#include "audio/audio_decoder.h"
#include "engine/audio_queue.h"
#include "engine/engine_clock.h"
#include "engine/engine_thread.h"
#include "engine/frame_control.h"
#include "base/engine_memory.h"
#include "engine/engine_settings.h"
#include "engine/frame_loading.h"
#include "engine/last_error.h"
#include "engine/movie.h"
#include "engine/open_errors.h"
#include "video/chroma_thread.h"

namespace zarn {
namespace {

struct OpenSource {
    const char* name = nullptr;
    NativeFile fd = kNoFile;
    const uint8_t* image = nullptr;
    size_t image_size = 0;
    const ReaderCallbacks* callbacks = nullptr;
};

// Bytes the video occupies from the descriptor's position to the end of the
// file, or none when that cannot be learnt.
bool BytesAvailable(const FileReader& reader, uint64_t* bytes) {
    uint64_t size = 0;
    if (!FileSize(reader.handle, &size)) return false;
    *bytes = size > reader.base_offset ? size - reader.base_offset : 0;
    return true;
}

struct IndexScan {
    uint32_t default_read_ahead = 0;
    uint32_t densest_second = 0;
    bool all_key_frames = true;
};

// Finds the densest second of the index (the read-ahead that holds any
// frames_per_second consecutive frames) and whether every frame is a key.
IndexScan ScanIndex(const uint32_t* entry, uint32_t frames, uint32_t window) {
    IndexScan scan;
    auto average = [&] {
        return static_cast<uint32_t>(uint64_t{entry[frames] - entry[0]} * window / frames);
    };
    if (frames <= window) {
        scan.default_read_ahead = average();
    } else {
        uint32_t largest = 0;
        for (uint32_t i = 0; i < frames - window; ++i) {
            const uint32_t d = entry[i + window] - entry[i];
            if (d > largest) {
                largest = d;
                scan.densest_second = i;
            }
        }
        scan.default_read_ahead = largest != 0 ? largest : average();
    }
    for (uint32_t i = 0; i < frames; ++i)
        if (!(entry[i] & 1)) scan.all_key_frames = false;
    return scan;
}

// Checks what playback relies on: an index that covers every frame, rises
// and stays inside the file, and a largest frame that holds every frame.
bool IndexIsSound(const Movie& m, uint32_t data_start) {
    const uint32_t* e = m.frame_index;
    if ((e[0] & ~1u) < data_start) return false;
    for (uint32_t i = 0; i < m.frame_count; ++i) {
        const uint32_t from = e[i] & ~1u, to = e[i + 1] & ~1u;
        if (to < from || to > m.file_length) return false;
        if (to - from > m.largest_frame) return false;
    }
    return true;
}

class Opening {
public:
    Opening(const OpenSource& source, uint32_t flags) : source_(source), caller_flags_(flags) {}
    ~Opening() { Abandon(); }

    Movie* Run();

private:
    bool Fail(const char* text) {
        SetEngineLastError(text);
        return false;
    }
    bool ReadHeader();
    bool CheckHeader();
    bool AllocateMovie();
    bool LoadTables();
    bool AllocateFrames();
    bool SetUpReading();
    int32_t ChooseSoundTrack();
    void OpenSound(int32_t track);
    void Abandon();

    OpenSource source_;
    uint32_t caller_flags_;
    uint32_t start_ms_ = 0;
    bool from_memory_ = false;
    bool reader_open_ = false;
    FileReader reader_;  // until the Movie exists
    uint8_t header_[kHeaderBytes] = {};
    ContainerHeader h_;
    Movie* movie_ = nullptr;
    uint8_t* frame_block_ = nullptr;
    uint8_t* data_block_ = nullptr;  // read-ahead ring or whole-file block
};

bool Opening::ReadHeader() {
    if (from_memory_) {
        if (!source_.image || source_.image_size < kHeaderBytes) return Fail(kErrorNotZarn);
        std::memcpy(header_, source_.image, kHeaderBytes);
        return true;
    }
    ReaderSource rs;
    rs.name = source_.name;
    rs.fd = source_.fd;
    rs.callbacks = source_.callbacks;
    if (!ReaderOpen(&reader_, rs, caller_flags_)) {
        SetEngineLastErrorIfEmpty(kErrorOpening);
        return false;
    }
    reader_open_ = true;
    if (reader_.read(&reader_, 0, header_, kHeaderBytes) != kHeaderBytes) {
        // Too short to be a Zarn file at all.
        return Fail(kErrorNotZarn);
    }
    return true;
}

bool Opening::CheckHeader() {
    if (!ParseContainerHeader(header_, &h_)) return Fail(kErrorNotZarn);
    if (h_.frame_count == 0) return Fail(kErrorNoFrames);
    if (!ContainerHeaderIsSound(h_)) return Fail(kErrorCorrupt);
    // No frame would ever be due at a rate of zero frames per second.
    if (h_.rate_num == 0) return Fail(kErrorCorrupt);
    // The tables must lie inside the file (or image) that holds them.
    const uint64_t tables_end = ContainerDataStart(h_);
    uint64_t available = 0;
    if (from_memory_) {
        available = source_.image_size;
    } else if (!BytesAvailable(reader_, &available)) {
        available = UINT64_MAX;  // not a regular file: the reads will tell
    }
    if (tables_end > available) return Fail(kErrorCorrupt);
    return true;
}

bool Opening::AllocateMovie() {
    const ContainerHeader& h = h_;
    // Everything decided from the header alone.
    Movie p;
    p.chroma_width = ChromaSize(h.width);
    p.chroma_height = ChromaSize(h.height);
    p.luma_width = 2 * p.chroma_width;
    p.luma_height = 2 * p.chroma_height;
    p.mb_cols = p.luma_width / 16;
    p.mb_count = p.mb_cols * (p.luma_height / 16);
    p.width = p.source_width = h.width;
    p.height = p.source_height = h.height;
    p.header_flags = h.video_flags;
    p.version = h.version;

    uint32_t flags = (caller_flags_ | (h.video_flags & kFlagGreyScale)) & 0x8FFFFFFFu;
    if (!(h.video_flags & kFlagAlpha)) flags &= ~kFlagAlpha;
    uint32_t option = caller_flags_ & kDisplayOptionMask;
    if (option != kDisplayOptionMask) {
        if (option == 0) option = h.video_flags & kDisplayOptionMask;
        // A header asking for "force none" asks for nothing.
        if (option == kDisplayOptionMask) option = 0;
        flags |= option;
        p.width *= WidthFactor(option >> kDisplayOptionShift);
        p.height *= HeightFactor(option >> kDisplayOptionShift);
    }
    if (h.version == 'f' || h.version == 'g') flags |= kFlagVersionH | kFlagVersionFG;
    if (h.version == 'h') flags |= kFlagVersionH;
    if (from_memory_) flags |= kFlagFromMemory;
    p.flags = flags;

    p.frame_count = h.frame_count;
    p.size_field = h.size_field;
    p.file_length = h.size_field + 8;
    p.largest_frame = h.largest_frame;
    p.index_count = h.index_count;
    p.audio_tracks = h.audio_tracks;
    EngineSettings& s = Settings();
    if ((flags & kFlagRateOverride) && s.rate_override_num != kSettingUnset) {
        p.rate_num = s.rate_override_num;
        p.rate_den = s.rate_override_den;
        s.rate_override_num = kSettingUnset;
    } else {
        p.rate_num = h.rate_num;
        p.rate_den = h.rate_den;
    }
    p.source_rate_num = h.rate_num;
    p.source_rate_den = h.rate_den;
    p.frames_per_second =
        std::max<uint32_t>(1, static_cast<uint32_t>((uint64_t{h.rate_num} + h.rate_den / 2) / h.rate_den));
    p.history_shift = p.frames_per_second * 4 - 4;

    // Sub-blocks of the Movie's own block, in this order.
    uint8_t* block_marks = nullptr;
    uint32_t* history[kHistoryArrays] = {};
    uint8_t* bundles[kBundleCount] = {};
    uint32_t* index = nullptr;
    uint32_t* tracks[3] = {};
    const uint32_t w = p.luma_width;
    EngineReserve(reinterpret_cast<void**>(&block_marks), p.mb_count + 16);
    for (auto& a : history) EngineReserve(reinterpret_cast<void**>(&a), p.frames_per_second * 4);
    for (unsigned i = 0; i < kBundleCount; ++i)
        EngineReserve(reinterpret_cast<void**>(&bundles[i]), BundleBufferBytes(i, w));
    // A misaligned image cannot be read in place as 32-bit tables: copy them.
    const bool tables_in_image =
        from_memory_ && reinterpret_cast<uintptr_t>(source_.image) % alignof(uint32_t) == 0;
    if (!tables_in_image) {
        EngineReserve(reinterpret_cast<void**>(&index), (h.index_count + 1) * 4);
        for (auto& t : tracks) EngineReserve(reinterpret_cast<void**>(&t), h.audio_tracks * 4);
    }

    void* block = EngineAllocateMain(&p.memory_used, sizeof(Movie));
    if (!block) return Fail(kErrorMemory);
    movie_ = new (block) Movie();
    Movie& m = *movie_;
    // Copy the prepared fields.
    m.width = p.width;
    m.height = p.height;
    m.frame_count = p.frame_count;
    m.rate_num = p.rate_num;
    m.rate_den = p.rate_den;
    m.flags = p.flags;
    m.header_flags = p.header_flags;
    m.version = p.version;
    m.size_field = p.size_field;
    m.file_length = p.file_length;
    m.luma_width = p.luma_width;
    m.luma_height = p.luma_height;
    m.chroma_width = p.chroma_width;
    m.chroma_height = p.chroma_height;
    m.mb_cols = p.mb_cols;
    m.mb_count = p.mb_count;
    m.largest_frame = p.largest_frame;
    m.index_count = p.index_count;
    m.audio_tracks = p.audio_tracks;
    m.source_width = p.source_width;
    m.source_height = p.source_height;
    m.memory_used = p.memory_used;
    m.source_rate_num = p.source_rate_num;
    m.source_rate_den = p.source_rate_den;
    m.frames_per_second = p.frames_per_second;
    m.history_shift = p.history_shift;
    m.from_memory = from_memory_ ? 1 : 0;
    m.block_marks = block_marks;
    for (int i = 0; i < kHistoryArrays; ++i) m.second_history[i] = history[i];
    // Every history entry starts at 0, so a short window reads known values.
    for (int i = 0; i < kHistoryArrays; ++i)
        std::memset(m.second_history[i], 0, size_t{m.frames_per_second} * 4);
    for (unsigned i = 0; i < kBundleCount; ++i) m.bundle_buffers[i] = bundles[i];
    if (tables_in_image) {
        const auto* words = reinterpret_cast<const uint32_t*>(source_.image + kHeaderBytes);
        m.track_buffer_size = words;
        m.track_format = words + h.audio_tracks;
        m.track_id = words + 2 * size_t{h.audio_tracks};
        m.frame_index = words + 3 * size_t{h.audio_tracks};
    } else {
        m.track_buffer_size = tracks[0];
        m.track_format = tracks[1];
        m.track_id = tracks[2];
        m.frame_index = index;
    }
    if (!from_memory_) {
        // The reader now lives in the Movie.
        ReaderSource rs;
        ReaderOpen(&m.reader, rs, 0);  // clears it; the state is moved below
        m.reader.handle = reader_.handle;
        m.reader.handle_given = reader_.handle_given;
        m.reader.callbacks = reader_.callbacks;
        m.reader.base_offset = reader_.base_offset;
        m.reader.file_pos = reader_.file_pos;
        m.reader.stream_pos = reader_.stream_pos;
        m.reader.read = reader_.read;
        m.reader.read_frame = reader_.read_frame;
        m.reader.grant_size = reader_.grant_size;
        m.reader.set_buffer = reader_.set_buffer;
        m.reader.step = reader_.step;
        m.reader.close = reader_.close;
        reader_open_ = false;
    }
    m.reader.movie = movie_;
    return true;
}

bool Opening::LoadTables() {
    Movie& m = *movie_;
    const uint32_t tracks = m.audio_tracks;
    if (from_memory_) {
        if (m.frame_index !=
            reinterpret_cast<const uint32_t*>(source_.image + kHeaderBytes) + 3 * size_t{tracks}) {
            // Copied tables of a misaligned image.
            std::memcpy(const_cast<uint32_t*>(m.track_buffer_size), source_.image + kHeaderBytes,
                        12 * size_t{tracks});
            std::memcpy(const_cast<uint32_t*>(m.track_format),
                        source_.image + kHeaderBytes + 4 * size_t{tracks}, 4 * size_t{tracks});
            std::memcpy(const_cast<uint32_t*>(m.track_id), source_.image + kHeaderBytes + 8 * size_t{tracks},
                        4 * size_t{tracks});
            std::memcpy(const_cast<uint32_t*>(m.frame_index),
                        source_.image + kHeaderBytes + 12 * size_t{tracks}, 4 * (size_t{m.index_count} + 1));
        }
    } else {
        FileReader& r = m.reader;
        const uint32_t bytes = 4 * tracks;
        bool whole = r.read(&r, kReaderContinue, const_cast<uint32_t*>(m.track_buffer_size), bytes) == bytes;
        whole = whole && r.read(&r, kReaderContinue, const_cast<uint32_t*>(m.track_format), bytes) == bytes;
        whole = whole && r.read(&r, kReaderContinue, const_cast<uint32_t*>(m.track_id), bytes) == bytes;
        const uint32_t index_bytes = 4 * (m.index_count + 1);
        whole = whole &&
                r.read(&r, kReaderContinue, const_cast<uint32_t*>(m.frame_index), index_bytes) == index_bytes;
        if (!whole) return Fail(kErrorCorrupt);
    }
    if (!IndexIsSound(m, ContainerDataStart(h_))) return Fail(kErrorCorrupt);
    if (from_memory_ && (m.frame_index[m.frame_count] & ~1u) > source_.image_size) return Fail(kErrorCorrupt);
    const IndexScan scan = ScanIndex(m.frame_index, m.frame_count, m.frames_per_second);
    m.default_read_ahead = scan.default_read_ahead;
    m.densest_second = scan.densest_second;
    m.all_key_frames = scan.all_key_frames ? 1 : 0;
    return true;
}

bool Opening::AllocateFrames() {
    Movie& m = *movie_;
    const uint32_t plane = m.luma_width * m.luma_height;
    const uint32_t frame = FrameBufferBytes(m);
    const bool two = !m.all_key_frames;
    if (m.flags & kFlagAlpha) {
        EngineReserve(reinterpret_cast<void**>(&m.alpha_planes[0]), plane);
        if (two) EngineReserve(reinterpret_cast<void**>(&m.alpha_planes[1]), plane);
    }
    if (two) EngineReserve(reinterpret_cast<void**>(&m.frame_buffers[1]), frame);
    frame_block_ = static_cast<uint8_t*>(EngineAllocateMain(&m.memory_used, frame));
    if (!frame_block_) return Fail(kErrorMemory);
    // Frame buffers start zeroed (engine blocks do), so what a file shows is
    // the same on every run. They are not written here: a picture the
    // movie never decodes into costs no resident memory.
    m.frame_buffers[0] = frame_block_;
    if (!two) {
        m.frame_buffers[1] = m.frame_buffers[0];
        m.alpha_planes[1] = m.alpha_planes[0];
    }
    return true;
}

bool Opening::SetUpReading() {
    Movie& m = *movie_;
    EngineSettings& s = Settings();
    uint32_t read_ahead = m.default_read_ahead;
    if ((m.flags & kFlagReadAheadSize) && s.read_ahead_size != kSettingUnset) {
        read_ahead = s.read_ahead_size;
        s.read_ahead_size = kSettingUnset;
    }
    uint32_t speed = 0;
    if ((m.flags & kFlagReadSpeed) && s.read_speed != kSettingUnset) {
        speed = s.read_speed;
        s.read_speed = kSettingUnset;
    }
    const uint32_t first = m.frame_index[0] & ~1u;
    if (from_memory_) {
        m.preloaded = source_.image + first;
        m.preloaded_bytes = static_cast<uint32_t>(std::min<uint64_t>(source_.image_size - first, UINT32_MAX));
        return true;
    }
    FileReader& r = m.reader;
    const uint32_t granted = r.grant_size(&r, read_ahead);
    m.read_ahead_size = granted;
    // Keep the file in memory when the read-ahead would hold nine tenths of it.
    if (uint64_t{granted} >= uint64_t{m.size_field} * 9 / 10) m.flags |= kFlagPreload;
    if (m.flags & kFlagPreload) {
        const uint32_t bytes = m.file_length - first;
        // Frames may all be empty: the block still needs an address.
        data_block_ = static_cast<uint8_t*>(EngineAllocateMain(&m.memory_used, std::max(bytes, 1u)));
        if (!data_block_) return Fail(kErrorMemory);
        m.preloaded = data_block_;
        m.data_block = data_block_;
        r.set_buffer(&r, nullptr, 0, m.file_length, speed);
        m.preloaded_bytes = r.read_frame(&r, 0, first, data_block_, bytes);
        r.close(&r);
        r.foreground_ms = 0;
        m.read_ahead_size = 0;
        return true;
    }
    EngineReserve(reinterpret_cast<void**>(&m.packet_buffer), std::max(m.largest_frame, 1u));
    data_block_ = static_cast<uint8_t*>(EngineAllocateMain(&m.memory_used, m.read_ahead_size));
    // Without the block there is no packet buffer either: the movie cannot play.
    if (!data_block_) return Fail(kErrorMemory);
    m.data_block = data_block_;
    m.read_ahead_buffer = m.read_ahead_size ? data_block_ : nullptr;
    r.set_buffer(&r, m.read_ahead_buffer, m.read_ahead_size, m.file_length, speed);
    return true;
}

int32_t Opening::ChooseSoundTrack() {
    Movie& m = *movie_;
    EngineSettings& s = Settings();
    int32_t track = -1;
    if (m.audio_tracks == 0) {
        track = -1;
    } else if (m.flags & kFlagTrackById) {
        if (s.sound_track != kSettingUnset)
            for (uint32_t i = 0; i < m.audio_tracks; ++i)
                if (m.track_id[i] == s.sound_track) {
                    track = static_cast<int32_t>(i);
                    break;
                }
    } else {
        track = 0;
    }
    // Opens that were given no track leave the setting alone, so movies
    // opened at once in several threads do not write it.
    if (s.sound_track != kSettingUnset) s.sound_track = kSettingUnset;
    return track;
}

// Opens the sound device for `track` and sets up its decoded-audio queue
// and decoder. When the device opens but the queue or the decoder cannot be
// set up, the device is closed again and the movie plays silently.
void Opening::OpenSound(int32_t track) {
    Movie& m = *movie_;
    m.sound_track = -1;
    const SoundOpenOp open = Settings().sound_open;
    if (track < 0 || !open) return;
    const uint32_t format = m.track_format[track];
    if (!(format & kTrackFormatAudio)) return;
    const uint32_t rate = format & 0xFFFF;
    // A track of 0 Hz cannot be played; the movie plays silently.
    if (rate == 0) return;
    uint32_t r = rate;
    if (m.rate_num != 0 && m.rate_den != 0) {
        // The sound follows a frame-rate override.
        const uint32_t mul = m.source_rate_den * m.rate_num;
        const uint32_t div = m.source_rate_num * m.rate_den;
        if (div != 0) r = static_cast<uint32_t>(uint64_t{r} * mul / div);
    }
    const uint32_t bits = (format & kTrackFormatSixteenBit) ? 16 : 8;
    const uint32_t channels = (format & kTrackFormatStereo) ? 2 : 1;
    if (!open(&m.sound, r, bits, channels, m.flags, &m)) return;
    Settings().movies_with_sound += 1;

    const uint32_t buffer = m.track_buffer_size[track];
    const uint32_t ring = buffer > 0xFFFFFF00u ? 0 : (buffer + 255) & ~255u;
    m.ring_start = static_cast<uint8_t*>(EngineAllocate(ring));
    if (!m.ring_start) {
        if (m.sound.close) m.sound.close(&m.sound);
        return;
    }
    m.audio_decoder = CreateAudioDecoder(rate, channels, 1);
    if (!m.audio_decoder) {
        EngineFree(m.ring_start);
        m.ring_start = nullptr;
        if (m.sound.close) m.sound.close(&m.sound);
        return;
    }
    m.ring_size = ring;
    m.ring_read = m.ring_write = m.ring_start;
    m.ring_end = m.ring_start + ring;
    m.ring_filled = 0;
    m.to_8bit = bits == 8 ? 1 : 0;
    m.sound_on = 1;
    // Silence that covers the time until queued audio reaches the device.
    const uint32_t latency = m.sound.latency_ms;
    const uint64_t prefill = latency >= 750 ? 0 : uint64_t{channels} * r * 2 * (750 - latency) / 1000;
    m.prefill_bytes = static_cast<uint32_t>(std::min<uint64_t>(prefill & ~uint64_t{3}, ring));
    // Three quarters of a second before the end; 0 for a shorter movie.
    const uint64_t tail = uint64_t{3} * m.source_rate_num / (uint64_t{4} * m.source_rate_den);
    m.audio_end_frame = tail < m.frame_count ? m.frame_count - static_cast<uint32_t>(tail) : 0;
    m.sound_track = track;
    m.reader.wait_hook = FeedSoundHook;
}

void Opening::Abandon() {
    EngineDropReservations();
    if (movie_) {
        Movie& m = *movie_;
        if (!from_memory_) m.reader.close(&m.reader);
        EngineFree(data_block_);
        EngineFree(frame_block_);
        m.~Movie();
        EngineFree(movie_);
        movie_ = nullptr;
    } else if (reader_open_) {
        reader_.close(&reader_);
    }
    reader_open_ = false;
}

Movie* Opening::Run() {
    start_ms_ = EngineClock();
    ClearEngineLastError();
    from_memory_ = (caller_flags_ & kFlagFromMemory) != 0;
    if (!ReadHeader() || !CheckHeader() || !AllocateMovie() || !LoadTables() || !AllocateFrames() ||
        !SetUpReading())
        return nullptr;

    Movie& m = *movie_;
    m.block_marks[m.mb_count] = 0;
    m.current_frame = 0xFFFFFFFFu;
    m.late_limit_ms = m.rate_num ? static_cast<uint32_t>(uint64_t{2000} * m.rate_den / m.rate_num) : 2000;
    m.video_on = 1;
    GotoFrame(&m, 1);
    m.open_time_ms = EngineClock() - start_ms_;
    if (!m.preloaded && !(m.flags & kFlagNoInitialFill)) {
        while (m.reader.step(&m.reader) > 0) {
        }
    }
    OpenSound(ChooseSoundTrack());
    m.background_reads = (!(m.flags & kFlagNoThread) && !m.preloaded) ? 1 : 0;
    if (m.background_reads || m.sound_track != -1) {
        if (!StartBackgroundThread(m)) {
            Movie* failed = movie_;
            movie_ = nullptr;
            frame_block_ = data_block_ = nullptr;
            CloseMovie(failed);
            return nullptr;
        }
    }
    Movie* done = movie_;
    movie_ = nullptr;  // the caller owns it now
    frame_block_ = data_block_ = nullptr;
    return done;
}

}  // namespace

uint32_t FrameBufferBytes(const Movie& movie) {
    return movie.luma_width * movie.luma_height + 2 * movie.chroma_width * movie.chroma_height;
}

Movie* OpenMovie(const char* file_name, uint32_t flags) {
    OpenSource s;
    s.name = file_name;
    Opening o(s, flags & ~(kFlagFromHandle | kFlagFromMemory));
    return o.Run();
}

Movie* OpenMovieFromHandle(NativeFile fd, uint32_t flags) {
    OpenSource s;
    s.fd = fd;
    Opening o(s, (flags | kFlagFromHandle) & ~kFlagFromMemory);
    return o.Run();
}

Movie* OpenMovieFromImage(const uint8_t* image, size_t size, uint32_t flags) {
    OpenSource s;
    s.image = image;
    s.image_size = size;
    Opening o(s, (flags | kFlagFromMemory) & ~kFlagFromHandle);
    return o.Run();
}

Movie* OpenMovieFromCallbacks(const ReaderCallbacks& callbacks, uint32_t flags) {
    OpenSource s;
    s.callbacks = &callbacks;
    Opening o(s, flags & ~(kFlagFromHandle | kFlagFromMemory));
    return o.Run();
}

bool SetDecodeThreads(Movie* movie, uint32_t threads) {
    if (!movie) return false;
    Movie& m = *movie;
    if (threads < 2) {
        StopChromaThread(m.chroma_thread);
        m.chroma_thread = nullptr;
        return true;
    }
    if (!m.chroma_thread) m.chroma_thread = StartChromaThread(m.luma_width, m.luma_height);
    return m.chroma_thread != nullptr;
}

void CloseMovie(Movie* movie) {
    if (!movie) return;
    Movie& m = *movie;
    Pause(movie, 1);
    m.reader.closing = 1;
    StopBackgroundThread(m);
    StopChromaThread(m.chroma_thread);
    m.chroma_thread = nullptr;
    if (m.sound_track != -1) {
        if (m.sound.close) m.sound.close(&m.sound);
        FreeAudioDecoder(m.audio_decoder);
    }
    uint8_t* frame_block = m.frame_buffers[0];
    if (!m.preloaded) m.reader.close(&m.reader);
    EngineFree(m.data_block);
    EngineFree(m.ring_start);
    EngineFree(frame_block);
    m.~Movie();
    std::memset(static_cast<void*>(movie), 0, sizeof(Movie));
    EngineFree(movie);
}

}  // namespace zarn
