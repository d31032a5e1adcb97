// AudioDecoder: turns the blocks of one track's audio packets into
// interleaved signed 16-bit PCM.
#pragma once

#include <cstdint>

#include "audio/inverse_real_dft.h"
#include "audio/transform_tables.h"

namespace zarn {

constexpr uint32_t kMaxAudioBlockValues = 4096;

struct AudioDecoder {
    uint32_t block_size;      // n: values per block, channels interleaved
    float pcm_scale;          // 2 / sqrt(n)
    uint32_t overlap;         // c = n / 16
    int16_t* pcm;             // output buffer of kMaxAudioBlockValues, right after the record
    uint32_t first_block;     // 1 until the first block is decoded
    uint32_t band_count;      // at most 25
    uint32_t band_edges[26];  // first bin of each band; band_edges[band_count] = n / 2
    TransformTables tables;
    int16_t tail[256];        // last c values of the previous block
    uint32_t last_block_cut;  // 1 when the last block ran past its data (it gave silence)
};

// rate in Hz as stored in the track format, channels 1 or 2, options 1.
// Returns nullptr only when memory is exhausted.
AudioDecoder* CreateAudioDecoder(uint32_t rate, uint32_t channels, uint32_t options);

// Decodes the block at `block`; no byte at or beyond `end` is read. Sets
// *pcm_out to the decoder's pcm buffer, *pcm_bytes_out to (n - c) * 2 and
// *next_out to the word after the block's last (each output may be nullptr).
// A block that would run past `end` delivers silence and sets *next_out = end.
void DecodeAudioBlock(AudioDecoder* decoder, const int16_t** pcm_out, uint32_t* pcm_bytes_out,
                      const uint8_t* block, const uint8_t* end, const uint8_t** next_out);

void FreeAudioDecoder(AudioDecoder* decoder);

}  // namespace zarn
