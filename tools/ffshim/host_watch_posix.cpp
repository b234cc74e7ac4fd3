#include "host_watch.h"

#include <unistd.h>

#include <chrono>
#include <thread>

#include "child.h"

namespace ffshim {

void watch_host()
{
    // The parent pid, not a parent-death signal on the tool itself: that
    // signal follows the starting thread, and a host may start the tool from
    // a thread that ends long before the job does. A process whose parent
    // has ended is handed to another parent, so a changed pid means the end.
    const pid_t starter = getppid();
    std::thread([starter] {
        for (;;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kHostWatchMs));
            // _exit, not exit: the other thread may be inside the FFmpeg
            // libraries, whose static state must not be torn down under it.
            if (getppid() != starter) _exit(kExitOwnerGone);
        }
    }).detach();
}

}  // namespace ffshim
