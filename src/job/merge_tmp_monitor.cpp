// The monitor of one merge temporary: follows its child's output, turns
// "time=" into the entry's progress, and tells a failure from the end.
#include <cstring>

#include "tool/runner.h"
#include "job/job_records.h"
#include "job/merge_tmp.h"
#include "job/monitor_common.h"

namespace {

constexpr int kLineSize = 4096;
// time_count at which the output counts as over: set at once when the
// child has ended, or reached by empty reads after the first "time=".
constexpr int kOutputOver = 300;

}  // namespace

int get_merge_tmp_file_progress(void *arg)
{
    file_info *source = static_cast<file_info *>(arg);
    if (!source) {
        LOG_INFO("file_info == NULL");
        return 0;
    }
    int pid = -1;
    int last_time = -1;
    int time_count = -1;
    const int duration = source->result.duration;
    char buf[kLineSize];

    while (source->running.load()) {
        if (time_count == kOutputOver) {
            if (last_time == -1) {
                source->status.store(MERGE_STATUS_TYPE_FAILED);
                LOG_INFO("merge_tmp_file END [file_name]:%s last_time == -1", source->src_file);
                break;
            }
            if (source->result.duration == 0) source->result.duration = last_time;
            source->pos.store(100);
            break;
        }
        if (pipe_feof(source->fp) != 0) {
            time_count = kOutputOver;
            continue;
        }
        std::memset(buf, 0, sizeof buf);
        if (!pipe_fgets(buf, sizeof buf, source->fp)) {
            if (time_count >= 0 && time_count < kOutputOver) time_count++;
            os_sleep(10);
            continue;
        }
        if (std::strstr(buf, "Conversion failed")) {
            source->status.store(MERGE_STATUS_TYPE_FAILED);
            LOG_INFO("merge_tmp_file File Conversion failed! buf:%s", buf);
            break;
        }
        const int cur_time = take_progress_line(buf, &pid, &last_time, &time_count);
        if (cur_time == -1) {
            os_sleep(1);
            continue;
        }
        // 100 only at the end: a running temporary stays below it.
        const int percent = position_percent(cur_time, duration);
        if (percent > static_cast<int>(source->pos.load()) && percent < 100)
            source->pos.store(static_cast<uint32_t>(percent));
        os_sleep(1);
    }
    // The child is closed by whoever closes the entry, after this thread.
    if (pid != -1) kill_process(pid);
    return 0;
}
