#include "tool/tool_deadline.h"

#include <chrono>

tool_deadline::tool_deadline(pipe_info *fp, int seconds)
{
    if (!fp || seconds <= 0) return;
    const int pid = pipe_child_pid(fp);
    watch_ = std::thread([this, pid, seconds] {
        std::unique_lock<std::mutex> hold(lock_);
        if (wake_.wait_for(hold, std::chrono::seconds(seconds), [this] { return done_; })) return;
        expired_.store(true);
        kill_process(pid);
    });
}

tool_deadline::~tool_deadline()
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        done_ = true;
    }
    wake_.notify_all();
    if (watch_.joinable()) watch_.join();
}
