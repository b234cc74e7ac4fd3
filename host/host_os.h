// What the host program needs from the operating system: its arguments,
// stop requests, the terminal, file names and files, temporary files, the
// environment and a child process for the demo. Everything else in the
// program is the same on every system; host_os_posix.cpp and
// host_os_win32.cpp implement this header. Names are UTF-8 throughout.
#ifndef TARSA_HOST_OS_H
#define TARSA_HOST_OS_H

#include <cstdint>
#include <string>
#include <vector>

// ---------------------------------------------------------------- start-up
// The program's arguments after its own name. On Windows they come from the
// wide command line, so names outside the ANSI code page survive; standard
// output and standard error then take UTF-8 on a console.
std::vector<std::string> host_arguments(int argc, char **argv);

// ---------------------------------------------------------------- stop requests
// The number a stop request is known by; the exit status is 128 + it.
enum {
    HOST_STOP_HANGUP = 1,     // SIGHUP; on Windows the console was closed, or the user logged off
    HOST_STOP_INTERRUPT = 2,  // SIGINT; on Windows Ctrl-C or Ctrl-Break
    HOST_STOP_TERMINATE = 15  // SIGTERM
};
// From here on, a stop request is recorded instead of ending the program.
void host_watch_stop_requests();
// The first stop request received, 0 while none came.
int host_stop_request();
// How the user knows the request: "SIGINT", "Ctrl-C", ...
const char *host_stop_name(int request);

// ---------------------------------------------------------------- terminal
bool host_stderr_is_terminal();
// Columns of the terminal standard error writes to; 80 when unknown.
int host_terminal_columns();

// ---------------------------------------------------------------- names
bool host_is_separator(char c);
// The name made absolute against the current directory (not resolved).
std::string host_absolute_path(const std::string &path);

// ---------------------------------------------------------------- files
enum host_file_kind { HOST_NOTHING, HOST_FILE, HOST_FOLDER };
// What the name leads to; a link that leads nowhere counts as a file.
host_file_kind host_file_type(const std::string &path);
bool host_can_read(const std::string &path);
// The folder takes new files (as far as can be told without making one).
bool host_can_write_folder(const std::string &path);
// Size in bytes, -1 when there is no such file.
int64_t host_file_size(const std::string &path);
// Both names lead to one file: the same name once resolved, or the same
// file on the same device.
bool host_same_file(const std::string &a, const std::string &b);
// Creates an empty file that did not exist. False and the reason otherwise.
bool host_create_new_file(const std::string &path, std::string *why);
// Gives `from` the name `to`; an existing `to` is replaced only when
// `replace`, never otherwise (not even by a file that appears meanwhile).
bool host_rename(const std::string &from, const std::string &to, bool replace, std::string *why);
void host_remove_file(const std::string &path);
int host_pid();

// ---------------------------------------------------------------- temporary files
// A new empty file / folder in the system's temporary folder whose name
// begins with `stem`; empty when none could be made.
std::string host_make_temp_file(const std::string &stem);
std::string host_make_temp_folder(const std::string &stem);
void host_remove_folder(const std::string &path);

// ---------------------------------------------------------------- environment
// Sets a variable for this process (the library reads it) and its children.
void host_setenv(const char *name, const char *value);

// ---------------------------------------------------------------- child process
// The ffmpeg program the demo makes its sample media with.
std::string host_sample_maker();
// Runs a program directly (no shell), its output discarded, and waits for
// it: its exit status, -1 when it did not run or did not exit normally.
int host_run_quiet(const std::vector<std::string> &argv);

#endif
