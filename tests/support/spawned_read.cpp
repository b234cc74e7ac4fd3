// Reading a started program's output, the same on every system; only
// Spawned::fill, which waits for more, differs.
#include <chrono>

#include "processes.h"

namespace tt {
namespace {

using Clock = std::chrono::steady_clock;

}  // namespace

int ms_left(Clock::time_point deadline)
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

}  // namespace tt
