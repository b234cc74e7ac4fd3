// What is the same on every system: reading a started program's output, running one to its end and
// waiting for a process to end; only Spawned::fill, which waits for more output, differs.
#include <chrono>

#include "processes.h"
#include "test_util.h"

namespace tt {

using Clock = std::chrono::steady_clock;

// Milliseconds until `deadline`, 0 once it has passed.
static int ms_left(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

bool Spawned::read_line(std::string &line, int timeout_ms)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        const size_t lf = pending_.find('\n');
        if (lf != std::string::npos) {
            line = pending_.substr(0, lf);
            pending_.erase(0, lf + 1);
            return true;
        }
        if (!fill(ms_left(deadline))) return false;
    }
}

std::string Spawned::read_rest(int timeout_ms)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (fill(ms_left(deadline))) {
    }
    std::string rest;
    rest.swap(pending_);
    return rest;
}

Finished run(const std::vector<std::string> &argv, const std::vector<std::string> &env, const std::string &cwd,
             int timeout_ms)
{
    Spawned p(argv, env, cwd);
    Finished f;
    f.output = p.read_rest(timeout_ms);
    f.exit_code = p.wait(1000);
    return f;
}

bool ends_within(pid_t pid, int ms)
{
    return wait_until([pid] { return !process_running(pid); }, ms);
}

}  // namespace tt
