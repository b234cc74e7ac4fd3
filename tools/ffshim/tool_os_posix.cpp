#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "tool_os.h"

int main(int argc, char **argv) { return ffshim::tool_main(std::vector<std::string>(argv, argv + argc)); }

namespace ffshim {

void prepare_process()
{
    // An ignored SIGCHLD inherited from the starter would let the kernel reap
    // the child and lose its exit status.
    signal(SIGCHLD, SIG_DFL);
}

int own_pid() { return static_cast<int>(getpid()); }

std::string tool_name(const std::string &argv0) { return argv0.substr(argv0.rfind('/') + 1); }

std::string stock_program(const std::string &tool)
{
    const char *dir = std::getenv("TARSASDK_FFMPEG_DIR");
    return std::string(dir && *dir ? dir : FFSHIM_STOCK_DIR) + "/" + tool;
}

bool is_this_program(const std::string &path)
{
    struct stat self, other;
    return stat("/proc/self/exe", &self) == 0 && stat(path.c_str(), &other) == 0 &&
           self.st_dev == other.st_dev && self.st_ino == other.st_ino;
}

}  // namespace ffshim
