#include "convert/tuning.h"

namespace zarn {

namespace {

uint32_t ReferenceBits(uint64_t cycles) {
    const uint64_t capped = cycles > 0xFFFFFFu ? 0xFFFFFFu : cycles;
    return static_cast<uint32_t>(capped) << 8;
}

uint32_t WordForCopy(uint32_t word, uint32_t rows, uint32_t start) {
    if (word == 0) return start;
    if (!TuningSettled(word)) return word;
    const uint64_t grown = static_cast<uint64_t>(word) + 4ull * rows;
    if (grown > kTuningRestartLimit) return start;
    return static_cast<uint32_t>(grown);
}

}  // namespace

uint32_t RowTwiceWordForCopy(uint32_t word, uint32_t rows) { return WordForCopy(word, rows, kRowTwiceStart); }
uint32_t EdgeWordForCopy(uint32_t word, uint32_t rows) { return WordForCopy(word, rows, kEdgeStart); }

bool RowTwiceUsesScratch(uint32_t word, bool counter_works) {
    if (!counter_works) return true;
    const bool bit1 = (word & 2) != 0;
    return TuningSettled(word) ? bit1 : !bit1;
}

bool EdgeUsesParity(uint32_t word, bool counter_works) {
    if (!counter_works) return false;
    return (word & 2) != 0;
}

uint32_t RowTwiceAfterTiming(uint32_t word, uint64_t cycles) {
    const uint32_t counter = (word >> 2) & 63;
    if (word & 2) return ReferenceBits(cycles) | (counter << 2);  // (a) timed: keep as reference
    const uint64_t reference = word >> 8;
    if (cycles < reference) {
        if (counter == 0) return 3;
        return ((counter - 1) << 2) | 2;
    }
    if (counter == 63) return 1;
    return ((counter + 1) << 2) | 2;
}

uint32_t EdgeAfterTiming(uint32_t word, uint64_t cycles) {
    const uint32_t counter = (word >> 3) & 31;
    if (!(word & 2)) return ReferenceBits(cycles) | (counter << 3) | 2;  // (a) timed: (b) next
    const uint64_t reference = word >> 8;
    if (cycles < reference) {
        if (counter == 0) return 3;
        return (counter - 1) << 3;
    }
    if (counter == 31) return 1;
    return (counter + 1) << 3;
}

}  // namespace zarn
