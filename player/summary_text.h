// The texts of the playback summary (/S) and the statistics line (/Q).
#pragma once

#include <cstdint>
#include <string>

#include "engine/playback_stats.h"

namespace zarn {

// "1 millisecond", "1 minute 1 second", "2 hours 0 minutes", ...
std::string DurationText(uint32_t ms);

// A value in tenths as "%i.%01i": 123 gives "12.3".
std::string TenthsText(uint32_t tenths);

// What the summary box shows about the display.
struct DisplaySummary {
    std::string blit_style_name;
    uint32_t screen_width = 0, screen_height = 0, bits_per_pixel = 0;
};

// The summary text, or "" when no frame was played (then no box is shown).
std::string SummaryText(const PlaybackSummary& summary, const DisplaySummary& display);

// The widest statistics line the player expects; the band is sized from it.
inline constexpr const char* kStatisticsSizingSample =
    "Fre: 2000, FPS: 100.0, Buf: 100%, Vid: 55%, Aud: 55%, Blit: 55%, Read: 55%, "
    "Back: 55%, Rate: 1000000";

// The statistics line for the figures of the last frames.
std::string StatisticsLine(const RealtimeStats& stats);

}  // namespace zarn
