#include "fuzz/audio/audio_packet_input.h"

#include "audio/audio_decoder.h"

namespace zarn {

uint32_t DecodeAudioPacketInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const uint32_t rate = data[0] | (static_cast<uint32_t>(data[1]) << 8);
    const uint32_t channels = (data[2] & 1) ? 2 : 1;
    AudioDecoder* decoder = CreateAudioDecoder(rate, channels, 1);
    if (decoder == nullptr) return 0;
    const uint8_t* block = data + 3;
    const uint8_t* end = data + size;
    const uint32_t expected_bytes = (decoder->block_size - decoder->overlap) * 2;
    uint32_t blocks = 0;
    while (block < end) {
        const int16_t* pcm = nullptr;
        uint32_t pcm_bytes = 0;
        const uint8_t* next = nullptr;
        DecodeAudioBlock(decoder, &pcm, &pcm_bytes, block, end, &next);
        // Every block moves forward by whole words, or to the bound.
        if (pcm != decoder->pcm || pcm_bytes != expected_bytes || next <= block || next > end)
            __builtin_trap();
        if (next != end && (next - block) % 4 != 0) __builtin_trap();
        int32_t sum = 0;
        for (uint32_t i = 0; i < pcm_bytes / 2; ++i) sum += pcm[i];  // every delivered value is readable
        if (sum == 0x7FFFFFFF) __builtin_trap();
        block = next;
        ++blocks;
    }
    FreeAudioDecoder(decoder);
    return blocks;
}

}  // namespace zarn
