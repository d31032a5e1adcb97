// Every kernel set's copies stay inside the buffers they touch. Source
// planes and destination end exactly at an inaccessible page, so a load or
// store past the end faults in any build; the scratch lines are heap blocks
// that AddressSanitizer watches. Widths 1 to 130 and heights 1 to 3 reach
// every group, row and edge routine at every tail length; heights 16 and 32
// with every block but one marked reach the changed-block runs. Each set's
// output must equal the plain routines' output.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "convert/copy_flags.h"
#include "convert/copy_frame.h"
#include "base/cpu_features.h"
#include "convert/descriptors.h"

namespace zarn {
namespace {

// Memory whose last byte is followed by a page that cannot be touched.
class GuardedRegion {
public:
    explicit GuardedRegion(size_t capacity) {
        page_ = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        usable_ = (capacity + page_ - 1) / page_ * page_;
        void* p = mmap(nullptr, usable_ + page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        base_ = p == MAP_FAILED ? nullptr : static_cast<uint8_t*>(p);
        if (base_) mprotect(base_ + usable_, page_, PROT_NONE);
    }
    ~GuardedRegion() {
        if (base_) munmap(base_, usable_ + page_);
    }
    GuardedRegion(const GuardedRegion&) = delete;
    GuardedRegion& operator=(const GuardedRegion&) = delete;

    bool Ok() const { return base_ != nullptr; }
    // `bytes` bytes ending at the guard page.
    uint8_t* Tail(size_t bytes) const { return base_ + usable_ - bytes; }

private:
    uint8_t* base_ = nullptr;
    size_t page_ = 0, usable_ = 0;
};

constexpr uint32_t kMaxWidth = 130;
constexpr uint32_t kMaxHeight = 32;

struct Shape {
    uint32_t format, mode, width, height;
    bool alpha, grey, changed;
};

std::string Describe(const Shape& s, KernelSet set) {
    return "format " + std::to_string(s.format) + " mode " + std::to_string(s.mode) + " " +
           std::to_string(s.width) + "x" + std::to_string(s.height) + (s.alpha ? " alpha" : "") +
           (s.grey ? " grey" : "") + (s.changed ? " changed" : " whole") + " set " + KernelSetName(set);
}

// Destination rows up to the last one a copy writes: interlaced modes skip
// every other row, and mode 6 converts every other source row.
uint32_t DestinationRows(uint32_t mode, uint32_t height) {
    switch (mode) {
    case 1:
    case 4: return 2 * height;
    case 2:
    case 5: return 2 * height - 1;
    case 6: return height / 2 == 0 ? 1 : 2 * (height / 2) - 1;
    default: return height;
    }
}

class KernelBounds : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(frame_region_.Ok() && alpha_region_.Ok() && dest_region_.Ok() && marks_region_.Ok());
        std::mt19937 rng(77);
        // Luma below 236: every set gives the plain bytes there.
        source_.resize(size_t{kLumaMax} * kLumaMax * 3 / 2);
        for (auto& b : source_) b = static_cast<uint8_t>(rng() % 236);
        alpha_.resize(size_t{kLumaMax} * kLumaMax);
        for (auto& b : alpha_) b = static_cast<uint8_t>(rng());
    }
    void TearDown() override {
        InstallKernelSet(DetectKernelSet());
        SetTuning(0);
    }

    static void SetTuning(uint32_t word) {
        for (auto& d : g_descriptors)
            for (auto& t : d.tuning) t = word;
    }

