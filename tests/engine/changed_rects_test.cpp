#include "engine/changed_rects.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>

#include "engine/copy_to_buffer.h"
#include "engine/frame_control.h"
#include "tests/engine/engine_fixture.h"

namespace zarn {
namespace {

using test::BuildMovie;
using test::MovieRecipe;

using Tuple = std::tuple<int32_t, int32_t, int32_t, int32_t>;

class ChangedRects : public test::EngineFixture {
protected:
    // A decoded frame of a w x h movie with the given blocks marked.
    Movie* Frame(uint32_t w, uint32_t h, const std::vector<std::pair<uint32_t, uint32_t>>& blocks,
                 uint32_t flags = 0) {
        MovieRecipe r;
        r.width = w;
        r.height = h;
        r.video_bytes = 0;  // no video data: only the marks set here count
        Movie* m = Open(BuildMovie(r), flags);
        EXPECT_EQ(DoFrame(m), 0);
        for (auto [row, col] : blocks) m->block_marks[row * m->mb_cols + col] = 1;
        return m;
    }
    static std::vector<Tuple> Rects(Movie* m, uint32_t copy_flags = 0) {
        const int32_t n = GetRects(*m, copy_flags);
        std::vector<Tuple> out;
        for (int32_t i = 0; i < n; ++i)
            out.emplace_back(m->rects[i].x, m->rects[i].y, m->rects[i].w, m->rects[i].h);
        return out;
    }
};

TEST_F(ChangedRects, NoneOneAndFlagsThatSuppressThem) {
    Movie* m = Frame(64, 48, {});
    EXPECT_EQ(GetRects(*m, 0), 0);
    EXPECT_EQ(m->rect_count, 0);

    m = Frame(64, 48, {{1, 2}});
    EXPECT_EQ(GetRects(*m, kCopyNoRects), 0);
    EXPECT_EQ(Rects(m), (std::vector<Tuple>{{32, 16, 16, 16}}));
    // Computed once per frame: later changes to the marks are not seen.
    m->block_marks[0] = 1;
    EXPECT_EQ(GetRects(*m, 0), 1);
    EXPECT_EQ(m->rects[0].x, 32);
}

TEST_F(ChangedRects, ScaledByTheCopyModeAndClipped) {
    const std::pair<uint32_t, Tuple> modes[] = {{1, {32, 32, 16, 32}}, {2, {32, 32, 16, 32}},
                                                {3, {64, 16, 32, 16}}, {4, {64, 32, 32, 32}},
                                                {5, {64, 32, 32, 32}}, {6, {32, 16, 16, 16}}};
    std::vector<uint8_t> buffer(256 * 256 * 4);
    for (auto [mode, want] : modes) {
        Movie* m = Frame(64, 48, {{1, 2}}, mode << 28);
        ASSERT_EQ(CopyToBuffer(m, buffer.data(), 1024, 256, 0, 0, 3 | (mode << 28)), 0);
        EXPECT_EQ(Rects(m), std::vector<Tuple>{want}) << "mode " << mode;
    }
    // 40 x 40: the last block column and row reach past the picture.
    Movie* m = Frame(40, 40, {{2, 2}});
    EXPECT_EQ(Rects(m), (std::vector<Tuple>{{32, 32, 8, 8}}));
    m = Frame(40, 40, {{2, 2}}, 4u << 28);
    ASSERT_EQ(CopyToBuffer(m, buffer.data(), 1024, 256, 0, 0, 3 | (4u << 28)), 0);
    EXPECT_EQ(Rects(m), (std::vector<Tuple>{{64, 64, 16, 16}}));
    // An output size shrunk after open leaves nothing of a block past it.
    m = Frame(64, 48, {{0, 3}});
    m->width = 40;
    EXPECT_EQ(Rects(m), (std::vector<Tuple>{{48, 0, 0, 16}}));
}

TEST_F(ChangedRects, SplitsWhereTheyGainMostAndSortsTheResult) {
    // Three corners of a 4 x 4 block area: the left/right split wins the
    // tie, then the left column splits into its two blocks.
    Movie* m = Frame(64, 64, {{0, 0}, {0, 3}, {3, 0}});
    EXPECT_EQ(Rects(m), (std::vector<Tuple>{{0, 0, 16, 16}, {48, 0, 16, 16}, {0, 48, 16, 16}}));

    m = Frame(64, 64, {{0, 0}, {0, 3}, {3, 0}});
    EXPECT_EQ(Rects(m, kCopyOneRect), (std::vector<Tuple>{{0, 0, 64, 64}}));

    // A full row of blocks is one rectangle: no split gains anything.
    m = Frame(64, 64, {{2, 0}, {2, 1}, {2, 2}, {2, 3}});
    EXPECT_EQ(Rects(m), (std::vector<Tuple>{{0, 32, 64, 16}}));

    // Sorted by y, then x, whatever order the splits made them in.
    m = Frame(320, 320, {{0, 19}, {19, 0}, {10, 10}});
    const std::vector<Tuple> r = Rects(m);
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0], (Tuple{304, 0, 16, 16}));
    EXPECT_EQ(r[1], (Tuple{160, 160, 16, 16}));
    EXPECT_EQ(r[2], (Tuple{0, 304, 16, 16}));
}

