#include "tests/video/stream_builder.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstdlib>
#include <random>

#include "encoder/coefficient_writer.h"
#include "encoder/residue_writer.h"
#include "video/code_shapes.h"
#include "video/coefficients.h"
#include "video/decode_video_frame.h"

namespace zarn::test {

void PutCodeWord(BitWriter& w, unsigned shape, unsigned index) {
    const char* p = kCodeShapeWords[shape];
    for (unsigned i = 0; i < index; ++i) {
        while (*p != ' ') ++p;
        ++p;
    }
    for (; *p == '0' || *p == '1'; ++p) w.PutBit(*p == '1');
}

uint8_t StoredColour(uint8_t colour, bool older) {
    if (!older) return colour;
    assert(colour != 0);
    return static_cast<uint8_t>(colour >= 128 ? colour - 128 : 256 - colour);
}

PlaneBuilder::PlaneBuilder(uint32_t decode_width, uint32_t decode_height, bool older_colours)
    : decode_width_(decode_width), decode_height_(decode_height), older_(older_colours), rows_(1) {}

void PlaneBuilder::Value(unsigned bundle, int v) { rows_.back().values[bundle].push_back(v); }

void PlaneBuilder::Fill(uint8_t colour_value) {
    Value(kBlockTypes, 6);
    Colour(colour_value);
}

void PlaneBuilder::Motion(int dx, int dy) {
    Value(kBlockTypes, 2);
    Value(kXOffsets, dx);
    Value(kYOffsets, dy);
}

void PlaneBuilder::Raw(const uint8_t colours[64]) {
    Value(kBlockTypes, 9);
    for (int i = 0; i < 64; ++i) Colour(colours[i]);
}

void PlaneBuilder::Pattern(uint8_t c0, uint8_t c1, const uint8_t pattern_rows[8]) {
    Value(kBlockTypes, 8);
    Colour(c0);
    Colour(c1);
    for (int i = 0; i < 8; ++i) Value(kPatterns, pattern_rows[i]);
}

void PlaneBuilder::Intra(int dc, const int16_t coef[64], unsigned q) {
    Value(kBlockTypes, 5);
    Value(kIntraDc, dc);
    WriteAcCoefficients(coef, Fields());
    Field(q, 4);
}

void PlaneBuilder::Inter(int dx, int dy, int dc, const int16_t coef[64], unsigned q) {
    Value(kBlockTypes, 7);
    Value(kXOffsets, dx);
    Value(kYOffsets, dy);
    Value(kInterDc, dc);
    WriteAcCoefficients(coef, Fields());
    Field(q, 4);
}

void PlaneBuilder::Residue(int dx, int dy, const int8_t values[64], unsigned event_limit) {
    Value(kBlockTypes, 4);
    Value(kXOffsets, dx);
    Value(kYOffsets, dy);
    Field(event_limit, 7);
    int16_t target[64], decoded[64];
    for (int i = 0; i < 64; ++i) target[i] = values[i];
    WriteResidue(target, event_limit, &Fields(), decoded);
}

void PlaneBuilder::WriteChunk(BitWriter& w, unsigned bundle, const std::vector<int>& v,
                              uint8_t& colour_context) const {
    w.Put(static_cast<uint32_t>(v.size()), BundleCountWidth(bundle, decode_width_));
    if (v.empty()) return;
    switch (bundle) {
    case kBlockTypes:
    case kSubBlockTypes:
    case kRunLengths:
        if (std::all_of(v.begin(), v.end(), [&](int x) { return x == v[0]; })) {
            w.PutBit(true);  // one value for the whole chunk
            w.Put(static_cast<uint32_t>(v[0]), 4);
            break;
        }
        w.PutBit(false);
        for (int x : v) {
            assert(bundle == kRunLengths || x < 12);
            w.Put(static_cast<uint32_t>(x), 4);
        }
        break;
    case kColours:
        w.PutBit(false);
        for (int x : v) {
            w.Put(static_cast<uint32_t>(x) >> 4, 4);  // identity trees: plain nibbles
            w.Put(static_cast<uint32_t>(x) & 15u, 4);
            colour_context = static_cast<uint8_t>(x >> 4);
        }
        break;
    case kPatterns:
        for (int x : v) {
            w.Put(static_cast<uint32_t>(x) & 15u, 4);
            w.Put(static_cast<uint32_t>(x) >> 4, 4);
        }
        break;
    case kXOffsets:
    case kYOffsets:
        w.PutBit(false);
        for (int x : v) {
            w.Put(static_cast<uint32_t>(std::abs(x)), 4);
            if (x != 0) w.PutBit(x < 0);
        }
        break;
    default: {  // DC bundles
        const bool is_signed = bundle == kInterDc;
        if (is_signed) {
            w.Put(static_cast<uint32_t>(std::abs(v[0])), 10);
            if (v[0] != 0) w.PutBit(v[0] < 0);
        } else {
            w.Put(static_cast<uint32_t>(v[0]), 11);
        }
        for (size_t i = 1; i < v.size(); i += 8) {
            const size_t end = std::min(v.size(), i + 8);
            unsigned width = 0;
            for (size_t k = i; k < end; ++k)
                width = std::max(
                    width,
                    static_cast<unsigned>(std::bit_width(static_cast<unsigned>(std::abs(v[k] - v[k - 1])))));
            w.Put(width, 4);
            if (width == 0) continue;
            for (size_t k = i; k < end; ++k) {
                int d = v[k] - v[k - 1];
                w.Put(static_cast<uint32_t>(std::abs(d)), width);
                if (d != 0) w.PutBit(d < 0);
            }
        }
    }
    }
}

void PlaneBuilder::Write(BitWriter& w) const {
    for (int t = 0; t < 23; ++t) w.Put(0, 4);  // every tree of code shape 0 (identity)
    size_t remaining[kBundleCount] = {};
    bool closed[kBundleCount] = {};
    uint8_t colour_context = 0;
    const size_t block_rows = decode_height_ / 8;
    const uint32_t width16 = (decode_width_ + 15) & ~15u;
    for (size_t r = 0; r < block_rows; ++r) {
        for (unsigned b = 0; b < kBundleCount; ++b) {
            if (closed[b] || remaining[b] != 0) continue;
            // One chunk: the values of this row and of as many following rows as fit.
            const size_t capacity = BundleCapacity(b, width16);
            std::vector<int> chunk;
            for (size_t k = r; k < rows_.size(); ++k) {
                const auto& v = rows_[k].values[b];
                if (!chunk.empty() && chunk.size() + v.size() > capacity) break;
                assert(v.size() <= capacity);
                chunk.insert(chunk.end(), v.begin(), v.end());
            }
            WriteChunk(w, b, chunk, colour_context);
            remaining[b] = chunk.size();
            closed[b] = chunk.empty();
        }
        if (r < rows_.size()) {
            rows_[r].fields.WriteTo(w);
            for (unsigned b = 0; b < kBundleCount; ++b) remaining[b] -= rows_[r].values[b].size();
        }
    }
    w.AlignWord();
}

std::vector<uint8_t> PlaneBuilder::Bytes() const {
    BitWriter w;
    Write(w);
    return w.Finish();
}

std::vector<uint8_t> BuildPacket(const PacketParts& p) {
    BitWriter w;
    if (p.has_alpha) {
        w.Put(static_cast<uint32_t>(4 + p.alpha.size()), 32);
        w.AppendAligned(p.alpha);
    }
    if (!p.older) {
        w.Put(static_cast<uint32_t>(4 + p.luma.size()), 32);
    }
    w.AppendAligned(p.luma);
    w.AppendAligned(p.chroma1);
    w.AppendAligned(p.chroma2);
    return w.Finish();
}

FrameBuffers::FrameBuffers(uint32_t w, uint32_t h) : width(w), height(h) {
    luma_width = 2 * ((((w + 1) / 2) + 7) & ~7u);
    luma_height = 2 * ((((h + 1) / 2) + 7) & ~7u);
    const size_t frame = size_t{luma_width} * luma_height * 3 / 2;
    dest.assign(frame, 0xEE);
    prev.assign(frame, 0x40);
    dest_alpha.assign(size_t{luma_width} * luma_height, 0xEE);
    prev_alpha.assign(size_t{luma_width} * luma_height, 0x40);
    marks.assign(size_t{luma_width / 16} * (luma_height / 16) + 16, 0);
    bundle_storage.resize(9);
    for (unsigned i = 0; i < 9; ++i) {
        bundle_storage[i].assign(BundleBufferBytes(i, luma_width), 0);
        bundles[i] = bundle_storage[i].data();
    }
}

bool FrameBuffers::Decode(const std::vector<uint8_t>& packet, uint32_t flags, uint32_t header_flags,
                          ChromaThread* helper) {
    return DecodeVideoFrame(dest.data(), prev.data(), dest_alpha.data(), prev_alpha.data(), marks.data(),
                            width, height, luma_width, luma_height, packet.data(),
                            static_cast<uint32_t>(packet.size()), 0, bundles, flags, header_flags, helper);
}

}  // namespace zarn::test

