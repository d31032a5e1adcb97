// Quantised spectrum of an audio block: band quantiser steps, run-length
// coefficient groups and dequantisation.
#pragma once

#include <cstdint>

#include "audio/audio_bit_reader.h"

namespace zarn {

// 10^(q * 0.0664f) computed in double, stored as float.
float QuantiserStep(uint32_t q);

// Reads coefficient groups until coefficients 2..n-1 are filled (or the
// reader overruns; coefficients not reached are then left as they were).
void ReadCoefficientGroups(AudioBitReader* reader, uint32_t n, int16_t* coefficients);

// a[2k] and a[2k+1] of every bin k >= 1 get coefficient 2k / 2k+1 times the
// step of the band holding k; bins outside every band get 0. a[0], a[1] stay.
void Dequantise(const int16_t* coefficients, const float* steps, const uint32_t* band_edges,
                uint32_t band_count, uint32_t n, float* a);

}  // namespace zarn