TEST_F(ChangedRects, ManyBlocksGiveAtMostEightCoveringRectangles) {
    // A checkerboard gains nothing from any split: one rectangle.
    std::vector<std::pair<uint32_t, uint32_t>> checker;
    for (uint32_t row = 0; row < 20; ++row)
        for (uint32_t col = row % 2; col < 20; col += 2) checker.emplace_back(row, col);
    EXPECT_EQ(Rects(Frame(320, 320, checker)), (std::vector<Tuple>{{0, 0, 320, 320}}));

    // 25 scattered blocks: every split gains, until there are 8.
    std::vector<std::pair<uint32_t, uint32_t>> scattered;
    for (uint32_t row = 0; row < 20; row += 4)
        for (uint32_t col = 0; col < 20; col += 4) scattered.emplace_back(row, col);
    Movie* m = Frame(320, 320, scattered);
    const std::vector<Tuple> r = Rects(m);
    ASSERT_EQ(r.size(), 8u);
    for (size_t i = 1; i < r.size(); ++i) {
        const auto [x0, y0, w0, h0] = r[i - 1];
        const auto [x1, y1, w1, h1] = r[i];
        EXPECT_TRUE(y0 < y1 || (y0 == y1 && x0 < x1)) << i;
    }
    for (auto [row, col] : scattered) {
        const int32_t x = int32_t(col) * 16, y = int32_t(row) * 16;
        bool covered = false;
        for (auto [rx, ry, rw, rh] : r)
            covered = covered || (rx <= x && x < rx + rw && ry <= y && y < ry + rh);
        EXPECT_TRUE(covered) << row << "," << col;
    }
    for (auto [rx, ry, rw, rh] : r) {
        EXPECT_LE(rx + rw, 320);
        EXPECT_LE(ry + rh, 320);
    }
}

// The merging rules written out plainly, on a grid of marks, in pixels.
struct RefRect {
    int64_t x = 0, y = 0, w = 0, h = 0;
    int64_t Area() const { return w * h; }
};

struct RefMerge {
    std::vector<std::vector<bool>> marks;  // [row][column]

