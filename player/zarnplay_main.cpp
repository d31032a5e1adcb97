// zarnplay: plays the Zarn videos named on its command line.
#include <cstdio>

#include "encoder/closing_picture.h"
#include "player/platform.h"
#include "player/player_session.h"

int main(int argc, char** argv) {
    std::unique_ptr<zarn::Platform> platform = zarn::CreateSdlPlatform();
    if (const char* notice = platform->HeadlessNotice()) std::fprintf(stderr, "%s\n", notice);
    const zarn::ClosingPicture picture{zarn::kClosingPicture, zarn::kClosingPictureSize};
    return zarn::RunPlayer(*platform, argc, argv, picture, ZARN_WEB_PAGE);
}
