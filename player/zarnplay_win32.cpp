// zarnplay.exe: plays the Zarn videos named on its command line.
#include <windows.h>
// The Platform interface has a CreateWindow of its own.
#undef CreateWindow

#include <cstdlib>

#include "encoder/closing_picture.h"
#include "player/platform.h"
#include "player/player_session.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    std::unique_ptr<zarn::Platform> platform = zarn::CreateWin32Platform(instance);
    const zarn::ClosingPicture picture{zarn::kClosingPicture, zarn::kClosingPictureSize};
    // The runtime's split of the command line, as on other systems.
    return zarn::RunPlayer(*platform, __argc, __argv, picture, ZARN_WEB_PAGE);
}
