// A scriptable stand-in for ffmpeg/ffprobe in tests: it plays the script
// named by TARSA_FAKE_SCRIPT, one command per line:
//   pid                      print "PID = <own pid>"
//   print TEXT / eprint TEXT one line to stdout / stderr
//   raw TEXT                 TEXT without line break (stdout)
//   sleep MS                 pause
//   append PATH BYTES        append BYTES zero bytes to PATH ($DST = last argument)
//   spawn_holder MS          leave a child that keeps stdout open for MS, then go on
//   hang                     sleep until killed
//   exit CODE                exit with CODE
// TARSA_FAKE_ARGV_OUT=PATH writes the received arguments, one per line.
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

static std::string substitute(std::string text, int argc, char **argv)
{
    const std::string dst = argc > 1 ? argv[argc - 1] : "";
    for (size_t at; (at = text.find("$DST")) != std::string::npos;) text.replace(at, 4, dst);
    return text;
}

int main(int argc, char **argv)
{
    if (const char *argv_out = std::getenv("TARSA_FAKE_ARGV_OUT")) {
        std::ofstream out(argv_out, std::ios::trunc);
        for (int i = 0; i < argc; i++) out << argv[i] << '\n';
    }
    const char *script_path = std::getenv("TARSA_FAKE_SCRIPT");
    if (!script_path) return 0;
    std::ifstream script(script_path);
    std::string line;
    while (std::getline(script, line)) {
        std::string cmd = line.substr(0, line.find(' '));
        std::string arg = line.size() > cmd.size() ? substitute(line.substr(cmd.size() + 1), argc, argv) : "";
        if (cmd == "pid") {
            std::printf("PID = %d\n", static_cast<int>(getpid()));
        } else if (cmd == "print") {
            std::printf("%s\n", arg.c_str());
        } else if (cmd == "eprint") {
            std::fflush(stdout);
            std::fprintf(stderr, "%s\n", arg.c_str());
        } else if (cmd == "raw") {
            std::printf("%s", arg.c_str());
        } else if (cmd == "sleep") {
            std::fflush(stdout);
            std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(arg.c_str())));
        } else if (cmd == "append") {
            size_t space = arg.rfind(' ');
            std::ofstream out(arg.substr(0, space), std::ios::app | std::ios::binary);
            std::string bytes(static_cast<size_t>(std::atol(arg.c_str() + space + 1)), '\0');
            out << bytes;
        } else if (cmd == "spawn_holder") {
            std::fflush(stdout);
            if (fork() == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(arg.c_str())));
                _exit(0);
            }
        } else if (cmd == "hang") {
            std::fflush(stdout);
            for (;;) pause();
        } else if (cmd == "exit") {
            std::fflush(stdout);
            return std::atoi(arg.c_str());
        }
        std::fflush(stdout);
    }
    return 0;
}
