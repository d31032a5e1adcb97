#include "encoder/test_media.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zarn {

namespace {

struct Glyph {
    char c;
    uint8_t rows[7];  // 5 bits per row, bit 4 the leftmost pixel
};

constexpr Glyph kFont[] = {
    {'A', {14, 17, 17, 31, 17, 17, 17}}, {'B', {30, 17, 17, 30, 17, 17, 30}},
    {'C', {14, 17, 16, 16, 16, 17, 14}}, {'D', {30, 17, 17, 17, 17, 17, 30}},
    {'E', {31, 16, 16, 30, 16, 16, 31}}, {'F', {31, 16, 16, 30, 16, 16, 16}},
    {'G', {14, 17, 16, 23, 17, 17, 15}}, {'H', {17, 17, 17, 31, 17, 17, 17}},
    {'I', {14, 4, 4, 4, 4, 4, 14}},      {'J', {7, 2, 2, 2, 2, 18, 12}},
    {'K', {17, 18, 20, 24, 20, 18, 17}}, {'L', {16, 16, 16, 16, 16, 16, 31}},
    {'M', {17, 27, 21, 21, 17, 17, 17}}, {'N', {17, 17, 25, 21, 19, 17, 17}},
    {'O', {14, 17, 17, 17, 17, 17, 14}}, {'P', {30, 17, 17, 30, 16, 16, 16}},
    {'Q', {14, 17, 17, 17, 21, 18, 13}}, {'R', {30, 17, 17, 30, 20, 18, 17}},
    {'S', {15, 16, 16, 14, 1, 1, 30}},   {'T', {31, 4, 4, 4, 4, 4, 4}},
    {'U', {17, 17, 17, 17, 17, 17, 14}}, {'V', {17, 17, 17, 17, 17, 10, 4}},
    {'W', {17, 17, 17, 21, 21, 21, 10}}, {'X', {17, 17, 10, 4, 10, 17, 17}},
    {'Y', {17, 17, 10, 4, 4, 4, 4}},     {'Z', {31, 1, 2, 4, 8, 16, 31}},
    {'0', {14, 17, 19, 21, 25, 17, 14}}, {'1', {4, 12, 4, 4, 4, 4, 14}},
    {'2', {14, 17, 1, 2, 4, 8, 31}},     {'3', {31, 2, 4, 2, 1, 17, 14}},
    {'4', {2, 6, 10, 18, 31, 2, 2}},     {'5', {31, 16, 30, 1, 1, 17, 14}},
    {'6', {6, 8, 16, 30, 17, 17, 14}},   {'7', {31, 1, 2, 4, 8, 8, 8}},
    {'8', {14, 17, 17, 14, 17, 17, 14}}, {'9', {14, 17, 17, 15, 1, 2, 12}},
    {'a', {0, 0, 14, 1, 15, 17, 15}},    {'l', {12, 4, 4, 4, 4, 4, 14}},
    {'n', {0, 0, 22, 25, 17, 17, 17}},   {'r', {0, 0, 22, 25, 16, 16, 16}},
    {'y', {0, 0, 17, 17, 15, 1, 14}},    {'.', {0, 0, 0, 0, 0, 12, 12}},
    {'-', {0, 0, 0, 31, 0, 0, 0}},       {'!', {4, 4, 4, 4, 4, 0, 4}},
};

const Glyph* FindGlyph(char c) {
    for (const Glyph& g : kFont)
        if (g.c == c) return &g;
    if (c >= 'a' && c <= 'z') return FindGlyph(static_cast<char>(c - 'a' + 'A'));
    return nullptr;
}

uint8_t Clamp8(double v) { return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }

uint32_t Hash(uint32_t v) {
    v ^= v >> 16;
    v *= 0x7feb352d;
    v ^= v >> 15;
    v *= 0x846ca68b;
    v ^= v >> 16;
    return v;
}

// A drawn picture of w x h: sky gradient, hills, a sun, stripes and text.
struct Canvas {
    uint32_t w, h;
    std::vector<uint8_t> y, u, v;  // full resolution, subsampled when cut
};

Canvas DrawLandscape(uint32_t w, uint32_t h, int variant) {
    Canvas c{w, h, std::vector<uint8_t>(size_t{w} * h), std::vector<uint8_t>(size_t{w} * h),
             std::vector<uint8_t>(size_t{w} * h)};
    for (uint32_t yy = 0; yy < h; ++yy)
        for (uint32_t xx = 0; xx < w; ++xx) {
            const size_t i = size_t{yy} * w + xx;
            const double fx = double(xx) / w, fy = double(yy) / h;
            double Y = 90 + 120 * fy, U = 160 - 30 * fy, V = 110;
            const double hill = 0.6 + 0.08 * std::sin(fx * 9 + variant) + 0.05 * std::sin(fx * 23);
            if (fy > hill) {
                // Ground: furrows plus a fine grain, like grass seen from afar.
                const double grain = double(Hash(xx * 7919u + yy * 104729u) & 63) - 32.0;
                Y = 70 + 40 * std::sin(fx * 60) * std::sin(fy * 40) + 30 * fy + 0.6 * grain;
                U = 100 + 0.2 * grain;
                V = 90 + 20 * variant;
            }
            // Houses with windows along the hill line.
            const int house = int(fx * 12);
            const double hx = fx * 12 - house;
            if (house % 3 == 1 && hx > 0.2 && hx < 0.8 && fy > hill - 0.12 && fy < hill + 0.02) {
                const bool window = (int(hx * 10) % 3 == 1) && (int(fy * h / 6) % 3 == 1);
                Y = window ? 230 : 120 + 30 * (house % 2);
                U = 120;
                V = window ? 150 : 170;
            }
            const double dx = fx - 0.75 + 0.3 * variant, dy = fy - 0.25;
            if (dx * dx + dy * dy < 0.006) {
                Y = 220;
                U = 60;
                V = 170;
            }
            if (int(xx / 24 + yy / 24 + variant) % 7 == 0 && fy > 0.8) Y = 200;
            c.y[i] = Clamp8(Y);
            c.u[i] = Clamp8(U);
            c.v[i] = Clamp8(V);
        }
    DrawText(c.y, w, h, int(w / 10), int(h / 2), "ZARN TEST 123", int(std::max(1u, w / 160)), 20);
    return c;
}

// Samples a canvas at (x, y) with bilinear filtering.
double Sample(const std::vector<uint8_t>& p, uint32_t w, uint32_t h, double x, double y) {
    x = std::clamp(x, 0.0, double(w - 1));
    y = std::clamp(y, 0.0, double(h - 1));
    const uint32_t x0 = uint32_t(x), y0 = uint32_t(y);
    const uint32_t x1 = std::min(x0 + 1, w - 1), y1 = std::min(y0 + 1, h - 1);
    const double ax = x - x0, ay = y - y0;
    auto at = [&](uint32_t xx, uint32_t yy) { return double(p[size_t{yy} * w + xx]); };
    return (at(x0, y0) * (1 - ax) + at(x1, y0) * ax) * (1 - ay) +
           (at(x0, y1) * (1 - ax) + at(x1, y1) * ax) * ay;
}

YuvPicture ViewOf(const Canvas& c, uint32_t width, uint32_t height, double ox, double oy, double zoom) {
    YuvPicture p;
    p.Allocate(width, height);
    for (uint32_t yy = 0; yy < height; ++yy)
        for (uint32_t xx = 0; xx < width; ++xx)
            p.y[size_t{yy} * width + xx] = Clamp8(Sample(c.y, c.w, c.h, ox + xx / zoom, oy + yy / zoom));
    for (uint32_t yy = 0; yy < p.ChromaHeight(); ++yy)
        for (uint32_t xx = 0; xx < p.ChromaWidth(); ++xx) {
            const double sx = ox + (2 * xx + 0.5) / zoom, sy = oy + (2 * yy + 0.5) / zoom;
            p.u[size_t{yy} * p.ChromaWidth() + xx] = Clamp8(Sample(c.u, c.w, c.h, sx, sy));
            p.v[size_t{yy} * p.ChromaWidth() + xx] = Clamp8(Sample(c.v, c.w, c.h, sx, sy));
        }
    return p;
}

const Canvas& CachedCanvas(uint32_t w, uint32_t h, int variant) {
    static thread_local Canvas cache[2];
    Canvas& c = cache[variant & 1];
    if (c.w != w || c.h != h) c = DrawLandscape(w, h, variant & 1);
    return c;
}

}  // namespace

