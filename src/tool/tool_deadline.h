// A deadline for a tool run whose output the caller reads: a tool stuck on a
// source that delivers nothing (a FIFO, a hung network mount) would keep
// the reader waiting for ever.
#ifndef TARSA_TOOL_TOOL_DEADLINE_H
#define TARSA_TOOL_TOOL_DEADLINE_H

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "tool/runner.h"

// Kills the tool of `fp` once `seconds` have passed (0: never); the reader
// then meets the end of its output. The watch ends, and its thread is
// joined, when the object goes: before the runner is closed.
class tool_deadline {
public:
    tool_deadline(pipe_info *fp, int seconds);
    ~tool_deadline();
    tool_deadline(const tool_deadline &) = delete;
    tool_deadline &operator=(const tool_deadline &) = delete;
    // True when the deadline passed and the tool was killed.
    bool expired() const { return expired_.load(); }

private:
    std::mutex lock_;
    std::condition_variable wake_;
    bool done_ = false;
    std::atomic<bool> expired_{false};
    std::thread watch_;
};

#endif
