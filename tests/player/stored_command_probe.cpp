// Prints the default command line this program carries, between brackets.
#include <cstdio>

#include "player/command_line.h"

int main() {
    std::printf("[%s]\n", zarn::StoredDefaultCommand().c_str());
    return 0;
}
