// The library's log for one run of the program: a temporary file named by
// TARSASDK_LOG (unless the user set that variable to something), shown when the run
// failed and removed otherwise, so no log grows from run to run.
#ifndef TARSA_HOST_RUN_LOG_H
#define TARSA_HOST_RUN_LOG_H

#include <string>
#include <vector>

class run_log {
public:
    // Sets TARSASDK_LOG before the library starts.
    run_log();
    ~run_log();
    run_log(const run_log &) = delete;
    run_log &operator=(const run_log &) = delete;

    // Failed after run_log_worth_showing: tell the user where the log is;
    // else remove the program's own log.
    void finish(bool failed);

private:
    std::string own_path_;  // empty when the user chose the log
    bool finished_ = false;
};

// Marks that the library ran a job or probe whose trace the log holds, so
// a failure from here on shows the log's path.
void run_log_worth_showing();

// The last `max` lines the tool printed that tell of an error, read from
// the log of this run (none when the user chose the log).
std::vector<std::string> tool_error_lines(size_t max);

#endif
