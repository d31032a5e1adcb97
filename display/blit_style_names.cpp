#include <cstring>

#include "display/display_target.h"

namespace zarn {
namespace {

const char* const kStyleNames[11] = {
    nullptr,
    "DirectDraw primary surface",
    "DIB Section",
    "DirectDraw YV12 overlay",
    "DirectDraw YUY2 overlay",
    "DirectDraw UYVY overlay",
    "DirectDraw YV12 off-screen surface",
    "DirectDraw YUY2 off-screen surface",
    "DirectDraw UYVY off-screen surface",
    "DirectDraw RGB off-screen video surface",
    "DirectDraw RGB off-screen system surface",
};

}  // namespace

const char* BlitStyleName(const DisplayTarget* target) {
    static char name[64] = "";
    if (target != nullptr && target->style >= 1 && target->style <= 10)
        std::strncpy(name, kStyleNames[target->style], sizeof name - 1);
    return name;
}

}  // namespace zarn
