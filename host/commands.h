// The subcommands of the host program. Each returns the process's exit
// status: 0 success, 1 failure (reason printed), 2 usage, 130 interrupted.
#ifndef TARSA_HOST_COMMANDS_H
#define TARSA_HOST_COMMANDS_H

#include <string>
#include <vector>

using arg_list = std::vector<std::string>;

int cmd_demo(const arg_list &args);
int cmd_probe(const arg_list &args);
int cmd_convert(const arg_list &args);
int cmd_cut(const arg_list &args);
int cmd_merge(const arg_list &args);

struct command {
    const char *name;
    int (*run)(const arg_list &args);
    const char *usage;
};

// Every subcommand, in the order the usage lists them.
const std::vector<command> &all_commands();

#endif
