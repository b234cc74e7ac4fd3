#include "job/job_tool.h"

#include <string>
#include <vector>

#include "core/rtkit.h"

pipe_info *open_job_tool(job *j, const std::vector<std::string> &cmd)
{
    pipe_info *fp = pipe_popen(cmd, "r");
    if (!fp) {
        LOG_INFO("fp == NULL");
        return nullptr;
    }
    j->tool_pid.store(-1);
    j->fp = fp;
    j->child_pid.store(pipe_child_pid(fp));
    return fp;
}

void kill_job_tool(job *j)
{
    // The runner's child first: the pid the tool prints may not be known
    // yet. A child that has ended stays unreaped until the close, so its
    // pid cannot have been reused.
    kill_process(j->child_pid.load());
    const int printed = j->tool_pid.load();
    if (printed != -1 && printed != j->child_pid.load()) kill_process(printed);
}

void close_job_tool(job *j)
{
    if (!j->fp) return;
    pipe_info *fp = j->fp;
    j->child_pid.store(-1);
    j->fp = nullptr;
    pipe_pclose(fp);
}
