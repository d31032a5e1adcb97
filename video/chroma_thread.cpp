#include "video/chroma_thread.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "format/zarn_format.h"

namespace zarn {

struct ChromaThread {
    uint32_t luma_width = 0, luma_height = 0;
    std::unique_ptr<uint8_t[]> memory;  // bundle buffers, then the marks
    uint8_t* bundles[kBundleCount] = {};
    uint8_t* marks = nullptr;
    size_t mark_bytes = 0;
    uint32_t frames = 0;  // the owner's count; only its thread touches it

    std::mutex lock;
    std::condition_variable posted_or_stop;
    std::condition_variable finished;
    // Guarded by `lock`.
    bool posted = false, done = false, stop = false, whole = true;
    PlaneGeometry geometry;
    PlaneInput input;
    size_t plane_bytes = 0;

    std::thread thread;
};

namespace {

void RunChromaThread(ChromaThread& t) {
    std::unique_lock<std::mutex> held(t.lock);
    for (;;) {
        t.posted_or_stop.wait(held, [&] { return t.posted || t.stop; });
        if (t.stop) return;
        t.posted = false;
        const PlaneGeometry geometry = t.geometry;
        const PlaneInput input = t.input;
        const size_t plane_bytes = t.plane_bytes;
        held.unlock();
        bool whole = true;
        DecodeChromaPlanes(geometry, input, plane_bytes, &whole);
        held.lock();
        t.whole = whole;
        t.done = true;
        t.finished.notify_one();
    }
}

// Buffers start on 32-byte boundaries, as the engine's allocator gives them.
size_t Rounded(size_t bytes) { return (bytes + 31) & ~size_t{31}; }

}  // namespace

ChromaThread* StartChromaThread(uint32_t luma_width, uint32_t luma_height) {
    std::unique_ptr<ChromaThread> t(new (std::nothrow) ChromaThread());
    if (!t) return nullptr;
    t->luma_width = luma_width;
    t->luma_height = luma_height;
    t->mark_bytes = size_t{luma_width / 16} * (luma_height / 16);
    size_t total = 32;
    for (unsigned i = 0; i < kBundleCount; ++i) total += Rounded(BundleBufferBytes(i, luma_width));
    total += t->mark_bytes;
    t->memory.reset(new (std::nothrow) uint8_t[total]());
    if (!t->memory) return nullptr;
    uint8_t* p = t->memory.get();
    p += (32 - reinterpret_cast<uintptr_t>(p) % 32) % 32;
    for (unsigned i = 0; i < kBundleCount; ++i) {
        t->bundles[i] = p;
        p += Rounded(BundleBufferBytes(i, luma_width));
    }
    t->marks = p;
    try {
        t->thread = std::thread(RunChromaThread, std::ref(*t));
    } catch (const std::system_error&) {
        return nullptr;
    }
    return t.release();
}

void StopChromaThread(ChromaThread* t) {
    if (!t) return;
    {
        std::lock_guard<std::mutex> held(t->lock);
        t->stop = true;
    }
    t->posted_or_stop.notify_one();
    t->thread.join();
    delete t;
}

bool ChromaThreadFits(const ChromaThread& t, uint32_t luma_width, uint32_t luma_height) {
    // Bundle capacities grow with the width, the marks with both sizes.
    return luma_width <= t.luma_width && luma_height <= t.luma_height;
}

void PostChroma(ChromaThread& t, const PlaneGeometry& geometry, const PlaneInput& input, size_t plane_bytes) {
    {
        std::lock_guard<std::mutex> held(t.lock);
        t.geometry = geometry;
        t.geometry.block_marks = t.marks;
        t.input = input;
        t.input.bundle_buffers = t.bundles;
        t.plane_bytes = plane_bytes;
        t.posted = true;
        t.done = false;
    }
    t.posted_or_stop.notify_one();
}

bool FinishChroma(ChromaThread& t, uint8_t* block_marks, size_t count) {
    std::unique_lock<std::mutex> held(t.lock);
    t.finished.wait(held, [&] { return t.done; });
    t.done = false;
    ++t.frames;
    // The thread's marks are cleared as they are taken, ready for the next frame.
    for (size_t i = 0; i < count; ++i) {
        if (t.marks[i]) {
            block_marks[i] = 1;
            t.marks[i] = 0;
        }
    }
    return t.whole;
}

uint32_t ChromaThreadFrames(const ChromaThread& t) { return t.frames; }

}  // namespace zarn
