#include "media/cut_cmd.h"

#include <cstdio>
#include <cstring>

#include "media/cmd_buffer.h"
#include "media/cmd_fragments.h"
#include "media/fmt_table.h"
#include "job/job_records.h"
#include "core/rtkit.h"

namespace {

// Sized for the longest fragment each can receive, so nothing is cut short:
// an encoder fragment with " -q:v " and a number; "-c:a " with an audio text.
constexpr size_t kAudioCmdSize = 256;
constexpr size_t kVideoFormatSize = HWD_CMD_SIZE + 32;
constexpr size_t kAudioFormatSize = sizeof "-c:a " + kAudioCmdSize;
constexpr size_t kResolutionSize = 100;

const char kFastStart[] = "-movflags faststart";

enum cut_group { GROUP_A, GROUP_B, GROUP_C };  // no "-f" / mp4 with faststart / other
enum cut_video { COPY_FROM_MOV, COPY, ENCODE };

// Everything a template may take besides the program path and the names.
struct cut_parts {
    double ss;
    int cut_length;
    const char *v_format;
    const char *a_format;
    const char *resolution;
    const char *pre;
    const char *dec;
    const char *f_name;
};

int format_template(cut_group group, cut_video video, const cut_info *info, const cut_parts &p, char *cmd)
{
    const char *P = s_ffmpeg_path;
    const char *SRC = info->src_file;
    const char *DST = info->dst_file;
    const char *X = s_cmd_suffix;
    const size_t n = CMD_BUF_SIZE;
    switch (group * 3 + video) {
    case GROUP_A * 3 + COPY_FROM_MOV:
        return std::snprintf(cmd, n, "\"%s\" -accurate_seek -ss %0.1f -i \"%s\" -t %d %s -avoid_negative_ts 1 %s %s -y \"%s\" %s",
                             P, p.ss, SRC, p.cut_length, p.v_format, p.a_format, p.resolution, DST, X);
    case GROUP_A * 3 + COPY:
        return std::snprintf(cmd, n, "\"%s\" -ss %0.1f -accurate_seek -i \"%s\" -accurate_seek -t %d %s %s %s -y \"%s\" %s",
                             P, p.ss, SRC, p.cut_length, p.v_format, p.a_format, p.resolution, DST, X);
    case GROUP_A * 3 + ENCODE:
        return std::snprintf(cmd, n, "\"%s\" %s -ss %0.1f -t %d -i \"%s\" %s %s %s -y \"%s\" %s",
                             P, p.pre, p.ss, p.cut_length, SRC, p.v_format, p.a_format, p.resolution, DST, X);
    case GROUP_B * 3 + COPY_FROM_MOV:
        return std::snprintf(cmd, n, "\"%s\" -accurate_seek  -ss %0.1f -i \"%s\" -t %d %s -avoid_negative_ts 1 %s %s %s -f %s -y \"%s\" %s",
                             P, p.ss, SRC, p.cut_length, p.v_format, p.a_format, p.resolution, kFastStart, p.f_name,
                             DST, X);
    case GROUP_B * 3 + COPY:
        return std::snprintf(cmd, n, "\"%s\" -accurate_seek -ss %0.1f -t %d -i \"%s\" %s -avoid_negative_ts 1 %s %s %s -f %s -y \"%s\" %s",
                             P, p.ss, p.cut_length, SRC, p.v_format, p.a_format, p.resolution, kFastStart, p.f_name,
                             DST, X);
    case GROUP_B * 3 + ENCODE:
        return std::snprintf(cmd, n, "\"%s\" %s %s -ss %0.1f -t %d -i \"%s\" %s %s %s %s -f %s -y \"%s\" %s",
                             P, p.pre, p.dec, p.ss, p.cut_length, SRC, p.v_format, p.a_format, p.resolution,
                             kFastStart, p.f_name, DST, X);
    case GROUP_C * 3 + COPY_FROM_MOV:
        return std::snprintf(cmd, n, "\"%s\" -accurate_seek  -ss %0.1f -i \"%s\" -t %d %s -avoid_negative_ts 1 %s %s -y \"%s\" %s",
                             P, p.ss, SRC, p.cut_length, p.v_format, p.a_format, p.resolution, DST, X);
    case GROUP_C * 3 + COPY:
        return std::snprintf(cmd, n, "\"%s\" -accurate_seek -ss %0.1f -t %d -i \"%s\" %s -avoid_negative_ts 1 %s %s -y \"%s\" %s",
                             P, p.ss, p.cut_length, SRC, p.v_format, p.a_format, p.resolution, DST, X);
    default:  // GROUP_C, ENCODE
        return std::snprintf(cmd, n, "\"%s\" %s %s -ss %0.1f -t %d -i \"%s\" %s %s %s -f %s -y \"%s\" %s",
                             P, p.pre, p.dec, p.ss, p.cut_length, SRC, p.v_format, p.a_format, p.resolution,
                             p.f_name, DST, X);
    }
}

cut_group group_of(cut_info *info, const char *f_name)
{
    const int id = get_f_fmt_id(f_name);
    if (id == FMT_ID_DEFAULT) return GROUP_A;
    if (id != F_FMT_MP4) return GROUP_C;
    int32_t faststart = 1;  // on unless the host stored 0
    opt_param_get(info->opt_param, OPT_PARAM_TYPE_MOVFLAGS_FASTSTART, &faststart, sizeof faststart);
    return faststart ? GROUP_B : GROUP_C;
}

}  // namespace

