// The `zarn` command: tools around Zarn videos.
#include <signal.h>
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "tools/bundle_command.h"
#include "tools/decode_command.h"
#include "tools/encode_command.h"
#include "tools/info_command.h"
#include "tools/interruption.h"
#include "tools/output_file.h"
#include "tools/thumbnail_command.h"

namespace {

constexpr const char* kUsage =
    "Usage: zarn COMMAND [OPTIONS] ...\n"
    "Commands:\n"
    "  info FILE...                 show what a Zarn video holds (--json for JSON)\n"
    "  decode IN.zrn --y4m OUT ...  decode the frames and sound into Y4M, WAV, PNG, raw\n"
    "  encode IN.y4m -o OUT.zrn     make a Zarn video\n"
    "  bundle VIDEO.zrn -o OUT      make a self-playing copy of the player\n"
    "  thumbnail IN.zrn OUT.png     a representative picture as PNG (-s SIZE)\n"
    "  help                         show this list\n"
    "Run 'zarn COMMAND --help' for the options of a command; 'zarn --version' for the\n"
    "version. A file name of - means standard input or standard output.\n"
    "Exit status: 0 done, 1 failure, 2 usage error, 130/143 interrupted by SIGINT/SIGTERM.\n";

// The first signal asks the command to stop after the frame in hand; a
// second one stops at once, leaving no temporary file behind.
void OnSignal(int signal_number) {
    if (zarn::NoteInterruption(signal_number)) return;
    zarn::RemoveTemporaryOutputs();
    ::_exit(128 + zarn::InterruptionSignal());
}

// Commands without frames stop at the first signal, leaving no temporary file.
void OnSignalStopAtOnce(int signal_number) {
    zarn::RemoveTemporaryOutputs();
    ::_exit(128 + signal_number);
}

void InstallSignalHandlers(bool finish_frame) {
    struct sigaction sa = {};
    sa.sa_handler = finish_frame ? OnSignal : OnSignalStopAtOnce;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << kUsage;
        return 2;
    }
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << kUsage;
        return 0;
    }
    if (command == "--version" || command == "-V") {
        std::cout << "zarn " << ZARN_VERSION << "\n";
        return 0;
    }
    InstallSignalHandlers(command == "decode" || command == "encode");
    if (command == "bundle") return zarn::RunBundleCommand(args, std::cout, std::cerr);
    if (command == "decode") return zarn::RunDecodeCommand(args, std::cout, std::cerr);
    if (command == "info") return zarn::RunInfoCommand(args, std::cout, std::cerr);
    if (command == "thumbnail") return zarn::RunThumbnailCommand(args, std::cout, std::cerr);
    if (command == "encode") return zarn::RunEncodeCommand(args, std::cout, std::cerr);
    std::cerr << "zarn: unknown command '" << command << "'\n" << kUsage;
    return 2;
}
