#include "encoder/worker_threads.h"

#include <system_error>
#include <thread>
#include <vector>

namespace zarn {

void RunOnThreads(unsigned threads, const std::function<void(unsigned index)>& body) {
    std::vector<std::thread> helpers;
    helpers.reserve(threads > 1 ? threads - 1 : 0);
    for (unsigned i = 1; i < threads; ++i) {
        try {
            helpers.emplace_back(body, i);
        } catch (const std::system_error&) {
            break;  // fewer threads: the ones running take the work
        }
    }
    body(0);
    for (std::thread& h : helpers) h.join();
}

}  // namespace zarn
