#include "tools/thread_start.h"

#include <atomic>
#include <memory>

#if defined(__linux__)
#include <pthread.h>
#include <sched.h>
#endif

namespace qztool {

std::thread startThreadElsewhere(std::function<void()> body) {
#if defined(__linux__)
    cpu_set_t all;
    const int here = sched_getcpu();
    if (here >= 0 && sched_getaffinity(0, sizeof all, &all) == 0) {
        cpu_set_t others = all;
        CPU_CLR(here, &others);
        if (CPU_COUNT(&others) > 0) {
            // The thread frees itself to run anywhere only once it has been held to the other
            // cores: freed before, it would be held there for good.
            auto held = std::make_shared<std::atomic<bool>>(false);
            std::thread thread([body = std::move(body), all, held] {
                while (!held->load(std::memory_order_acquire)) std::this_thread::yield();
                sched_setaffinity(0, sizeof all, &all);
                body();
            });
            pthread_setaffinity_np(thread.native_handle(), sizeof others, &others);
            held->store(true, std::memory_order_release);
            return thread;
        }
    }
#endif
    return std::thread(std::move(body));
}

} // namespace qztool
