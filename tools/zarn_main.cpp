// The `zarn` command: tools around Zarn videos.
#include <iostream>
#include <string>
#include <vector>

#include "tools/bundle_command.h"
#include "tools/decode_command.h"
#include "tools/encode_command.h"
#include "tools/info_command.h"

namespace {

constexpr const char* kUsage =
    "Usage: zarn COMMAND [OPTIONS] ...\n"
    "Commands:\n"
    "  info FILE...     show what a Zarn video holds\n"
    "  encode IN.y4m -o OUT.zrn   make a Zarn video (zarn encode --help)\n"
    "  bundle VIDEO.zrn -o OUT    make a self-playing copy of the player\n"
    "Run 'zarn COMMAND --help' for the options of a command.\n";

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
    if (command == "bundle") return zarn::RunBundleCommand(args, std::cout, std::cerr);
    if (command == "decode") return zarn::RunDecodeCommand(args, std::cout, std::cerr);
    if (command == "info") return zarn::RunInfoCommand(args, std::cout, std::cerr);
    if (command == "encode") return zarn::RunEncodeCommand(args, std::cout, std::cerr);
    std::cerr << "zarn: unknown command '" << command << "'\n" << kUsage;
    return 2;
}
