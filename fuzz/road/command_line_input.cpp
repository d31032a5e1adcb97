#include "fuzz/road/command_line_input.h"

#include <string>
#include <string_view>
#include <vector>

#include "fuzz/road/memory_file.h"
#include "player/command_line.h"
#include "player/quick_play.h"

namespace zarn::fuzz {
namespace {

constexpr size_t kMaxArguments = 16;

// A program image with one stored-command area between other bytes.
std::vector<uint8_t> ProgramImage(bool stray_marker) {
    std::string text = "\x7f" "ELF program bytes ";
    if (stray_marker) text += std::string(ZARN_STORED_COMMAND_MARKER) + "~~~ cut short";
    text += ZARN_STORED_COMMAND_MARKER + std::string(kStoredCommandArea, '~');
    std::vector<uint8_t> image(text.begin(), text.end());
    image.push_back(0);
    const std::string tail = " more program bytes";
    image.insert(image.end(), tail.begin(), tail.end());
    return image;
}

// Stores the text the way `zarn bundle` does and reads it back the way the
// player does; false when what comes back is not what was stored.
bool StoreAndReadBack(const std::string& switches, bool stray_marker, std::string* stored) {
    std::vector<uint8_t> image = ProgramImage(stray_marker);
    std::string text = switches;
    if (!text.empty()) text += ' ';
    text += ":" + std::to_string(image.size());
    const long before = FindStoredCommandArea(image);
    if (before < 0) return false;
    const bool storable =
        text.size() <= kStoredCommandMaxText && text.find_first_of(std::string_view("~\0", 2)) == std::string::npos;
    if (PatchStoredCommand(image, text) != storable) return false;
    if (!storable) {
        *stored = "";
        return true;
    }
    const long after = FindStoredCommandArea(image);
    if (after != before) return false;
    const std::string_view area(reinterpret_cast<const char*>(image.data()) + after, kStoredCommandArea);
    *stored = CutDefaultCommand(area);
    return *stored == text;
}

bool NamesHold(std::string list) {
    for (size_t guard = list.size() + 1; guard > 0; --guard) {
        const size_t before = list.size();
        const std::string name = NextName(list);
        if (name.empty()) return list.empty();
        if (list.size() >= before) return false;
        if (!HasExtension(WithDefaultExtension(name))) return false;
        const NameForm form = ClassifyName(name);
        if (form.kind == NameKind::kFile && form.file.empty()) return false;
    }
    return false;
}

}  // namespace

bool ParseCommandLineInput(const uint8_t* data, size_t size) {
    if (size < 1) return true;
    const uint8_t option = data[0];
    std::vector<std::string> pieces(1);
    for (size_t i = 1; i < size; ++i) {
        if (data[i] == 0) {
            if (pieces.size() == 2 + kMaxArguments) break;
            pieces.emplace_back();
        } else {
            pieces.back() += static_cast<char>(data[i]);
        }
    }
    pieces.resize(std::max<size_t>(pieces.size(), 2));

    std::string stored;
    if ((option & 1) && !StoreAndReadBack(pieces[0], (option & 4) != 0, &stored)) return false;
    QuickPlaySource quick_play;
    if (option & 2) {
        const std::string& ini = pieces[1];
        quick_play.ini_path = WriteMemoryFile(3, reinterpret_cast<const uint8_t*>(ini.data()), ini.size());
        if (ReadQuickPlayValue(quick_play).size() > kQuickPlayMaxValue) return false;
        IniValue(ini, kQuickPlaySection, kQuickPlayKey, "");
    }
    std::vector<const char*> argv = {"zarnplay"};
    for (size_t i = 2; i < pieces.size(); ++i) argv.push_back(pieces[i].c_str());

    std::string text = BuildCommandText(stored, static_cast<int>(argv.size()), argv.data(), quick_play);
    const size_t built = text.size();
    const ParseResult parsed = ParseSwitches(text, 1920, 1080);
    if (text.size() > built) return false;
    NeedsHelp(text);
    const PlayerOptions& o = parsed.options;
    StretchRequestSize(o.width_num, o.width_den, 640, o.screen_width);
    StretchRequestSize(o.height_num, o.height_den, 480, o.screen_height);
    return NamesHold(text);
}

}  // namespace zarn::fuzz
