// `zarn encode`: makes a Zarn video from a Y4M picture stream and WAV sound.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace zarn {

// Runs the command with its arguments (after "encode"). Returns the exit
// code: 0 done, 1 bad input or failure to write, 2 bad usage.
int RunEncodeCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace zarn
