// Running the stock program as the shim's child: start it so that it dies
// with the shim, pass all of its output on, watch the owner process, and end
// with its exit status.
#ifndef TARSA_FFSHIM_CHILD_H
#define TARSA_FFSHIM_CHILD_H

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace ffshim {

// Exit statuses of the shim's own failures.
constexpr int kExitNotStarted = 127;  // the stock program could not be run
constexpr int kExitOwnerGone = 1;     // the -ppid process ended first
constexpr int kExitOutputLost = 1;    // the shim's own output was closed

// Runs `program` with `args` (argv[1..]) and forwards its standard output
// and standard error, lone CRs turned into LF, to the shim's standard output.
// Returns once all output is forwarded and the child is reaped: the child's
// exit status, or 128 + the signal that killed it. When owner_pid > 0 and
// that process ends first, the child is killed and kExitOwnerGone returned.
// `alongside` runs once the child has started, before its output is
// forwarded (the output waits in the pipe meanwhile). `observe` sees each
// piece of output after it was forwarded.
using OutputObserver = std::function<void(const std::string &)>;
int run_stock(const std::string &program, const std::vector<std::string> &args, pid_t owner_pid,
              const std::function<void()> &alongside = nullptr, const OutputObserver &observe = nullptr);

}  // namespace ffshim

#endif
