// Differences between 8x8 blocks of bytes, behind a function table so that
// instruction-set kernels replace the plain ones at run time.
#pragma once

#include <cstdint>

namespace zarn {

struct BlockMetrics {
    // Sum of absolute differences.
    uint32_t (*sad)(const uint8_t* a, uint32_t a_stride, const uint8_t* b, uint32_t b_stride);
    // Sum of squared differences.
    uint32_t (*sse)(const uint8_t* a, uint32_t a_stride, const uint8_t* b, uint32_t b_stride);
};

const BlockMetrics& BlockMetricsPlain();
// Null when the kernels are not built for this machine.
const BlockMetrics* BlockMetricsSse2();

// The kernels for this CPU; env ZARN_CPU=plain forces the plain ones.
const BlockMetrics& ChosenBlockMetrics();

}  // namespace zarn
