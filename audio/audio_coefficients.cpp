#include "audio/audio_coefficients.h"

#include "audio/audio_kernels.h"

#include <array>
#include <cmath>

namespace zarn {
namespace {

// Long-run lengths in units of 8 coefficients.
constexpr uint32_t kRunTable[16] = {2, 3, 4, 5, 6, 8, 9, 10, 11, 12, 13, 14, 15, 16, 32, 64};

const std::array<float, 256>& StepTable() {
    static const std::array<float, 256> table = [] {
        std::array<float, 256> steps{};
        const double k = static_cast<double>(0.0664f);
        for (uint32_t q = 0; q < steps.size(); ++q) steps[q] = static_cast<float>(std::pow(10.0, q * k));
        return steps;
    }();
    return table;
}

// One coefficient read field by field, where the buffer may run dry.
int16_t ReadCoefficientAtEnd(AudioBitReader* reader, uint32_t width) {
    const int32_t magnitude = static_cast<int32_t>(ReadAudioBits(reader, width));
    const bool negative = magnitude != 0 && ReadAudioBits(reader, 1) != 0;
    return static_cast<int16_t>(negative ? -magnitude : magnitude);
}

}  // namespace

float QuantiserStep(uint32_t q) { return StepTable()[q & 255u]; }

void ReadCoefficientGroups(AudioBitReader* reader, uint32_t n, int16_t* coefficients) {
    uint32_t j = 2;
    while (j < n && !reader->overrun) {
        uint32_t length = 8;
        if (ReadAudioBits(reader, 1) != 0) length = kRunTable[ReadAudioBits(reader, 4)] * 8;
        const uint32_t end = j + length < n ? j + length : n;
        const uint32_t width = ReadAudioBits(reader, 4);
        if (width == 0) {
            for (; j < end; ++j) coefficients[j] = 0;
            continue;
        }
        // Chunks of coefficients that surely fit in a refilled buffer, read
        // without further checks; near the bound one field at a time.
        const uint32_t mask = (1u << width) - 1u;
        const uint32_t chunk = 32 / (width + 1);
        while (j < end) {
            RefillAudioBits(reader);
            const uint32_t count = end - j < chunk ? end - j : chunk;
            if (reader->count < count * (width + 1)) {
                coefficients[j] = ReadCoefficientAtEnd(reader, width);
                ++j;
                continue;
            }
            uint64_t bits = reader->bits;
            uint32_t used = 0;
            for (uint32_t i = 0; i < count; ++i, ++j) {
                // Magnitude and the bit after it in one look; the sign bit
                // counts only when the magnitude is not 0.
                const uint32_t field = static_cast<uint32_t>(bits);
                const uint32_t magnitude = field & mask;
                const uint32_t nonzero = magnitude != 0;
                const uint32_t negative = (field >> width) & nonzero;
                bits >>= width + nonzero;
                used += width + nonzero;
                coefficients[j] = static_cast<int16_t>((magnitude ^ (0u - negative)) + negative);
            }
            reader->bits = bits;
            reader->count -= used;
        }
    }
}

void Dequantise(const int16_t* coefficients, const float* steps, const uint32_t* band_edges,
                uint32_t band_count, uint32_t n, float* a) {
    const AudioKernels& kernels = ActiveAudioKernels();
    const uint32_t half = n / 2;
    uint32_t bin = 1;
    for (uint32_t b = 0; b < band_count; ++b) {
        const uint32_t last = band_edges[b + 1] < half ? band_edges[b + 1] : half;
        if (last <= bin) continue;
        kernels.scale_coefficients(coefficients + 2 * bin, 2 * (last - bin), steps[b], a + 2 * bin);
        bin = last;
    }
    for (uint32_t k = 2 * bin; k < n; ++k) a[k] = 0.0f;
}

}  // namespace zarn
