// `zarn decode`: steps a Zarn video frame by frame through the engine and
// writes the decoded pictures, alpha planes, sound or converted frames.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace zarn {

// Runs `zarn decode` with the arguments after the subcommand name. Returns
// 0 on success, 1 when the file cannot be opened, lacks what was asked for,
// fails to decode or an output cannot be written, 2 for a usage error.
int RunDecodeCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace zarn
