// The player's help text, shown when the command line names no video or
// holds a switch the player does not know.
#pragma once

namespace zarn {

inline constexpr char kHelpTitle[] = "Zarn Video Player Help";

// The whole text: a banner line, then the syntax and one entry per switch.
// Every line ends with "\n", the last one too.
const char* HelpText();

}  // namespace zarn
