// Field-level rules of audio blocks: packed floats, bit reading, coefficient
// groups, quantiser steps, PCM rounding and the cross-fade.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "audio/audio_bit_reader.h"
#include "audio/audio_coefficients.h"
#include "audio/audio_pcm.h"
#include "audio/packed_float.h"
#include "encoder/bit_writer.h"
#include "tests/audio/audio_block_builder.h"

namespace zarn {
namespace {

TEST(PackedFloatTest, ExamplesAndUndefinedExponents) {
    EXPECT_EQ(DecodePackedFloat(0x77), 3.0f);
    EXPECT_EQ(DecodePackedFloat(0x77 | (1u << 28)), -3.0f);
    EXPECT_EQ(DecodePackedFloat(0x20), std::ldexp(1.0f, -23));
    EXPECT_EQ(DecodePackedFloat(test::PackedFloatField(0x7FFFFF, 0, false)),
              0x7FFFFF * std::ldexp(1.0f, -23));
    EXPECT_EQ(DecodePackedFloat(test::PackedFloatField(0x7FFFFF, 23, true)), -8388607.0f);
    EXPECT_EQ(DecodePackedFloat(test::PackedFloatField(5, 20, false)), 5.0f / 8.0f);
    for (uint32_t e = 24; e < 32; ++e)
        EXPECT_EQ(DecodePackedFloat(test::PackedFloatField(3, e, true)), 0.0f) << e;
    // Bits 29-31 lie outside the field.
    EXPECT_EQ(DecodePackedFloat(0x77 | 0xE0000000u), 3.0f);
}

TEST(AudioBitReaderTest, FieldsCrossWordsAndTheEndCountsUsedWordsOnly) {
    BitWriter writer;
    writer.Put(0x15, 5);
    writer.Put(0x1ABCDEF, 25);
    writer.Put(0x2, 2);  // ends exactly on the first word boundary
    writer.Put(0x1FFFFFFF, 29);
    writer.Put(0x5, 4);  // crosses into the third word
    const auto bytes = writer.Finish();
    ASSERT_EQ(bytes.size(), 12u);

    AudioBitReader reader = StartAudioBits(bytes.data(), bytes.data() + bytes.size());
    EXPECT_EQ(ReadAudioBits(&reader, 5), 0x15u);
    EXPECT_EQ(ReadAudioBits(&reader, 25), 0x1ABCDEFu);
    EXPECT_EQ(ReadAudioBits(&reader, 2), 0x2u);
    EXPECT_EQ(AudioBitsEnd(reader), bytes.data() + 4);  // ends on the boundary: no further word
    EXPECT_EQ(ReadAudioBits(&reader, 29), 0x1FFFFFFFu);
    EXPECT_EQ(AudioBitsEnd(reader), bytes.data() + 8);
    EXPECT_EQ(ReadAudioBits(&reader, 4), 0x5u);
    EXPECT_EQ(AudioBitsEnd(reader), bytes.data() + 12);
    EXPECT_FALSE(reader.overrun);
}

TEST(AudioBitReaderTest, BoundStopsReadingAndMarksOverrun) {
    const std::vector<uint8_t> bytes = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    AudioBitReader reader = StartAudioBits(bytes.data(), bytes.data() + bytes.size());
    EXPECT_EQ(ReadAudioBits(&reader, 20), 0xFFFFFu);
    EXPECT_EQ(ReadAudioBits(&reader, 12), 0xFFFu);
    EXPECT_FALSE(reader.overrun);
    // Three bytes remain, not a whole word: the next field is past the bound.
    EXPECT_EQ(ReadAudioBits(&reader, 1), 0u);
    EXPECT_TRUE(reader.overrun);
    EXPECT_EQ(reader.next, bytes.data() + 4);

    AudioBitReader backwards = StartAudioBits(bytes.data() + 4, bytes.data());
    EXPECT_EQ(ReadAudioBits(&backwards, 3), 0u);
    EXPECT_TRUE(backwards.overrun);
}

std::vector<int16_t> ReadGroups(const std::vector<uint8_t>& bytes, uint32_t n, AudioBitReader* reader) {
    std::vector<int16_t> coefficients(n, 0x5555);
    *reader = StartAudioBits(bytes.data(), bytes.data() + bytes.size());
    ReadCoefficientGroups(reader, n, coefficients.data());
    return coefficients;
}

TEST(CoefficientGroupsTest, ZeroMagnitudeHasNoSignBit) {
    BitWriter writer;
    writer.PutBit(false);  // group of 8
    writer.Put(2, 4);      // width 2
    const int16_t values[8] = {0, -1, 0, 3, -2, 0, 1, 0};
    for (int16_t v : values) {
        writer.Put(static_cast<uint32_t>(std::abs(v)), 2);
        if (v != 0) writer.PutBit(v < 0);
    }
    writer.Put(0x2A5, 10);  // marker right after the group
    const auto bytes = writer.Finish();
    AudioBitReader reader;
    const auto got = ReadGroups(bytes, 10, &reader);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(got[2 + i], values[i]) << i;
    EXPECT_EQ(ReadAudioBits(&reader, 10), 0x2A5u);
}

TEST(CoefficientGroupsTest, RunTableLengthsAndCutAtTheEnd) {
    // Long runs of every index, each of width 0 except a final marker group.
    const uint32_t run_lengths[16] = {2, 3, 4, 5, 6, 8, 9, 10, 11, 12, 13, 14, 15, 16, 32, 64};
    for (uint32_t index = 0; index < 16; ++index) {
        const uint32_t length = run_lengths[index] * 8;
        BitWriter writer;
        writer.PutBit(true);
        writer.Put(index, 4);
        writer.Put(0, 4);
        writer.PutBit(false);  // then a group of 8 ones
        writer.Put(1, 4);
        for (int i = 0; i < 8; ++i) {
            writer.Put(1, 1);
            writer.PutBit(false);
        }
        writer.Put(0x3C, 7);
        const auto bytes = writer.Finish();
        AudioBitReader reader;
        const uint32_t n = 2 + length + 8;
        const auto got = ReadGroups(bytes, n, &reader);
        for (uint32_t j = 2; j < 2 + length; ++j) ASSERT_EQ(got[j], 0) << index << " " << j;
        for (uint32_t j = 2 + length; j < n; ++j) ASSERT_EQ(got[j], 1) << index << " " << j;
        EXPECT_EQ(ReadAudioBits(&reader, 7), 0x3Cu) << index;
    }

    // A 512-long run that starts 6 coefficients before the end is cut there.
    BitWriter writer;
    for (uint32_t j = 2; j + 8 <= 506; j += 8) {
        writer.PutBit(false);
        writer.Put(0, 4);
    }
    writer.PutBit(true);
    writer.Put(15, 4);
    writer.Put(3, 4);
    for (int v : {7, -1, 0, 5, -7, 2}) {
        writer.Put(static_cast<uint32_t>(std::abs(v)), 3);
        if (v != 0) writer.PutBit(v < 0);
    }
    writer.Put(0x1F, 5);
    const auto bytes = writer.Finish();
    AudioBitReader reader;
    const auto got = ReadGroups(bytes, 512, &reader);
    const int expected[6] = {7, -1, 0, 5, -7, 2};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(got[506 + i], expected[i]) << i;
    EXPECT_EQ(ReadAudioBits(&reader, 5), 0x1Fu);
    EXPECT_FALSE(reader.overrun);
}

TEST(QuantiserStepTest, DoublePrecisionPowersStoredAsFloat) {
    EXPECT_EQ(QuantiserStep(0), 1.0f);
    EXPECT_NEAR(QuantiserStep(15), 9.908, 0.001);
    EXPECT_NEAR(QuantiserStep(30), 98.17, 0.01);
    for (uint32_t q = 0; q < 256; ++q) {
        const float want = static_cast<float>(std::pow(10.0, q * static_cast<double>(0.0664f)));
        ASSERT_EQ(QuantiserStep(q), want) << q;
    }
}

TEST(PcmConversionTest, RoundsHalfToEvenAndClips) {
    const std::vector<float> a = {40000.0f, -40000.0f, 2.5f,      3.5f,     -2.5f,      -3.5f, 0.5f,
                                  -0.5f,    32767.5f,  -32768.5f, 32766.5f, 1.4999999f, -7.75f};
    const std::vector<int16_t> want = {32767, -32768, 2, 4, -2, -4, 0, 0, 32767, -32768, 32766, 1, -8};
    std::vector<int16_t> pcm(a.size());
    ConvertToPcm(a.data(), static_cast<uint32_t>(a.size()), 1.0f, pcm.data());
    EXPECT_EQ(pcm, want);
}

TEST(PcmConversionTest, ProductIsFormedExactly) {
    // 5 * 0.7f is 3.49999994 exactly but 3.5 when rounded to single precision.
    const float a[1] = {5.0f};
    int16_t pcm[1];
    ConvertToPcm(a, 1, 0.7f, pcm);
    EXPECT_EQ(pcm[0], 3);
}

TEST(CrossFadeTest, WeightsAndFloorOfNegativeValues) {
    const uint32_t c = 32;
    std::vector<int16_t> tail(c, -5), pcm(c, 0);
    CrossFade(pcm.data(), tail.data(), c);
    EXPECT_EQ(pcm[0], -5);
    EXPECT_EQ(pcm[31], -1);  // floor(-5 / 32), not 0
    for (uint32_t i = 0; i < c; ++i) EXPECT_EQ(pcm[i], std::floor(-5.0 * (c - i) / c)) << i;

    std::vector<int16_t> tail2(c), pcm2(c);
    for (uint32_t i = 0; i < c; ++i) {
        tail2[i] = static_cast<int16_t>(1000 - 97 * static_cast<int>(i));
        pcm2[i] = static_cast<int16_t>(-32768 + 2113 * static_cast<int>(i));
    }
    std::vector<int16_t> faded = pcm2;
    CrossFade(faded.data(), tail2.data(), c);
    for (uint32_t i = 0; i < c; ++i) {
        const double want = std::floor(tail2[i] * double(c - i) / c) + std::floor(pcm2[i] * double(i) / c);
        EXPECT_EQ(faded[i], want) << i;
    }
}

}  // namespace
}  // namespace zarn
