#include "encoder/wav_reader.h"

#include <sndfile.h>

namespace zarn {

bool ReadWavFile(const std::string& path, PcmTrack& track, std::string& error) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) {
        error = "cannot read sound file '" + path + "': " + sf_strerror(nullptr);
        return false;
    }
    bool ok = true;
    if (info.channels < 1 || info.channels > 2) {
        error = "'" + path + "' has " + std::to_string(info.channels) +
                " channels; only mono and stereo are supported";
        ok = false;
    } else if (info.samplerate < 1 || info.samplerate > 65535) {
        error = "'" + path + "' has a sample rate of " + std::to_string(info.samplerate) +
                " Hz; at most 65535 Hz is supported";
        ok = false;
    } else if (info.frames < 0 || info.frames > (int64_t{1} << 30) / info.channels) {
        error = "'" + path + "' is too long";
        ok = false;
    }
    if (ok) {
        track.rate = static_cast<uint32_t>(info.samplerate);
        track.channels = static_cast<uint32_t>(info.channels);
        track.samples.assign(static_cast<size_t>(info.frames) * track.channels, 0);
        sf_count_t got = sf_readf_short(f, track.samples.data(), info.frames);
        if (got != info.frames) {
            error = "'" + path + "' is truncated or unreadable";
            ok = false;
        }
    }
    sf_close(f);
    return ok;
}

bool WriteWavFile(const std::string& path, const PcmTrack& track) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(track.rate);
    info.channels = static_cast<int>(track.channels);
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) return false;
    const sf_count_t frames = static_cast<sf_count_t>(track.samples.size() / track.channels);
    bool ok = sf_writef_short(f, track.samples.data(), frames) == frames;
    return (sf_close(f) == 0) && ok;
}

}  // namespace zarn
