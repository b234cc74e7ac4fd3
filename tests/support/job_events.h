// What the jobs report through the library's one event callback, recorded
// so that tests can wait for an event and check the order and values of a
// job's events.
#ifndef TARSA_TEST_JOB_EVENTS_H
#define TARSA_TEST_JOB_EVENTS_H

#include <gtest/gtest.h>

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
    intptr_t p1 = 0;
    int pos = -1;      // a conversion's position as tarsa_sdk_get_pos read it inside the callback
    bool operator==(const JobEvent &o) const { return job == o.job && code == o.code && name == o.name && p2 == o.p2; }
};
std::ostream &operator<<(std::ostream &os, const JobEvent &e);
// Position events (name empty) of one job.
std::vector<JobEvent> pos_events(void *job, uint32_t code, const std::vector<uint32_t> &values);

// Registers itself as the library's callback for its lifetime. One at a time.
class EventLog {
public:
    EventLog();
    ~EventLog();
    EventLog(const EventLog &) = delete;
    EventLog &operator=(const EventLog &) = delete;

    std::vector<JobEvent> all() const;
    std::vector<JobEvent> of(const void *job) const;
    // Events `code` with p2 `p2` (any p2 when p2 < 0).
    int count(uint32_t code, long p2 = -1) const;
    // Waits until count(code, p2) reaches n; false after timeout_ms.
    bool wait_for(uint32_t code, long p2, int timeout_ms, int n = 1) const;
    // Waits until the job has ended: a final position (100), a cut's or a
    // merge's failure (a conversion's failure is followed by its 100).
    bool wait_end(const void *job, int timeout_ms) const;
    // Waits until the job has reported a position of at least `pos`.
    bool wait_pos(const void *job, uint32_t pos, int timeout_ms) const;
    // Forgets the events of every job, or of one (before it is destroyed,
    // as a later job may get the same address).
    void clear();
    void forget(const void *job);

    // Runs on the job's thread before the event is recorded; its result is
    // the callback's answer (merges: -1 to event 301 aborts).
    void on_event(std::function<int32_t(const JobEvent &)> hook);

private:
    static int32_t callback(void *job, uint32_t code, intptr_t p1, uint32_t p2, void *user);
    template <typename F>
    bool wait(int timeout_ms, F done) const;

    mutable std::mutex lock_;
    mutable std::condition_variable changed_;
    std::vector<JobEvent> events_;
    std::function<int32_t(const JobEvent &)> hook_;
};

// The events of one conversion run, checked against what every run must
// report: positions strictly increasing between 1 and 99 (each agreeing with
// tarsa_sdk_get_pos), then, when the run failed, one event 101 carrying the
// destination name and its length, then exactly one event 100 with 100.
::testing::AssertionResult conversion_events_ok(const std::vector<JobEvent> &events, bool failed,
                                                const std::string &dst);
// The position events (code 100, 200 or 300 below 100) of a run, in order.
std::vector<uint32_t> positions(const std::vector<JobEvent> &events);

}  // namespace tt

#endif
