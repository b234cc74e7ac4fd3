// What the jobs report through the library's one event callback, recorded
// so that tests can wait for events and check their order and values.
#ifndef TARSA_TEST_JOB_EVENTS_H
#define TARSA_TEST_JOB_EVENTS_H

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

namespace tt {

struct JobEvent {
    void *job = nullptr;
    uint32_t code = 0;
    std::string name;  // the text p1 points to (failure events), p2 bytes of it
    uint32_t p2 = 0;
};
std::ostream &operator<<(std::ostream &os, const std::vector<JobEvent> &events);

// Registers itself as the library's callback for its lifetime. One at a time.
class EventLog {
public:
    EventLog();
    ~EventLog();
    EventLog(const EventLog &) = delete;
    EventLog &operator=(const EventLog &) = delete;

    std::vector<JobEvent> all() const;
    // Events `code` with p2 `p2` (any p2 when p2 < 0).
    int count(uint32_t code, long p2 = -1) const;
    // Waits until count(code, p2) reaches n; false after timeout_ms.
    bool wait_for(uint32_t code, long p2, int timeout_ms, int n = 1) const;
    void clear();
    // Runs on the job's thread before the event is recorded; its result is
    // the callback's answer (merges: -1 to event 301 aborts).
    void on_event(std::function<int32_t(const JobEvent &)> hook);

private:
    static int32_t callback(void *job, uint32_t code, intptr_t p1, uint32_t p2, void *user);

    mutable std::mutex lock_;
    mutable std::condition_variable changed_;
    std::vector<JobEvent> events_;
    std::function<int32_t(const JobEvent &)> hook_;
};

// The position events (codes 100, 200, 300 below 100) of a run, in order.
std::vector<uint32_t> positions(const std::vector<JobEvent> &events);

}  // namespace tt

#endif
