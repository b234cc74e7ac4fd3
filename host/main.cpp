// tarsa: probe media files and run jobs with tarsasdk from the command line.
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "host_os.h"
#include "job_options.h"
#include "run_log.h"
#include "tarsasdk.h"

#ifndef TARSA_VERSION
#define TARSA_VERSION "unknown"
#endif

namespace {

void print_overview(FILE *to)
{
    std::fprintf(to, "usage: tarsa COMMAND [OPTIONS] FILES\n\ncommands:\n");
    for (const command &c : all_commands()) std::fprintf(to, "  %-8s %s\n", c.name, c.summary);
    std::fprintf(to,
                 "\n'tarsa help COMMAND' or 'tarsa COMMAND --help' shows a command's options.\n"
                 "Exit status: 0 done, 1 failed, 2 usage error, 130/143/129 stopped by SIGINT/SIGTERM/SIGHUP.\n");
}

}  // namespace

int stop_signal() { return host_stop_request(); }

const std::vector<command> &all_commands()
{
    static const std::vector<command> commands = {
        {"probe", cmd_probe, "probe [--json] FILE...", "print what media files hold", 0},
        {"convert", cmd_convert, "convert [OPTIONS] SRC DST", "convert SRC into DST (type from DST's extension)",
         JOB_CONVERT},
        {"cut", cmd_cut, "cut [OPTIONS] --length TIME SRC DST", "write a part of SRC into DST", JOB_CUT},
        {"merge", cmd_merge, "merge [OPTIONS] DST SRC SRC...", "join the sources, in order, into DST", JOB_MERGE},
        {"hw", cmd_hw, "hw [--json]", "detect hardware encoders and decoders", 0},
        {"demo", cmd_demo, "demo", "generate sample media, then probe, convert, cut and merge it", 0},
    };
    return commands;
}

const command *find_command(const std::string &name)
{
    for (const command &c : all_commands())
        if (name == c.name) return &c;
    return nullptr;
}

void print_command_help(const command &c, FILE *to)
{
    std::fprintf(to, "usage: tarsa %s\n%s.\n", c.synopsis, c.summary);
    if (c.job_bits) {
        std::fprintf(to, "\noptions:\n");
        print_job_options(static_cast<job_command>(c.job_bits), to);
        std::fprintf(to, "  %-22s %s\n", "-h, --help", "show this help");
        std::fprintf(to,
                     "\nDST's extension picks its type: %s.\n"
                     "Audio-only files, images and webm cannot be made.\n",
                     "mp4/m4v/mov, flv, avi, h264/264, mkv/ts/m2ts/mts");
    } else if (std::strcmp(c.name, "probe") == 0 || std::strcmp(c.name, "hw") == 0) {
        std::fprintf(to, "\noptions:\n  %-22s %s\n  %-22s %s\n", "--json", "one JSON object per line",
                     "-h, --help", "show this help");
    }
}

int usage_error(const char *command_name)
{
    const command *c = command_name ? find_command(command_name) : nullptr;
    if (c)
        std::fprintf(stderr, "usage: tarsa %s\n'tarsa help %s' shows the options.\n", c->synopsis, c->name);
    else
        print_overview(stderr);
    return 2;
}

int main(int argc, char **argv)
{
    arg_list args = host_arguments(argc, argv);
    if (args.empty()) return usage_error(nullptr);
    const std::string name = args.front();
    args.erase(args.begin());
    if (name == "--version" || name == "-V" || name == "version") {
        std::printf("tarsa %s\n", TARSA_VERSION);
        return 0;
    }
    if (name == "--help" || name == "-h" || name == "help") {
        if (args.empty()) {
            print_overview(stdout);
            return 0;
        }
        const command *c = find_command(args[0]);
        if (!c) {
            std::fprintf(stderr, "tarsa: no command \"%s\"\n", args[0].c_str());
            return usage_error(nullptr);
        }
        print_command_help(*c, stdout);
        return 0;
    }
    const command *c = find_command(name);
    if (!c) {
        std::fprintf(stderr, "tarsa: no command \"%s\"\n", name.c_str());
        return usage_error(nullptr);
    }
    for (const std::string &a : args)
        if (a == "--help" || a == "-h") {
            print_command_help(*c, stdout);
            return 0;
        }
    host_watch_stop_requests();
    // The library logs every tool line: a log of this run only, shown when
    // something failed and removed otherwise.
    run_log log;
    tarsa_sdk_startup();
    int rc = c->run(args);
    tarsa_sdk_cleanup();
    if (rc == 0 && stop_signal() != 0) rc = 128 + stop_signal();
    log.finish(rc == 1);
    if (rc == 2) usage_error(c->name);
    return rc;
}
