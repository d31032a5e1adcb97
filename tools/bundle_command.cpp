#include "tools/bundle_command.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include <cstdint>
#include <fstream>
#include <iterator>

#include "player/command_line.h"
#include "player/open_named_video.h"
#include "tools/output_file.h"
#include "zarn/zarn.h"

namespace zarn {
namespace {

constexpr const char* kBundleUsage =
    "Usage: zarn bundle VIDEO.zrn -o OUT [--switches \"...\"] [--player PATH]\n"
    "Writes OUT: a copy of the player that plays VIDEO.zrn, which it carries.\n"
    "OUT may be - for standard output; a new file OUT is made executable (less the\n"
    "umask), an existing one keeps its mode, and it appears only once complete.\n"
    "  -o, --output OUT  the program to write (required)\n"
    "  --switches TEXT   player switches stored with it (for example \"/L0 /S\")\n"
    "  --player PATH     the player program to copy (default: zarnplay next to zarn)\n";

struct BundleArgs {
    std::string video, output, switches, player;
};

// Why the player would not take `switches` as its stored command line, or
// "" when it would.
std::string SwitchesProblem(const std::string& switches) {
    if (switches.find('~') != std::string::npos)
        return "'~' ends a stored command line; the player would not read what follows";
    if (switches.find('\0') != std::string::npos) return "a stored command line cannot hold a NUL byte";
    std::string text = switches + " :1";
    const ParseResult parsed = ParseSwitches(text, 640, 480);
    if (parsed.show_help) return "the player would not accept them: it would show its help";
    return "";
}

int ParseArgs(const std::vector<std::string>& args, BundleArgs* b, std::ostream& err) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") return -1;
        const bool takes_value = a == "-o" || a == "--output" || a == "--switches" || a == "--player";
        if (takes_value) {
            if (i + 1 >= args.size()) {
                err << "zarn bundle: " << a << " needs a value\n" << kBundleUsage;
                return 2;
            }
            const std::string& v = args[++i];
            if (a == "--switches")
                b->switches = v;
            else if (a == "--player")
                b->player = v;
            else
                b->output = v;
        } else if (b->video.empty() && (a.size() <= 1 || a[0] != '-')) {
            b->video = a;
        } else {
            err << "zarn bundle: unexpected argument '" << a << "'\n" << kBundleUsage;
            return 2;
        }
    }
    if (b->video.empty() || b->output.empty()) {
        err << kBundleUsage;
        return 2;
    }
    return 0;
}

bool ReadAll(const std::string& path, std::vector<uint8_t>* bytes) {
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool Exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// zarnplay beside this program, or in the build tree's player folder.
std::string DefaultPlayer() {
    char self[4096];
    if (!OwnExecutablePath(self, sizeof(self))) return "zarnplay";
    std::string dir(self);
    dir.erase(dir.find_last_of('/') + 1);
    for (const char* rel : {"zarnplay", "../player/zarnplay"})
        if (Exists(dir + rel)) return dir + rel;
    return dir + "zarnplay";
}

}  // namespace

int RunBundleCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    BundleArgs b;
    const int parsed = ParseArgs(args, &b, err);
    if (parsed == -1) {
        out << kBundleUsage;
        return 0;
    }
    if (parsed != 0) return parsed;
    if (b.player.empty()) b.player = DefaultPlayer();

    std::vector<uint8_t> image, video;
    const std::string video_path = b.video == "-" ? "/dev/stdin" : b.video;
    if (!ReadAll(video_path, &video)) {
        err << "zarn bundle: cannot read " << b.video << ": " << std::strerror(errno) << "\n";
        return 1;
    }
    zarn_movie* check = nullptr;
    if (zarn_open_memory(video.data(), video.size(), 0, &check) != ZARN_OK) {
        err << "zarn bundle: " << b.video << ": " << zarn_error_text(nullptr) << "\n";
        return 1;
    }
    zarn_close(check);
    if (!ReadAll(b.player, &image) || image.empty()) {
        err << "zarn bundle: cannot read the player " << b.player << ": "
            << (image.empty() && errno == 0 ? "empty file" : std::strerror(errno)) << "\n";
        return 1;
    }
    if (const std::string problem = SwitchesProblem(b.switches); !problem.empty()) {
        err << "zarn bundle: --switches \"" << b.switches << "\": " << problem << "\n";
        return 2;
    }
    std::string text = b.switches;
    if (!text.empty()) text += ' ';
    // The arguments the copy is started with follow the stored text: a
    // space keeps the first of them apart from the offset.
    text += ":" + std::to_string(image.size()) + " ";
    if (!PatchStoredCommand(image, text)) {
        err << "zarn bundle: " << b.player << " holds no stored command line, or the switches are too long\n";
        return 1;
    }
    OutputFile output;
    if (!OpenOutput(b.output, 0777, {IdentityOfInput(b.video), IdentityOfInput(b.player)}, output)) {
        err << "zarn bundle: " << output.error << "\n";
        return 1;
    }
    if (!WriteOutput(output, image.data(), image.size()) ||
        !WriteOutput(output, video.data(), video.size()) || !CommitOutput(output)) {
        err << "zarn bundle: " << output.error << "\n";
        DiscardOutput(output);
        return 1;
    }
    // Standard output carries the program: the report goes with the errors.
    (output.streamed ? err : out) << b.output << ": plays " << b.video << " (stored command \"" << text
                                  << "\")\n";
    return 0;
}

}  // namespace zarn
