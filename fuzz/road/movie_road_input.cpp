#include "fuzz/road/movie_road_input.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/changed_rects.h"
#include "engine/copy_to_buffer.h"
#include "engine/engine_settings.h"
#include "engine/frame_control.h"
#include "engine/movie.h"
#include "engine/playback_stats.h"
#include "fuzz/road/copy_options.h"
#include "fuzz/road/header_bounds.h"
#include "fuzz/road/memory_file.h"
#include "tests/support/scripted_sound.h"
#include "tests/support/test_clock.h"

namespace zarn::fuzz {
namespace {

struct Options {
    uint32_t copy_flags = 0;
    uint32_t open_flags = 0;
    bool rate_override = false, fastest = false;
    bool padded = false, bottom_up = false;
    bool from_file = false, misaligned = false;
    bool set_on_fails = false, device_full = false;
    uint32_t x = 0, y = 0;
    uint32_t clock_step_ms = 1;
    uint32_t window = 0, read_ahead = 0, track_id = 0;
};

Options ReadOptions(const uint8_t* o) {
    Options p;
    p.copy_flags = CopyFlagsFromOption(o[0], (o[2] & 0x80) != 0);
    p.open_flags = kFlagNoThread | (uint32_t{o[1] & 7u} << kDisplayOptionShift);
    p.rate_override = (o[1] & 0x08) != 0;
    p.fastest = (o[1] & 0x10) != 0;
    if (p.rate_override) p.open_flags |= kFlagRateOverride;
    if (o[1] & 0x20) p.open_flags |= kFlagGreyScale;
    if (o[1] & 0x40) p.open_flags |= kFlagAlpha;
    if (o[1] & 0x80) p.open_flags |= kFlagNeverSkip;
    p.padded = (o[2] & 1) != 0;
    p.bottom_up = (o[2] & 2) != 0;
    p.from_file = (o[2] & 0x04) != 0;
    p.misaligned = (o[2] & 0x08) != 0;
    p.set_on_fails = (o[2] & 0x10) != 0;
    if (o[2] & 0x20) p.open_flags |= kFlagTrackById;
    p.device_full = (o[2] & 0x40) != 0;
    if (p.padded) {
        p.x = o[3] & 7;
        p.y = (o[3] >> 3) & 7;
    }
    static constexpr uint32_t kSteps[4] = {1, 7, 40, 400};
    p.clock_step_ms = kSteps[o[3] >> 6];
    p.window = o[3];
    p.read_ahead = 512u << (o[3] & 7);
    p.track_id = o[3] & 3;
    return p;
}

// The buffer a copy goes into, exactly as large as its layout needs so that
// any write past it is caught.
struct CopyBuffer {
    std::unique_ptr<uint8_t[]> bytes;
    int32_t pitch = 0;
    uint32_t height = 0;
};

CopyBuffer MakeCopyBuffer(const Options& o, uint32_t width, uint32_t height) {
    CopyBuffer b;
    const uint32_t row = (width + o.x) * CopyPixelBytes(o.copy_flags);
    b.height = height + o.y;
    size_t size = size_t{row} * b.height;
    if (IsPlanarCopy(o.copy_flags)) size += 2 * size_t{row / 2} * (b.height / 2);
    b.bytes.reset(new uint8_t[std::max<size_t>(size, 1)]);
    std::memset(b.bytes.get(), 0, std::max<size_t>(size, 1));
    b.pitch = o.bottom_up ? -static_cast<int32_t>(row) : static_cast<int32_t>(row);
    return b;
}

bool RectsHold(const Movie& m, int32_t count, uint32_t copy_flags) {
    if (count < 0 || count > kMaxRects) return false;
    if ((copy_flags & kCopyNoRects) && count != 0) return false;
    if ((copy_flags & kCopyOneRect) && count > 1) return false;
    for (int32_t i = 0; i < count; ++i) {
        const Rect& r = m.rects[i];
        if (r.x < 0 || r.y < 0 || r.w <= 0 || r.h <= 0) return false;
        if (uint64_t(r.x) + uint64_t(r.w) > m.width || uint64_t(r.y) + uint64_t(r.h) > m.height) return false;
    }
    return true;
}

// No window of frames can carry more bytes than the whole file.
bool RealtimeHolds(const Movie& m, const RealtimeStats& s) {
    if (s.span_ms == 0) return false;
    if (s.window == 0) return s.data_rate == 0;
    const uint64_t most =
        uint64_t{m.file_length} * m.source_rate_num / (uint64_t{m.source_rate_den} * s.window);
    return s.data_rate <= most;
}

bool SummaryHolds(const Movie& m, const PlaybackSummary& s, uint32_t steps) {
    return s.width == m.width && s.height == m.height && s.total_frames == m.frame_count &&
           s.frames_played <= steps && s.average_frame_bytes <= m.file_length;
}

struct Fixtures {
    test::TestClock clock{1000};
    test::ScriptedSound sound;
    Fixtures() { sound.Install(); }
};

Fixtures& Shared() {
    static Fixtures* fixtures = new Fixtures();  // kept for the whole process
    return *fixtures;
}

}  // namespace

bool PlayMovieInput(const uint8_t* data, size_t size) {
    if (size < kMovieOptionBytes) return true;
    const size_t image_size = size - kMovieOptionBytes;
    const Options o = ReadOptions(data + image_size);
    if (!HeaderWithinBudget(data, image_size)) return true;

    Fixtures& f = Shared();
    f.clock.Set(1000);
    f.sound.ClearPlayed();
    f.sound.set_on_calls.clear();
    f.sound.set_paused_calls.clear();
    f.sound.set_on_answer = o.set_on_fails ? 0 : -1;
    f.sound.free_chunks = o.device_full ? 0 : 1 << 20;
    ResetEngineSettings();
    f.sound.Install();
    if (o.rate_override) {
        if (o.fastest)
            SetFrameRateOverride(0, 0);
        else
            SetFrameRateOverride(60, 1);
    }
    if (o.open_flags & kFlagTrackById) SetSoundTrack(o.track_id);

    // An image of exactly its size (one byte in when misaligned), so that a
    // read past its end is caught.
    std::unique_ptr<uint8_t[]> copy(new uint8_t[image_size + 1]);
    uint8_t* image = copy.get() + (o.misaligned ? 1 : 0);
    std::memcpy(image, data, image_size);
    Movie* m = nullptr;
    int handle = -1;
    if (o.from_file && o.misaligned) {
        // A video inside a larger file, opened through a descriptor placed
        // on its first byte, as the player opens one carried by a bundle.
        static constexpr char kProgram[] = "program bytes";
        std::vector<uint8_t> file(kProgram, kProgram + sizeof kProgram);
        file.insert(file.end(), data, data + image_size);
        const std::string path = WriteMemoryFile(0, file.data(), file.size());
        handle = path.empty() ? -1 : ::open(path.c_str(), O_RDONLY);
        if (handle < 0 || ::lseek(handle, sizeof kProgram, SEEK_SET) != sizeof kProgram) {
            if (handle >= 0) ::close(handle);
            return true;
        }
        SetReadAheadSize(o.read_ahead);
        m = OpenMovieFromHandle(handle, o.open_flags | kFlagReadAheadSize);
    } else if (o.from_file) {
        const std::string path = WriteMemoryFile(0, data, image_size);
        SetReadAheadSize(o.read_ahead);
        m = OpenMovie(path.c_str(), o.open_flags | kFlagReadAheadSize);
    } else {
        m = OpenMovieFromImage(image, image_size, o.open_flags);
    }
    if (!m) {
        if (handle >= 0) ::close(handle);
        return true;
    }

    const uint64_t area = std::max<uint64_t>(uint64_t{m->width} * m->height, 1);
    const uint32_t steps = static_cast<uint32_t>(std::min<uint64_t>(
        {kMaxFuzzFrames, std::max<uint64_t>(2, kFuzzPixelBudget / area), uint64_t{m->frame_count} + 1}));
    CopyBuffer buffer = MakeCopyBuffer(o, m->width, m->height);
    bool ok = true;
    for (uint32_t step = 0; step < steps && ok; ++step) {
        // The player polls until the frame is due; a movie that never gets
        // due is stepped anyway after a bounded wait.
        for (int polls = 0; polls < 64 && ShouldWait(m) != 0; ++polls) f.clock.Advance(o.clock_step_ms);
        if (DoFrame(m) != 0) break;
        CopyToBuffer(m, buffer.bytes.get(), buffer.pitch, buffer.height, o.x, o.y, o.copy_flags);
        ok = RectsHold(*m, GetRects(*m, o.copy_flags), o.copy_flags);
        RealtimeStats stats{};
        GetRealtimeStats(*m, &stats, o.window);
        ok = ok && RealtimeHolds(*m, stats);
        if (o.clock_step_ms == 400 && step == 1) {
            Pause(m, 1);
            f.clock.Advance(o.clock_step_ms);
            Pause(m, 0);
        }
        NextFrame(m);
        f.clock.Advance(o.clock_step_ms);
    }
    PlaybackSummary summary{};
    ok = ok && GetSummary(m, &summary) == 1 && SummaryHolds(*m, summary, steps);
    CloseMovie(m);
    if (handle >= 0) ::close(handle);
    return ok;
}

}  // namespace zarn::fuzz
