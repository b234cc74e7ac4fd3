// Process exports: kill a tool by its process id.
#include "tool/runner.h"
#include "core/rtkit.h"
#include "tarsasdk.h"

extern "C" {

TARSA_API void tarsa_sdk_kill_pid(int pid)
{
    if (pid <= 0) {
        LOG_INFO("pid <= 0");
        return;
    }
    kill_process(pid);
}

}  // extern "C"
