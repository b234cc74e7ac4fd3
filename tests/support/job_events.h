// What the jobs report through the library's one event callback, recorded
// per job so that tests can wait for a job's end and check the order and
// values of its events.
#ifndef TARSA_TEST_JOB_EVENTS_H
#define TARSA_TEST_JOB_EVENTS_H

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace tt {

struct JobEvent {
    uint32_t code = 0;
    std::string name;   // the text p1 points to (failure events), p2 bytes of it
    uint32_t p2 = 0;
    intptr_t p1 = 0;
    int pos = -1;       // the job's position as tarsa_sdk_get_pos read it inside the callback
    std::chrono::steady_clock::time_point at;
};

// Registers itself as the library's callback for its lifetime. One at a time.
class EventLog {
public:
    EventLog();
    ~EventLog();
    EventLog(const EventLog &) = delete;
    EventLog &operator=(const EventLog &) = delete;

    std::vector<JobEvent> of(const void *job) const;
    // Waits until the job's final event (100 with 100) has been recorded.
    bool wait_end(const void *job, int timeout_ms) const;
    // Waits until the job has reported a position of at least `pos`.
    bool wait_pos(const void *job, uint32_t pos, int timeout_ms) const;
    // Runs on the job's thread inside the callback of every final event,
    // before the event is recorded.
    void on_end(std::function<void(void *job)> hook);
    // Forgets the events of every job (a restarted job reports anew).
    void clear();
    // Forgets the events of one job: call it before the job is destroyed,
    // as a later job may get the same address.
    void forget(const void *job);

private:
    static int32_t callback(void *job, uint32_t code, intptr_t p1, uint32_t p2, void *user);

    struct Entry {
        const void *job;
        JobEvent event;
    };
    mutable std::mutex lock_;
    mutable std::condition_variable changed_;
    std::vector<Entry> entries_;
    std::function<void(void *job)> on_end_;
};

// The events of one conversion run, checked against what every run must
// report: positions strictly increasing between 1 and 99 (each agreeing with
// tarsa_sdk_get_pos), then, when the run failed, one event 101 carrying the
// destination name and its length, then exactly one event 100 with 100.
::testing::AssertionResult conversion_events_ok(const std::vector<JobEvent> &events, bool failed,
                                                const std::string &dst);

// The position events (code 100 below 100) of a run, in order.
std::vector<uint32_t> positions(const std::vector<JobEvent> &events);

// tarsa_sdk_startup once per process.
void sdk_startup();

}  // namespace tt

#endif
