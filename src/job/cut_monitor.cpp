// The cut monitor: follows the tool's output like the conversion monitor,
// but measures progress against the cut's own length, ends a stalled run
// sooner, and tells failure only by the absence of any progress line.
#include "job/cut_monitor.h"

#include <cstring>

#include "tool/runner.h"
#include "job/event.h"
#include "job/job_records.h"
#include "job/monitor_common.h"
#include "core/rtkit.h"

namespace {

constexpr int kLineSize = 4096;
constexpr int kStallLimit = 300;        // idle polls without progress or file change

// 32-bit results that wrap instead of overflowing: hosts pass any values.
int32_t wrap32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

}  // namespace

int cut_expected_length(const cut_info *info)
{
    const int32_t start = info->cut_param.start_time;
    const int32_t length = info->cut_param.cut_length;
    const int32_t duration = info->result.duration;
    const int32_t end = wrap32(int64_t{start} + length);
    const bool past_end = duration != 0 && end > duration;
    if (info->dst_codec_info.v_copy != 0) return past_end ? duration : end;
    return past_end ? wrap32(int64_t{duration} - start) : length;
}

int get_cut_progress(void *arg)
{
    cut_info *info = static_cast<cut_info *>(arg);
    if (!info) {
        LOG_INFO("cut_info == NULL");
        return 0;
    }
    int pid = -1;
    int last_time = -1;
    int time_count = -1;
    bool eof = false;
    os_file_status file_properties = {0, 0};
    char buf[kLineSize];
    bool stopped = false;

    for (;;) {
        if (!info->running.load()) {
            stopped = true;
            break;
        }
        if (time_count == kStallLimit || eof) break;
        if (pipe_feof(info->fp) != 0) {
            LOG_INFO("get_cut_progress EOF filename:%s", info->dst_file);
            eof = true;
            continue;
        }
        std::memset(buf, 0, sizeof buf);
        if (!pipe_fgets(buf, sizeof buf, info->fp)) {
            if (time_count >= 0 && time_count < kStallLimit) time_count++;
            if (time_count >= 0 && time_count % STATUS_CHECK_EVERY == 0) {
                // One unchecked try: a failed call leaves the zeroed record,
                // which counts as a change when a time had been recorded.
                os_file_status st = {0, 0};
                os_stat(info->dst_file, &st);
                if (st.mtime != file_properties.mtime) {
                    time_count = 0;
                    file_properties = st;
                }
            }
            os_sleep(10);
            continue;
        }
        const int cur_time = take_progress_line(buf, &pid, &last_time, &time_count);
        if (cur_time == -1) {
            os_sleep(1);
            continue;
        }
        const int position = position_percent(cur_time, cut_expected_length(info));
        if (position > static_cast<int>(info->pos.load()) && position < 100) {
            info->pos.store(static_cast<uint32_t>(position));
            notify(info, TARSA_EVENT_CUT_POS, 0, static_cast<uint32_t>(position));
        }
        os_sleep(1);
    }

    // A stop while the tool runs ends without a report or an event.
    if (!stopped) {
        if (eof) settle_destination("get_cut_progress", info->dst_file, info->running, &file_properties);
        log_monitor_end("get_cut_progress", info->dst_file, file_properties, last_time, time_count);
        if (last_time == -1)
            notify(info, TARSA_EVENT_CUT_FAIL, reinterpret_cast<intptr_t>(info->dst_file),
                   static_cast<uint32_t>(std::strlen(info->dst_file)));
        else
            info->pos.store(100);
    }

    if (pid != -1) kill_process(pid);
    if (info->pos.load() == 100) notify(info, TARSA_EVENT_CUT_POS, 0, 100);
    return 0;
}
