// What the tool layer's shared code asks of the platform it runs on. One
// implementation per platform (tool_os_posix.cpp, tool_os_win32.cpp); each also
// holds the program's entry point, which hands the arguments, as UTF-8, to
// tool_main.
#ifndef TARSA_FFSHIM_TOOL_OS_H
#define TARSA_FFSHIM_TOOL_OS_H

#include <string>
#include <vector>

namespace ffshim {

// Runs the tool layer: argv[0] is the name it was started as.
int tool_main(const std::vector<std::string> &argv);

// Called first thing, before any thread is started.
void prepare_process();
int own_pid();
// "ffmpeg" or "ffprobe" as the program was started (any other name as it is).
std::string tool_name(const std::string &argv0);
// The stock program of that name: in $TARSASDK_FFMPEG_DIR when set, else in
// the directory fixed for this platform.
std::string stock_program(const std::string &tool);
// True when `path` is this very program (a stock directory that points back
// at the tool layer would start it again and again).
bool is_this_program(const std::string &path);

}  // namespace ffshim

#endif
