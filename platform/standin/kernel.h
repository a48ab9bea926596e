// Win32 kernel calls the engine uses: sleeping, the tick count, interlocked operations on
// 32-bit fields, threads in the C runtime's _beginthread style, priorities and debugger output.
#pragma once

#include <string>

#include "platform/standin/windows_base.h"

void Sleep(DWORD milliseconds);
// Milliseconds since an arbitrary start, wrapping at 2^32 like the platform's.
DWORD GetTickCount();

LONG InterlockedExchange(LONG volatile* target, LONG value);
LONG InterlockedIncrement(LONG volatile* addend);
LONG InterlockedDecrement(LONG volatile* addend);

// Starts start(arg) on a new thread; returns a handle, or (uintptr_t)-1 when no thread can be made.
std::uintptr_t _beginthread(void(__cdecl* start)(void*), unsigned stackSize, void* arg);
// Ends the calling thread, which must have been started by _beginthread.
[[noreturn]] void _endthread();

#define THREAD_PRIORITY_LOWEST (-2)
#define THREAD_PRIORITY_BELOW_NORMAL (-1)
#define THREAD_PRIORITY_NORMAL 0
#define THREAD_PRIORITY_ABOVE_NORMAL 1
#define THREAD_PRIORITY_HIGHEST 2
#define THREAD_PRIORITY_TIME_CRITICAL 15
#define THREAD_PRIORITY_IDLE (-15)

// Pseudo handle for the calling thread, as the platform returns it.
HANDLE GetCurrentThread();
// Sets the priority of the calling thread (GetCurrentThread()) or of a running thread started
// by _beginthread. Time-critical becomes the lowest real-time priority where the system
// permits it; FALSE for an unknown thread, an undefined priority or a refused change.
BOOL SetThreadPriority(HANDLE thread, int priority);

// Appends text to the process-wide debug channel (what a debugger would show).
void OutputDebugStringA(LPCSTR text);

namespace qzplat::detail {
// Sleeps of the calling thread go to hook (null: plain sleeps again). The window system uses it
// so that its thread serves the window while it sleeps; hook must not call Sleep itself.
void setThreadSleepHook(void (*hook)(DWORD milliseconds));
} // namespace qzplat::detail

namespace qzplat {
// Everything written with OutputDebugStringA since the last call, then clears the channel.
std::string takeDebugOutput();
// Fails the next n calls of _beginthread (for tests of the engine's fallbacks).
void failNextThreadStarts(int n);
} // namespace qzplat
