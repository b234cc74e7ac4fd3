// A scriptable stand-in for ffmpeg/ffprobe in tests: it plays the script
// named by TARSA_FAKE_SCRIPT, one command per line:
//   pid                      print "PID = <own pid>"
//   print TEXT / eprint TEXT one line to stdout / stderr
//   raw TEXT                 TEXT without line break (stdout)
//   sleep MS                 pause
//   append PATH BYTES        append BYTES zero bytes to PATH ($DST = last argument)
//   spawn_holder MS          leave a child that keeps stdout open for MS, then go on
//   exit CODE                exit with CODE
//   signal N                 raise signal N (19: stop itself, 9: die)
//   on SUFFIX CMD            CMD only when $DST ends with SUFFIX
//   bytes TEXT               TEXT with C escapes (\n \r \\ \xNN), no line break added
//   flood BYTES [LEN]        BYTES bytes of 'x' in lines of LEN (default 99) + line break
//   cwd                      the working directory
//   env NAME                 "NAME=<value>" ("NAME=" when unset)
//   argv                     every argument after the program, one line "[arg]" each
//   sigstate N               "sig N blocked=<0|1> ignored=<0|1>"
//   fds                      "fd N <link target>" for each open descriptor
// TARSA_FAKE_PROBE_SCRIPT=PATH, when set, is the script of a copy named
// ffprobe (a job's source probe and end-of-job probe then differ from its
// ffmpeg run).
// "--run CMD..." as the first argument plays the following arguments as the
// script (up to an argument "--"), instead of TARSA_FAKE_SCRIPT.
// On Windows, spawn_holder, cwd, env, argv, sigstate, fds and signal do nothing,
// and the output is written byte for byte (no CR added before LF).
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#define getpid _getpid
#else
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

static std::string unescape(const std::string &text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        char c = text[++i];
        if (c == 'n') out += '\n';
        else if (c == 'r') out += '\r';
        else if (c == 'x' && i + 2 < text.size()) {
            out += static_cast<char>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else out += c;
    }
    return out;
}

int main(int argc, char **argv)
{
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    std::vector<std::string> lines;
    if (argc > 1 && std::strcmp(argv[1], "--run") == 0) {
        for (int i = 2; i < argc && std::strcmp(argv[i], "--") != 0; i++) lines.push_back(argv[i]);
    } else {
        const char *probe_script = std::getenv("TARSA_FAKE_PROBE_SCRIPT");
        const std::string name = std::string(argv[0]).substr(std::string(argv[0]).find_last_of("/\\") + 1);
        const bool ffprobe = name == "ffprobe" || name == "ffprobe.exe";
        const char *script_path = probe_script && ffprobe ? probe_script : std::getenv("TARSA_FAKE_SCRIPT");
        if (!script_path) return 0;
        std::ifstream script(script_path);
        for (std::string line; std::getline(script, line);) lines.push_back(line);
    }
    const std::string dst = argc > 1 ? argv[argc - 1] : "";
    for (std::string line : lines) {
        std::fflush(stdout);  // what came before is out before any command acts (and the last at exit)
        if (line.compare(0, 3, "on ") == 0) {
            const size_t end = line.find(' ', 3);
            const std::string suffix = line.substr(3, end - 3);
            if (end == std::string::npos || dst.size() < suffix.size() ||
                dst.compare(dst.size() - suffix.size(), suffix.size(), suffix) != 0)
                continue;
            line = line.substr(end + 1);
        }
        std::string cmd = line.substr(0, line.find(' '));
        std::string arg = line.size() > cmd.size() ? line.substr(cmd.size() + 1) : "";
        for (size_t at; (at = arg.find("$DST")) != std::string::npos;) arg.replace(at, 4, dst);
        if (cmd == "pid") {
            std::printf("PID = %d\n", static_cast<int>(getpid()));
        } else if (cmd == "print") {
            std::printf("%s\n", arg.c_str());
        } else if (cmd == "eprint") {
            std::fprintf(stderr, "%s\n", arg.c_str());
        } else if (cmd == "raw") {
            std::printf("%s", arg.c_str());
        } else if (cmd == "sleep") {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(arg.c_str())));
        } else if (cmd == "append") {
            size_t space = arg.rfind(' ');
            std::ofstream out(arg.substr(0, space), std::ios::app | std::ios::binary);
            std::string bytes(static_cast<size_t>(std::atol(arg.c_str() + space + 1)), '\0');
            out << bytes;
        } else if (cmd == "hang") {
            for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
        } else if (cmd == "bytes") {
            std::string out = unescape(arg);
            std::fwrite(out.data(), 1, out.size(), stdout);
        } else if (cmd == "flood") {
            long left = std::atol(arg.c_str());
            const size_t len = arg.find(' ') == std::string::npos ? 99 : std::atol(arg.c_str() + arg.find(' '));
            const std::string row = std::string(len, 'x') + '\n';
            for (; left > 0; left -= static_cast<long>(row.size()))
                std::fwrite(row.data(), 1, std::min<size_t>(left, row.size()), stdout);
#ifndef _WIN32
        } else if (cmd == "spawn_holder") {
            if (fork() == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(arg.c_str())));
                _exit(0);
            }
        } else if (cmd == "cwd") {
            char dir[4096];
            std::printf("%s\n", getcwd(dir, sizeof dir) ? dir : "?");
        } else if (cmd == "env") {
            const char *value = std::getenv(arg.c_str());
            std::printf("%s=%s\n", arg.c_str(), value ? value : "");
        } else if (cmd == "argv") {
            for (int i = 1; i < argc; i++) std::printf("[%s]\n", argv[i]);
        } else if (cmd == "sigstate") {
            int sig = std::atoi(arg.c_str());
            sigset_t mask;
            sigprocmask(SIG_BLOCK, nullptr, &mask);
            struct sigaction sa;
            sigaction(sig, nullptr, &sa);
            std::printf("sig %d blocked=%d ignored=%d\n", sig, sigismember(&mask, sig) ? 1 : 0,
                        sa.sa_handler == SIG_IGN ? 1 : 0);
        } else if (cmd == "fds") {
            DIR *dir = opendir("/proc/self/fd");
            while (dirent *e = dir ? readdir(dir) : nullptr) {
                if (e->d_name[0] == '.' || std::atoi(e->d_name) == dirfd(dir)) continue;
                char target[512] = {0};
                std::string path = std::string("/proc/self/fd/") + e->d_name;
                if (readlink(path.c_str(), target, sizeof target - 1) > 0) std::printf("fd %s %s\n", e->d_name, target);
            }
            if (dir) closedir(dir);
        } else if (cmd == "signal") {
            raise(std::atoi(arg.c_str()));
#endif
        } else if (cmd == "exit") {
            return std::atoi(arg.c_str());
        }
    }
    return 0;
}
