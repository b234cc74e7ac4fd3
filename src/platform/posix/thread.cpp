// Threads, sleep and the process id on POSIX.
#include <pthread.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "platform/platform.h"

namespace {
struct thread_start {
    os_thread_fn fn;
    void *arg;
};

void *thread_trampoline(void *p)
{
    thread_start start = *static_cast<thread_start *>(p);
    delete static_cast<thread_start *>(p);
    start.fn(start.arg);
    return nullptr;
}
}  // namespace

static_assert(sizeof(pthread_t) <= sizeof(os_thread_t), "thread handle does not fit");

int os_thread_create(os_thread_t *thr, void * /*attr*/, os_thread_fn fn, void *arg)
{
    if (!thr || !fn) return 0;
    auto *start = new (std::nothrow) thread_start{fn, arg};
    if (!start) return 0;
    pthread_t tid;
    if (pthread_create(&tid, nullptr, thread_trampoline, start) != 0) {
        delete start;
        return 0;
    }
    *thr = static_cast<os_thread_t>(tid);
    return 1;
}

int os_thread_join(os_thread_t *thr)
{
    if (!thr) return -1;
    return pthread_join(static_cast<pthread_t>(*thr), nullptr);
}

void os_sleep(int ms)
{
    if (ms <= 0) return;
    struct timespec ts;
    ts.tv_sec = ms / 1000;
    ts.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    while (nanosleep(&ts, &ts) == -1 && errno == EINTR) {
    }
}

int os_getpid(void) { return static_cast<int>(getpid()); }
