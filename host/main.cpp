// tarsa: probe media files and run jobs with tarsasdk from the command line.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "commands.h"
#include "tarsasdk.h"

const std::vector<command> &all_commands()
{
    static const std::vector<command> commands = {
        {"demo", cmd_demo, "demo                    generate sample media, probe and convert it"},
        {"probe", cmd_probe, "probe FILE              print what a media file holds"},
        {"convert", cmd_convert,
         "convert SRC DST [--type N] [--size WxH] [--no-audio] [--quality Q] [--vcodec ID]\n"
         "        [--acodec ID] [--watermark TEXT ...] [--threads N] [--preset P]"},
        {"cut", cmd_cut,
         "cut SRC DST --length SECONDS [--start SECONDS] [--type N] [--size WxH] [--no-audio]\n"
         "        [--quality Q] [--encode] [--no-faststart]"},
        {"merge", cmd_merge,
         "merge DST SRC SRC... [--type N] [--size WxH] [--no-audio] [--quality Q] [--tmp DIR]"},
    };
    return commands;
}

static void usage()
{
    std::fprintf(stderr, "usage:\n");
    for (const command &c : all_commands()) std::fprintf(stderr, "  tarsa %s\n", c.usage);
    std::fprintf(stderr,
                 "The library's log goes to $TARSASDK_LOG (a file, or \"off\"); tarsa keeps it in\n"
                 "/tmp/tarsa-<uid>.log unless that variable is set.\n");
}

int main(int argc, char **argv)
{
    if (argc < 2) {
        usage();
        return 2;
    }
    // The library logs every tool line; keep that off the progress display.
    std::string log_path = "/tmp/tarsa-" + std::to_string(getuid()) + ".log";
    setenv("TARSASDK_LOG", log_path.c_str(), 0);

    const std::string name = argv[1];
    arg_list args(argv + 2, argv + argc);
    for (const command &c : all_commands()) {
        if (name != c.name) continue;
        tarsa_sdk_startup();
        int rc = c.run(args);
        tarsa_sdk_cleanup();
        if (rc == 1) std::fprintf(stderr, "tarsa: the library's log is %s\n", std::getenv("TARSASDK_LOG"));
        if (rc == 2) usage();
        return rc;
    }
    usage();
    return 2;
}
