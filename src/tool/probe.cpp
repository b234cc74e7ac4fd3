#include "tool/probe.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <thread>

#include "media/fmt_table.h"
#include "media/parsers.h"
#include "media/query_cmd.h"
#include "tool/runner.h"
#include "tool/tool_deadline.h"
#include "core/deadline.h"
#include "ff/ff_func.h"
#include "core/globals.h"
#include "core/name_check.h"
#include "core/rtkit.h"
#include "platform/platform.h"

namespace {

constexpr int kLineSize = 4096;
constexpr int kNameSize = 30;

// A name with a line break would put the host's text on lines of the report.
bool name_refused(const char *filename)
{
    if (!name_has_control_chars(filename)) return false;
    LOG_INFO("name_has_control_chars(filename)");
    return true;
}

// A regular file that begins with an H.264 start code may be raw H.264,
// whose length the tool does not report. Devices and FIFOs are not read.
bool may_be_raw_h264(const char *filename)
{
    std::error_code ec;
    const std::filesystem::path path = std::filesystem::u8path(filename);
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    std::ifstream in(path, std::ios::binary);
    unsigned char head[4] = {1, 1, 1, 1};
    in.read(reinterpret_cast<char *>(head), sizeof head);
    return in.gcount() == 4 && head[0] == 0 && head[1] == 0 && (head[2] == 1 || (head[2] == 0 && head[3] == 1));
}

// Counts a raw H.264 file's packets on its own thread while the tool runs,
// so that the probe waits for the longer of the two rather than their sum.
class raw_h264_length {
public:
    explicit raw_h264_length(const char *filename)
    {
        if (may_be_raw_h264(filename)) counting_ = std::thread([this, filename] { seconds_ = get_h264_duration(filename); });
    }
    ~raw_h264_length()
    {
        if (counting_.joinable()) counting_.join();
    }
    raw_h264_length(const raw_h264_length &) = delete;
    raw_h264_length &operator=(const raw_h264_length &) = delete;
    double seconds(const char *filename)
    {
        if (!counting_.joinable()) return get_h264_duration(filename);
        counting_.join();
        return seconds_;
    }

private:
    std::thread counting_;
    double seconds_ = 0;
};

int run_probe(const char *filename, probe_result *result, uint32_t *h2645_mp4toannexb, probe_result_ex *ex,
              bool log_cmd)
{
    if (name_refused(filename)) return 0;
    raw_h264_length raw_length(filename);
    const std::vector<std::string> cmd = get_probe_cmd(s_ffprobe_path, filename);
    if (log_cmd) LOG_INFO("internal_probe cmd:%s", os_cmdline_quote(cmd).c_str());
    pipe_info *fp = pipe_popen(cmd, "r");
    if (!fp) {
        LOG_INFO("fp == NULL");
        return 0;
    }
    int pid = -1, lines_read = 0;
    report_state report = {};
    char buf[kLineSize];
    bool expired = false;
    {
        tool_deadline deadline(fp, probe_timeout_seconds());
        while (pipe_feof(fp) == 0) {
            std::memset(buf, 0, sizeof buf);
            if (!pipe_fgets(buf, sizeof buf, fp)) break;
            if (pid == -1) pid = get_first_line_pid(buf, &lines_read);
            parse_probe_line(buf, &report, result, h2645_mp4toannexb, ex);
        }
        expired = deadline.expired();
    }
    if (expired) {
        LOG_INFO("probe deadline of %d s passed, the tool was ended:%s", probe_timeout_seconds(), filename);
        pipe_pclose(fp);
        return 0;
    }
    if (result->f_fmt[0] == '\0') {
        LOG_INFO("unable to resolve f_fmt!");
        pipe_pclose(fp);
        return 0;
    }
    if (pid != -1) kill_process(pid);
    pipe_pclose(fp);
    if (result->duration == 0 && get_f_fmt_id(result->f_fmt) == F_FMT_H264)
        result->duration = static_cast<int32_t>(raw_length.seconds(filename));
    dump_probe_result(filename, result);
    return 1;
}

}  // namespace

int internal_probe(const char *filename, probe_result *result, uint32_t *h2645_mp4toannexb)
{
    if (!filename || !result) {
        LOG_INFO("filename == NULL || result == NULL");
        return 0;
    }
    char sfilename[1024];
    str_copy(sfilename, sizeof sfilename, filename);
    return run_probe(sfilename, result, h2645_mp4toannexb, nullptr, true);
}

int internal_probe_ex(const char *filename, probe_result_ex *result)
{
    if (!filename || !result) {
        LOG_INFO("filename == NULL || result == NULL");
        return 0;
    }
    return run_probe(filename, &result->result, nullptr, result, false);
}

int probe_has_format(const char *filename)
{
    if (!filename) {
        LOG_INFO("filename == NULL");
        return 0;
    }
    if (name_refused(filename)) return 0;
    pipe_info *fp = pipe_popen(get_probe_cmd(s_ffprobe_path, filename), "r");
    if (!fp) {
        LOG_INFO("fp == NULL");
        return 0;
    }
    int pid = -1, lines_read = 0;
    int found = 0;
    char buf[kLineSize];
    {
        tool_deadline deadline(fp, probe_timeout_seconds());
        while (pipe_feof(fp) == 0) {
            std::memset(buf, 0, sizeof buf);
            if (!pipe_fgets(buf, sizeof buf, fp)) break;
            if (pid == -1) pid = get_first_line_pid(buf, &lines_read);
            char f_fmt[kNameSize] = {0};
            if (get_buf_f_fmt(buf, f_fmt) == 0) {
                found = 1;
                break;
            }
        }
        if (deadline.expired()) {
            LOG_INFO("probe deadline of %d s passed, the tool was ended:%s", probe_timeout_seconds(), filename);
            found = 0;
        }
    }
    if (pid != -1) kill_process(pid);
    pipe_pclose(fp);
    return found;
}

void dump_probe_result(const char *filename, const probe_result *result)
{
    if (!filename || !result) {
        LOG_INFO("filename == NULL || result == NULL");
        return;
    }
    log_msg("***************************begin***************************");
    log_msg("* [%s]", filename);
    log_msg("* file_format:%s", result->f_fmt);
    log_msg("* video_format=%s", result->v_fmt);
    log_msg("* audio_format=%s", result->a_fmt);
    log_msg("* duration:%d", result->duration);
    log_msg("* resolution:%d*%d", result->width, result->height);
    log_msg("***************************end*****************************");
}
