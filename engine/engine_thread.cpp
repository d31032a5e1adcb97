#include "engine/engine_thread.h"

#include <new>
#include <system_error>
#include <thread>

#include "engine/audio_queue.h"
#include "engine/engine_clock.h"
#include "base/engine_memory.h"
#include "engine/movie.h"

namespace zarn {

struct EngineThread {
    EngineThreadRoutine routine;
    void* argument1;
    void* argument2;
    std::thread thread;
};

EngineThread* StartEngineThread(EngineThreadRoutine routine, void* argument1, void* argument2) {
    void* block = EngineAllocate(sizeof(EngineThread));
    if (!block) return nullptr;
    auto* t = new (block) EngineThread{routine, argument1, argument2, {}};
    try {
        t->thread = std::thread([t] { t->routine(t->argument1, t->argument2); });
    } catch (const std::system_error&) {
        t->~EngineThread();
        EngineFree(block);
        return nullptr;
    }
    return t;
}

void ReleaseEngineThread(EngineThread* t) {
    if (!t) return;
    if (t->thread.joinable()) t->thread.join();
    t->~EngineThread();
    EngineFree(t);
}

void BackgroundLoop(void* argument, void*) {
    Movie& m = *static_cast<Movie*>(argument);
    uint32_t next_feed = 0;
    while (m.thread_state.load(std::memory_order_acquire) == 1) {
        if (!m.background_reads) {
            EngineSleep(10);
        } else {
            m.reader.step(&m.reader);
            if (ReaderFillPercent(m.reader) > 50) EngineSleep(5);
        }
        const uint32_t t = EngineClock();
        if (t > next_feed) {
            next_feed = t + 10;
            if (m.sound_track != -1) FeedSound(&m);
        }
    }
    m.thread_state.store(2, std::memory_order_release);
}

bool StartBackgroundThread(Movie& m) {
    m.thread_state.store(1, std::memory_order_release);
    m.reader_thread = StartEngineThread(BackgroundLoop, &m, nullptr);
    if (m.reader_thread) return true;
    m.thread_state.store(0, std::memory_order_release);
    return false;
}

void StopBackgroundThread(Movie& m) {
    if (m.thread_state.load(std::memory_order_acquire) == 1) {
        m.thread_state.store(0, std::memory_order_release);
        while (m.thread_state.load(std::memory_order_acquire) == 0) {
            EngineSleep(1);
            std::this_thread::yield();  // a test clock's sleep does not block
        }
    }
    ReleaseEngineThread(m.reader_thread);
    m.reader_thread = nullptr;
}

}  // namespace zarn
