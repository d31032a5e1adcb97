#include <cstdlib>

#include "player/quick_play.h"

namespace zarn {

QuickPlaySource QuickPlayFromEnvironment() {
    QuickPlaySource source;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] != '\0') {
        source.ini_path = std::string(config) + "/zarn/zarn.ini";
        return source;
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') source.ini_path = std::string(home) + "/.config/zarn/zarn.ini";
    return source;
}

}  // namespace zarn
