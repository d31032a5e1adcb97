#include "encoder/block_metrics.h"

#include "base/cpu_features.h"

#include <cstdlib>
#include <cstring>

namespace zarn {

namespace {

uint32_t SadPlain(const uint8_t* a, uint32_t as, const uint8_t* b, uint32_t bs) {
    uint32_t s = 0;
    for (int r = 0; r < 8; ++r, a += as, b += bs)
        for (int c = 0; c < 8; ++c) s += static_cast<uint32_t>(a[c] > b[c] ? a[c] - b[c] : b[c] - a[c]);
    return s;
}

uint32_t SsePlain(const uint8_t* a, uint32_t as, const uint8_t* b, uint32_t bs) {
    uint32_t s = 0;
    for (int r = 0; r < 8; ++r, a += as, b += bs)
        for (int c = 0; c < 8; ++c) {
            const int d = a[c] - b[c];
            s += static_cast<uint32_t>(d * d);
        }
    return s;
}

BlockMetrics Choose() {
    if (CpuHas(kCpuSse2) && BlockMetricsSse2()) return *BlockMetricsSse2();
    return BlockMetricsPlain();
}

}  // namespace

const BlockMetrics& BlockMetricsPlain() {
    static const BlockMetrics m{SadPlain, SsePlain};
    return m;
}

const BlockMetrics& ChosenBlockMetrics() {
    static const BlockMetrics m = Choose();
    return m;
}

}  // namespace zarn
