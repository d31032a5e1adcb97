#include "encoder/audio_encoder.h"

#include <algorithm>
#include <cmath>

#include "audio/audio_geometry.h"
#include "encoder/bit_writer.h"

namespace zarn {

namespace {

constexpr double kBandStepLog = 0.06639999896287918;  // log10 of the step per quantiser unit
constexpr double kFloorShare = 0.5;
constexpr uint32_t kRunTable[16] = {2, 3, 4, 5, 6, 8, 9, 10, 11, 12, 13, 14, 15, 16, 32, 64};

// The 29-bit packed float nearest to v: 23-bit mantissa, exponent 0..23.
uint32_t PackFloat(double v) {
    const uint32_t sign = v < 0 ? 1u : 0u;
    double a = std::fabs(v);
    for (uint32_t e = 0; e <= 23; ++e) {
        double m = std::nearbyint(a * std::ldexp(1.0, 23 - static_cast<int>(e)));
        if (m < 8388608.0) return static_cast<uint32_t>(m) << 5 | e | sign << 28;
    }
    return 0x7FFFFFu << 5 | 23u | sign << 28;
}

unsigned BitsFor(uint32_t v) {
    unsigned b = 0;
    while (v >> b) ++b;
    return b;
}

// In-place radix-2 complex FFT, forward kernel e^(-2 pi i k t / n).
void Fft(std::vector<double>& re, std::vector<double>& im, const std::vector<double>& c,
         const std::vector<double>& s) {
    const size_t n = re.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) {
            std::swap(re[i], re[j]);
            std::swap(im[i], im[j]);
        }
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const size_t stride = n / len;
        for (size_t i = 0; i < n; i += len)
            for (size_t k = 0; k < len / 2; ++k) {
                const double wr = c[k * stride], wi = -s[k * stride];
                const size_t a = i + k, b = i + k + len / 2;
                const double xr = re[b] * wr - im[b] * wi, xi = re[b] * wi + im[b] * wr;
                re[b] = re[a] - xr;
                im[b] = im[a] - xi;
                re[a] += xr;
                im[a] += xi;
            }
    }
}

// Groups of coefficients 2..n-1: the cheapest split into groups of 8 and
// long runs, each with the width of its largest magnitude.
void WriteGroups(const std::vector<int32_t>& coef, uint32_t n, BitWriter& w) {
    const uint32_t units = (n - 2 + 7) / 8;
    std::vector<unsigned> UnitWidth(units);
    std::vector<uint32_t> NonzeroPrefix(units + 1, 0);
    for (uint32_t u = 0; u < units; ++u) {
        uint32_t largest = 0, nz = 0;
        for (uint32_t j = 2 + 8 * u; j < std::min(n, 10 + 8 * u); ++j) {
            uint32_t m = static_cast<uint32_t>(std::abs(coef[j]));
            largest = std::max(largest, m);
            nz += m != 0;
        }
        UnitWidth[u] = BitsFor(largest);
        NonzeroPrefix[u + 1] = NonzeroPrefix[u] + nz;
    }
    auto values_in = [&](uint32_t u0, uint32_t u1) { return std::min(n, 2 + 8 * u1) - (2 + 8 * u0); };
    // best[u]: fewest bits for units u..end; choice[u]: 0 short group, else 1 + run index.
    std::vector<uint64_t> best(units + 1, 0);
    std::vector<uint8_t> choice(units, 0);
    for (uint32_t u = units; u-- > 0;) {
        uint64_t cost = 1 + 4 +
                        (UnitWidth[u] ? uint64_t{UnitWidth[u]} * values_in(u, u + 1) +
                                            (NonzeroPrefix[u + 1] - NonzeroPrefix[u])
                                      : 0) +
                        best[u + 1];
        best[u] = cost;
        choice[u] = 0;
        unsigned width = 0;
        uint32_t reach = u;
        for (unsigned r = 0; r < 16; ++r) {
            const uint32_t end = std::min(units, u + kRunTable[r]);
            while (reach < end) width = std::max(width, UnitWidth[reach++]);
            uint64_t c =
                1 + 4 + 4 +
                (width ? uint64_t{width} * values_in(u, end) + (NonzeroPrefix[end] - NonzeroPrefix[u]) : 0) +
                best[end];
            if (c < best[u]) {
                best[u] = c;
                choice[u] = static_cast<uint8_t>(1 + r);
            }
            if (end == units) break;
        }
    }
    for (uint32_t u = 0; u < units;) {
        uint32_t end = u + 1;
        if (choice[u] == 0) {
            w.Put(0, 1);
        } else {
            w.Put(1, 1);
            w.Put(choice[u] - 1u, 4);
            end = std::min(units, u + kRunTable[choice[u] - 1]);
        }
        unsigned width = 0;
        for (uint32_t k = u; k < end; ++k) width = std::max(width, UnitWidth[k]);
        w.Put(width, 4);
        if (width)
            for (uint32_t j = 2 + 8 * u; j < std::min(n, 2 + 8 * end); ++j) {
                w.Put(static_cast<uint32_t>(std::abs(coef[j])), width);
                if (coef[j]) w.Put(coef[j] < 0, 1);
            }
        u = end;
    }
}

}  // namespace

double AudioTargetSnr(unsigned quality) { return 0.4 * std::clamp(quality, 1u, 100u) - 1.0; }

