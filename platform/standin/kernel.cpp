#include "platform/standin/kernel.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <map>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

std::mutex debugMutex;
std::string debugText;
std::atomic<int> threadFailures{0};
std::atomic<std::uintptr_t> nextThreadHandle{0x100};

struct ThreadStart {
    void(__cdecl* start)(void*);
    void* arg;
    std::uintptr_t handle;
};

// A thread started by _beginthread that has not ended. A priority set before the thread knows
// its kernel id waits in pending until the thread applies it itself.
struct ThreadRecord {
    pthread_t thread{};
    pid_t tid = 0;
    int pending = THREAD_PRIORITY_NORMAL;
};
std::mutex threadMutex;
// Never destroyed: detached threads may still end while the process exits.
auto& liveThreads = *new std::map<std::uintptr_t, ThreadRecord>;

// Takes the calling thread's record out when it ends, by return or by _endthread.
struct ThreadExit {
    std::uintptr_t handle = 0;
    ~ThreadExit() {
        if (handle == 0) return;
        std::lock_guard lock(threadMutex);
        liveThreads.erase(handle);
    }
};
thread_local ThreadExit threadExit;
thread_local void (*sleepHook)(DWORD) = nullptr;

// The nice value standing for a Win32 priority other than time-critical; false for a value
// the platform does not define.
bool niceOf(int priority, int& nice) {
    switch (priority) {
    case THREAD_PRIORITY_IDLE:
        nice = 19;
        return true;
    case THREAD_PRIORITY_LOWEST:
        nice = 10;
        return true;
    case THREAD_PRIORITY_BELOW_NORMAL:
        nice = 5;
        return true;
    case THREAD_PRIORITY_NORMAL:
        nice = 0;
        return true;
    case THREAD_PRIORITY_ABOVE_NORMAL:
        nice = -5;
        return true;
    case THREAD_PRIORITY_HIGHEST:
        nice = -10;
        return true;
    default:
        return false;
    }
}

// Time-critical threads (the sound feeder) get the lowest real-time priority, which runs them
// ahead of every ordinary thread however busy the machine is; where that is not permitted,
// the best nice value. The others map to nice values.
bool applyPriority(pthread_t thread, pid_t tid, int priority) {
    sched_param param{};
    if (priority == THREAD_PRIORITY_TIME_CRITICAL) {
        param.sched_priority = 1;
        if (pthread_setschedparam(thread, SCHED_FIFO, &param) == 0) return true;
        return setpriority(PRIO_PROCESS, id_t(tid), -20) == 0;
    }
    int nice = 0;
    if (!niceOf(priority, nice)) return false;
    pthread_setschedparam(thread, SCHED_OTHER, &param);
    return setpriority(PRIO_PROCESS, id_t(tid), nice) == 0;
}

void* threadTrampoline(void* raw) {
    ThreadStart launch = *static_cast<ThreadStart*>(raw);
    delete static_cast<ThreadStart*>(raw);
    threadExit.handle = launch.handle;
    {
        std::lock_guard lock(threadMutex);
        ThreadRecord& record = liveThreads[launch.handle];
        record.tid = gettid();
        if (record.pending != THREAD_PRIORITY_NORMAL)
            applyPriority(pthread_self(), record.tid, record.pending);
    }
    launch.start(launch.arg);
    return nullptr;
}

} // namespace

void Sleep(DWORD milliseconds) {
    if (milliseconds == 0) {
        std::this_thread::yield();
        return;
    }
    if (sleepHook != nullptr) {
        sleepHook(milliseconds);
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void qzplat::detail::setThreadSleepHook(void (*hook)(DWORD)) {
    sleepHook = hook;
}

DWORD GetTickCount() {
    using namespace std::chrono;
    auto now = steady_clock::now().time_since_epoch();
    return static_cast<DWORD>(duration_cast<milliseconds>(now).count());
}

LONG InterlockedExchange(LONG volatile* target, LONG value) {
    return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}

LONG InterlockedIncrement(LONG volatile* addend) {
    return __atomic_add_fetch(addend, 1, __ATOMIC_SEQ_CST);
}

LONG InterlockedDecrement(LONG volatile* addend) {
    return __atomic_sub_fetch(addend, 1, __ATOMIC_SEQ_CST);
}

std::uintptr_t _beginthread(void(__cdecl* start)(void*), unsigned stackSize, void* arg) {
    if (threadFailures.load() > 0) {
        threadFailures.fetch_sub(1);
        return static_cast<std::uintptr_t>(-1);
    }
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) return static_cast<std::uintptr_t>(-1);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    if (stackSize != 0) pthread_attr_setstacksize(&attr, stackSize);
    const std::uintptr_t handle = nextThreadHandle.fetch_add(1);
    auto* launch = new ThreadStart{start, arg, handle};
    // The record exists before the thread runs, so a priority can be set at once.
    std::lock_guard lock(threadMutex);
    pthread_t thread;
    int rc = pthread_create(&thread, &attr, threadTrampoline, launch);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        delete launch;
        return static_cast<std::uintptr_t>(-1);
    }
    liveThreads[handle].thread = thread;
    return handle;
}

void _endthread() {
    pthread_exit(nullptr);
}

HANDLE GetCurrentThread() {
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-2));
}

BOOL SetThreadPriority(HANDLE thread, int priority) {
    if (thread == GetCurrentThread()) return applyPriority(pthread_self(), gettid(), priority);
    std::lock_guard lock(threadMutex);
    auto found = liveThreads.find(reinterpret_cast<std::uintptr_t>(thread));
    if (found == liveThreads.end()) return FALSE;
    ThreadRecord& record = found->second;
    if (record.tid == 0) {
        int nice = 0;
        if (priority != THREAD_PRIORITY_TIME_CRITICAL && !niceOf(priority, nice)) return FALSE;
        record.pending = priority;
        return TRUE;
    }
    return applyPriority(record.thread, record.tid, priority);
}

void OutputDebugStringA(LPCSTR text) {
    if (text == nullptr) return;
    {
        std::lock_guard<std::mutex> lock(debugMutex);
        debugText += text;
    }
}

namespace qzplat {

std::string takeDebugOutput() {
    std::lock_guard<std::mutex> lock(debugMutex);
    std::string out;
    out.swap(debugText);
    return out;
}

void failNextThreadStarts(int n) {
    threadFailures.store(n);
}

} // namespace qzplat