    // Copies one shape into a destination that ends at the guard page and
    // returns the destination bytes.
    std::vector<uint8_t> Copy(const Shape& s) {
        const uint32_t luma_width = (s.width + 15) & ~15u;
        const uint32_t luma_height = (s.height + 15) & ~15u;
        const size_t luma = size_t{luma_width} * luma_height;
        uint8_t* frame = frame_region_.Tail(luma * 3 / 2);
        std::memcpy(frame, source_.data(), luma * 3 / 2);
        uint8_t* alpha = nullptr;
        if (s.alpha) {
            alpha = alpha_region_.Tail(luma);
            std::memcpy(alpha, alpha_.data(), luma);
        }
        const uint32_t mb_cols = luma_width / 16, mb_count = mb_cols * (luma_height / 16);
        // Every block marked but the last: the changed-block path runs across
        // whole rows of blocks.
        uint8_t* marks = marks_region_.Tail(mb_count + 1);
        for (uint32_t i = 0; i <= mb_count; ++i) marks[i] = i + 1 < mb_count ? 1 : 0;

        const uint32_t bytes = s.format == kFormatBgr24 || s.format == kFormatRgb24 ? 3
                               : s.format >= kFormatArgb4444                        ? 2
                                                                                    : 4;
        const uint32_t pitch = s.width * WidthFactor(s.mode) * bytes;
        const uint32_t rows = DestinationRows(s.mode, s.height);
        uint8_t* dest = dest_region_.Tail(size_t{pitch} * rows);
        std::memset(dest, 0x5A, size_t{pitch} * rows);

        FrameSource src{};
        src.frame = frame;
        src.alpha = alpha;
        src.block_marks = marks;
        src.mb_cols = mb_cols;
        src.mb_count = mb_count;
        src.source_width = s.width;
        src.source_height = s.height;
        src.luma_width = luma_width;
        src.luma_height = luma_height;
        const uint32_t flags = s.format | (s.mode << kCopyScaleShift) | (s.grey ? kCopyGreyScale : 0) |
                               (s.changed ? 0 : kCopyWholeFrame);
        CopyFrame(src, dest, static_cast<int32_t>(pitch), rows, 0, 0, flags);
        return std::vector<uint8_t>(dest, dest + size_t{pitch} * rows);
    }

    static constexpr uint32_t kLumaMax = 144;
    GuardedRegion frame_region_{size_t{kLumaMax} * kLumaMax * 3 / 2};
    GuardedRegion alpha_region_{size_t{kLumaMax} * kLumaMax};
    GuardedRegion dest_region_{size_t{kMaxWidth} * 2 * 4 * kMaxHeight * 2};
    GuardedRegion marks_region_{256};
    std::vector<uint8_t> source_, alpha_;
};

TEST_F(KernelBounds, EveryWidthStaysInsideItsBuffersAndMatchesPlain) {
    std::vector<KernelSet> sets;
    for (KernelSet s : {KernelSet::kSse2, KernelSet::kAvx2, KernelSet::kAvx512})
        if (KernelSetSupported(s)) sets.push_back(s);
    int failures = 0;
    for (uint32_t format = 1; format <= 14; ++format) {
        for (bool alpha : {false, true}) {
            if (alpha && (format < kFormatBgra32 || format > kFormatArgb1555)) continue;
            for (uint32_t mode = 0; mode <= 6; ++mode) {
                // Both row-twice methods: through the scratch lines, and straight
                // into the rows. The scratch lines only grow, so the changed-block
                // runs come first, while the lines are still as small as they get.
                for (uint32_t tuning : {3u, 1u}) {
                    if (tuning == 3 && mode != 1 && mode != 4) continue;
                    SetTuning(tuning);
                    for (uint32_t height : {16u, 32u, 1u, 2u, 3u}) {
                        const bool changed = height >= 16;
                        for (uint32_t width = 1; width <= kMaxWidth; ++width) {
                            // The tall shapes only need every run length of whole blocks
                            // and of the strip beyond them.
                            if (changed && width % 16 != 0 && width % 16 != 1 && width % 16 != 15) continue;
                            const Shape s{format, mode,  width,
                                          height, alpha, (width + height + mode) % 5 == 0,
                                          changed};
                            ASSERT_TRUE(InstallKernelSet(KernelSet::kPlain));
                            const std::vector<uint8_t> plain = Copy(s);
                            for (KernelSet set : sets) {
                                ASSERT_TRUE(InstallKernelSet(set));
                                if (Copy(s) != plain && ++failures <= 10)
                                    ADD_FAILURE() << "differs from plain: " << Describe(s, set);
                            }
                        }
                    }
                }
            }
        }
    }
    EXPECT_EQ(failures, 0);
}

}  // namespace
}  // namespace zarn
