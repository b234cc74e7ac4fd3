// Library lifecycle: where the library lies, start-up and clean-up, the
// tool paths and the version query of the ffmpeg tool.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "media/codec_compat.h"
#include "media/fmt_table.h"
#include "media/query_cmd.h"
#include "tool/orphan_cleanup.h"
#include "tool/runner.h"
#include "tool/tool_deadline.h"
#include "core/deadline.h"
#include "api/export_guard.h"
#include "core/globals.h"
#include "platform/platform.h"
#include "core/rtkit.h"
#include "media/parsers.h"
#include "tarsasdk.h"

char s_module_path[MAX_PATH];
char s_ff_path[MAX_PATH];
char s_ffmpeg_path[MAX_PATH];
char s_ffprobe_path[MAX_PATH];
char s_ffmpeg_version[MAX_PATH];
int32_t s_sdk_startup;
const char s_cmd_suffix[] = "";

// Runs when the library is loaded: records its directory and nothing else.
__attribute__((constructor)) static void tarsa_library_loaded()
{
    char dir[MAX_PATH] = {0};
    if (os_module_dir(dir, sizeof dir) == 0) str_copy(s_module_path, sizeof s_module_path, dir);
}

int set_ff_path(const char *path)
{
    if (!path) {
        LOG_INFO("path == NULL");
        return 0;
    }
    if (std::strlen(path) >= MAX_PATH) {
        LOG_INFO("strlen(path) >= MAX_PATH");
        return 0;
    }
    str_copy(s_ff_path, sizeof s_ff_path, path);
    // Bounded to the 260-byte fields; a directory that leaves no room for
    // the tool's name is logged. Both are formatted: a short-circuit would
    // leave the ffprobe path of an earlier directory behind.
    int ffmpeg_len = std::snprintf(s_ffmpeg_path, sizeof s_ffmpeg_path, "%sffmpeg", s_ff_path);
    int ffprobe_len = std::snprintf(s_ffprobe_path, sizeof s_ffprobe_path, "%sffprobe", s_ff_path);
    if (ffmpeg_len >= MAX_PATH || ffprobe_len >= MAX_PATH) LOG_INFO("strlen(s_ffprobe_path) >= MAX_PATH");
    return 1;
}

int set_ffmpeg_version(const char *ffmpeg_version)
{
    if (!ffmpeg_version) {
        LOG_INFO("ffmpeg_version == NULL");
        return 0;
    }
    if (std::strlen(ffmpeg_version) >= MAX_PATH) {
        LOG_INFO("strlen(ffmpeg_version) >= MAX_PATH");
        return 0;
    }
    str_copy(s_ffmpeg_version, sizeof s_ffmpeg_version, ffmpeg_version);
    return 1;
}

int get_buf_ffmpeg_version(const char *buf, char *out)
{
    if (!buf || !out) {
        LOG_INFO("buf == NULL || f_fmt == NULL");
        return -1;
    }
    char *buf2 = strdup(buf);
    if (!buf2) ERR_FATAL("buf2 = strdup(buf) is faild");
    int result = -1;
    const char *start = std::strstr(buf2, "ffmpeg version");
    const char *end = start ? std::strstr(start, " Copyright") : nullptr;
    if (start && end) {
        long len = end - start;
        if (len >= 0 && len < MAX_PATH) {
            std::memcpy(out, start, static_cast<size_t>(len));  // out is zero-filled, MAX_PATH bytes
            result = 0;
        } else {
            LOG_DEBUG(3, "check_4g_network_media_link len:%d", static_cast<int>(len));
        }
    }
    std::free(buf2);
    return result;
}

int check_ffmpeg_version(void)
{
    pipe_info *fp = pipe_popen(get_version_cmd(s_module_path), "r");
    if (!fp) {
        LOG_INFO("fp == NULL");
        return 0;
    }
    int pid = -1, lines_read = 0;
    int found = 0;
    // Sized like s_ffmpeg_version so that a whole version text is kept.
    char f_version[MAX_PATH] = {0};
    char buf[4096];
    {
        tool_deadline deadline(fp, probe_timeout_seconds());
        while (pipe_feof(fp) == 0) {
            std::memset(buf, 0, sizeof buf);
            if (!pipe_fgets(buf, sizeof buf, fp)) break;
            if (pid == -1) pid = get_first_line_pid(buf, &lines_read);
            if (get_buf_ffmpeg_version(buf, f_version) == 0) {
                found = 1;
                break;
            }
        }
        if (deadline.expired()) LOG_INFO("version query deadline of %d s passed, the tool was ended", probe_timeout_seconds());
    }
    if (pid != -1) kill_process(pid);
    pipe_pclose(fp);
    set_ffmpeg_version(f_version);
    LOG_INFO("ffmpeg version:%s", f_version);
    return found;
}

extern "C" {

TARSA_API int tarsa_sdk_startup(void)
{
    return tarsa_guarded("tarsa_sdk_startup", 1, [] {
        if (s_sdk_startup) return 1;
        check_ffmpeg_version();
        kill_zombie_process();
        // The FFmpeg libraries of this generation register their formats
        // and codecs by themselves; there is nothing to register here.
        set_ff_path(s_module_path);
        init_fmt_table();
        init_codec_compat_table();
        s_sdk_startup = 1;
        return 1;
    });
}

TARSA_API int tarsa_sdk_cleanup(void)
{
    s_sdk_startup = 0;
    return 1;
}

TARSA_API int tarsa_sdk_is_startup(void) { return s_sdk_startup; }

}  // extern "C"
