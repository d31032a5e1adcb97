#include "player/size_classification.h"

namespace zarn {

uint32_t ClassifySize(int32_t num, int32_t den, uint32_t video, uint32_t screen, uint32_t base,
                      uint32_t* class_bits) {
    if (num == 0 || den == 0) return video;
    uint32_t e;
    if (num > 0) {
        e = static_cast<uint32_t>(num / den);
    } else if (num == -1 && den == 1) {
        e = screen;
    } else {
        const uint64_t factor = static_cast<uint64_t>(-static_cast<int64_t>(num));
        const uint64_t size = uint64_t{video} * factor / static_cast<uint32_t>(den);
        e = size > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(size);
    }
    const uint32_t c = video;
    if (c != 0 && e != c && e % c == 0) {
        *class_bits |= base * 8;  // integer stretch
    } else if (e != 0 && e != c && c % e == 0) {
        *class_bits |= base * 2;  // integer shrink
    } else if (e > c) {
        *class_bits |= base * 4;  // arbitrary stretch
    } else if (e < c) {
        *class_bits |= base;  // arbitrary shrink
    }
    return e;
}

}  // namespace zarn
