// zarn_make_media: writes the generated test clips and sounds as Y4M and WAV
// files, for the sample script and for manual trials of `zarn encode`.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "encoder/test_media.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "Usage: zarn_make_media video CLIP WIDTH HEIGHT FRAMES RATE OUT.y4m\n"
                 "       zarn_make_media sound KIND RATE CHANNELS SECONDS OUT.wav\n"
                 "CLIP: pan, text, gradients, noise, cut, demo; KIND: sweep, chord, tune\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace zarn;
    if (argc == 8 && std::string(argv[1]) == "video") {
        const std::string name = argv[2];
        Clip clip = Clip::kDemo;
        if (name == "pan")
            clip = Clip::kPanZoom;
        else if (name == "text")
            clip = Clip::kScrollingText;
        else if (name == "gradients")
            clip = Clip::kGradients;
        else if (name == "noise")
            clip = Clip::kNoise;
        else if (name == "cut")
            clip = Clip::kSceneCut;
        else if (name != "demo")
            return Usage();
        const uint32_t w = uint32_t(std::atoi(argv[3])), h = uint32_t(std::atoi(argv[4]));
        const uint32_t frames = uint32_t(std::atoi(argv[5])), rate = uint32_t(std::atoi(argv[6]));
        if (w == 0 || h == 0 || rate == 0) return Usage();
        Y4mWriter out;
        if (!out.Open(argv[7], Y4mInfo{w, h, rate, 1})) return 1;
        for (uint32_t i = 0; i < frames; ++i)
            if (!out.WriteFrame(MakeClipFrame(clip, w, h, i))) return 1;
        return out.Close() ? 0 : 1;
    }
    if (argc == 7 && std::string(argv[1]) == "sound") {
        const std::string kind = argv[2];
        const uint32_t rate = uint32_t(std::atoi(argv[3])), ch = uint32_t(std::atoi(argv[4]));
        const double seconds = std::atof(argv[5]);
        if (rate == 0 || ch < 1 || ch > 2) return Usage();
        PcmTrack t = kind == "sweep"   ? MakeSineSweep(rate, ch, seconds)
                     : kind == "chord" ? MakeChord(rate, ch, seconds)
                                       : MakeTune(rate, ch, seconds);
        return WriteWavFile(argv[6], t) ? 0 : 1;
    }
    return Usage();
}
