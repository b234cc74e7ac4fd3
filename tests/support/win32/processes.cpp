// The part of processes.h the Windows test build uses: running a program to
// its end (through the library's own runner calls).
#include "processes.h"

#include "platform/platform.h"

namespace tt {

Finished run(const std::vector<std::string> &argv, const std::vector<std::string> & /*env*/, const std::string &cwd,
             int timeout_ms)
{
    Finished done;
    int rd = -1, wr = -1, pid = -1;
    if (os_pipe_create(&rd, &wr) != 0) return done;
    int rc = os_process_spawn(argv, cwd.c_str(), wr, &pid);
    os_fd_close(wr);
    if (rc != 0) {
        os_fd_close(rd);
        return done;
    }
    char buf[4096];
    for (int waited = 0; waited < timeout_ms;) {
        int ready = os_fd_poll(rd, 100);
        if (ready == 0) {
            waited += 100;
            continue;
        }
        long n = ready < 0 ? -1 : os_fd_read(rd, buf, sizeof buf);
        if (n <= 0) break;
        done.output.append(buf, static_cast<size_t>(n));
    }
    for (int i = 0; i < timeout_ms / 10 && os_process_exit_peek(pid) == OS_PROC_RUNNING; i++) os_sleep(10);
    int state = os_process_exit_peek(pid);
    if (state == OS_PROC_RUNNING) os_process_kill(pid);
    else done.exit_code = state == OS_PROC_EXIT_ZERO ? 0 : 1;
    os_process_reap(pid);
    os_fd_close(rd);
    return done;
}

}  // namespace tt
