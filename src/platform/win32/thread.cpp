// Threads, sleep and the process id on Windows.
#include <windows.h>
#include <process.h>

#include <new>

#include "platform/platform.h"

namespace {
struct thread_start {
    os_thread_fn fn;
    void *arg;
};

unsigned __stdcall thread_trampoline(void *p)
{
    thread_start start = *static_cast<thread_start *>(p);
    delete static_cast<thread_start *>(p);
    start.fn(start.arg);
    return 0;
}
}  // namespace

int os_thread_create(os_thread_t *thr, void * /*attr*/, os_thread_fn fn, void *arg)
{
    if (!thr || !fn) return 0;
    auto *start = new (std::nothrow) thread_start{fn, arg};
    if (!start) return 0;
    // _beginthreadex rather than CreateThread: the thread uses the C runtime.
    uintptr_t h = _beginthreadex(nullptr, 0, thread_trampoline, start, 0, nullptr);
    if (h == 0) {
        delete start;
        return 0;
    }
    *thr = static_cast<os_thread_t>(h);
    return 1;
}

int os_thread_join(os_thread_t *thr)
{
    if (!thr || *thr == 0) return -1;
    HANDLE h = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(*thr));
    if (WaitForSingleObject(h, INFINITE) != WAIT_OBJECT_0) return -1;
    CloseHandle(h);
    return 0;
}

void os_sleep(int ms)
{
    if (ms > 0) Sleep(static_cast<DWORD>(ms));
}

int os_getpid(void) { return static_cast<int>(GetCurrentProcessId()); }
