#include "engine/changed_rects.h"

#include <cstdint>

#include "engine/movie.h"

namespace zarn {
namespace {

// A rectangle in luma pixels, all values multiples of 16.
struct Box {
    uint32_t x = 0, y = 0, w = 0, h = 0;
    uint64_t Area() const { return uint64_t{w} * h; }
};

struct Candidate {
    Box box;
    Box first, second;  // the best split
    uint64_t gain = 0;
};

class MarkMap {
public:
    explicit MarkMap(const Movie& m) : marks_(m.block_marks), cols_(m.mb_cols) {}

    // The smallest box holding every marked block inside `r`; false when
    // none is marked.
    bool BoundingBox(const Box& r, Box* out) const {
        const uint32_t c0 = r.x / 16, c1 = c0 + r.w / 16;
        const uint32_t r0 = r.y / 16, r1 = r0 + r.h / 16;
        uint32_t top = r1;
        for (uint32_t row = r0; row < r1 && top == r1; ++row)
            if (RowMarked(row, c0, c1)) top = row;
        if (top == r1) return false;
        uint32_t bottom = top;
        for (uint32_t row = r1 - 1; row > top; --row)
            if (RowMarked(row, c0, c1)) {
                bottom = row;
                break;
            }
        uint32_t left = c1, right = c0;
        for (uint32_t col = c0; col < c1 && left == c1; ++col)
            if (ColumnMarked(col, top, bottom)) left = col;
        for (uint32_t col = c1; col-- > left;)
            if (ColumnMarked(col, top, bottom)) {
                right = col;
                break;
            }
        *out = {left * 16, top * 16, (right - left + 1) * 16, (bottom - top + 1) * 16};
        return true;
    }

private:
    bool Marked(uint32_t row, uint32_t col) const { return marks_[row * cols_ + col] != 0; }
    bool RowMarked(uint32_t row, uint32_t c0, uint32_t c1) const {
        for (uint32_t col = c0; col < c1; ++col)
            if (Marked(row, col)) return true;
        return false;
    }
    bool ColumnMarked(uint32_t col, uint32_t top, uint32_t bottom) const {
        for (uint32_t row = top; row <= bottom; ++row)
            if (Marked(row, col)) return true;
        return false;
    }

    const uint8_t* marks_;
    uint32_t cols_;
};

// Splits `r` in two at half its width (or height) rounded up to 16 and
// shrinks both halves to their marked blocks; the gain is the area saved.
struct Split {
    Box first, second;
    uint64_t gain = 0;
    bool valid = false;
};

Split TrySplit(const MarkMap& map, const Box& r, bool vertical) {
    Split s;
    const uint32_t side = vertical ? r.w : r.h;
    if (side < 32) return s;
    const uint32_t cut = ((side / 2) + 15) & ~15u;
    Box a = r, b = r;
    if (vertical) {
        a.w = cut;
        b.x = r.x + cut;
        b.w = r.w - cut;
    } else {
        a.h = cut;
        b.y = r.y + cut;
        b.h = r.h - cut;
    }
    Box ba, bb;
    const bool has_a = map.BoundingBox(a, &ba);
    const bool has_b = map.BoundingBox(b, &bb);
    // A tight bounding box has marks on its edges, so both halves hold
    // some; a half without any would not be a useful rectangle.
    if (!has_a || !has_b) return s;
    s.first = ba;
    s.second = bb;
    s.gain = r.Area() - ba.Area() - bb.Area();
    s.valid = true;
    return s;
}

void ChooseSplit(const MarkMap& map, Candidate& c) {
    const Split v = TrySplit(map, c.box, true);
    const Split h = TrySplit(map, c.box, false);
    const Split& best = (h.valid && (!v.valid || h.gain > v.gain)) ? h : v;
    c.gain = best.valid ? best.gain : 0;
    c.first = best.first;
    c.second = best.second;
}

// Emits the boxes sorted by y then x, scaled by the copy's scaling mode and
// clipped to the output picture.
void Emit(Movie& m, Candidate* list, int count) {
    const uint32_t mode = (m.last_copy_flags >> 28) & 7;
    bool used[kMaxRects] = {};
    for (int k = 0; k < count; ++k) {
        int pick = -1;
        uint64_t best = 0;
        for (int i = 0; i < count; ++i) {
            if (used[i]) continue;
            const uint64_t key = uint64_t{list[i].box.y} * 65536 + list[i].box.x;
            if (pick < 0 || key < best) {
                pick = i;
                best = key;
            }
        }
        used[pick] = true;
        int64_t x = list[pick].box.x, y = list[pick].box.y;
        int64_t w = list[pick].box.w, h = list[pick].box.h;
        y *= HeightFactor(mode);
        h *= HeightFactor(mode);
        x *= WidthFactor(mode);
        w *= WidthFactor(mode);
        if (x + w > m.width) w = int64_t{m.width} - x;
        if (y + h > m.height) h = int64_t{m.height} - y;
        // The player may shrink the output size after open: nothing of a
        // block outside it remains.
        if (w < 0) w = 0;
        if (h < 0) h = 0;
        m.rects[k] = {static_cast<int32_t>(x), static_cast<int32_t>(y), static_cast<int32_t>(w),
                      static_cast<int32_t>(h)};
    }
}

}  // namespace

int32_t GetRects(Movie& m, uint32_t copy_flags) {
    if (copy_flags & kCopyNoRects) return 0;
    if (!((copy_flags | m.flags) & kFlagNeverSkip) && m.skip_pending) return 0;
    if (m.rect_count != -1) return m.rect_count;

    const MarkMap map(m);
    Candidate list[kMaxRects];
    int count = 0;
    if (map.BoundingBox({0, 0, m.luma_width, m.luma_height}, &list[0].box)) count = 1;
    if (count > 0 && !(copy_flags & kCopyOneRect)) {
        ChooseSplit(map, list[0]);
        while (count < kMaxRects) {
            int pick = -1;
            for (int i = 0; i < count; ++i)
                if (list[i].gain > 0 && (pick < 0 || list[i].gain > list[pick].gain)) pick = i;
            if (pick < 0) break;
            const Box first = list[pick].first, second = list[pick].second;
            list[pick].box = first;
            list[count].box = second;
            ++count;
            ChooseSplit(map, list[pick]);
            ChooseSplit(map, list[count - 1]);
        }
    }
    Emit(m, list, count);
    m.rect_count = count;
    return count;
}

}  // namespace zarn
