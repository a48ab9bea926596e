// Threads of the stand-in kernel: priorities reach the system's scheduler for threads started
// with _beginthread and for the calling thread, and unknown threads or values are refused.
#include <atomic>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

#include "platform/win32.h"

namespace {

// What a started thread saw of its own scheduling once told to look.
struct Probe {
    std::atomic<bool> look{false};
    std::atomic<bool> done{false};
    std::atomic<int> policy{-1};
    std::atomic<int> nice{100};
};

void __cdecl probeMain(void* arg) {
    auto* probe = static_cast<Probe*>(arg);
    while (!probe->look.load()) Sleep(1);
    probe->policy.store(sched_getscheduler(0));
    probe->nice.store(getpriority(PRIO_PROCESS, id_t(gettid())));
    probe->done.store(true);
}

// Runs a thread, sets its priority while it runs, and returns what the thread saw.
Probe& probeAfter(Probe& probe, int priority, BOOL& result) {
    const std::uintptr_t handle = _beginthread(probeMain, 0, &probe);
    EXPECT_NE(handle, static_cast<std::uintptr_t>(-1));
    result = SetThreadPriority(reinterpret_cast<HANDLE>(handle), priority);
    probe.look.store(true);
    while (!probe.done.load()) Sleep(1);
    return probe;
}

bool realTimePermitted() {
    bool permitted = false;
    std::thread([&] {
        sched_param param{};
        param.sched_priority = 1;
        permitted = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
    }).join();
    return permitted;
}

} // namespace

TEST(KernelThreads, PrioritiesReachTheScheduler) {
    Probe low;
    BOOL result = FALSE;
    probeAfter(low, THREAD_PRIORITY_LOWEST, result);
    EXPECT_TRUE(result);
    EXPECT_EQ(low.policy.load(), SCHED_OTHER);
    EXPECT_EQ(low.nice.load(), 10);

    Probe critical;
    probeAfter(critical, THREAD_PRIORITY_TIME_CRITICAL, result);
    if (realTimePermitted()) {
        EXPECT_TRUE(result);
        EXPECT_EQ(critical.policy.load(), SCHED_FIFO);
    } else {
        EXPECT_EQ(critical.policy.load(), SCHED_OTHER);
    }

    // The calling thread through the pseudo handle.
    std::thread([] {
        EXPECT_TRUE(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_IDLE));
        EXPECT_EQ(getpriority(PRIO_PROCESS, id_t(gettid())), 19);
    }).join();
}

TEST(KernelThreads, UnknownThreadsAndValuesAreRefused) {
    EXPECT_FALSE(SetThreadPriority(reinterpret_cast<HANDLE>(std::uintptr_t{0x7FFFFFF}),
                                   THREAD_PRIORITY_NORMAL));
    Probe undefined;
    BOOL result = TRUE;
    // The thread keeps the niceness it was started with: this one's (not 0 under `nice`).
    const int inherited = getpriority(PRIO_PROCESS, id_t(gettid()));
    probeAfter(undefined, 7, result);
    EXPECT_FALSE(result);
    EXPECT_EQ(undefined.nice.load(), inherited);

    // A thread that has ended is no longer known.
    Probe ended;
    ended.look.store(true);
    const std::uintptr_t handle = _beginthread(probeMain, 0, &ended);
    // Its record goes as it ends, just after it has said it is done.
    bool known = true;
    for (int tries = 0; known && tries < 2000; ++tries) {
        Sleep(1);
        known = ended.done.load() &&
                SetThreadPriority(reinterpret_cast<HANDLE>(handle), THREAD_PRIORITY_NORMAL);
        if (!ended.done.load()) known = true;
    }
    EXPECT_FALSE(known);
}
