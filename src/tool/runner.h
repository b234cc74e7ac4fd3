// The child-process runner: starts one program with its argument list as a
// child whose standard output and standard error go into one pipe, and
// reads that output line by line, like popen/fgets/feof/pclose.
#ifndef TARSA_CVT_RUNNER_H
#define TARSA_CVT_RUNNER_H

#include <cstdint>
#include <string>
#include <vector>

struct pipe_info;  // opaque; one reader thread at a time, closed exactly once

// cmd: the program's path, then its arguments, each passed exactly as it
// is (no shell, no splitting); mode must be "r". NULL on failure (logged:
// a program that cannot be started gives "CreateProcess fail").
pipe_info *pipe_popen(const std::vector<std::string> &cmd, const char *mode);
// One line of at most count - 1 bytes with its line break, zero-terminated.
// Waits while the child runs silently. NULL at the end of the output (eof
// then 1) or when the pipe can no longer be read (eof stays 0). CR LF comes
// back as LF; a last line without line break is returned once the child has
// ended. Lines longer than the runner's 8 KiB buffer come in pieces even
// when count is larger.
char *pipe_fgets(char *buf, int count, pipe_info *fp);
// The eof flag (0 or 1); -1 for NULL.
int pipe_feof(pipe_info *fp);
// Waits for the child's end, then releases everything. 0; -1 for NULL.
int pipe_pclose(pipe_info *fp);
// How the child ended: 0 exit status 0; 1 any other exit status or a
// death by a signal; -1 still running, unknown, or NULL. Does not reap.
int pipe_exit_status(pipe_info *fp);
// The process id of the child as the system knows it (the tool prints its
// own in a "PID =" line). -1 for NULL.
int pipe_child_pid(pipe_info *fp);

// The number a "PID =" line carries, or -1. Cuts the line in place.
int get_buf_pid(char *buf);
// Kills the process (pid >= 1); does not wait for its end.
void kill_process(int32_t pid);

#endif
