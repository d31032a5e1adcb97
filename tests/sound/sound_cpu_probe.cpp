// Plays a tone through one back end on an SDL driver for a number of seconds,
// feeding every 10 ms like the engine's background thread, and prints the
// process CPU time. Usage: sound_cpu_probe ring|queue [seconds]
// (SDL_AUDIODRIVER defaults to "dummy").
#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "sound/direct_sound_output.h"
#include "sound/wave_out_output.h"

namespace {

double CpuSeconds(int who = RUSAGE_SELF) {
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || (std::strcmp(argv[1], "ring") != 0 && std::strcmp(argv[1], "queue") != 0)) {
        std::fprintf(stderr, "usage: %s ring|queue [seconds]\n", argv[0]);
        return 2;
    }
    const bool ring = std::strcmp(argv[1], "ring") == 0;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 60;
    setenv("SDL_AUDIODRIVER", "dummy", 0);

    const uint32_t rate = 44100;
    std::vector<uint8_t> tone(rate * 4);  // one second of 440 Hz stereo
    for (uint32_t i = 0; i < rate; ++i) {
        const int16_t v = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 440 * i / rate));
        std::memcpy(&tone[4 * i], &v, 2);
        std::memcpy(&tone[4 * i + 2], &v, 2);
    }

    zarn::SoundOpenOp open = ring ? zarn::StartDirectSound(nullptr) : zarn::StartWaveOut(nullptr);
    zarn::SoundOutput sound;
    if (open == nullptr || !open(&sound, rate, 16, 2, 0, nullptr)) {
        std::fprintf(stderr, "no sound device\n");
        return 1;
    }
    const double cpu_start = CpuSeconds();
    const double feeder_start = CpuSeconds(RUSAGE_THREAD);
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::seconds(seconds);
    size_t position = 0;
    uint32_t underruns = 0;
    uint64_t fed = 0;
    while (std::chrono::steady_clock::now() < end) {
        while (sound.ready(&sound)) {
            if (sound.underrun.exchange(0)) ++underruns;
            uint8_t* address = nullptr;
            uint32_t size = 0;
            if (!sound.get_buffer(&sound, &address, &size)) break;
            for (uint32_t done = 0; done < size;) {
                const size_t n = std::min<size_t>(size - done, tone.size() - position);
                std::memcpy(address + done, tone.data() + position, n);
                done += static_cast<uint32_t>(n);
                position = (position + n) % tone.size();
            }
            sound.commit(&sound, size);
            fed += size;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = CpuSeconds() - cpu_start;
    const double feeder = CpuSeconds(RUSAGE_THREAD) - feeder_start;
    sound.close(&sound);
    std::printf(
        "%s: %.1f s played, %.1f s of audio fed, cpu %.3f s = %.3f%% of a core "
        "(feeding thread %.3f s, device thread %.3f s), %u underruns\n",
        argv[1], wall, fed / (4.0 * rate), cpu, 100.0 * cpu / wall, feeder, cpu - feeder, underruns);
    return 0;
}
