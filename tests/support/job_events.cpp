#include "job_events.h"

#include <algorithm>
#include <chrono>

#include "tarsasdk.h"

namespace tt {

std::ostream &operator<<(std::ostream &os, const std::vector<JobEvent> &events)
{
    for (const JobEvent &e : events)
        os << "{" << e.code << ", " << e.p2 << (e.name.empty() ? "" : ", \"" + e.name + "\"") << "} ";
    return os;
}

EventLog::EventLog() { tarsa_sdk_set_mess_callback(&EventLog::callback, this); }
EventLog::~EventLog() { tarsa_sdk_set_mess_callback(nullptr, nullptr); }

int32_t EventLog::callback(void *job, uint32_t code, intptr_t p1, uint32_t p2, void *user)
{
    auto *self = static_cast<EventLog *>(user);
    const JobEvent e = {job, code, p1 ? std::string(reinterpret_cast<const char *>(p1), p2) : std::string(), p2};
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

static long matching(const std::vector<JobEvent> &events, uint32_t code, long p2)
{
    return std::count_if(events.begin(), events.end(), [&](const JobEvent &e) {
        return e.code == code && (p2 < 0 || e.p2 == static_cast<uint32_t>(p2));
    });
}

int EventLog::count(uint32_t code, long p2) const { return static_cast<int>(matching(all(), code, p2)); }

bool EventLog::wait_for(uint32_t code, long p2, int timeout_ms, int n) const
{
    std::unique_lock<std::mutex> guard(lock_);
    return changed_.wait_for(guard, std::chrono::milliseconds(timeout_ms),
                             [&] { return matching(events_, code, p2) >= n; });
}

void EventLog::clear()
{
    std::lock_guard<std::mutex> guard(lock_);
    events_.clear();
}

void EventLog::on_event(std::function<int32_t(const JobEvent &)> hook)
{
    std::lock_guard<std::mutex> guard(lock_);
    hook_ = std::move(hook);
}

std::vector<uint32_t> positions(const std::vector<JobEvent> &events)
{
    std::vector<uint32_t> out;
    for (const JobEvent &e : events)
        if ((e.code == TARSA_EVENT_CVT_POS || e.code == TARSA_EVENT_CUT_POS || e.code == TARSA_EVENT_MERGE_POS) && e.p2 < 100)
            out.push_back(e.p2);
    return out;
}

}  // namespace tt
