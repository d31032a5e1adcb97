#include "convert/convert_frame.h"

#include "convert/colour_tables.h"
#include "convert/convert_walk.h"
#include "convert/copy_flags.h"
#include "base/cpu_features.h"
#include "convert/time_stamp_counter.h"
#include "convert/tuning.h"

namespace zarn {

uint32_t AlignedDestinationX(const uint8_t* buffer, uint32_t x, uint32_t bytes_per_pixel) {
    const uintptr_t misalign = reinterpret_cast<uintptr_t>(buffer) & 3;
    if (bytes_per_pixel == 3 && misalign != 0) return x + static_cast<uint32_t>(4 - misalign);
    if (bytes_per_pixel == 2 && misalign == 2) return x + 1;
    return x;
}

namespace {

// Left edge (a): up to the next destination x that is a multiple of 4.
uint32_t AlignedEdge(const RoutineChoice& c, uint32_t aligned_x, uint32_t source_x, uint32_t width) {
    const uint32_t gap = (4 - (aligned_x & 3)) & 3;
    uint32_t edge = (gap + c.wide - 1) / c.wide;
    if (c.pairs_only && ((source_x + edge) & 1)) edge += 1;
    return edge < width ? edge : width;
}

}  // namespace

void ConvertFrame(uint8_t* buffer, uint32_t x, uint32_t y, int32_t pitch, const uint8_t* luma,
                  uint32_t source_x, uint32_t source_y, uint32_t width, uint32_t height, uint32_t luma_width,
                  uint32_t luma_height, const uint8_t* alpha, uint32_t flags, ConvertDescriptor& descriptor) {
    const bool simd_available = InstalledKernelSet() != KernelSet::kPlain;
    const RoutineChoice choice = ChooseRoutines(descriptor, flags, simd_available);
    if (choice.mode == 6) {
        height /= 2;
        source_y /= 2;
    }
    if (width == 0 || height == 0) return;
    const SourcePlanes planes = SourcePlanesOf(luma, alpha, luma_width, luma_height, flags);

    const uint32_t aligned_x = AlignedDestinationX(buffer, x, choice.bytes);
    const ptrdiff_t row_step = static_cast<ptrdiff_t>(pitch) * RowSpan(choice.mode);
    const ptrdiff_t twin = pitch;
    uint8_t* dest = buffer + static_cast<ptrdiff_t>(y) * pitch + static_cast<size_t>(x) * choice.bytes;

    const bool counter = TimeStampCounterWorks();
    ScratchLines scratch{nullptr, nullptr};
    if (choice.twice) {
        StoreTuningWord(choice.twice_word, RowTwiceWordForCopy(LoadTuningWord(choice.twice_word), height));
        // Without scratch lines (no memory) the rows are written straight: method (a).
        scratch = ScratchLinesFor(width * choice.wide * choice.bytes);
    }
    const uint32_t edge_a = AlignedEdge(choice, aligned_x, source_x, width);
    const uint32_t edge_b = source_x & 1;  // (b): only the column parity
    const bool edges_differ = edge_a != edge_b;
    if (edges_differ && counter)
        StoreTuningWord(choice.edge_word, EdgeWordForCopy(LoadTuningWord(choice.edge_word), height));

    uint32_t row = 0;
    if (source_y & 1) {
        const PairPointers p = PairAt(planes, source_y, dest, row_step, twin, source_x);
        ConvertSingleRow(choice, p, source_x, width);
        row = 1;
    }
    const ScratchLines none{nullptr, nullptr};
    for (; row + 1 < height; row += 2) {
        const PairPointers p = PairAt(planes, source_y + row, dest + static_cast<ptrdiff_t>(row) * row_step,
                                      row_step, twin, source_x);
        const uint32_t twice_word = choice.twice ? LoadTuningWord(choice.twice_word) : 0;
        const uint32_t edge_word = LoadTuningWord(choice.edge_word);
        const bool time_twice = choice.twice && counter && !TuningSettled(twice_word);
        const bool time_edge = edges_differ && counter && !time_twice && !TuningSettled(edge_word);
        const uint32_t left = (edges_differ && EdgeUsesParity(edge_word, counter)) ? edge_b : edge_a;
        const bool use_scratch = choice.twice && RowTwiceUsesScratch(twice_word, counter);
        const uint64_t start = (time_twice || time_edge) ? ReadTimeStampCounter() : 0;
        ConvertPairRun(choice, p, source_x, width, left, use_scratch ? scratch : none);
        if (time_twice) {
            StoreTuningWord(choice.twice_word,
                            RowTwiceAfterTiming(twice_word, ReadTimeStampCounter() - start));
        } else if (time_edge) {
            StoreTuningWord(choice.edge_word, EdgeAfterTiming(edge_word, ReadTimeStampCounter() - start));
        }
    }
    if (row < height) {
        const PairPointers p = PairAt(planes, source_y + row, dest + static_cast<ptrdiff_t>(row) * row_step,
                                      row_step, twin, source_x);
        ConvertSingleRow(choice, p, source_x, width);
    }
}

}  // namespace zarn