int TextWidth(const std::string& text, int scale) { return int(text.size()) * 6 * scale; }

void DrawText(std::vector<uint8_t>& plane, uint32_t stride, uint32_t height, int x, int y,
              const std::string& text, int scale, uint8_t value) {
    for (size_t k = 0; k < text.size(); ++k) {
        const Glyph* g = FindGlyph(text[k]);
        if (!g) continue;
        for (int r = 0; r < 7; ++r)
            for (int col = 0; col < 5; ++col) {
                if (!(g->rows[r] >> (4 - col) & 1)) continue;
                for (int sy = 0; sy < scale; ++sy)
                    for (int sx = 0; sx < scale; ++sx) {
                        const int px = x + (int(k) * 6 + col) * scale + sx, py = y + r * scale + sy;
                        if (px >= 0 && py >= 0 && px < int(stride) && py < int(height))
                            plane[size_t(py) * stride + size_t(px)] = value;
                    }
            }
    }
}

YuvPicture MakeClipFrame(Clip clip, uint32_t width, uint32_t height, uint32_t index) {
    switch (clip) {
    case Clip::kPanZoom: {
        const Canvas& c = CachedCanvas(width * 2, height * 2, 0);
        const double zoom = 0.55 + 0.003 * index;
        return ViewOf(c, width, height, 10 + 1.5 * index, 20 + 0.8 * index, zoom);
    }
    case Clip::kSceneCut: {
        // A drawn landscape, then from frame 15 on a different picture.
        if (index >= 15) return MakeClipFrame(Clip::kGradients, width, height, index);
        const Canvas& c = CachedCanvas(width * 2, height * 2, 0);
        return ViewOf(c, width, height, 10 + index, 10, 1.0);
    }
    case Clip::kScrollingText: {
        YuvPicture p;
        p.Allocate(width, height);
        std::fill(p.y.begin(), p.y.end(), 235);
        const int scale = std::max(1, int(width / 200));
        const int line_h = 10 * scale;
        const int shift = int(index) * 2;
        for (int line = -1; line < int(height) / line_h + 2; ++line) {
            const int n = line + shift / line_h;
            const std::string text = "LINE " + std::to_string(n) + " THE QUICK BROWN FOX JUMPS";
            DrawText(p.y, width, height, 8, line * line_h - shift % line_h, text, scale, 16);
        }
        return p;
    }
    case Clip::kGradients: {
        YuvPicture p;
        p.Allocate(width, height);
        for (uint32_t yy = 0; yy < height; ++yy)
            for (uint32_t xx = 0; xx < width; ++xx)
                p.y[size_t{yy} * width + xx] =
                    uint8_t((xx + yy + 3 * index) * 255 / (width + height + 1) & 255);
        for (uint32_t yy = 0; yy < p.ChromaHeight(); ++yy)
            for (uint32_t xx = 0; xx < p.ChromaWidth(); ++xx) {
                p.u[size_t{yy} * p.ChromaWidth() + xx] =
                    uint8_t(64 + (xx * 128 / p.ChromaWidth() + index) % 128);
                p.v[size_t{yy} * p.ChromaWidth() + xx] =
                    uint8_t(64 + (yy * 128 / p.ChromaHeight() + 2 * index) % 128);
            }
        return p;
    }
    case Clip::kNoise: {
        YuvPicture p;
        p.Allocate(width, height);
        uint32_t seed = index * 7919u + 1;
        for (auto& b : p.y) b = uint8_t(Hash(seed++) & 255);
        for (auto& b : p.u) b = uint8_t(Hash(seed++) & 255);
        for (auto& b : p.v) b = uint8_t(Hash(seed++) & 255);
        return p;
    }
    case Clip::kDemo:
    default: {
        YuvPicture p;
        p.Allocate(width, height);
        const double t = index / 25.0;
        for (uint32_t yy = 0; yy < height; ++yy)
            for (uint32_t xx = 0; xx < width; ++xx)
                p.y[size_t{yy} * width + xx] = Clamp8(60 + 50 * std::sin(xx * 0.01 + t) + 40.0 * yy / height);
        for (uint32_t yy = 0; yy < p.ChromaHeight(); ++yy)
            for (uint32_t xx = 0; xx < p.ChromaWidth(); ++xx) {
                p.u[size_t{yy} * p.ChromaWidth() + xx] = Clamp8(140 + 30 * std::sin(yy * 0.02 + t));
                p.v[size_t{yy} * p.ChromaWidth() + xx] = Clamp8(110 + 30 * std::cos(xx * 0.02 - t));
            }
        // A bouncing ball and a rotating bar.
        const double bx = width * (0.5 + 0.35 * std::sin(t * 1.3)),
                     by = height * (0.55 + 0.3 * std::fabs(std::sin(t * 2.1)) - 0.15);
        const double r = height / 10.0;
        for (uint32_t yy = 0; yy < height; ++yy)
            for (uint32_t xx = 0; xx < width; ++xx) {
                const double dx = xx - bx, dy = yy - by;
                if (dx * dx + dy * dy < r * r) {
                    p.y[size_t{yy} * width + xx] = Clamp8(200 - 60 * (dx + dy) / r / 2);
                    if (!(xx & 1) && !(yy & 1)) {
                        p.u[size_t{yy / 2} * p.ChromaWidth() + xx / 2] = 80;
                        p.v[size_t{yy / 2} * p.ChromaWidth() + xx / 2] = 200;
                    }
                }
                const double a = t * 0.8, cx = width * 0.2, cy = height * 0.3;
                const double u = (xx - cx) * std::cos(a) + (yy - cy) * std::sin(a);
                const double v = -(xx - cx) * std::sin(a) + (yy - cy) * std::cos(a);
                if (std::fabs(u) < height / 6.0 && std::fabs(v) < height / 40.0)
                    p.y[size_t{yy} * width + xx] = 235;
            }
        const int scale = std::max(1, int(width / 160));
        DrawText(p.y, width, height, (int(width) - TextWidth("ZarnPlay", scale)) / 2, int(height) / 12,
                 "ZarnPlay", scale, 240);
        return p;
    }
    }
}

