#include "platform/standin/kernel.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <pthread.h>
#include <thread>

namespace {

std::mutex debugMutex;
std::string debugText;
std::atomic<bool> debugEcho{false};
std::atomic<int> threadFailures{0};
std::atomic<std::uintptr_t> nextThreadHandle{0x100};

struct ThreadStart {
    void(__cdecl* start)(void*);
    void* arg;
};

void* threadTrampoline(void* raw) {
    ThreadStart launch = *static_cast<ThreadStart*>(raw);
    delete static_cast<ThreadStart*>(raw);
    launch.start(launch.arg);
    return nullptr;
}

} // namespace

void Sleep(DWORD milliseconds) {
    if (milliseconds == 0) {
        std::this_thread::yield();
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
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
    auto* launch = new ThreadStart{start, arg};
    pthread_t thread;
    int rc = pthread_create(&thread, &attr, threadTrampoline, launch);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        delete launch;
        return static_cast<std::uintptr_t>(-1);
    }
    return nextThreadHandle.fetch_add(1);
}

void _endthread() { pthread_exit(nullptr); }

HANDLE GetCurrentThread() { return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-2)); }

BOOL SetThreadPriority(HANDLE, int) { return TRUE; }

void OutputDebugStringA(LPCSTR text) {
    if (text == nullptr) return;
    {
        std::lock_guard<std::mutex> lock(debugMutex);
        debugText += text;
    }
    if (debugEcho.load()) std::fputs(text, stderr);
}

namespace qzplat {

std::string takeDebugOutput() {
    std::lock_guard<std::mutex> lock(debugMutex);
    std::string out;
    out.swap(debugText);
    return out;
}

void setDebugEcho(bool echo) { debugEcho.store(echo); }

void failNextThreadStarts(int n) { threadFailures.store(n); }

} // namespace qzplat
