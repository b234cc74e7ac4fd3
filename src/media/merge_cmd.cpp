#include "media/merge_cmd.h"

#include <cstdio>
#include <cstring>

#include "media/cmd_appender.h"
#include "media/cmd_buffer.h"
#include "media/cmd_fragments.h"
#include "media/cvt_cmd.h"
#include "media/fmt_table.h"
#include "job/job_records.h"

namespace {

constexpr size_t kResolutionSize = 100;
constexpr size_t kVideoFormatSize = 260;
constexpr size_t kPreCmdSize = 256;
constexpr size_t kTmpAudioSize = 30;
constexpr size_t kAudioSize = 256;
// 64 names of up to 259 bytes with their separators.
constexpr size_t kFileListSize = 16640;
constexpr int kAacCodecId = 2;
constexpr int kAlawCodecId = 3;

// The audio of a temporary. A-law cannot go into the transport stream, so
// the job's choice becomes AAC for this and every later line.
void tmp_audio_format(merge_info *info, char *a_format)
{
    dst_codec_info &dst = info->dst_codec_info;
    if (info->merge_param.audio_enable == 0) {
        std::snprintf(a_format, kTmpAudioSize, "-an");
    } else if (dst.a_codec_id == kAlawCodecId) {
        dst.a_codec_id = kAacCodecId;
        dst.a_copy = 0;
        std::snprintf(a_format, kTmpAudioSize, "-c:a %s", get_a_fmt_cmd(kAacCodecId));
    } else if (dst.a_copy == 0) {
        std::snprintf(a_format, kTmpAudioSize, "-c:a %s", get_a_fmt_cmd(dst.a_codec_id));
    } else {
        std::snprintf(a_format, kTmpAudioSize, "-c:a copy");
    }
}

bool fits(int n, size_t size) { return n >= 0 && static_cast<size_t>(n) < size; }

}  // namespace

int get_merge_tmp_cmd(merge_info *info, file_info *source, char *cmd)
{
    if (!info || !source || !cmd) {
        LOG_INFO("merge_info == NULL || file_info == NULL || cmd == NULL");
        return 0;
    }
    char resolution[kResolutionSize] = {0};
    char v_format[kVideoFormatSize] = {0};
    char ffmpeg_pre_cmd[kPreCmdSize] = {0};
    char a_format[kTmpAudioSize] = {0};
    merge_param &param = info->merge_param;
    if (param.width != 0 && param.height != 0)
        std::snprintf(resolution, sizeof resolution, "-s %d*%d", static_cast<int>(param.width),
                      static_cast<int>(param.height));

    hwd_fragments hwd;
    if (get_job_hwd_fragments(info->usage_mode, &info->dst_codec_info, &source->result, info->hwd_type,
                              source->src_file, &hwd) != 1)
        return 0;

    if (info->dst_codec_info.v_copy == 0) {
        if (is_nvenc_fragment(hwd.encoder)) param.quality %= 10;
        if (!fits(std::snprintf(v_format, sizeof v_format, "%s -q:v %d", hwd.encoder, param.quality),
                  sizeof v_format)) {
            LOG_INFO("strlen(v_format) >= sizeof(v_format)");
            return 0;
        }
        str_copy(ffmpeg_pre_cmd, sizeof ffmpeg_pre_cmd, hwd.pre);
    } else {
        str_copy(v_format, sizeof v_format, video_copy_fragment(source->h2645_mp4toannexb, source->result.v_fmt));
    }
    tmp_audio_format(info, a_format);

    // No format on the line: the tool takes it from the temporary's ".ts".
    if (!fits(std::snprintf(cmd, CMD_BUF_SIZE, "\"%s\" %s %s -i \"%s\" %s %s %s -y \"%s\" %s", s_ffmpeg_path,
                            ffmpeg_pre_cmd, hwd.decoder, source->src_file, v_format, a_format, resolution,
                            source->dst_file, s_cmd_suffix),
              CMD_BUF_SIZE)) {
        LOG_INFO("strlen(cmd) >= CMD_BUF_SIZE");
        cmd[0] = '\0';
        return 0;
    }
    log_msg("%s", cmd);
    return 1;
}

