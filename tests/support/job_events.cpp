#include "job_events.h"

#include <sstream>

#include "tarsasdk.h"

namespace tt {

EventLog::EventLog() { tarsa_sdk_set_mess_callback(&EventLog::callback, this); }

EventLog::~EventLog() { tarsa_sdk_set_mess_callback(nullptr, nullptr); }

int32_t EventLog::callback(void *job, uint32_t code, intptr_t p1, uint32_t p2, void *user)
{
    auto *self = static_cast<EventLog *>(user);
    JobEvent event;
    event.code = code;
    event.p1 = p1;
    event.p2 = p2;
    if (p1) event.name.assign(reinterpret_cast<const char *>(p1), p2);
    // Read here, on the job's thread, while the job is certainly alive.
    event.pos = *static_cast<const uint32_t *>(job) == TARSA_JOB_CONVERT ? tarsa_sdk_get_pos(job) : -1;
    event.at = std::chrono::steady_clock::now();
    std::function<void(void *)> hook;
    {
        std::lock_guard<std::mutex> guard(self->lock_);
        hook = self->on_end_;
    }
    if (hook && code == TARSA_EVENT_CVT_POS && p2 == 100) hook(job);
    {
        std::lock_guard<std::mutex> guard(self->lock_);
        self->entries_.push_back({job, event});
    }
    self->changed_.notify_all();
    return 0;
}

std::vector<JobEvent> EventLog::of(const void *job) const
{
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<JobEvent> out;
    for (const Entry &e : entries_)
        if (e.job == job) out.push_back(e.event);
    return out;
}

bool EventLog::wait_end(const void *job, int timeout_ms) const
{
    std::unique_lock<std::mutex> guard(lock_);
    return changed_.wait_for(guard, std::chrono::milliseconds(timeout_ms), [&] {
        for (const Entry &e : entries_)
            if (e.job == job && e.event.code == TARSA_EVENT_CVT_POS && e.event.p2 == 100) return true;
        return false;
    });
}

bool EventLog::wait_pos(const void *job, uint32_t pos, int timeout_ms) const
{
    std::unique_lock<std::mutex> guard(lock_);
    return changed_.wait_for(guard, std::chrono::milliseconds(timeout_ms), [&] {
        for (const Entry &e : entries_)
            if (e.job == job && e.event.code == TARSA_EVENT_CVT_POS && e.event.p2 >= pos) return true;
        return false;
    });
}

void EventLog::on_end(std::function<void(void *job)> hook)
{
    std::lock_guard<std::mutex> guard(lock_);
    on_end_ = std::move(hook);
}

void EventLog::clear()
{
    std::lock_guard<std::mutex> guard(lock_);
    entries_.clear();
}

void EventLog::forget(const void *job)
{
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<Entry> kept;
    for (const Entry &e : entries_)
        if (e.job != job) kept.push_back(e);
    entries_.swap(kept);
}

static std::string describe(const std::vector<JobEvent> &events)
{
    std::ostringstream out;
    for (const JobEvent &e : events) out << " (" << e.code << ", " << e.p2 << ")";
    return out.str();
}

::testing::AssertionResult conversion_events_ok(const std::vector<JobEvent> &events, bool failed,
                                                const std::string &dst)
{
    size_t i = 0;
    uint32_t last = 0;
    for (; i < events.size() && events[i].code == TARSA_EVENT_CVT_POS && events[i].p2 < 100; i++) {
        const JobEvent &e = events[i];
        if (e.p2 <= last || e.p1 != 0)
            return ::testing::AssertionFailure() << "position " << e.p2 << " after " << last << ":" << describe(events);
        if (e.pos != static_cast<int>(e.p2))
            return ::testing::AssertionFailure() << "tarsa_sdk_get_pos read " << e.pos << " at event " << e.p2;
        last = e.p2;
    }
    if (failed) {
        if (i >= events.size() || events[i].code != TARSA_EVENT_CVT_FAIL)
            return ::testing::AssertionFailure() << "no event 101 after the positions:" << describe(events);
        if (events[i].name != dst || events[i].p2 != dst.size())
            return ::testing::AssertionFailure()
                   << "event 101 carried \"" << events[i].name << "\" (" << events[i].p2 << ")";
        i++;
    }
    if (i + 1 != events.size())
        return ::testing::AssertionFailure() << "not exactly one final event:" << describe(events);
    const JobEvent &end = events[i];
    if (end.code != TARSA_EVENT_CVT_POS || end.p2 != 100 || end.p1 != 0 || end.pos != 100)
        return ::testing::AssertionFailure() << "final event is not 100 with 100:" << describe(events);
    return ::testing::AssertionSuccess();
}

std::vector<uint32_t> positions(const std::vector<JobEvent> &events)
{
    std::vector<uint32_t> out;
    for (const JobEvent &e : events)
        if (e.code == TARSA_EVENT_CVT_POS && e.p2 < 100) out.push_back(e.p2);
    return out;
}

void sdk_startup()
{
    static std::once_flag once;
    std::call_once(once, [] { tarsa_sdk_startup(); });
}

}  // namespace tt
