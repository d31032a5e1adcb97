#include <windows.h>

#include "player/quick_play.h"

namespace zarn {
namespace {

std::string ProfileValue() {
    char value[kQuickPlayMaxValue + 1] = "";
    GetProfileStringA(kQuickPlaySection, kQuickPlayKey, "", value, sizeof value);
    return value;
}

}  // namespace

QuickPlaySource QuickPlayFromEnvironment() {
    QuickPlaySource source;
    source.read_profile = ProfileValue;
    return source;
}

}  // namespace zarn