namespace zarn::test {

namespace {

// Mostly +-1, sometimes +-2..3, rarely up to +-range: the usual shape of
// quantised transform coefficients.
int16_t SmallCoefficient(std::mt19937& rng, int range) {
    const unsigned pick = rng() % 10;
    const int mag = pick < 7   ? 1
                    : pick < 9 ? 2 + static_cast<int>(rng() % 2)
                               : 1 + static_cast<int>(rng() % range);
    return static_cast<int16_t>(rng() % 2 ? -mag : mag);
}

void RandomCoefficients(std::mt19937& rng, int16_t coef[64], int count, int range) {
    for (int i = 0; i < 64; ++i) coef[i] = 0;
    for (int k = 0; k < count; ++k) {
        const int pos = 1 + static_cast<int>(rng() % 20);  // low frequencies
        coef[pos] = SmallCoefficient(rng, range);
    }
}

// Offsets whose source stays inside the plane.
std::pair<int, int> RandomOffset(std::mt19937& rng, uint32_t x, uint32_t y, uint32_t w, uint32_t h) {
    int dx = static_cast<int>(rng() % 31) - 15, dy = static_cast<int>(rng() % 31) - 15;
    dx = std::clamp(dx, -static_cast<int>(x), static_cast<int>(w - 8 - x));
    dy = std::clamp(dy, -static_cast<int>(y), static_cast<int>(h - 8 - y));
    return {dx, dy};
}

void RandomSubBlock(PlaneBuilder& b, std::mt19937& rng) {
    static constexpr int kSub[5] = {3, 5, 6, 8, 9};
    const int s = kSub[rng() % 5];
    b.Value(kSubBlockTypes, s);
    switch (s) {
    case 5: {
        int16_t coef[64];
        RandomCoefficients(rng, coef, 1 + static_cast<int>(rng() % 6), 40);
        b.Value(kIntraDc, 700 + static_cast<int>(rng() % 600));
        WriteAcCoefficients(coef, b.Fields());
        b.Field(rng() % 8, 4);
        break;
    }
    case 6: b.Colour(static_cast<uint8_t>(1 + rng() % 255)); break;
    case 8: {
        b.Colour(static_cast<uint8_t>(1 + rng() % 255));
        b.Colour(static_cast<uint8_t>(1 + rng() % 255));
        for (int i = 0; i < 8; ++i) b.Value(kPatterns, static_cast<int>(rng() % 256));
        break;
    }
    case 9:
        for (int i = 0; i < 64; ++i) b.Colour(static_cast<uint8_t>(1 + rng() % 255));
        break;
    default: {
        b.Field(rng() % 16, 4);
        int i = 0;
        while (i < 63) {
            const bool one = rng() % 2 != 0;
            const int n = std::min(1 + static_cast<int>(rng() % 16), 64 - i);
            b.Field(one, 1);
            b.Value(kRunLengths, n - 1);
            for (int k = 0; k < (one ? 1 : n); ++k) b.Colour(static_cast<uint8_t>(1 + rng() % 255));
            i += n;
        }
        if (i == 63) b.Colour(static_cast<uint8_t>(1 + rng() % 255));
    }
    }
}

}  // namespace

PlaneBuilder MakePlane(uint32_t w, uint32_t h, PlaneMix mix, uint32_t seed, bool older) {
    std::mt19937 rng(seed);
    PlaneBuilder b(w, h, older);
    const uint32_t cols = w / 8, rows = h / 8;
    std::vector<bool> scaled_above(cols, false), scaled_here(cols, false);
    int dc = 1024;  // neighbouring blocks have similar DC values
    for (uint32_t row = 0; row < rows; ++row) {
        if (row) b.NextRow();
        std::fill(scaled_here.begin(), scaled_here.end(), false);
        for (uint32_t col = 0; col < cols;) {
            const uint32_t x = col * 8, y = row * 8;
            if (scaled_above[col]) {  // lower half of a scaled block
                b.Value(kBlockTypes, 1);
                col += 2;
                continue;
            }
            int16_t coef[64];
            unsigned pick = static_cast<unsigned>(rng() % 100);
            if (mix == PlaneMix::kIntra) pick = 0;
            if (mix == PlaneMix::kInter) pick = 10 + pick % 40;
            if (pick < 10 || (mix == PlaneMix::kMixed && pick < 35)) {
                RandomCoefficients(rng, coef, 1 + static_cast<int>(rng() % 6), 40);
                dc = std::clamp(dc + static_cast<int>(rng() % 41) - 20, 0, 2047);
                b.Intra(dc, coef, 2 + rng() % 6);
            } else if (pick < 25) {
                auto [dx, dy] = RandomOffset(rng, x, y, w, h);
                RandomCoefficients(rng, coef, static_cast<int>(rng() % 5), 12);
                b.Inter(dx, dy, static_cast<int>(rng() % 101) - 50, coef, 2 + rng() % 6);
            } else if (pick < 38) {
                auto [dx, dy] = RandomOffset(rng, x, y, w, h);
                int8_t res[64] = {};
                for (int k = 0; k < 6; ++k)
                    res[rng() % 64] = static_cast<int8_t>(static_cast<int>(rng() % 15) - 7);
                b.Residue(dx, dy, res, 127);
            } else if (pick < 46) {
                auto [dx, dy] = RandomOffset(rng, x, y, w, h);
                b.Motion(dx, dy);
            } else if (pick < 50) {
                b.Skip();
            } else if (pick < 60) {
                b.Fill(static_cast<uint8_t>(1 + rng() % 255));
            } else if (pick < 70) {
                uint8_t rows8[8];
                for (auto& r : rows8) r = static_cast<uint8_t>(rng());
                b.Pattern(static_cast<uint8_t>(1 + rng() % 255), static_cast<uint8_t>(1 + rng() % 255),
                          rows8);
            } else if (pick < 75) {
                uint8_t raw[64];
                for (auto& c : raw) c = static_cast<uint8_t>(1 + rng() % 255);
                b.Raw(raw);
            } else if (pick < 88 && col + 1 < cols && row % 2 == 0 && row + 1 < rows) {
                b.Value(kBlockTypes, 1);
                RandomSubBlock(b, rng);
                scaled_here[col] = true;
                col += 2;
                continue;
            } else {
                b.Value(kBlockTypes, 3);
                b.Field(rng() % 16, 4);
                int i = 0;
                while (i < 63) {
                    const int n = std::min(1 + static_cast<int>(rng() % 8), 64 - i);
                    const bool one = rng() % 2 != 0;
                    b.Field(one, 1);
                    b.Value(kRunLengths, n - 1);
                    for (int k = 0; k < (one ? 1 : n); ++k) b.Colour(static_cast<uint8_t>(1 + rng() % 255));
                    i += n;
                }
                if (i == 63) b.Colour(static_cast<uint8_t>(1 + rng() % 255));
            }
            ++col;
        }
        scaled_above = row % 2 == 0 ? scaled_here : std::vector<bool>(cols, false);
    }
    return b;
}

std::vector<uint8_t> MakeFramePacket(uint32_t width, uint32_t height, PlaneMix mix, uint32_t seed,
                                     bool older) {
    const uint32_t lw = ((width + 7) & ~7u), lh = ((height + 7) & ~7u);
    const uint32_t cw = (((width + 1) / 2) + 7) & ~7u, ch = (((height + 1) / 2) + 7) & ~7u;
    PacketParts p;
    p.older = older;
    p.luma = MakePlane(lw, lh, mix, seed, older).Bytes();
    p.chroma1 = MakePlane(cw, ch, mix, seed + 1, older).Bytes();
    p.chroma2 = MakePlane(cw, ch, mix, seed + 2, older).Bytes();
    return BuildPacket(p);
}

}  // namespace zarn::test
