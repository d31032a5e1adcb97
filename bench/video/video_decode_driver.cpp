// Decodes one generated 1920x1080 frame a given number of times, for
// instruction counting under callgrind (count only DecodeVideoFrame with
// --toggle-collect). Usage: video_decode_driver intra|inter|mixed [frames]
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tests/video/stream_builder.h"
#include "video/decode_video_frame.h"

int main(int argc, char** argv) {
    using namespace zarn::test;
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s intra|inter|mixed [frames]\n", argv[0]);
        return 2;
    }
    const PlaneMix mix = std::strcmp(argv[1], "inter") == 0   ? PlaneMix::kInter
                         : std::strcmp(argv[1], "mixed") == 0 ? PlaneMix::kMixed
                                                              : PlaneMix::kIntra;
    const int frames = argc > 2 ? std::atoi(argv[2]) : 10;
    constexpr uint32_t kW = 1920, kH = 1080;
    const auto packet = MakeFramePacket(kW, kH, mix, 42, false);
    FrameBuffers f(kW, kH);
    for (int i = 0; i < frames; ++i) {
        zarn::DecodeVideoFrame(f.dest.data(), f.prev.data(), nullptr, nullptr, f.marks.data(), kW, kH,
                               f.luma_width, f.luma_height, packet.data(),
                               static_cast<uint32_t>(packet.size()), 0, f.bundles, 0, 0);
    }
    // Hash of the picture, to compare decoder versions.
    uint64_t hash = 1469598103934665603ull;
    for (uint8_t b : f.dest) hash = (hash ^ b) * 1099511628211ull;
    for (uint8_t b : f.marks) hash = (hash ^ b) * 1099511628211ull;
    std::printf("%d frames, picture hash %016llx\n", frames, static_cast<unsigned long long>(hash));
    return 0;
}
