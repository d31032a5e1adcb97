// `zarn bundle`: makes a self-playing copy of the player that carries one
// video after its program bytes and names it in its stored default command.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace zarn {

// Runs `zarn bundle VIDEO.zrn -o OUT [--switches "..."] [--player PATH]`.
// Returns 0 when OUT was written, 1 on a failure, 2 for a usage error.
int RunBundleCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace zarn
