// Self-tuning words: which of two equivalent methods runs faster on the
// destination memory, decided by timing row pairs with the time-stamp counter.
//
// Row-twice word (modes 1 and 4): bit 0 settled, bit 1 the method being
// timed ((a) while set) or, once settled, the one chosen ((b) while set),
// bits 2-7 a counter, bits 8 and up the reference time.
// Left-edge word: bit 0 settled, bit 1 selects (b), bits 3-7 a counter,
// bits 8 and up the reference time.
#pragma once

#include <atomic>
#include <cstdint>

namespace zarn {

constexpr uint32_t kTuningRestartLimit = 8192;
constexpr uint32_t kRowTwiceStart = 130;  // counter 32, time (a) first
constexpr uint32_t kEdgeStart = 128;      // counter 16, time (a) first

inline bool TuningSettled(uint32_t word) { return (word & 1) != 0; }

// The words live in the shared descriptors and every copying thread reads
// and updates them: whole-word accesses, no ordering needed (either method
// gives the same pixels, a lost update only costs a measurement).
inline uint32_t LoadTuningWord(uint32_t* word) {
    return std::atomic_ref<uint32_t>(*word).load(std::memory_order_relaxed);
}
inline void StoreTuningWord(uint32_t* word, uint32_t value) {
    std::atomic_ref<uint32_t>(*word).store(value, std::memory_order_relaxed);
}

// Brings a word to the start of a copy of `rows` rows: a fresh word starts a
// measurement; a settled one ages and is measured again past the limit.
uint32_t RowTwiceWordForCopy(uint32_t word, uint32_t rows);
uint32_t EdgeWordForCopy(uint32_t word, uint32_t rows);

// Whether the row pair runs through the scratch lines (method (b)).
bool RowTwiceUsesScratch(uint32_t word, bool counter_works);
// Whether the left edge is only the column parity (choice (b)).
bool EdgeUsesParity(uint32_t word, bool counter_works);

// Updates a measuring word with the cycles of the row pair just timed.
uint32_t RowTwiceAfterTiming(uint32_t word, uint64_t cycles);
uint32_t EdgeAfterTiming(uint32_t word, uint64_t cycles);

}  // namespace zarn
