// The player program's logic: start-up, playing each video of the list, the
// message loop with its per-frame step, the window's event handling and keys,
// the closing screen, and shutdown with the playback summary. It reaches the
// window system only through Platform, so it carries no platform library.
#pragma once

#include <cstdint>
#include <string>

#include "engine/playback_stats.h"
#include "player/command_line.h"
#include "player/open_named_video.h"
#include "player/platform.h"

namespace zarn {

struct DisplayTarget;
struct Movie;

// The stored one-frame picture shown after the last video.
struct ClosingPicture {
    const uint8_t* image = nullptr;
    size_t size = 0;
};

struct PlayerState {
    Platform* platform = nullptr;
    PlayerOptions options;
    NamedVideo video;  // the open movie and the handle opened for it
    DisplayTarget* target = nullptr;
    DisplayTarget* previous_target = nullptr;
    std::string list_text;   // names still to play
    std::string saved_list;  // the whole list, for replays
    int32_t list_passes = 1;
    int32_t user_paused = 0;  // 0 or all bits set
    bool focused = true;
    bool skip_request = false;
    int32_t exit_state = 0;  // 1 quit during playback, 2 quit on the closing screen
    bool closing_screen = false;
    uint32_t closing_deadline = 0;
    bool no_black_fill = false;
    PlaybackSummary summary_record{};
    BandRect stats_rect;
    uint32_t picture_width = 0, picture_height = 0;
    ClosingPicture closing_picture;
    std::string web_page;           // opened by a click on the closing screen
    std::string playing_name;       // the name of the video playing, as given
    bool ended_early = false;       // a video's file ended before its last frame
    uint32_t volume_percent = 100;  // of the sound back end's full volume
    bool muted = false;
    bool full_screen = false;
    uint32_t placed_width = 0, placed_height = 0;  // the client size the player gave the window
    bool picture_refitted = false;                 // scaled by FitPicture since the window was placed
    std::string on_screen_text;                    // the on-screen line, while shown
    uint32_t on_screen_until = 0;
    bool on_screen_shown = false;
};

// The query added to the web page opened from the closing screen.
inline constexpr const char* kWebPageQuery = "?from=zarnplay&ver=1.0q";
// What a click on the closing screen opens: a web page with the query, a
// file URL (the installed documentation) as it is, since a browser would
// look for a file whose name ends in the query.
std::string ClosingScreenLink(const std::string& web_page);
inline constexpr uint32_t kClosingScreenMs = 2250;

// Runs the whole program; returns the exit code (0 normal end, 1 error or help).
int RunPlayer(Platform& platform, int argc, const char* const* argv, const ClosingPicture& closing_picture,
              const std::string& web_page);

// Writes a box's text to the terminal (errors to standard error, everything
// else to standard output) and shows the box.
void Tell(Platform& platform, const char* title, const std::string& text, MessageIcon icon);

// Pieces of the program, each one step of its life.
void HandleEvent(PlayerState& s, const PlayerEvent& event);
void PlaceWindowWithBand(PlayerState& s, int32_t x, int32_t y, uint32_t width, uint32_t height);
void DrawStatisticsLine(PlayerState& s);
void PerFrameStep(PlayerState& s);
void ClosingScreenStep(PlayerState& s);

// The on-screen line: shows `text` for a moment; drawn again after each
// frame (and while paused) until it is due to go.
void ShowOnScreen(PlayerState& s, const std::string& text);
void DrawOnScreenLine(PlayerState& s);
void ExpireOnScreenLine(PlayerState& s);
// The frame on screen (1-based), or after a seek the frame about to be.
uint32_t FrameOnScreen(const Movie& movie);
// "00:12 / 01:30": the frame shown and the movie's length.
std::string PositionText(const Movie& movie);
// Hands the player's volume to the playing movie's sound.
void ApplyVolume(PlayerState& s);
// Scales the picture to fit a client area of width x height (aspect kept,
// black around it) through the target's scaling, where it can scale; else
// the picture keeps its size, centred.
void FitPicture(PlayerState& s, uint32_t width, uint32_t height);
void ToggleFullScreen(PlayerState& s);
// Copies the whole current picture into the target again and shows it.
void RedrawPicture(PlayerState& s);
// Room a window's frame and the desktop's panels take from the screen.
inline constexpr uint32_t kWindowFrameAllowance = 64;
// Without /W and /H, a video larger than the screen is shown scaled down to
// fit it, its aspect kept: sets the sizes /W and /H would.
void FitLargeVideoToScreen(PlayerOptions& o, uint32_t video_w, uint32_t video_h, uint32_t screen_w,
                           uint32_t screen_h);

}  // namespace zarn
