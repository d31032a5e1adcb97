// A small plane with its previous plane, marks and bundle buffers, decoded
// from a PlaneBuilder.
#pragma once

#include <vector>

#include "tests/video/stream_builder.h"
#include "video/decode_plane.h"

namespace zarn::test {

struct PlaneFixture {
    uint32_t w, h;
    std::vector<uint8_t> dest, prev, marks, packet;
    std::vector<std::vector<uint8_t>> storage;
    uint8_t* buffers[kBundleCount];

    PlaneFixture(uint32_t width, uint32_t height)
        : w(width),
          h(height),
          dest(size_t{width} * height, 0xEE),
          prev(size_t{width} * height),
          marks(size_t{(width + 15) / 16} * ((height + 15) / 16) + 16, 0),
          storage(kBundleCount) {
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x) prev[y * w + x] = static_cast<uint8_t>(x + 7 * y);
        for (unsigned i = 0; i < kBundleCount; ++i) {
            storage[i].assign(BundleBufferBytes(i, width), 0);
            buffers[i] = storage[i].data();
        }
    }
    size_t Decode(const PlaneBuilder& b, uint32_t flags = 0, bool in_place = false) {
        packet = b.Bytes();
        PlaneGeometry g;
        g.dest = dest.data();
        g.prev = in_place ? dest.data() : prev.data();
        g.decode_width = w;
        g.decode_height = h;
        g.stride = w;
        g.rows = h;
        g.block_marks = marks.data();
        g.mark_cols = (w + 15) / 16;
        g.mark_rows = (h + 15) / 16;
        g.mark_step = 1;
        PlaneInput in;
        in.packet = packet.data();
        in.packet_bytes = packet.size();
        in.bundle_buffers = buffers;
        in.luma_width = w;
        in.flags = flags;
        return DecodePlane(g, in);
    }
    uint8_t At(uint32_t x, uint32_t y) const { return dest[y * w + x]; }
    uint8_t PrevAt(uint32_t x, uint32_t y) const { return prev[y * w + x]; }
    // True when the 8x8 block at block (col, row) equals f(x, y) for every pixel.
    template <typename F>
    bool BlockIs(uint32_t col, uint32_t row, F f) const {
        for (uint32_t y = row * 8; y < row * 8 + 8; ++y)
            for (uint32_t x = col * 8; x < col * 8 + 8; ++x)
                if (At(x, y) != static_cast<uint8_t>(f(x, y))) return false;
        return true;
    }
};

}  // namespace zarn::test
