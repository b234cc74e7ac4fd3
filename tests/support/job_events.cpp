#include "job_events.h"

#include <algorithm>
#include <chrono>
#include <sstream>

#include "tarsasdk.h"

namespace tt {

std::ostream &operator<<(std::ostream &os, const JobEvent &e)
{
    os << "{" << e.code << ", p2 " << e.p2;
    if (!e.name.empty()) os << ", \"" << e.name << "\"";
    return os << "}";
}

std::vector<JobEvent> pos_events(void *job, uint32_t code, const std::vector<uint32_t> &values)
{
    std::vector<JobEvent> out;
    for (uint32_t v : values) {
        JobEvent e;
        e.job = job;
        e.code = code;
        e.p2 = v;
        out.push_back(e);
    }
    return out;
}

static bool is_position(uint32_t code)
{
    return code == TARSA_EVENT_CVT_POS || code == TARSA_EVENT_CUT_POS || code == TARSA_EVENT_MERGE_POS;
}

static bool is_final(const JobEvent &e)
{
    return (is_position(e.code) && e.p2 == 100) || e.code == TARSA_EVENT_CUT_FAIL || e.code == TARSA_EVENT_MERGE_FAIL;
}

EventLog::EventLog() { tarsa_sdk_set_mess_callback(&EventLog::callback, this); }
EventLog::~EventLog() { tarsa_sdk_set_mess_callback(nullptr, nullptr); }

int32_t EventLog::callback(void *job, uint32_t code, intptr_t p1, uint32_t p2, void *user)
{
    auto *self = static_cast<EventLog *>(user);
    JobEvent e;
    e.job = job;
    e.code = code;
    e.p1 = p1;
    e.p2 = p2;
    if (p1) e.name.assign(reinterpret_cast<const char *>(p1), p2);
    // Read here, on the job's thread, while the job is certainly alive.
    if (*static_cast<const uint32_t *>(job) == TARSA_JOB_CONVERT) e.pos = tarsa_sdk_get_pos(job);
    std::function<int32_t(const JobEvent &)> hook;
    {
        std::lock_guard<std::mutex> guard(self->lock_);
        hook = self->hook_;
    }
    const int32_t answer = hook ? hook(e) : 0;
    {
        std::lock_guard<std::mutex> guard(self->lock_);
        self->events_.push_back(e);
    }
    self->changed_.notify_all();
    return answer;
}

std::vector<JobEvent> EventLog::all() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return events_;
}

std::vector<JobEvent> EventLog::of(const void *job) const
{
    std::vector<JobEvent> out;
    for (const JobEvent &e : all())
        if (e.job == job) out.push_back(e);
    return out;
}

int EventLog::count(uint32_t code, long p2) const
{
    const std::vector<JobEvent> events = all();
    return static_cast<int>(std::count_if(events.begin(), events.end(), [&](const JobEvent &e) {
        return e.code == code && (p2 < 0 || e.p2 == static_cast<uint32_t>(p2));
    }));
}

template <typename F>
bool EventLog::wait(int timeout_ms, F done) const
{
    std::unique_lock<std::mutex> guard(lock_);
    return changed_.wait_for(guard, std::chrono::milliseconds(timeout_ms), [&] { return done(events_); });
}

bool EventLog::wait_for(uint32_t code, long p2, int timeout_ms, int n) const
{
    return wait(timeout_ms, [&](const std::vector<JobEvent> &events) {
        return std::count_if(events.begin(), events.end(), [&](const JobEvent &e) {
                   return e.code == code && (p2 < 0 || e.p2 == static_cast<uint32_t>(p2));
               }) >= n;
    });
}

bool EventLog::wait_end(const void *job, int timeout_ms) const
{
    return wait(timeout_ms, [&](const std::vector<JobEvent> &events) {
        return std::any_of(events.begin(), events.end(), [&](const JobEvent &e) { return e.job == job && is_final(e); });
    });
}

bool EventLog::wait_pos(const void *job, uint32_t pos, int timeout_ms) const
{
    return wait(timeout_ms, [&](const std::vector<JobEvent> &events) {
        return std::any_of(events.begin(), events.end(),
                           [&](const JobEvent &e) { return e.job == job && is_position(e.code) && e.p2 >= pos; });
    });
}

void EventLog::clear()
{
    std::lock_guard<std::mutex> guard(lock_);
    events_.clear();
}

void EventLog::forget(const void *job)
{
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<JobEvent> kept;
    for (const JobEvent &e : events_)
        if (e.job != job) kept.push_back(e);
    events_.swap(kept);
}

void EventLog::on_event(std::function<int32_t(const JobEvent &)> hook)
{
    std::lock_guard<std::mutex> guard(lock_);
    hook_ = std::move(hook);
}

static std::string describe(const std::vector<JobEvent> &events)
{
    std::ostringstream out;
    for (const JobEvent &e : events) out << " " << e;
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
            return ::testing::AssertionFailure() << "event 101 carried \"" << events[i].name << "\" (" << events[i].p2
                                                 << ")";
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
        if (is_position(e.code) && e.p2 < 100) out.push_back(e.p2);
    return out;
}

}  // namespace tt