    bool Marked(int64_t row, int64_t col) const { return marks[row][col]; }
    // Bounding box of the marked blocks inside r; false when none.
    bool Box(const RefRect& r, RefRect* out) const {
        const int64_t c0 = r.x / 16, c1 = c0 + r.w / 16, r0 = r.y / 16, r1 = r0 + r.h / 16;
        int64_t top = -1, bottom = -1, left = -1, right = -1;
        for (int64_t row = r0; row < r1; ++row)
            for (int64_t col = c0; col < c1; ++col)
                if (Marked(row, col)) {
                    if (top < 0) top = row;
                    bottom = row;
                }
        if (top < 0) return false;
        for (int64_t col = c0; col < c1; ++col)
            for (int64_t row = top; row <= bottom; ++row)
                if (Marked(row, col)) {
                    if (left < 0) left = col;
                    right = col;
                }
        *out = {left * 16, top * 16, (right - left + 1) * 16, (bottom - top + 1) * 16};
        return true;
    }
    struct Choice {
        RefRect a, b;
        int64_t gain = 0;
    };
    Choice Best(const RefRect& r) const {
        Choice v, h;
        bool has_v = false, has_h = false;
        if (r.w >= 32) {
            const int64_t cut = ((r.w / 2) + 15) / 16 * 16;
            has_v = Box({r.x, r.y, cut, r.h}, &v.a) && Box({r.x + cut, r.y, r.w - cut, r.h}, &v.b);
            v.gain = r.Area() - v.a.Area() - v.b.Area();
        }
        if (r.h >= 32) {
            const int64_t cut = ((r.h / 2) + 15) / 16 * 16;
            has_h = Box({r.x, r.y, r.w, cut}, &h.a) && Box({r.x, r.y + cut, r.w, r.h - cut}, &h.b);
            h.gain = r.Area() - h.a.Area() - h.b.Area();
        }
        if (has_v && (!has_h || v.gain >= h.gain)) return v;  // equal gains: left/right
        if (has_h) return h;
        return {};
    }
    std::vector<Tuple> Rects(int64_t width, int64_t height) const {
        std::vector<RefRect> list(1);
        if (!Box({0, 0, width, height}, &list[0])) return {};
        while (list.size() < 8) {
            int best = -1;
            int64_t best_gain = 0;
            for (size_t i = 0; i < list.size(); ++i) {
                const int64_t g = Best(list[i]).gain;
                if (g > best_gain) {  // the first of equal gains is split
                    best = static_cast<int>(i);
                    best_gain = g;
                }
            }
            if (best < 0) break;
            const Choice c = Best(list[best]);
            list[best] = c.a;
            list.push_back(c.b);
        }
        std::vector<Tuple> out;
        for (const RefRect& r : list)
            out.emplace_back(int32_t(r.x), int32_t(r.y), int32_t(std::min(r.w, width - r.x)),
                             int32_t(std::min(r.h, height - r.y)));
        std::sort(out.begin(), out.end(), [](const Tuple& p, const Tuple& q) {
            return std::tie(std::get<1>(p), std::get<0>(p)) < std::tie(std::get<1>(q), std::get<0>(q));
        });
        return out;
    }
};

// Random and symmetric patterns, where equal gains are common: the rules
// for ties (left/right before top/bottom; the first of equal rectangles)
// decide the result.
TEST_F(ChangedRects, SplitsAndTiesFollowTheRulesOnManyPatterns) {
    std::mt19937 rng(5);
    for (int pattern = 0; pattern < 300; ++pattern) {
        const uint32_t cols = 2 + rng() % 9, rows = 2 + rng() % 7;
        RefMerge ref;
        ref.marks.assign(rows, std::vector<bool>(cols, false));
        const uint32_t density = 1 + rng() % 4;
        std::vector<std::pair<uint32_t, uint32_t>> blocks;
        for (uint32_t r = 0; r < rows; ++r)
            for (uint32_t c = 0; c < cols; ++c) {
                // Every other pattern is mirrored left to right.
                const uint32_t sc = (pattern % 2 && c >= (cols + 1) / 2) ? cols - 1 - c : c;
                const bool on =
                    pattern % 2 ? ref.marks[r][sc] || (sc == c && rng() % 6 < density) : rng() % 6 < density;
                if (!on) continue;
                ref.marks[r][c] = true;
                blocks.emplace_back(r, c);
            }
        Movie* m = Frame(cols * 16, rows * 16, blocks);
        EXPECT_EQ(Rects(m), ref.Rects(cols * 16, rows * 16)) << "pattern " << pattern;
        Close(m);
    }
}

}  // namespace
}  // namespace zarn
