// `zarn info`: prints what opening each file learns about it.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace zarn {

// Runs `zarn info` with the arguments after the subcommand name. Returns the
// exit code: 0 when every file opened, 1 otherwise (2 for a usage error).
int RunInfoCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace zarn