PcmTrack MakeSineSweep(uint32_t rate, uint32_t channels, double seconds) {
    PcmTrack t{rate, channels, {}};
    const size_t frames = size_t(seconds * rate);
    t.samples.resize(frames * channels);
    const double f0 = 100, f1 = std::min(8000.0, rate * 0.45);
    const double k = std::log(f1 / f0) / seconds;
    for (size_t i = 0; i < frames; ++i) {
        const double time = double(i) / rate;
        const double phase = 2 * M_PI * f0 * (std::exp(k * time) - 1) / k;
        const int16_t s = int16_t(std::lround(12000 * std::sin(phase)));
        for (uint32_t c = 0; c < channels; ++c) t.samples[i * channels + c] = s;
    }
    return t;
}

PcmTrack MakeChord(uint32_t rate, uint32_t channels, double seconds) {
    PcmTrack t{rate, channels, {}};
    const size_t frames = size_t(seconds * rate);
    t.samples.resize(frames * channels);
    const double notes[3] = {261.63, 329.63, 392.0};
    for (size_t i = 0; i < frames; ++i) {
        const double time = double(i) / rate;
        for (uint32_t c = 0; c < channels; ++c) {
            double s = 0;
            for (int n = 0; n < 3; ++n) s += std::sin(2 * M_PI * notes[n] * (c ? 1.002 : 1.0) * time);
            t.samples[i * channels + c] = int16_t(std::lround(7000 * s));
        }
    }
    return t;
}

