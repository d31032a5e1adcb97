#include "audio/audio_decoder.h"

#include <cmath>
#include <cstring>
#include <new>

#include "audio/audio_bit_reader.h"
#include "audio/audio_coefficients.h"
#include "audio/audio_geometry.h"
#include "audio/audio_pcm.h"
#include "audio/packed_float.h"
#include "base/engine_memory.h"

namespace zarn {
namespace {

// Reads and reconstructs one block's time signal into a; false when the block
// runs past the reader's bound.
bool DecodeSpectrum(AudioDecoder* decoder, AudioBitReader* reader, float* a) {
    const uint32_t n = decoder->block_size;
    a[0] = DecodePackedFloat(ReadAudioBits(reader, kPackedFloatBits));
    a[1] = DecodePackedFloat(ReadAudioBits(reader, kPackedFloatBits));
    float steps[kMaxBands];
    for (uint32_t b = 0; b < decoder->band_count; ++b) steps[b] = QuantiserStep(ReadAudioBits(reader, 8));
    alignas(32) int16_t coefficients[kMaxAudioBlockValues];
    ReadCoefficientGroups(reader, n, coefficients);
    if (reader->overrun) return false;
    Dequantise(coefficients, steps, decoder->band_edges, decoder->band_count, n, a);
    InverseRealDft(n, a, &decoder->tables);
    return true;
}

}  // namespace

AudioDecoder* CreateAudioDecoder(uint32_t rate, uint32_t channels, [[maybe_unused]] uint32_t options) {
    void* memory = EngineAllocate(sizeof(AudioDecoder) + kMaxAudioBlockValues * sizeof(int16_t));
    if (memory == nullptr) return nullptr;
    AudioDecoder* decoder = new (memory) AudioDecoder{};
    const AudioGeometry geometry = ComputeAudioGeometry(rate, channels);
    decoder->block_size = geometry.block_size;
    decoder->pcm_scale = static_cast<float>(2.0 / std::sqrt(static_cast<double>(geometry.block_size)));
    decoder->overlap = geometry.overlap;
    decoder->pcm = reinterpret_cast<int16_t*>(decoder + 1);
    decoder->first_block = 1;
    decoder->last_block_cut = 0;
    decoder->band_count = geometry.band_count;
    std::memcpy(decoder->band_edges, geometry.band_edges, sizeof(decoder->band_edges));
    return decoder;
}

void DecodeAudioBlock(AudioDecoder* decoder, const int16_t** pcm_out, uint32_t* pcm_bytes_out,
                      const uint8_t* block, const uint8_t* end, const uint8_t** next_out) {
    if (decoder == nullptr) return;
    const uint32_t n = decoder->block_size;
    const uint32_t c = decoder->overlap;
    AudioBitReader reader = StartAudioBits(block, end);
    alignas(32) float a[kMaxAudioBlockValues];
    const bool complete = DecodeSpectrum(decoder, &reader, a);
    if (complete) {
        ConvertToPcm(a, n, decoder->pcm_scale, decoder->pcm);
        if (decoder->first_block == 0) CrossFade(decoder->pcm, decoder->tail, c);
    } else {
        std::memset(decoder->pcm, 0, n * sizeof(int16_t));
    }
    decoder->first_block = 0;
    decoder->last_block_cut = complete ? 0 : 1;
    std::memcpy(decoder->tail, decoder->pcm + (n - c), c * sizeof(int16_t));
    if (pcm_out != nullptr) *pcm_out = decoder->pcm;
    if (pcm_bytes_out != nullptr) *pcm_bytes_out = (n - c) * 2;
    if (next_out != nullptr) *next_out = complete ? AudioBitsEnd(reader) : end;
}

void FreeAudioDecoder(AudioDecoder* decoder) {
    if (decoder == nullptr) return;
    decoder->~AudioDecoder();
    EngineFree(decoder);
}

}  // namespace zarn
