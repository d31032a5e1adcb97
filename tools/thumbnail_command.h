// `zarn thumbnail`: one representative picture of a Zarn video as a small PNG,
// for file managers.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace zarn {

// Runs `zarn thumbnail IN OUT [-s SIZE]`. Returns 0 on success, 1 when the
// video cannot be opened or decoded or the PNG cannot be written, 2 for a
// usage error.
int RunThumbnailCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace zarn
