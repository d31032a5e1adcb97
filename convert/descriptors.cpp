#include "convert/descriptors.h"

#include "convert/copy_flags.h"

#include <atomic>
#include <mutex>

namespace zarn {

ConvertDescriptor g_descriptors[kDescriptorCount] = {
    {4, {}, {}, {}}, {4, {}, {}, {}}, {4, {}, {}, {}}, {4, {}, {}, {}}, {3, {}, {}, {}}, {3, {}, {}, {}},
    {2, {}, {}, {}}, {2, {}, {}, {}}, {2, {}, {}, {}}, {2, {}, {}, {}}, {2, {}, {}, {}},
};

namespace {

std::atomic<bool> g_installed{false};
std::atomic<KernelSet> g_installed_set{KernelSet::kPlain};
std::once_flag g_first_install;

}  // namespace

bool InstallKernelSet(KernelSet set) {
    if (!KernelSetSupported(set)) return false;
    GroupEntry plain[kDescriptorCount][6];
    GroupEntry simd[kDescriptorCount][6];
    RowEdgePair pairs[kDescriptorCount][8];
    FillPlainGroups(plain);
    FillPlainPairs(pairs);
    bool filled = true;
    switch (set) {
    case KernelSet::kPlain: filled = false; break;
    case KernelSet::kSse2: filled = FillSse2Groups(simd); break;
    case KernelSet::kAvx2: filled = FillAvx2Groups(simd); break;
    case KernelSet::kAvx512: filled = FillAvx2Groups(simd) && FillAvx512Blocks(simd); break;
    }
    if (set != KernelSet::kPlain && !filled) return false;
    for (int d = 0; d < kDescriptorCount; ++d) {
        for (int s = 0; s < 6; ++s) {
            g_descriptors[d].groups[s] = plain[d][s];
            g_descriptors[d].groups[6 + s] = filled ? simd[d][s] : plain[d][s];
        }
        for (int p = 0; p < 8; ++p) g_descriptors[d].pairs[p] = pairs[d][p];
    }
    g_installed_set.store(set, std::memory_order_relaxed);
    g_installed.store(true, std::memory_order_release);
    return true;
}

KernelSet InstalledKernelSet() {
    if (!g_installed.load(std::memory_order_acquire)) {
        std::call_once(g_first_install, [] {
            if (!g_installed.load() && !InstallKernelSet(DetectKernelSet()))
                InstallKernelSet(KernelSet::kPlain);
        });
    }
    return g_installed_set.load(std::memory_order_relaxed);
}

int DescriptorForFormat(uint32_t format, bool has_alpha) {
    switch (format) {
    case kFormatBgr24: return kDescBgr24;
    case kFormatRgb24: return kDescRgb24;
    case kFormatBgrx32: return kDescBgrx32;
    case kFormatRgbx32: return kDescRgbx32;
    case kFormatBgra32: return has_alpha ? kDescBgra32 : kDescBgrx32;
    case kFormatRgba32: return has_alpha ? kDescRgba32 : kDescRgbx32;
    case kFormatArgb4444: return has_alpha ? kDescFields16Alpha4 : kDescFields16;
    case kFormatArgb1555: return has_alpha ? kDescFields16Alpha1 : kDescFields16;
    case kFormatRgb555:
    case kFormatRgb565:
    case kFormatRgb655:
    case kFormatRgb664: return kDescFields16;
    case kFormatYuy2: return kDescYuy2;
    case kFormatUyvy: return kDescUyvy;
    default: return -1;
    }
}

}  // namespace zarn
