// Whole blocks through the AudioDecoder.
#include "audio/audio_decoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "audio/packed_float.h"
#include "encoder/bit_writer.h"
#include "tests/audio/audio_block_builder.h"

namespace zarn {
namespace {

struct DecoderDeleter {
    void operator()(AudioDecoder* decoder) const { FreeAudioDecoder(decoder); }
};
using DecoderPtr = std::unique_ptr<AudioDecoder, DecoderDeleter>;

DecoderPtr Create(uint32_t rate, uint32_t channels) {
    DecoderPtr decoder(CreateAudioDecoder(rate, channels, 1));
    EXPECT_NE(decoder, nullptr);
    return decoder;
}

struct Decoded {
    std::vector<int16_t> delivered;
    const uint8_t* next = nullptr;
};

Decoded Decode(AudioDecoder* decoder, const std::vector<uint8_t>& bytes) {
    // A heap copy of exactly the block's size, so that any read past it is caught.
    auto copy = std::make_unique<uint8_t[]>(bytes.size());
    if (!bytes.empty()) std::memcpy(copy.get(), bytes.data(), bytes.size());
    const int16_t* pcm = nullptr;
    uint32_t pcm_bytes = 0;
    Decoded out;
    DecodeAudioBlock(decoder, &pcm, &pcm_bytes, copy.get(), copy.get() + bytes.size(), &out.next);
    EXPECT_EQ(pcm, decoder->pcm);
    EXPECT_EQ(pcm_bytes, (decoder->block_size - decoder->overlap) * 2);
    out.delivered.assign(pcm, pcm + pcm_bytes / 2);
    out.next = bytes.data() + (out.next - copy.get());
    return out;
}

std::vector<uint32_t> Edges(const AudioDecoder* decoder) {
    return std::vector<uint32_t>(decoder->band_edges, decoder->band_edges + decoder->band_count + 1);
}

TEST(AudioDecoderCreateTest, GeometryAndBandLayouts) {
    const std::vector<uint32_t> common = {0,  4,   9,   13,  18,  23,  29,  35,  42,  50,  58,  68, 79,
                                          92, 107, 125, 146, 171, 204, 246, 297, 357, 441, 557, 719};
    struct Case {
        uint32_t rate, channels, n, bands;
        float scale;
    };
    for (const Case& c : {Case{44100, 2, 4096, 25, 0.03125f}, Case{44100, 1, 2048, 25, 0.044194173f},
                          Case{22050, 2, 2048, 25, 0.044194173f}, Case{22050, 1, 1024, 23, 0.0625f},
                          Case{11025, 1, 512, 20, 0.088388346f}, Case{48000, 2, 4096, 25, 0.03125f},
                          Case{32000, 1, 1024, 25, 0.0625f}, Case{8000, 2, 1024, 22, 0.0625f}}) {
        auto decoder = Create(c.rate, c.channels);
        EXPECT_EQ(decoder->block_size, c.n) << c.rate;
        EXPECT_EQ(decoder->overlap, c.n / 16);
        EXPECT_EQ(decoder->pcm_scale, c.scale);
        EXPECT_EQ(decoder->first_block, 1u);
        EXPECT_EQ(decoder->band_count, c.bands) << c.rate << " " << c.channels;
        EXPECT_EQ(decoder->band_edges[c.bands], c.n / 2);
        EXPECT_EQ(decoder->pcm, reinterpret_cast<int16_t*>(decoder.get() + 1));
        EXPECT_EQ(decoder->tables.scratch[0], 0);
        if (c.rate == 48000 || c.rate == 32000 || c.rate == 8000) continue;
        for (uint32_t b = 0; b < c.bands; ++b)
            EXPECT_EQ(decoder->band_edges[b], common[b]) << c.rate << " " << b;
    }
    // 22050 Hz mono: the bands end at 512 after 441.
    auto mono = Create(22050, 1);
    EXPECT_EQ(Edges(mono.get()).back(), 512u);
    EXPECT_EQ(mono->band_edges[22], 441u);
    // 11025 Hz mono: 246 is the last edge below the Nyquist frequency.
    auto low = Create(11025, 1);
    EXPECT_EQ(low->band_edges[19], 246u);
    EXPECT_EQ(low->band_edges[20], 256u);
}

TEST(AudioDecoderTest, SilentBlockOfTheWorkedExample) {
    BitWriter writer;
    writer.Put(0, 29);
    writer.Put(0, 29);
    for (int b = 0; b < 20; ++b) writer.Put(0, 8);
    writer.PutBit(true);
    writer.Put(15, 4);
    writer.Put(0, 4);
    EXPECT_EQ(writer.BitCount(), 227u);
    const auto bytes = writer.Finish();
    ASSERT_EQ(bytes.size(), 32u);
    for (size_t i = 0; i < 32; ++i) {
        const uint8_t want = (i == 27) ? 0x7C : 0;  // word 6 is 0x7C000000
        EXPECT_EQ(bytes[i], want) << i;
    }

    auto decoder = Create(11025, 1);
    // Poison the output buffer so that every one of the 512 values is checked.
    for (uint32_t i = 0; i < 512; ++i) decoder->pcm[i] = 123;
    const Decoded out = Decode(decoder.get(), bytes);
    EXPECT_EQ(out.next, bytes.data() + 32);
    ASSERT_EQ(out.delivered.size(), 480u);
    for (uint32_t i = 0; i < 512; ++i) ASSERT_EQ(decoder->pcm[i], 0) << i;
    EXPECT_EQ(decoder->first_block, 0u);
    EXPECT_EQ(decoder->tables.scratch[0], 128);  // tables built by the first block
}

// A block holding only a DC value: every output value is round(dc / 2 * scale).
test::BlockSpec DcBlock(uint32_t n, uint32_t bands, uint32_t mantissa, bool negative) {
    test::BlockSpec spec;
    spec.dc_field = test::PackedFloatField(mantissa, 23, negative);
    spec.quantisers.assign(bands, 0);
    spec.coefficients.assign(n, 0);
    return spec;
}

TEST(AudioDecoderTest, FirstBlockIsNotFadedAndLaterBlocksAre) {
    auto decoder = Create(11025, 1);  // n 512, c 32, scale 0.088388346
    // -113 / 2 * 0.088388346 = -4.994 -> -5 everywhere.
    const Decoded first = Decode(decoder.get(), test::BuildBlock(DcBlock(512, 20, 113, true)));
    for (int16_t v : first.delivered) ASSERT_EQ(v, -5);
    for (int i = 0; i < 32; ++i) EXPECT_EQ(decoder->tail[i], -5);

    // A silent block fades the held-back -5 out, rounding toward minus infinity.
    const Decoded second = Decode(decoder.get(), test::SilentBlock(20));
    for (uint32_t i = 0; i < 32; ++i) EXPECT_EQ(second.delivered[i], std::floor(-5.0 * (32 - i) / 32)) << i;
    EXPECT_EQ(second.delivered[31], -1);
    for (uint32_t i = 32; i < 480; ++i) ASSERT_EQ(second.delivered[i], 0) << i;

    // A DC block after silence fades in: floor(v * i / c).
    // 4000 / 2 * 0.088388346 = 176.78 -> 177.
    const Decoded third = Decode(decoder.get(), test::BuildBlock(DcBlock(512, 20, 4000, false)));
    for (uint32_t i = 0; i < 32; ++i) EXPECT_EQ(third.delivered[i], (177 * static_cast<int>(i)) / 32) << i;
    for (uint32_t i = 32; i < 480; ++i) ASSERT_EQ(third.delivered[i], 177) << i;
}

TEST(AudioDecoderTest, QuantiserCountFollowsTheBands) {
    struct Case {
        uint32_t rate, channels, bands;
    };
    for (const Case& c : {Case{22050, 1, 23}, Case{22050, 2, 25}, Case{44100, 1, 25}, Case{44100, 2, 25},
                          Case{11025, 1, 20}}) {
        auto decoder = Create(c.rate, c.channels);
        ASSERT_EQ(decoder->band_count, c.bands);
        // The DC value comes first; a wrong quantiser count would misread the groups.
        test::BlockSpec spec = DcBlock(decoder->block_size, c.bands, 1 << 20, false);
        for (uint32_t b = 0; b < c.bands; ++b) spec.quantisers[b] = static_cast<uint8_t>(3 * b + 1);
        spec.coefficients[2 * decoder->band_edges[c.bands - 1] + 1] = -9;  // top band, sine part
        spec.coefficients[4] = 3;                                          // bin 2, band 0
        const auto bytes = test::BuildBlock(spec);
        const Decoded out = Decode(decoder.get(), bytes);
        EXPECT_EQ(out.next, bytes.data() + bytes.size());
        const auto want = test::ReferencePcm(spec, Edges(decoder.get()), decoder->pcm_scale);
        for (size_t t = 0; t < decoder->block_size; ++t)
            ASSERT_NEAR(decoder->pcm[t], want[t], 1) << c.rate << " " << t;
    }
}

TEST(AudioDecoderTest, RandomBlocksMatchTheReferenceWithinOne) {
    std::mt19937 rng(42);
    for (auto [rate, channels] : {std::pair{11025u, 1u}, std::pair{22050u, 2u}, std::pair{44100u, 1u}}) {
        auto decoder = Create(rate, channels);
        const uint32_t n = decoder->block_size;
        test::BlockSpec spec;
        spec.dc_field = test::PackedFloatField(rng() & 0xFFFF, 20, true);
        spec.nyquist_field = test::PackedFloatField(rng() & 0xFFF, 23, false);
        for (uint32_t b = 0; b < decoder->band_count; ++b)
            spec.quantisers.push_back(static_cast<uint8_t>(rng() % 40));
        spec.coefficients.assign(n, 0);
        for (uint32_t j = 2; j < n; ++j) {
            const int range = j < n / 8 ? 400 : 6;
            spec.coefficients[j] = static_cast<int16_t>(static_cast<int>(rng() % (2 * range + 1)) - range);
        }
        const auto bytes = test::BuildBlock(spec);
        const Decoded out = Decode(decoder.get(), bytes);
        EXPECT_EQ(out.next, bytes.data() + bytes.size());
        const auto want = test::ReferencePcm(spec, Edges(decoder.get()), decoder->pcm_scale);
        int exact = 0;
        for (size_t t = 0; t < n; ++t) {
            ASSERT_NEAR(decoder->pcm[t], want[t], 1) << rate << " " << t;
            exact += decoder->pcm[t] == want[t];
        }
        EXPECT_GT(exact, static_cast<int>(n * 9 / 10));
    }
}

TEST(AudioDecoderTest, LongRunCutAtTheLastCoefficientEndsTheBlock) {
    auto decoder = Create(11025, 1);
    test::BlockSpec spec = DcBlock(512, 20, 0, false);
    spec.quantisers.assign(20, 30);
    BitWriter writer;
    writer.Put(0, 29);
    writer.Put(0, 29);
    for (int b = 0; b < 20; ++b) writer.Put(30, 8);
    for (uint32_t j = 2; j + 8 <= 506; j += 8) {
        writer.PutBit(false);
        writer.Put(0, 4);
    }
    writer.PutBit(true);
    writer.Put(15, 4);
    writer.Put(4, 4);
    const int top[6] = {9, -3, 0, 15, -1, 4};
    for (int i = 0; i < 6; ++i) {
        writer.Put(static_cast<uint32_t>(std::abs(top[i])), 4);
        if (top[i] != 0) writer.PutBit(top[i] < 0);
        spec.coefficients[506 + i] = static_cast<int16_t>(top[i]);
    }
    const size_t bits = writer.BitCount();
    auto bytes = writer.Finish();
    ASSERT_EQ(bytes.size(), (bits + 31) / 32 * 4);
    bytes.resize(bytes.size() + 8, 0xEE);  // the next block's words
    const Decoded out = Decode(decoder.get(), bytes);
    EXPECT_EQ(out.next, bytes.data() + (bits + 31) / 32 * 4);
    const auto want = test::ReferencePcm(spec, Edges(decoder.get()), decoder->pcm_scale);
    int nonzero = 0;
    for (size_t t = 0; t < 512; ++t) {
        ASSERT_NEAR(decoder->pcm[t], want[t], 1) << t;
        nonzero += decoder->pcm[t] != 0;
    }
    EXPECT_GT(nonzero, 256);
}

TEST(AudioDecoderTest, BlockEndingOnAWordBoundaryUsesNoFurtherWord) {
    // 58 + 160 quantiser bits, a group of width 3 with eight zero magnitudes
    // (29 bits), a long run of width 0 (9 bits): 256 bits, eight words exactly.
    BitWriter writer;
    writer.Put(test::PackedFloatField(4000, 23, false), 29);
    writer.Put(0, 29);
    for (int b = 0; b < 20; ++b) writer.Put(0, 8);
    writer.PutBit(false);
    writer.Put(3, 4);
    for (int i = 0; i < 8; ++i) writer.Put(0, 3);
    writer.PutBit(true);
    writer.Put(15, 4);
    writer.Put(0, 4);
    ASSERT_EQ(writer.BitCount(), 256u);
    auto bytes = writer.Finish();
    const auto second = test::SilentBlock(20);
    bytes.insert(bytes.end(), second.begin(), second.end());

    auto decoder = Create(11025, 1);
    auto copy = bytes;
    const int16_t* pcm = nullptr;
    const uint8_t* next = nullptr;
    DecodeAudioBlock(decoder.get(), &pcm, nullptr, copy.data(), copy.data() + copy.size(), &next);
    EXPECT_EQ(next, copy.data() + 32);
    EXPECT_EQ(pcm[100], 177);
    DecodeAudioBlock(decoder.get(), nullptr, nullptr, next, copy.data() + copy.size(), &next);
    EXPECT_EQ(next, copy.data() + copy.size());
    EXPECT_EQ(decoder->pcm[0], 177);
    EXPECT_EQ(decoder->pcm[100], 0);
}

TEST(AudioDecoderTest, TruncatedBlockGivesSilenceAndStopsAtTheBound) {
    auto decoder = Create(22050, 2);
    const uint32_t n = decoder->block_size;
    test::BlockSpec spec = DcBlock(n, 25, 5000, false);
    for (uint32_t j = 2; j < n; ++j) spec.coefficients[j] = static_cast<int16_t>((j * 7) % 13) - 6;
    const auto whole = test::BuildBlock(spec);
    const Decoded good = Decode(decoder.get(), whole);
    ASSERT_EQ(good.next, whole.data() + whole.size());
    ASSERT_NE(decoder->tail[5], 0);

    for (size_t size : {whole.size() - 1, whole.size() - 4, whole.size() / 2, size_t{7}, size_t{0}}) {
        std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<long>(size));
        const Decoded out = Decode(decoder.get(), cut);
        EXPECT_EQ(out.next, cut.data() + cut.size()) << size;
        for (uint32_t i = 0; i < n; ++i) ASSERT_EQ(decoder->pcm[i], 0) << size << " " << i;
        for (uint32_t i = 0; i < decoder->overlap; ++i) ASSERT_EQ(decoder->tail[i], 0);
    }
    // A complete block decodes again after the truncated ones.
    const Decoded again = Decode(decoder.get(), whole);
    EXPECT_EQ(again.next, whole.data() + whole.size());
    EXPECT_EQ(again.delivered[n / 2], good.delivered[n / 2]);
}

TEST(AudioDecoderTest, NullOutputsAreSkipped) {
    auto decoder = Create(44100, 2);
    const auto bytes = test::SilentBlock(25);
    DecodeAudioBlock(decoder.get(), nullptr, nullptr, bytes.data(), bytes.data() + bytes.size(), nullptr);
    EXPECT_EQ(decoder->first_block, 0u);
    FreeAudioDecoder(nullptr);
}

}  // namespace
}  // namespace zarn
