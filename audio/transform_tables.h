// TransformTables: the trigonometric tables of one inverse real transform user.
#pragma once

#include <cstdint>

namespace zarn {

// Tables are built by the first transform of a size and reused for that size
// and every smaller one; a larger size rebuilds them.
//
// scratch[0]: number of floats of the twiddle table currently built (0 = none).
// scratch[1]: number of floats of the real-split table currently built (0 = none).
// table: the twiddle table followed by the real-split table, n/4 floats each,
// so 2048 floats serve sizes up to 4096.
struct TransformTables {
    int32_t scratch[256];
    float table[2048];
};

constexpr uint32_t kMaxTransformSize = 4096;

}  // namespace zarn