int get_merge_cmd(merge_info *info, adt_dlist *ls_file_list, char *cmd)
{
    if (!ls_file_list || !cmd) {
        LOG_INFO("ls_file_list == NULL || cmd == NULL");
        return 0;
    }
    if (!info) {
        LOG_INFO("merge_info == NULL");
        return 0;
    }
    char file_list[kFileListSize];
    cmd_appender names(file_list, sizeof file_list);
    adt_dlist_lock(ls_file_list);
    for (adt_dlist_node *node = adt_dlist_head(ls_file_list); node; node = adt_dlist_next(node)) {
        const file_info *entry = *static_cast<file_info **>(adt_dlist_getdata(node));
        names.append(names.length() == 0 ? "%s" : "|%s", entry->dst_file);
    }
    adt_dlist_unlock(ls_file_list);
    if (names.overflow()) {
        LOG_INFO("strlen(file_list) >= sizeof(file_list)");
        return 0;
    }

    const dst_codec_info &dst = info->dst_codec_info;
    char audio_cmd[kAudioSize] = {0};
    if (!cvt_use_audio_cmd(info->dst_file, dst.a_codec_id, audio_cmd, sizeof audio_cmd))
        str_copy(audio_cmd, sizeof audio_cmd, "copy");
    char a_format[kAudioSize + sizeof "-c:a "] = {0};
    std::snprintf(a_format, sizeof a_format, "-c:a %s", audio_cmd);

    // Both mp4 rows check as 4, the "default" row as 255.
    const char *f_name = get_f_fmt_cmd(dst.f_fmt_id);
    const int f_check = get_f_fmt_id(f_name);
    int32_t bl_movflags_faststart = 1;
    if (f_check != FMT_ID_DEFAULT && info->opt_param)
        opt_param_get(info->opt_param, OPT_PARAM_TYPE_MOVFLAGS_FASTSTART, &bl_movflags_faststart,
                      sizeof bl_movflags_faststart);
    const bool faststart = f_check == F_FMT_MP4 && bl_movflags_faststart != 0;
    const bool aac = dst.a_codec_id == kAacCodecId;

    int n;
    if (f_check == FMT_ID_DEFAULT)  // the tool takes format and audio from the name
        n = std::snprintf(cmd, CMD_BUF_SIZE, "\"%s\" -i concat:\"%s\" -c:v copy -y \"%s\" %s", s_ffmpeg_path,
                          file_list, info->dst_file, s_cmd_suffix);
    else if (faststart && aac)
        n = std::snprintf(cmd, CMD_BUF_SIZE,
                          "\"%s\" -i concat:\"%s\" -c:v copy -bsf:a aac_adtstoasc %s %s -f %s -y \"%s\" %s",
                          s_ffmpeg_path, file_list, a_format, "-movflags faststart", f_name, info->dst_file,
                          s_cmd_suffix);
    else if (faststart)
        n = std::snprintf(cmd, CMD_BUF_SIZE, "\"%s\" -i concat:\"%s\" -c copy %s -f %s -y \"%s\" %s", s_ffmpeg_path,
                          file_list, "-movflags faststart", f_name, info->dst_file, s_cmd_suffix);
    else if (aac)
        n = std::snprintf(cmd, CMD_BUF_SIZE, "\"%s\" -i concat:\"%s\" -c:v copy -bsf:a aac_adtstoasc %s -f %s -y \"%s\" %s",
                          s_ffmpeg_path, file_list, a_format, f_name, info->dst_file, s_cmd_suffix);
    else
        n = std::snprintf(cmd, CMD_BUF_SIZE, "\"%s\" -i concat:\"%s\" -c copy -f %s -y \"%s\" %s", s_ffmpeg_path,
                          file_list, f_name, info->dst_file, s_cmd_suffix);
    if (!fits(n, CMD_BUF_SIZE)) {
        LOG_INFO("strlen(cmd) >= CMD_BUF_SIZE");
        cmd[0] = '\0';
        return 0;
    }
    log_msg("%s", cmd);
    return 1;
}
