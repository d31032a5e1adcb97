// The user's quick-play settings: extra command text appended by the /!
// switch, kept in a per-user INI file under section "Qel Video Tools", key
// "ZarnQuickPlay" ($XDG_CONFIG_HOME/zarn/zarn.ini, else ~/.config/zarn/zarn.ini;
// on Windows the user's profile, win.ini).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zarn {

inline constexpr char kQuickPlaySection[] = "Qel Video Tools";
inline constexpr char kQuickPlayKey[] = "ZarnQuickPlay";
// The value is cut to this many characters (a 256-byte buffer with its NUL).
inline constexpr size_t kQuickPlayMaxValue = 255;
// INI files longer than this are read only this far.
inline constexpr size_t kQuickPlayMaxFile = 1 << 20;

struct QuickPlaySource {
    std::string ini_path;  // empty: there is no profile, the value is ""
    // The system's own profile lookup, used instead of the file when set.
    std::string (*read_profile)() = nullptr;
};

// The user's profile: on Linux the INI file from XDG_CONFIG_HOME or HOME
// (empty path when neither is set; quick_play_posix.cpp), on Windows the
// profile GetProfileStringA reads (quick_play_win32.cpp).
QuickPlaySource QuickPlayFromEnvironment();

// Looks up a key in INI text: "[section]" lines and "key=value" lines, names
// matched without regard to case and trimmed; ";" starts a comment line; the
// value is trimmed and one pair of enclosing double or single quotes is
// dropped. The first matching key inside a matching section wins.
// Returns `fallback` when absent.
std::string IniValue(std::string_view ini_text, std::string_view section, std::string_view key,
                     std::string_view fallback);

// The quick-play value ("" when the file or key is missing), at most
// kQuickPlayMaxValue characters.
std::string ReadQuickPlayValue(const QuickPlaySource& source);

}  // namespace zarn
