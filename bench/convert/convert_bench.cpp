// 1920x1080 frame conversion: plain and SIMD sets against libyuv in the
// same binary, and the changed-blocks path with 10% of macroblocks marked
// (with the bare memory traffic of that path beside it).
#include <benchmark/benchmark.h>
#include <emmintrin.h>
#include <libyuv.h>

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "convert/copy_flags.h"
#include "convert/copy_frame.h"
#include "base/cpu_features.h"
#include "convert/descriptors.h"

namespace {

constexpr uint32_t kWidth = 1920;
constexpr uint32_t kHeight = 1080;
constexpr uint32_t kLumaHeight = 1088;

// Which pages a buffer lies on. Left to the kernel, a large block lands
// partly on 2 MB pages and partly on 4 KB ones, differently from one buffer
// to the next, and that alone moved one copy against another by up to 20%.
// So every buffer says: small pages, as a display surface in shared memory
// or a DirectDraw surface is, or (rows named _hugepages) 2 MB pages for the
// destination, as a large plain allocation may get.
enum class Pages { kSmall, kHuge };

// Bytes on a 64-byte boundary, as decoded planes and video buffers are.
struct Aligned {
    static constexpr size_t kHugePage = size_t{2} << 20;
    uint8_t* start = nullptr;
    Aligned(size_t bytes, uint8_t fill, Pages pages = Pages::kSmall) {
        const size_t size = (bytes + kHugePage - 1) / kHugePage * kHugePage;
        start = static_cast<uint8_t*>(std::aligned_alloc(kHugePage, size));
        if (start == nullptr) std::abort();
        madvise(start, size, pages == Pages::kHuge ? MADV_HUGEPAGE : MADV_NOHUGEPAGE);
        std::memset(start, fill, size);
    }
    ~Aligned() { std::free(start); }
    Aligned(const Aligned&) = delete;
    Aligned& operator=(const Aligned&) = delete;
    uint8_t* Data() { return start; }
};

struct BenchFrame {
    Aligned planes{size_t{kWidth} * kLumaHeight * 3 / 2, 0};
    std::vector<uint8_t> all_marks;
    std::vector<uint8_t> some_marks;
    std::vector<uint8_t> band_marks;
    std::vector<uint8_t> no_marks;
    uint32_t mb_cols = kWidth / 16;
    uint32_t mb_count = kWidth / 16 * (kLumaHeight / 16);
    BenchFrame() {
        std::mt19937 rng(5);
        for (size_t i = 0; i < size_t{kWidth} * kLumaHeight * 3 / 2; ++i)
            planes.start[i] = static_cast<uint8_t>(rng() % 220 + 16);
        all_marks.assign(mb_count + 1, 1);
        all_marks.back() = 0;
        some_marks.assign(mb_count + 1, 0);
        for (uint32_t i = 0; i < mb_count / 10; ++i) some_marks[rng() % mb_count] = 1;
        // A band of whole macroblock rows: 10% of the blocks, clustered.
        band_marks.assign(mb_count + 1, 0);
        std::fill(band_marks.begin() + mb_count / 2, band_marks.begin() + mb_count / 2 + mb_count / 10, 1);
        no_marks.assign(mb_count + 1, 0);
        while (std::count(some_marks.begin(), some_marks.end() - 1, 1) < mb_count / 10)
            some_marks[rng() % mb_count] = 1;
    }
    const uint8_t* Y() const { return planes.start; }
    const uint8_t* V() const { return planes.start + size_t{kWidth} * kLumaHeight; }
    const uint8_t* U() const { return V() + size_t{kWidth} * kLumaHeight / 4; }
    // 0: every block marked, 1: 10% scattered at random, 2: 10% in one band,
    // 3: none (what is left is the strip below the last whole macroblock row).
    zarn::FrameSource Source(int marks) const {
        const uint8_t* m = marks == 0 ? all_marks.data()
                                      : (marks == 1 ? some_marks.data()
                                                    : (marks == 2 ? band_marks.data() : no_marks.data()));
        return {planes.start, nullptr, m, mb_cols, mb_count, kWidth, kHeight, kWidth, kLumaHeight};
    }
};

const BenchFrame& Frame() {
    static const BenchFrame frame;
    return frame;
}

uint32_t BytesOf(uint32_t format) {
    if (format == 1) return 3;
    if (format == 3) return 4;
    return 2;
}

// `offset`: the destination starts that many bytes past a 64-byte boundary
// (a surface need not be aligned to more than 16).
void Copy(benchmark::State& state, uint32_t format, zarn::KernelSet set, int marks, uint32_t offset = 0,
          Pages pages = Pages::kSmall) {
    if (!zarn::InstallKernelSet(set)) {
        state.SkipWithError("instruction set not available");
        return;
    }
    const uint32_t pitch = kWidth * BytesOf(format);
    Aligned out(size_t{pitch} * kHeight + offset, 1, pages);
    const zarn::FrameSource source = Frame().Source(marks);
    for (auto _ : state) {
        zarn::CopyFrame(source, out.Data() + offset, static_cast<int32_t>(pitch), kHeight, 0, 0, format);
        benchmark::DoNotOptimize(out.Data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void Libyuv(benchmark::State& state, uint32_t format, uint32_t offset = 0, Pages pages = Pages::kSmall) {
    const BenchFrame& f = Frame();
    const uint32_t pitch = kWidth * BytesOf(format);
    Aligned out(size_t{pitch} * kHeight + offset, 1, pages);
    uint8_t* const dest = out.Data() + offset;
    for (auto _ : state) {
        switch (format) {
        case 3:
            libyuv::I420ToARGB(f.Y(), kWidth, f.U(), kWidth / 2, f.V(), kWidth / 2, dest, pitch, kWidth,
                               kHeight);
            break;
        case 1:
            libyuv::I420ToRGB24(f.Y(), kWidth, f.U(), kWidth / 2, f.V(), kWidth / 2, dest, pitch, kWidth,
                                kHeight);
            break;
        case 10:
            libyuv::I420ToRGB565(f.Y(), kWidth, f.U(), kWidth / 2, f.V(), kWidth / 2, dest, pitch, kWidth,
                                 kHeight);
            break;
        case 14:
            libyuv::I420ToUYVY(f.Y(), kWidth, f.U(), kWidth / 2, f.V(), kWidth / 2, dest, pitch, kWidth,
                               kHeight);
            break;
        default:
            libyuv::I420ToYUY2(f.Y(), kWidth, f.U(), kWidth / 2, f.V(), kWidth / 2, dest, pitch, kWidth,
                               kHeight);
            break;
        }
        benchmark::DoNotOptimize(dest);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

// The memory traffic alone of the scattered changed-blocks copy: for each
// marked macroblock, its 16 luma rows and 8 rows of each chroma plane read
// and its 16 destination rows written, but nothing converted. 32-bit rows
// are whole cache lines, written with streaming stores as the copy does;
// 16-bit rows (YUY2) are half lines, which plain stores must read first
// (streaming half lines is slower still). What the copy takes beyond this
// is its computing; this is as fast as that copy can be on the machine.
void ScatteredFloor(benchmark::State& state, uint32_t bytes, Pages pages) {
    const BenchFrame& f = Frame();
    const uint32_t pitch = kWidth * bytes;
    Aligned out(size_t{pitch} * kHeight, 1, pages);
    const uint32_t block_rows = kHeight / 16;
    for (auto _ : state) {
        for (uint32_t r = 0; r < block_rows; ++r) {
            for (uint32_t c = 0; c < f.mb_cols; ++c) {
                if (f.some_marks[size_t{r} * f.mb_cols + c] == 0) continue;
                for (uint32_t y = 0; y < 16; ++y) {
                    const size_t row = size_t{r} * 16 + y;
                    __m128i v =
                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(f.Y() + row * kWidth + c * 16));
                    if (y < 8) {
                        const size_t chroma = (size_t{r} * 8 + y) * (kWidth / 2) + c * 8;
                        v = _mm_xor_si128(v,
                                          _mm_loadl_epi64(reinterpret_cast<const __m128i*>(f.U() + chroma)));
                        v = _mm_xor_si128(v,
                                          _mm_loadl_epi64(reinterpret_cast<const __m128i*>(f.V() + chroma)));
                    }
                    __m128i* d = reinterpret_cast<__m128i*>(out.Data() + row * pitch + c * 16 * bytes);
                    if (bytes == 4)
                        for (int k = 0; k < 4; ++k) _mm_stream_si128(d + k, v);
                    else
                        for (int k = 0; k < 2; ++k) _mm_storeu_si128(d + k, v);
                }
            }
        }
        _mm_sfence();
        benchmark::DoNotOptimize(out.Data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

using zarn::KernelSet;

#define ZARN_FORMAT_BENCH(name, format)                                                                 \
    BENCHMARK_CAPTURE(Copy, name##_plain, format, KernelSet::kPlain, 0)->Unit(benchmark::kMillisecond); \
    BENCHMARK_CAPTURE(Copy, name##_sse2, format, KernelSet::kSse2, 0)->Unit(benchmark::kMillisecond);   \
    BENCHMARK_CAPTURE(Copy, name##_avx2, format, KernelSet::kAvx2, 0)->Unit(benchmark::kMillisecond);   \
    BENCHMARK_CAPTURE(Libyuv, name, format)->Unit(benchmark::kMillisecond);

ZARN_FORMAT_BENCH(bgrx32, 3)
ZARN_FORMAT_BENCH(bgr24, 1)
ZARN_FORMAT_BENCH(rgb565, 10)
ZARN_FORMAT_BENCH(yuy2, 13)
ZARN_FORMAT_BENCH(uyvy, 14)

// Destinations 16 bytes past a 64-byte boundary.
BENCHMARK_CAPTURE(Copy, bgrx32_avx2_dest16, 3, KernelSet::kAvx2, 0, 16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Libyuv, bgrx32_dest16, 3, 16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Copy, yuy2_avx2_dest16, 13, KernelSet::kAvx2, 0, 16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Libyuv, yuy2_dest16, 13, 16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Copy, uyvy_avx2_dest16, 14, KernelSet::kAvx2, 0, 16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Libyuv, uyvy_dest16, 14, 16)->Unit(benchmark::kMillisecond);

// Changed blocks: 10% of the macroblocks marked, against the whole frame.
BENCHMARK_CAPTURE(Copy, bgrx32_changed10_scattered_avx512, 3, KernelSet::kAvx512, 1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Copy, bgrx32_changed10_scattered_avx2, 3, KernelSet::kAvx2, 1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Copy, bgrx32_changed10_scattered_sse2, 3, KernelSet::kSse2, 1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Copy, bgrx32_changed10_scattered_plain, 3, KernelSet::kPlain, 1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Copy, yuy2_changed10_scattered_avx2, 13, KernelSet::kAvx2, 1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Copy, yuy2_changed10_scattered_sse2, 13, KernelSet::kSse2, 1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Copy, bgrx32_changed10_band_avx512, 3, KernelSet::kAvx512, 2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Copy, bgrx32_changed10_band_avx2, 3, KernelSet::kAvx2, 2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Copy, bgrx32_changed10_band_plain, 3, KernelSet::kPlain, 2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Copy, bgrx32_changed0_avx2, 3, KernelSet::kAvx2, 3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ScatteredFloor, small, 4, Pages::kSmall)
    ->Name("Copy/bgrx32_changed10_scattered_memory_floor")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ScatteredFloor, yuy2, 2, Pages::kSmall)
    ->Name("Copy/yuy2_changed10_scattered_memory_floor")
    ->Unit(benchmark::kMillisecond);

// The same comparisons with the destination on 2 MB pages.
BENCHMARK_CAPTURE(Copy, bgrx32_avx2_hugepages, 3, KernelSet::kAvx2, 0, 0, Pages::kHuge)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Libyuv, bgrx32_hugepages, 3, 0, Pages::kHuge)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Copy, yuy2_avx2_hugepages, 13, KernelSet::kAvx2, 0, 0, Pages::kHuge)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Libyuv, yuy2_hugepages, 13, 0, Pages::kHuge)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Copy, bgrx32_changed10_scattered_avx512_hugepages, 3, KernelSet::kAvx512, 1, 0,
                  Pages::kHuge)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ScatteredFloor, huge, 4, Pages::kHuge)
    ->Name("Copy/bgrx32_changed10_scattered_memory_floor_hugepages")
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
