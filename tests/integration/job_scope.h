// Helpers of the job tests: the events a job reports through the host's
// callback, an environment variable set for one test, and the fake tool
// put in place of the library's tools for one test.
#ifndef TARSA_TEST_JOB_SCOPE_H
#define TARSA_TEST_JOB_SCOPE_H

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "sdk/sdk_globals.h"
#include "tarsasdk.h"
#include "fake_jobs.h"
#include "test_util.h"

namespace tt {

struct RecordedEvent {
    void *job;
    uint32_t code;
    std::string name;  // the name p1 points to (failure events), else ""
    uint32_t p2;
    bool operator==(const RecordedEvent &o) const
    {
        return job == o.job && code == o.code && name == o.name && p2 == o.p2;
    }
};

inline std::ostream &operator<<(std::ostream &os, const RecordedEvent &e)
{
    os << "{" << e.code << ", p2 " << e.p2;
    if (!e.name.empty()) os << ", \"" << e.name << "\"";
    return os << "}";
}

// Registers itself as the library's callback while alive.
class EventRecorder {
public:
    EventRecorder() { tarsa_sdk_set_mess_callback(&EventRecorder::callback, this); }
    ~EventRecorder() { tarsa_sdk_set_mess_callback(nullptr, nullptr); }
    EventRecorder(const EventRecorder &) = delete;
    EventRecorder &operator=(const EventRecorder &) = delete;

    std::vector<RecordedEvent> events() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return events_;
    }
    // How many events `code` with p2 `p2` (any p2 when p2 < 0) have come.
    int count(uint32_t code, long p2 = -1) const
    {
        int n = 0;
        for (const RecordedEvent &e : events())
            if (e.code == code && (p2 < 0 || e.p2 == static_cast<uint32_t>(p2))) n++;
        return n;
    }
    // Waits until `code` with p2 `p2` (any p2 when p2 < 0) has come; false
    // after timeout_ms.
    bool wait_for(uint32_t code, long p2, int timeout_ms)
    {
        std::unique_lock<std::mutex> guard(lock_);
        return changed_.wait_for(guard, std::chrono::milliseconds(timeout_ms), [&] {
            for (const RecordedEvent &e : events_)
                if (e.code == code && (p2 < 0 || e.p2 == static_cast<uint32_t>(p2))) return true;
            return false;
        });
    }

private:
    static int32_t callback(void *job, uint32_t code, intptr_t p1, uint32_t p2, void *user)
    {
        auto *self = static_cast<EventRecorder *>(user);
        RecordedEvent e{job, code, "", p2};
        if (p1) e.name.assign(reinterpret_cast<const char *>(p1), p2);
        {
            std::lock_guard<std::mutex> guard(self->lock_);
            self->events_.push_back(e);
        }
        self->changed_.notify_all();
        return self->on_event ? self->on_event(e) : 0;
    }

public:
    // Runs on the job's thread after the event is recorded; its result is
    // the callback's answer (merges: -1 to event 301 aborts). Set it before
    // the job starts.
    std::function<int32_t(const RecordedEvent &)> on_event;

private:
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::vector<RecordedEvent> events_;
};

// Sets an environment variable for the children started meanwhile, and
// puts the earlier state back. Set only while no job runs.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const std::string &value) : name_(name)
    {
        if (const char *old = std::getenv(name)) {
            had_ = true;
            old_ = old;
        }
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (had_) setenv(name_.c_str(), old_.c_str(), 1);
        else unsetenv(name_.c_str());
    }
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    std::string name_;
    bool had_ = false;
    std::string old_;
};

// The fake tool as the library's ffmpeg and ffprobe, playing `script`
// (one command per line), until the end of the scope.
class FakeToolScope {
public:
    explicit FakeToolScope(const std::vector<std::string> &script)
        : script_env_("TARSA_FAKE_SCRIPT", dir_.file("script.txt"))
    {
        std::string text;
        for (const std::string &line : script) text += line + "\n";
        write_file(dir_.file("script.txt"), text);
        set_ff_path(install_fake_tools(dir_.path()).c_str());
    }
    ~FakeToolScope() { set_ff_path(s_module_path); }
    FakeToolScope(const FakeToolScope &) = delete;
    FakeToolScope &operator=(const FakeToolScope &) = delete;

private:
    TempDir dir_;
    ScopedEnv script_env_;
};

// Waits until `done` holds or timeout_ms passes; returns done().
template <typename F>
bool wait_until(F done, int timeout_ms)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace tt

#endif
