// The subcommands of the host program. Each returns the process's exit
// status: 0 success, 1 failure (reason printed), 2 usage error, and
// 128 + signal number when a signal stopped it (130 SIGINT, 143 SIGTERM,
// 129 SIGHUP).
#ifndef TARSA_HOST_COMMANDS_H
#define TARSA_HOST_COMMANDS_H

#include <cstdio>
#include <string>
#include <vector>

using arg_list = std::vector<std::string>;

int cmd_demo(const arg_list &args);
int cmd_probe(const arg_list &args);
int cmd_convert(const arg_list &args);
int cmd_cut(const arg_list &args);
int cmd_merge(const arg_list &args);
int cmd_hw(const arg_list &args);

struct command {
    const char *name;
    int (*run)(const arg_list &args);
    const char *synopsis;  // after "tarsa "
    const char *summary;   // one line
    int job_bits;          // job_command bits whose options it takes, or 0
};

// Every subcommand, in the order the usage lists them.
const std::vector<command> &all_commands();
const command *find_command(const std::string &name);
// The full help of one command (synopsis, summary and options).
void print_command_help(const command &c, FILE *to);
// Prints "usage: tarsa SYNOPSIS" and a pointer to the help; returns 2.
int usage_error(const char *command_name);

// The first stop request received (SIGINT, SIGTERM, SIGHUP; Ctrl-C or a
// closed console on Windows), by its number (host_os.h), 0 while none came.
int stop_signal();

#endif