PcmTrack MakeTune(uint32_t rate, uint32_t channels, double seconds) {
    PcmTrack t{rate, channels, {}};
    const size_t frames = size_t(seconds * rate);
    t.samples.resize(frames * channels);
    const double scale[8] = {261.63, 293.66, 329.63, 392.0, 440.0, 392.0, 329.63, 293.66};
    const double note_len = 0.25;
    for (size_t i = 0; i < frames; ++i) {
        const double time = double(i) / rate;
        const int note = int(time / note_len);
        const double in_note = time - note * note_len;
        const double env = std::exp(-in_note * 6) * std::min(1.0, in_note * 200);
        const double f = scale[note % 8];
        const double bass = 0.4 * std::sin(2 * M_PI * scale[(note / 4) % 8] / 2 * time);
        for (uint32_t c = 0; c < channels; ++c) {
            const double pan = channels == 2 ? (c ? 0.7 : 1.0) : 1.0;
            const double s =
                env * (std::sin(2 * M_PI * f * time) + 0.3 * std::sin(4 * M_PI * f * time)) * pan + bass;
            t.samples[i * channels + c] = int16_t(std::lround(9000 * s));
        }
    }
    return t;
}

YuvPicture MakeClosingPicture() {
    constexpr uint32_t w = 224, h = 252;
    YuvPicture p;
    p.Allocate(w, h);
    // Dark blue background with a soft vertical gradient.
    for (uint32_t yy = 0; yy < h; ++yy)
        for (uint32_t xx = 0; xx < w; ++xx) p.y[size_t{yy} * w + xx] = uint8_t(30 + yy / 12);
    std::fill(p.u.begin(), p.u.end(), 160);
    std::fill(p.v.begin(), p.v.end(), 118);
    // Logo: a ring with a play triangle inside.
    const double cx = w / 2.0, cy = 100, r_out = 62, r_in = 52;
    for (uint32_t yy = 0; yy < h; ++yy)
        for (uint32_t xx = 0; xx < w; ++xx) {
            const double dx = xx + 0.5 - cx, dy = yy + 0.5 - cy, d = std::sqrt(dx * dx + dy * dy);
            const bool ring = d < r_out && d > r_in;
            const bool triangle = dx > -20 && dx < 30 && std::fabs(dy) < (30 - dx) * 0.6;
            if (ring || triangle) {
                p.y[size_t{yy} * w + xx] = ring ? 200 : 225;
                const size_t ci = size_t{yy / 2} * p.ChromaWidth() + xx / 2;
                p.u[ci] = ring ? 90 : 70;
                p.v[ci] = ring ? 190 : 170;
            }
        }
    const int scale = 4;
    DrawText(p.y, w, h, (int(w) - TextWidth("ZarnPlay", scale) + scale) / 2, 190, "ZarnPlay", scale, 235);
    return p;
}

}  // namespace zarn