AudioBlockEncoder::AudioBlockEncoder(uint32_t rate, uint32_t channels, unsigned quality) {
    const AudioGeometry g = ComputeAudioGeometry(rate, channels);
    n_ = g.block_size;
    band_count_ = g.band_count;
    std::copy(g.band_edges, g.band_edges + 26, band_edges_);
    alpha_ = std::sqrt(12.0 / std::pow(10.0, AudioTargetSnr(quality) / 10.0));
    cos_.resize(n_ / 2);
    sin_.resize(n_ / 2);
    for (uint32_t k = 0; k < n_ / 2; ++k) {
        cos_[k] = std::cos(2 * M_PI * k / n_);
        sin_[k] = std::sin(2 * M_PI * k / n_);
    }
    re_.resize(n_);
    im_.resize(n_);
    coef_.resize(n_);
}

void AudioBlockEncoder::Encode(const int16_t* values, size_t available, std::vector<uint8_t>& out) {
    const uint32_t n = n_;
    for (uint32_t t = 0; t < n; ++t) {
        re_[t] = t < available ? values[t] : 0.0;
        im_[t] = 0.0;
    }
    Fft(re_, im_, cos_, sin_);
    // Spectrum as the decoder's transform takes it, scaled so that the
    // decoder's 2 / sqrt(n) output scale gives back the input values.
    const double scale = 1.0 / std::sqrt(static_cast<double>(n));
    BitWriter w;
    w.Put(PackFloat(re_[0] * scale), 29);
    w.Put(PackFloat(re_[n / 2] * scale), 29);
    std::vector<double> a(n, 0.0);
    for (uint32_t k = 1; k < n / 2; ++k) {
        a[2 * k] = re_[k] * scale;
        a[2 * k + 1] = -im_[k] * scale;
    }
    // Noise is spread between equal shares per band (each band keeps the
    // target ratio to its own level) and an even noise floor over the block
    // (fewest bits for a given total error): the step follows the geometric
    // mean of the band's level and the block's level.
    double block_energy = 0;
    for (uint32_t j = 2; j < n; ++j) block_energy += a[j] * a[j];
    const double block_rms = std::sqrt(block_energy / (n - 2));
    for (uint32_t b = 0; b < band_count_; ++b) {
        const uint32_t lo = std::max<uint32_t>(band_edges_[b], 1), hi = band_edges_[b + 1];
        double energy = 0, largest = 0;
        for (uint32_t k = lo; k < hi; ++k)
            for (uint32_t j = 2 * k; j < 2 * k + 2; ++j) {
                energy += a[j] * a[j];
                largest = std::max(largest, std::fabs(a[j]));
            }
        const uint32_t count = hi > lo ? 2 * (hi - lo) : 1;
        const double delta =
            alpha_ * std::pow(energy / count, 0.5 * (1 - kFloorShare)) * std::pow(block_rms, kFloorShare);
        int q = delta > 1.0 ? static_cast<int>(std::floor(std::log10(delta) / kBandStepLog)) : 0;
        // Keep every magnitude within 15 bits.
        while (largest / static_cast<float>(std::pow(10.0, q * kBandStepLog)) > 32767.0) ++q;
        q = std::clamp(q, 0, 255);
        const float step =
            static_cast<float>(std::pow(10.0, q * static_cast<double>(static_cast<float>(kBandStepLog))));
        w.Put(static_cast<uint32_t>(q), 8);
        for (uint32_t k = lo; k < hi; ++k)
            for (uint32_t j = 2 * k; j < 2 * k + 2; ++j)
                coef_[j] = std::clamp(static_cast<int32_t>(std::lround(a[j] / step)), -32767, 32767);
    }
    WriteGroups(coef_, n, w);
    std::vector<uint8_t> bytes = w.Finish();
    out.insert(out.end(), bytes.begin(), bytes.end());
}

AudioTrackPackets EncodeAudioTrack(const PcmTrack& track, uint32_t frames, uint32_t rate_num,
                                   uint32_t rate_den, unsigned quality) {
    AudioTrackPackets result;
    AudioBlockEncoder enc(track.rate, track.channels, quality);
    const uint64_t total = track.samples.size();
    const uint64_t step = enc.Step();
    const uint64_t blocks = (total + step - 1) / step;
    result.packets.resize(frames);
    uint64_t done_blocks = 0;
    uint64_t largest_packet_bytes = 0;
    for (uint32_t f = 0; f < frames; ++f) {
        uint64_t target =
            f + 1 == frames ? total : (uint64_t{f + 1} * rate_den * track.rate / rate_num) * track.channels;
        target = std::min(target, total);
        const uint64_t want = std::min(blocks, (target + step - 1) / step);
        if (want <= done_blocks) continue;
        AudioPacket& p = result.packets[f];
        p.present = true;
        const uint64_t delivered_before = std::min(total, done_blocks * step);
        for (; done_blocks < want; ++done_blocks) {
            const uint64_t start = done_blocks * step;
            enc.Encode(track.samples.data() + start, static_cast<size_t>(total - start), p.data);
        }
        p.decoded_bytes = static_cast<uint32_t>((std::min(total, want * step) - delivered_before) * 2);
        largest_packet_bytes = std::max<uint64_t>(largest_packet_bytes, p.decoded_bytes);
    }
    const uint64_t bytes_per_second = uint64_t{track.rate} * track.channels * 2;
    uint64_t size = bytes_per_second * 3 / 2 + 2 * largest_packet_bytes;
    size = (size + 255) & ~uint64_t{255};
    result.buffer_size = static_cast<uint32_t>(std::min<uint64_t>(size, 0x7FFFFF00));
    result.format = (track.rate & 0xFFFF) | kTrackFormatAudio | kTrackFormatSixteenBit |
                    (track.channels == 2 ? kTrackFormatStereo : 0u);
    return result;
}

}  // namespace zarn
