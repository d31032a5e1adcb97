#include "tests/audio/audio_block_builder.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <random>

#include "audio/audio_coefficients.h"
#include "audio/packed_float.h"

namespace zarn::test {

uint32_t PackedFloatField(uint32_t mantissa, uint32_t exponent, bool negative) {
    return (exponent & 31u) | ((mantissa & 0x7FFFFFu) << 5) | (negative ? 1u << 28 : 0u);
}

void WriteCoefficientGroups(BitWriter* writer, const std::vector<int16_t>& coefficients) {
    const size_t n = coefficients.size();
    for (size_t j = 2; j < n; j += 8) {
        const size_t end = std::min(j + 8, n);
        uint32_t largest = 0;
        for (size_t i = j; i < end; ++i) largest = std::max<uint32_t>(largest, std::abs(coefficients[i]));
        const uint32_t width = static_cast<uint32_t>(std::bit_width(largest));
        writer->PutBit(false);
        writer->Put(width, 4);
        if (width == 0) continue;
        for (size_t i = j; i < end; ++i) {
            const int32_t v = coefficients[i];
            writer->Put(static_cast<uint32_t>(std::abs(v)), width);
            if (v != 0) writer->PutBit(v < 0);
        }
    }
}

std::vector<uint8_t> BuildBlock(const BlockSpec& spec) {
    BitWriter writer;
    writer.Put(spec.dc_field, kPackedFloatBits);
    writer.Put(spec.nyquist_field, kPackedFloatBits);
    for (uint8_t q : spec.quantisers) writer.Put(q, 8);
    WriteCoefficientGroups(&writer, spec.coefficients);
    return writer.Finish();
}

std::vector<uint8_t> SilentBlock(uint32_t band_count) {
    BitWriter writer;
    writer.Put(0, kPackedFloatBits);
    writer.Put(0, kPackedFloatBits);
    for (uint32_t b = 0; b < band_count; ++b) writer.Put(0, 8);
    writer.PutBit(true);
    writer.Put(15, 4);
    writer.Put(0, 4);
    return writer.Finish();
}

std::vector<int32_t> ReferencePcm(const BlockSpec& spec, const std::vector<uint32_t>& band_edges,
                                  float pcm_scale) {
    const size_t n = spec.coefficients.size();
    std::vector<double> a(n, 0.0);
    a[0] = DecodePackedFloat(spec.dc_field);
    a[1] = DecodePackedFloat(spec.nyquist_field);
    for (size_t b = 0; b + 1 < band_edges.size(); ++b) {
        const float step = QuantiserStep(spec.quantisers[b]);
        for (size_t k = std::max<size_t>(band_edges[b], 1); k < band_edges[b + 1]; ++k) {
            a[2 * k] = static_cast<float>(spec.coefficients[2 * k]) * step;
            a[2 * k + 1] = static_cast<float>(spec.coefficients[2 * k + 1]) * step;
        }
    }
    const double pi = 3.14159265358979323846;
    std::vector<int32_t> pcm(n);
    for (size_t t = 0; t < n; ++t) {
        double x = 0.5 * (a[0] + ((t & 1) ? -a[1] : a[1]));
        for (size_t k = 1; k < n / 2; ++k) {
            const double angle = 2.0 * pi * static_cast<double>((k * t) % n) / static_cast<double>(n);
            x += a[2 * k] * std::cos(angle) + a[2 * k + 1] * std::sin(angle);
        }
        const double scaled = std::nearbyint(x * pcm_scale);
        pcm[t] = static_cast<int32_t>(std::clamp(scaled, -32768.0, 32767.0));
    }
    return pcm;
}

std::vector<float> RandomUnitFloats(size_t count, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::vector<float> v(count);
    for (float& x : v) x = dist(rng);
    return v;
}

}  // namespace zarn::test