int get_cut_cmd(cut_info *info, char *cmd)
{
    if (!info || !cmd) {
        LOG_INFO("cut_info == NULL || cmd == NULL");
        return 0;
    }
    const cut_param &param = info->cut_param;
    const dst_codec_info &dst = info->dst_codec_info;
    char resolution[kResolutionSize] = {0};
    if (param.width != 0 && param.height != 0)
        std::snprintf(resolution, sizeof resolution, "-s %d*%d", static_cast<int>(param.width),
                      static_cast<int>(param.height));

    hwd_fragments hwd;
    if (get_job_hwd_fragments(info->usage_mode, &dst, &info->result, info->hwd_type, info->src_file, &hwd) != 1)
        return -1;

    char v_format[kVideoFormatSize] = {0};
    char ffmpeg_pre_cmd[HWD_CMD_SIZE] = {0};
    if (dst.v_copy == 0) {
        if (is_nvenc_fragment(hwd.encoder)) info->cut_param.quality %= 10;
        std::snprintf(v_format, sizeof v_format, "%s -q:v %d", hwd.encoder, info->cut_param.quality);
        str_copy(ffmpeg_pre_cmd, sizeof ffmpeg_pre_cmd, hwd.pre);
    } else {
        str_copy(v_format, sizeof v_format, video_copy_fragment(info->h2645_mp4toannexb, info->result.v_fmt));
    }

    char a_format[kAudioFormatSize] = {0};
    if (param.audio_enable == 0) {
        str_copy(a_format, sizeof a_format, "-an");
    } else {
        char audio_cmd[kAudioCmdSize] = {0};
        job_audio_codec(info->dst_file, &dst, audio_cmd, sizeof audio_cmd);
        std::snprintf(a_format, sizeof a_format, "-c:a %s", audio_cmd);
    }

    // FLV sources are never cut from 0 itself, only from 0.1 s.
    float ss = static_cast<float>(param.start_time);
    if (std::strcmp(info->result.f_fmt, "flv") == 0 && param.start_time == 0) ss = 0.1f;

    const char *f_name = get_f_fmt_cmd(dst.f_fmt_id);
    const cut_group group = group_of(info, f_name);
    const cut_video video = dst.v_copy == 0                             ? ENCODE
                            : std::strcmp(info->result.f_fmt, "mov") == 0 ? COPY_FROM_MOV
                                                                        : COPY;
    const cut_parts parts = {static_cast<double>(ss), param.cut_length, v_format, a_format, resolution,
                             ffmpeg_pre_cmd, hwd.decoder, f_name};
    const int n = format_template(group, video, info, parts, cmd);
    if (n < 0 || n >= CMD_BUF_SIZE) {
        LOG_INFO("strlen(cmd) >= CMD_BUF_SIZE");
        cmd[0] = '\0';
        return 0;
    }
    log_msg("%s", cmd);
    return 1;
}
