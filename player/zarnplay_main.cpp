// zarnplay: plays the Zarn videos named on its command line.
#include <cstdio>
#include <string>

#include "engine/last_error.h"
#include "engine/movie.h"
#include "player/command_line.h"
#include "player/help_text.h"
#include "player/open_named_video.h"
#include "player/platform.h"
#include "player/quick_play.h"

namespace zarn {
namespace {

constexpr const char* kErrorTitle = "Zarn Error";

// Every box's text also goes to the terminal, so the program is useful from
// a shell: errors to standard error, everything else to standard output.
void Tell(Platform& platform, const char* title, const char* text, MessageIcon icon) {
    std::FILE* stream = icon == MessageIcon::kError ? stderr : stdout;
    std::fputs(text, stream);
    const size_t n = std::char_traits<char>::length(text);
    if (n == 0 || text[n - 1] != '\n') std::fputc('\n', stream);
    std::fflush(stream);
    platform.ShowMessage(title, text, icon);
}

int Play(int argc, char** argv) {
    std::unique_ptr<Platform> platform = CreateSdlPlatform();
    std::string text = BuildCommandText(StoredDefaultCommand(), argc, argv,
                                        QuickPlayFromEnvironment());
    uint32_t screen_w = 0, screen_h = 0;
    platform->ScreenSize(&screen_w, &screen_h);
    ParseResult parsed = ParseSwitches(text, screen_w, screen_h);
    if (parsed.show_help) {
        Tell(*platform, kHelpTitle, HelpText(), MessageIcon::kInformation);
        return 1;
    }
    const PlayerOptions& options = parsed.options;
    std::string list = text;
    for (std::string name = NextName(list); !name.empty(); name = NextName(list)) {
        NamedVideo video = OpenNamedVideo(ClassifyName(name), options.open_flags);
        if (!video.movie) {
            Tell(*platform, kErrorTitle, EngineLastError(), MessageIcon::kError);
            return 1;
        }
        CloseNamedVideo(&video);
    }
    return 0;
}

}  // namespace
}  // namespace zarn

int main(int argc, char** argv) { return zarn::Play(argc, argv); }
