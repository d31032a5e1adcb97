#include "player/summary_text.h"

#include <cstdarg>
#include <cstdio>

namespace zarn {
namespace {

// printf into a std::string.
std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    char small[256];
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    std::string out;
    if (n < 0) {
        va_end(args);
        return out;
    }
    if (static_cast<size_t>(n) < sizeof small) {
        out.assign(small, static_cast<size_t>(n));
    } else {
        out.resize(static_cast<size_t>(n) + 1);
        std::vsnprintf(out.data(), out.size(), format, args);
        out.resize(static_cast<size_t>(n));
    }
    va_end(args);
    return out;
}

// The summary prints its figures as signed 32-bit numbers ("%i").
int I(uint32_t v) { return static_cast<int>(v); }

// a * b / c, unsigned, with a 64-bit product; 0 for a zero divisor.
uint32_t MulDiv(uint32_t a, uint32_t b, uint32_t c) {
    return c ? static_cast<uint32_t>(uint64_t{a} * b / c) : 0;
}

const char* Plural(uint32_t n) { return n == 1 ? "" : "s"; }

}  // namespace

std::string DurationText(uint32_t t) {
    if (t < 1000) return Format("%u millisecond%s", t, Plural(t));
    if (t < 60000) return Format("%u second%s", t / 1000, Plural(t / 1000));
    if (t >= 3600000) {
        const uint32_t h = t / 3600000, m = (t % 3600000) / 60000;
        return Format("%u hour%s%u minute%s", h, h == 1 ? " " : "s ", m, Plural(m));
    }
    const uint32_t m = t / 60000, s = (t % 60000) / 1000;
    return Format("%u minute%s%u second%s", m, m == 1 ? " " : "s ", s, Plural(s));
}

std::string TenthsText(uint32_t tenths) {
    const int v = I(tenths);
    return Format("%i.%01i", v / 10, v % 10);
}

std::string SummaryText(const PlaybackSummary& s, const DisplaySummary& d) {
    if (s.frames_played == 0) return "";
    const std::string video_rate = TenthsText(MulDiv(s.source_rate_num, 10, s.source_rate_den));
    const std::string played_rate =
        s.play_rate_num != 0 && s.play_rate_den != 0
            ? TenthsText(MulDiv(s.play_rate_num, 10, s.play_rate_den)) + " frames/sec"
            : "As fast as possible";
    const std::string obtained = TenthsText(MulDiv(s.frames_played, 10000, s.play_ms));
    auto percent = [&](uint32_t ms) { return TenthsText(MulDiv(ms, 1000, s.play_ms)); };
    auto frame_rate = [](uint32_t ms) { return TenthsText(10000 / (ms ? ms : 1)); };
    const std::string second_slowest =
        s.frames_played >= 2 ? Format("Second slowest frame: %i (%s frames/sec)\n", I(s.second_slowest_frame),
                                      frame_rate(s.second_slowest_ms).c_str())
                             : "";
    return Format(
        "Video: %i x %i at %s frames/sec\nTotal frames: %i\n\nTotal frames played: %i\nFrame "
        "rate played: %s\nFrame rate obtained: %s frames/sec\nSkipped frames: %i\nSkipped "
        "blits: %i\nSound skips: %i\n\nPercentage spent decompressing video: %s\nPercentage "
        "spent decompressing audio: %s\nPercentage spent blitting: %s\nPercentage spent "
        "reading: %s\nPercentage spent reading while idle: %s\nPercentage spent reading in "
        "background: %s\nSpeed of playback device: %i bytes/sec\n\nTotal playback time: "
        "%s\nTotal open time: %s\nSlowest frame: %i (%s frames/sec)\n%s\nAverage data rate: "
        "%i\nAverage frame size: %i\nPeak data rate: %i bytes/sec (frame: %i)\n\nTotal memory "
        "used: %i\nTotal input memory: %i\nHighest input memory used: %i\n\nBlitting style: "
        "%s\nVideo mode: %i x %i at %i bits\n",
        I(s.width), I(s.height), video_rate.c_str(), I(s.total_frames), I(s.frames_played),
        played_rate.c_str(), obtained.c_str(), I(s.skipped_frames), I(s.skipped_blits), I(s.sound_skips),
        percent(s.video_ms).c_str(), percent(s.audio_ms).c_str(), percent(s.blit_ms).c_str(),
        percent(s.read_ms).c_str(), percent(s.idle_read_ms).c_str(), percent(s.background_read_ms).c_str(),
        I(s.device_speed), DurationText(s.play_ms).c_str(), DurationText(s.open_ms).c_str(),
        I(s.slowest_frame), frame_rate(s.slowest_ms).c_str(), second_slowest.c_str(), I(s.average_data_rate),
        I(s.average_frame_bytes), I(s.peak_data_rate), I(s.peak_data_rate_frame), I(s.memory_used),
        I(s.input_memory), I(s.highest_input_memory), d.blit_style_name.c_str(), I(d.screen_width),
        I(d.screen_height), I(d.bits_per_pixel));
}

std::string StatisticsLine(const RealtimeStats& r) {
    const uint32_t span = r.span_ms ? r.span_ms : 1;
    const uint32_t fps = MulDiv(r.window, 10000, span);
    const uint32_t buffer = static_cast<uint32_t>(
        ((uint64_t{r.read_ahead_held} + 1) * 1000 / (uint64_t{r.read_ahead_size} + 1) + 5) / 10);
    // The percentages are 32-bit products, as the line always computed them.
    auto percent = [&](uint32_t ms) { return I(ms * 100u / span); };
    return Format(
        "Fr: %i, FPS: %i.%0i, Buf: %i%%, Vid: %i%%, Aud: %i%%, Blit: %i%%, Read: %i%%, Back: "
        "%i%%, Rate: %i",
        I(r.frame), I(fps) / 10, I(fps) % 10, I(buffer), percent(r.video_ms), percent(r.audio_ms),
        percent(r.blit_ms), percent(r.read_ms + r.idle_read_ms), percent(r.background_read_ms),
        I(r.data_rate));
}

}  // namespace zarn
