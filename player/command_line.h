// The player's command line: building the command text, parsing its switches
// into PlayerOptions and splitting what is left into video names.
//
// The command text is the default command line stored in the program, the
// real command line joined back from argv, cancellations applied and, with
// /!, the user's quick-play value appended. Switches are "/" plus a letter
// (any case); each one found is removed from the text, and what remains is
// the list of videos.
//
// Portability: on systems whose paths use "/", a name inside double quotes
// that open a word (start of text or after white space) is never read as
// switch text, and the argv joiner quotes every name that holds "/" or white
// space. An argument starting with "/" is switch text unless it has further
// "/" segments that are not switch-shaped (so "/home/me/a.zrn" is a name, and
// "/P/L3" two switches). A file right under the root is named "//a.zrn".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "format/zarn_format.h"
#include "player/quick_play.h"

namespace zarn {

// ---- The default command line stored in the program -------------------------
//
// Layout in the executable: the marker bytes (no terminator) directly followed
// by a text area of kStoredCommandArea bytes and one NUL. Unpatched, the area
// is all "~". A copy of the program carries a default command line by holding
// text in the area followed by at least one "~"; the text is cut at its first
// "~" (and at kStoredCommandMaxText characters). The Windows player keeps the
// same 512 "~" as its string resource 1 instead (stored_command_win32.cpp).
#define ZARN_STORED_COMMAND_MARKER "ZarnStoredCommandLine:1:"
inline constexpr size_t kStoredCommandMarkerLength = sizeof(ZARN_STORED_COMMAND_MARKER) - 1;
inline constexpr size_t kStoredCommandArea = 512;
inline constexpr size_t kStoredCommandMaxText = kStoredCommandArea - 1;

// The default command line this program carries ("" when unpatched;
// stored_command_posix.cpp, stored_command_win32.cpp).
std::string StoredDefaultCommand();

// Cuts a raw text area at its first "~" or NUL and at kStoredCommandMaxText.
std::string CutDefaultCommand(std::string_view area);

// Offset of the text area (just after the marker) inside a program image, or
// -1 when no marker is followed by a complete area and its NUL.
long FindStoredCommandArea(const std::vector<uint8_t>& image);

// Offset of the first character of string resource 1 of a Windows player
// (its length word 512 and 512 UTF-16 "~" characters), or -1.
long FindStoredCommandResource(const std::vector<uint8_t>& image);

// Writes `text` into the image's area and fills the rest with "~"; in an image
// without one, into the Windows player's string resource 1 (ASCII only).
// Fails when no area is found or the text is longer than
// kStoredCommandMaxText or holds "~" or NUL.
bool PatchStoredCommand(std::vector<uint8_t>& image, std::string_view text);

// ---- Building the command text ----------------------------------------------

// Joins argv[1..argc-1] with single spaces. Names (arguments that are not
// switch text) holding white space or "/" are put in double quotes; empty
// arguments are skipped.
std::string JoinArguments(int argc, const char* const* argv);

// Applies cancellations in place: "/-X" removes every earlier /X switch with
// its argument, then itself; a trailing "/-" cuts the text there.
void ApplyCancellations(std::string& text);

// Default command line (cut at "~") + joined argv, cancellations applied, and
// with /! present: /! removed and the quick-play value appended directly.
std::string BuildCommandText(std::string_view stored_default, int argc, const char* const* argv,
                             const QuickPlaySource& quick_play);

// ---- Player options ---------------------------------------------------------

// display_flags bit: change the display mode as /D asked.
inline constexpr uint32_t kDisplayChangeMode = 0x800000;

inline constexpr int32_t kCentredPosition = -3000;

struct PlayerOptions {
    int32_t loop_count = 1;                // 0: endless
    int32_t parent_window = 0;             // /#
    int32_t rate_override_num = -1;        // -1/-1: none; 0/0: as fast as possible
    int32_t start_num = 0, start_den = 1;  // /O#.#: seconds into each video to start at
    int32_t rate_override_den = -1;
    int32_t track_choice = 0;
    int32_t read_speed = 0;          // bytes per second, 0 none
    int32_t read_buffer = -1;        // bytes, -1 the engine's default
    uint32_t disabled_controls = 0;  // bit 0 pause, bit 1 skip, bit 2 quit
    uint32_t window_style = 0;       // 0 caption, 1 no caption, 2 nothing
    uint32_t always_on_top = 0;
    bool use_waveout = false;
    bool show_summary = false;
    bool show_statistics = false;
    bool keep_playing_unfocused = false;
    bool black_background = false;
    bool hide_cursor = false;
    uint32_t open_flags = 0;
    int32_t x = kCentredPosition;
    int32_t y = kCentredPosition;
    int32_t width_num = 0;
    int32_t width_den = 0;
    int32_t height_num = 0;
    int32_t height_den = 0;
    uint32_t screen_width = 0;
    uint32_t screen_height = 0;
    uint32_t display_flags = 0;  // bits 0-4 blit style, kDisplayChangeMode
    // The display mode /D asks for (RequestDisplayMode); 0 when none.
    uint32_t display_mode_width = 0;
    uint32_t display_mode_height = 0;
    uint32_t display_mode_depth = 0;  // 16, 24, 32, 8, or codes 1-3
};

struct ParseResult {
    PlayerOptions options;
    bool show_help = false;  // left-over "/", empty list or a /D code off the tables
};

// Parses every switch, removing each one used from `text`; the screen size is
// the platform's and is what /D replaces. Leaves the list of names in `text`.
ParseResult ParseSwitches(std::string& text, uint32_t screen_w, uint32_t screen_h);

// Whether the text left after parsing calls for the help text: it still holds
// a "/" outside quoted names, or it is empty after trimming white space.
bool NeedsHelp(const std::string& text);

// /D tables: resolution by code mod 100 (1-13), depth code by code / 100 (0-6).
// Return false for codes off the tables.
bool DisplayResolution(uint32_t code, uint32_t* width, uint32_t* height);
bool DisplayDepth(uint32_t code, uint32_t* depth);

// Picture size along one axis for a stretch request num/den, the video's size
// and the screen's: num >= 0 gives num/den when both are non-zero, else the
// video's size; -1/1 gives the screen size; other negative num gives
// size * -num / den. Results are clamped to 0..0xFFFFFFFF.
uint32_t StretchRequestSize(int32_t num, int32_t den, uint32_t video_size, uint32_t screen_size);

// ---- Video names ------------------------------------------------------------

// Moves the first name out of `list` and returns it ("" when the list is
// done). A name in double quotes may hold spaces. An unquoted name ends at
// white space; that white space and one comma right after it are separators
// and not part of the name. Name and rest are trimmed of white space. Names
// that are empty after trimming (a quoted "") are skipped.
std::string NextName(std::string& list);

// Whether a name has an extension: scanning back from its end, a "." comes
// before any ":", "\", "/" or the start.
bool HasExtension(const std::string& name);

// The name with ".zrn" appended when it has no extension.
std::string WithDefaultExtension(const std::string& name);

enum class NameKind {
    kFile,           // a file name (".zrn" added when it had no extension)
    kOwnExecutable,  // ":N": inside the program's own file at byte N
    kFileAtOffset,   // "file|N": inside `file` at byte N
};

struct NameForm {
    NameKind kind = NameKind::kFile;
    std::string file;     // empty for kOwnExecutable
    std::string given;    // kFile: the name as given, when ".zrn" was added to it
    uint64_t offset = 0;  // byte offset of the video for the offset forms
};

NameForm ClassifyName(const std::string& name);

}  // namespace zarn
