// The conversion command line: an outer template around an option block
// assembled from the job's parameters, options and hardware fragments.
#include "media/cvt_cmd.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "media/cmd_appender.h"
#include "media/cmd_buffer.h"
#include "media/cmd_fragments.h"
#include "media/fmt_table.h"
#include "job/job_records.h"
#include "core/rtkit.h"

namespace {

constexpr size_t kFragmentSize = 256;
constexpr int32_t kPresetSize = 100;

void append_video_encode(cvt_info *info, cmd_appender &block, const char *hwd_encoder_cmd)
{
    if (info->opt_param) {
        int32_t thread_num = 0;
        if (opt_param_get(info->opt_param, OPT_PARAM_TYPE_THREAD_NUM, &thread_num, sizeof thread_num))
            block.append("-threads %d ", thread_num);
        char preset[kPresetSize + 1] = {0};
        if (opt_param_get(info->opt_param, OPT_PARAM_TYPE_PRESET, preset, kPresetSize))
            block.append("-preset %s ", preset);
        ot_ex mark;
        std::memset(&mark, 0, sizeof mark);
        if (opt_param_get(info->opt_param, OPT_PARAM_TYPE_OT, &mark, sizeof mark)) {
            std::string filter = watermark_filter(mark);
            if (!filter.empty()) block.append("%s", filter.c_str());
        }
    }
    int32_t frame_num = 0;
    if (opt_param_get(info->opt_param, OPT_PARAM_TYPE_FRAME_NUM, &frame_num, sizeof frame_num))
        block.append("-keyint_min %d -g %d -sc_threshold 0 ", frame_num, frame_num);
    int32_t iauto = 0;
    if (opt_param_get(info->opt_param, OPT_PARAM_TYPE_IAUTO, &iauto, sizeof iauto))
        block.append("-ppid %ld ", static_cast<long>(getpid()));
    if (is_nvenc_fragment(hwd_encoder_cmd)) info->cvt_param.quality %= 10;
    block.append(" %s -q:v %d ", hwd_encoder_cmd, info->cvt_param.quality);
}

}  // namespace

int cvt_use_audio_cmd(const char *dst_file, int a_codec_id, char *audio_cmd, size_t size)
{
    if (!dst_file || !audio_cmd) {
        LOG_INFO("cvt_use_audio_cmd: !f_fmt || !audio_cmd");
        return 0;
    }
    const char *cmd = get_a_fmt_cmd(a_codec_id);
    if (!cmd[0]) LOG_INFO("cvt_use_audio_cmd: !cmd");
    const char *audio_samp = std::strstr(dst_file, ".sdv") ? "-ar 48000" : "";
    std::snprintf(audio_cmd, size, "%s %s", cmd, audio_samp);
    return 1;
}

int get_cvt_cmd(cvt_info *info, char *cmd)
{
    if (!info || !cmd) {
        LOG_INFO("info == NULL || cmd == NULL");
        return 0;
    }
    cmd_buffer ffmpeg_cmd = make_cmd_buffer();
    char ffmpeg_pre_cmd[kFragmentSize] = {0};
    char audio_cmd[kFragmentSize] = {0};
    hwd_fragments hwd;
    if (get_job_hwd_fragments(info->usage_mode, &info->dst_codec_info, &info->result, info->hwd_type,
                              info->src_file, &hwd) != 1)
        return -1;

    cmd_appender block(ffmpeg_cmd.get(), CMD_BUF_SIZE);
    const dst_codec_info &dst = info->dst_codec_info;
    if (dst.v_copy == 0) {
        append_video_encode(info, block, hwd.encoder);
        str_copy(ffmpeg_pre_cmd, sizeof ffmpeg_pre_cmd, hwd.pre);
    } else {
        block.append("%s", video_copy_fragment(info->h2645_mp4toannexb, info->result.v_fmt));
    }

    if (info->cvt_param.audio_enable == 0) {
        block.append(" -an ");
    } else {
        job_audio_codec(info->dst_file, &dst, audio_cmd, sizeof audio_cmd);
        block.append(" -c:a %s ", audio_cmd);
    }

    if (info->cvt_param.width != 0 && info->cvt_param.height != 0)
        block.append(" -s %d*%d ", static_cast<int>(info->cvt_param.width), static_cast<int>(info->cvt_param.height));

    const char *f_name = get_f_fmt_cmd(dst.f_fmt_id);
    const int f_id = get_f_fmt_id(f_name);
    if (f_id != FMT_ID_DEFAULT) {
        int32_t bl_movflags_faststart = 1;
        opt_param_get(info->opt_param, OPT_PARAM_TYPE_MOVFLAGS_FASTSTART, &bl_movflags_faststart,
                      sizeof bl_movflags_faststart);
        if (f_id == F_FMT_MP4 && bl_movflags_faststart) block.append(" %s -f %s ", "-movflags faststart", f_name);
        else block.append(" -f %s ", f_name);
    }
    block.drop_last();
    if (block.overflow()) {
        LOG_INFO("strlen(ffmpeg_cmd) >= CMD_BUF_SIZE");
        return 0;
    }

    int n = std::snprintf(cmd, CMD_BUF_SIZE, "\"%s\" %s %s -i \"%s\" %s -y \"%s\" %s", s_ffmpeg_path, ffmpeg_pre_cmd,
                          hwd.decoder, info->src_file, ffmpeg_cmd.get(), info->dst_file, s_cmd_suffix);
    if (n < 0 || n >= CMD_BUF_SIZE) {
        LOG_INFO("strlen(cmd) >= CMD_BUF_SIZE");
        cmd[0] = '\0';
        return 0;
    }
    LOG_INFO("[get_cvt_cmd] convert cmd:%s", cmd);
    log_msg("%s", cmd);
    return 1;
}
