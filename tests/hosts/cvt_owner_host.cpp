// A host process for the tests of what becomes of a job's tool when its host
// dies: starts one conversion (SRC to DST, resized so that it runs for
// seconds), prints "tool <pid> holder <pid>" and waits to be killed.
//   cvt_owner_host SRC DST [--owner] [--hold-pipe]
// --owner      stores option 6, which ties the tool's life to this process.
// --hold-pipe  leaves a child that keeps the tool's output pipe open after
//              this process is gone, so the tool cannot end by writing into
//              a pipe that nobody reads.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "job/job_records.h"
#include "tarsasdk.h"

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s SRC DST [--owner] [--hold-pipe]\n", argv[0]);
        return 2;
    }
    bool owner = false, hold_pipe = false;
    for (int i = 3; i < argc; i++) {
        owner = owner || std::strcmp(argv[i], "--owner") == 0;
        hold_pipe = hold_pipe || std::strcmp(argv[i], "--hold-pipe") == 0;
    }
    tarsa_sdk_startup();
    cvt_param_v1 param;
    std::memset(&param, 0, sizeof param);
    param.cvt_param = {3, 1280, 720, 1, 23};
    param.usage_mode = HWD_USAGE_NONE;
    param.hwd_type = -1;
    void *job = tarsa_sdk_create_v1(argv[1], argv[2], &param);
    if (job == TARSA_INVALID_HANDLE) {
        std::printf("create failed\n");
        return 1;
    }
    if (owner) tarsa_sdk_set_option_param(job, OPT_PARAM_TYPE_IAUTO, nullptr, 0);
    if (!tarsa_sdk_start(job)) {
        std::printf("start failed\n");
        return 1;
    }
    pid_t holder = -1;
    if (hold_pipe) {
        std::fflush(stdout);
        holder = fork();
        if (holder == 0) {
            for (;;) pause();
        }
    }
    std::printf("tool %d holder %d\n", pipe_child_pid(static_cast<cvt_info *>(job)->fp), static_cast<int>(holder));
    std::fflush(stdout);
    for (;;) pause();
}
