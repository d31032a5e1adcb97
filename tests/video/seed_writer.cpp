// Writes well-formed packets as fuzzer seeds: 4 bytes choosing the frame
// size and flags (as video_packet_fuzz reads them), then the packet.
#include <cstdio>
#include <string>

#include "tests/video/stream_builder.h"

int main(int argc, char** argv) {
    if (argc < 2) return 1;
    using namespace zarn::test;
    int n = 0;
    for (uint32_t seed = 1; seed <= 12; ++seed) {
        const uint32_t w = 8 + seed * 13 % 120, h = 8 + seed * 29 % 90;
        const bool older = seed % 2 == 0;
        const PlaneMix mix = seed % 3 == 0   ? PlaneMix::kIntra
                             : seed % 3 == 1 ? PlaneMix::kInter
                                             : PlaneMix::kMixed;
        auto packet = MakeFramePacket(w, h, mix, seed, older);
        const uint8_t head[4] = {static_cast<uint8_t>(w - 1), static_cast<uint8_t>(h - 1), 0,
                                 static_cast<uint8_t>(older ? 1 : 0)};
        std::string name = std::string(argv[1]) + "/seed-" + std::to_string(seed);
        FILE* f = std::fopen(name.c_str(), "wb");
        if (!f) return 1;
        std::fwrite(head, 1, 4, f);
        std::fwrite(packet.data(), 1, packet.size(), f);
        std::fclose(f);
        ++n;
    }
    std::printf("%d seeds\n", n);
    return 0;
}
