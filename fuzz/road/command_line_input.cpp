#include "fuzz/road/command_line_input.h"

#include <algorithm>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/road/memory_file.h"
#include "player/command_line.h"
#include "player/quick_play.h"
#include "tests/support/test_movies.h"
#include "tools/bundle_command.h"

namespace zarn::fuzz {
namespace {

constexpr size_t kMaxArguments = 16;

// A program image with one stored-command area between other bytes.
std::vector<uint8_t> ProgramImage(bool stray_marker) {
    std::string text =
        "\x7f"
        "ELF program bytes ";
    if (stray_marker) text += std::string(ZARN_STORED_COMMAND_MARKER) + "~~~ cut short";
    text += ZARN_STORED_COMMAND_MARKER + std::string(kStoredCommandArea, '~');
    std::vector<uint8_t> image(text.begin(), text.end());
    image.push_back(0);
    const std::string tail = " more program bytes";
    image.insert(image.end(), tail.begin(), tail.end());
    return image;
}

// Bundles a small video with the switches through `zarn bundle` and reads
// the stored text back the way the player does; false when the command's
// answer or what comes back is not what was asked for.
bool BundleAndReadBack(const std::string& switches, bool stray_marker, std::string* stored) {
    static const std::vector<uint8_t> video = test::BuildMovie(test::MovieRecipe{});
    const std::vector<uint8_t> program = ProgramImage(stray_marker);
    const std::string player = WriteMemoryFile(4, program.data(), program.size());
    const std::string movie = WriteMemoryFile(5, video.data(), video.size());
    const std::string output = WriteMemoryFile(6, nullptr, 0);
    if (player.empty() || movie.empty() || output.empty()) return true;  // no memory files here

    std::ostringstream out, err;
    const int status =
        RunBundleCommand({movie, "-o", output, "--player", player, "--switches", switches}, out, err);
    // Switches the player would not read back whole (a '~' or NUL ends the
    // stored text) or would answer with its help are refused as usage;
    // a text too long for the area is a failure.
    std::string probe = switches + " :1";
    const bool refused = switches.find_first_of(std::string_view("~\0", 2)) != std::string::npos ||
                         ParseSwitches(probe, 640, 480).show_help;
    std::string text = switches;
    if (!text.empty()) text += ' ';
    text += ":" + std::to_string(program.size()) + " ";
    const bool storable = !refused && text.size() <= kStoredCommandMaxText;
    if (status != (refused ? 2 : (storable ? 0 : 1))) return false;
    if (!storable) return true;

    const std::vector<uint8_t> bundled = ReadMemoryFile(6);
    if (bundled.size() != program.size() + video.size() ||
        !std::equal(video.begin(), video.end(), bundled.end() - static_cast<long>(video.size())))
        return false;
    const long area = FindStoredCommandArea(bundled);
    if (area < 0 || area != FindStoredCommandArea(program)) return false;
    *stored = CutDefaultCommand(
        std::string_view(reinterpret_cast<const char*>(bundled.data()) + area, kStoredCommandArea));
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
    if ((option & 1) && !BundleAndReadBack(pieces[0], (option & 4) != 0, &stored)) return false;
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
