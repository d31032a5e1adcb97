#include "engine/changed_rects.h"

#include <gtest/gtest.h>

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
    const std::pair<uint32_t, Tuple> modes[] = {
        {1, {32, 32, 16, 32}}, {2, {32, 32, 16, 32}}, {3, {64, 16, 32, 16}},
        {4, {64, 32, 32, 32}}, {5, {64, 32, 32, 32}}, {6, {32, 16, 16, 16}}};
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

}  // namespace
}  // namespace zarn
