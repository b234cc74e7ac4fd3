#include "job/job_describe.h"

#include <cstring>

#include "media/cmd_fragments.h"
#include "media/cut_cmd.h"
#include "media/cvt_cmd.h"
#include "media/hwd.h"
#include "media/merge_cmd.h"
#include "platform/platform.h"

namespace {

constexpr int32_t kPresetSize = 100;

// A name field of a record, which its whole size may fill.
template <size_t N>
std::string field_text(const char (&field)[N])
{
    return std::string(field, strnlen(field, N));
}

// The hardware of one command: the choice, a trial decode of the source
// with a chosen hardware decoder, then the fragments.
bool choose_hwd(uint32_t usage_mode, const dst_codec_info &dst, const probe_result &source, int32_t hwd_type,
                const char *src_file, hwd_fragments *out)
{
    hwd_info hwd = {0, 0, 0};
    if (get_cvt_hwd_type(usage_mode, &dst, &source, hwd_type, &hwd) != 1) {
        LOG_INFO("!get_cvt_hwd_type");
        return false;
    }
    if (hwd.hwd_decoder != -1 && is_use_hwd_decodec(src_file, hwd.hwd_decoder) == 0) hwd.hwd_decoder = -1;
    char pre[HWD_CMD_SIZE] = {0}, decoder[HWD_CMD_SIZE] = {0}, encoder[HWD_CMD_SIZE] = {0};
    if (!get_hwd_cmd(&hwd, &dst, pre, decoder, encoder)) {
        LOG_INFO("!get_cvt_hwd_type");
        return false;
    }
    *out = hwd_fragments{pre, decoder, encoder};
    return true;
}

// The source, destination and hardware part shared by every transcode.
template <typename Param>
bool describe_transcode(const Param &param, const probe_result &source, const char *src_file, const char *dst_file,
                        const dst_codec_info &dst, uint32_t annexb, uint32_t usage_mode, int32_t hwd_type,
                        job_desc *out)
{
    *out = job_desc();
    out->tool_path = s_ffmpeg_path;
    out->src_file = src_file;
    out->dst_file = dst_file;
    out->dst = dst;
    out->src_f_fmt = field_text(source.f_fmt);
    out->src_v_fmt = field_text(source.v_fmt);
    out->annexb = annexb != 0;
    out->width = param.width;
    out->height = param.height;
    out->audio_enable = param.audio_enable != 0;
    if (!choose_hwd(usage_mode, dst, source, hwd_type, src_file, &out->hwd)) return false;
    out->quality = video_quality(out->hwd.encoder, param.quality);
    return true;
}

// Option 7 is on unless the host stored 0.
bool read_faststart(opt_param *options)
{
    int32_t faststart = 1;
    if (options) opt_param_get(options, OPT_PARAM_TYPE_MOVFLAGS_FASTSTART, &faststart, sizeof faststart);
    return faststart != 0;
}

// The options of a re-encoding conversion. Key frames and "-ppid" are
// asked for even without a list, which then logs its own refusal.
void read_encode_options(opt_param *options, job_desc *out)
{
    if (options) {
        int32_t threads = 0;
        if (opt_param_get(options, OPT_PARAM_TYPE_THREAD_NUM, &threads, sizeof threads)) out->threads = threads;
        char preset[kPresetSize + 1] = {0};
        if (opt_param_get(options, OPT_PARAM_TYPE_PRESET, preset, kPresetSize)) out->preset = std::string(preset);
        ot_ex mark;
        std::memset(&mark, 0, sizeof mark);
        if (opt_param_get(options, OPT_PARAM_TYPE_OT, &mark, sizeof mark)) out->watermark = mark;
    }
    int32_t frame_num = 0;
    if (opt_param_get(options, OPT_PARAM_TYPE_FRAME_NUM, &frame_num, sizeof frame_num)) out->frame_num = frame_num;
    int32_t iauto = 0;
    if (opt_param_get(options, OPT_PARAM_TYPE_IAUTO, &iauto, sizeof iauto)) out->ppid = os_getpid();
}

// The plain log shows every command; the job's own line says what it is.
std::vector<std::string> logged(std::vector<std::string> cmd, const char *what)
{
    if (cmd.empty()) return cmd;
    const std::string line = os_cmdline_quote(cmd);
    LOG_INFO("%s%s", what, line.c_str());
    log_msg("%s", line.c_str());
    return cmd;
}

}  // namespace

bool describe_cvt_job(const cvt_info &info, job_desc *out)
{
    if (!describe_transcode(info.cvt_param, info.result, info.src_file, info.dst_file, info.dst_codec_info,
                            info.h2645_mp4toannexb, info.usage_mode, info.hwd_type, out))
        return false;
    if (info.dst_codec_info.v_copy == 0) read_encode_options(info.opt_param, out);
    out->faststart = read_faststart(info.opt_param);
    return true;
}

bool describe_cut_job(const cut_info &info, job_desc *out)
{
    if (!describe_transcode(info.cut_param, info.result, info.src_file, info.dst_file, info.dst_codec_info,
                            info.h2645_mp4toannexb, info.usage_mode, info.hwd_type, out))
        return false;
    out->start_time = info.cut_param.start_time;
    out->cut_length = info.cut_param.cut_length;
    out->faststart = read_faststart(info.opt_param);
    return true;
}

bool describe_merge_tmp(const merge_info &info, const file_info &source, job_desc *out)
{
    const dst_codec_info dst = merge_codecs(info.dst_codec_info, info.merge_param.audio_enable != 0);
    if (!describe_transcode(info.merge_param, source.result, source.src_file, source.dst_file, dst,
                            source.h2645_mp4toannexb, info.usage_mode, info.hwd_type, out))
        return false;
    out->fit_width = info.fit_width;
    out->fit_height = info.fit_height;
    return true;
}

void describe_merge_concat(const merge_info &info, job_desc *out)
{
    *out = job_desc();
    out->tool_path = s_ffmpeg_path;
    out->dst_file = info.dst_file;
    out->dst = merge_codecs(info.dst_codec_info, info.merge_param.audio_enable != 0);
    out->audio_enable = info.merge_param.audio_enable != 0;
    out->faststart = read_faststart(info.opt_param);
}

std::vector<std::string> cvt_job_cmd(const cvt_info &info)
{
    job_desc d;
    if (!describe_cvt_job(info, &d)) return {};
    return logged(get_cvt_cmd(d), "[get_cvt_cmd] convert cmd:");
}

std::vector<std::string> cut_job_cmd(const cut_info &info)
{
    job_desc d;
    if (!describe_cut_job(info, &d)) return {};
    return logged(get_cut_cmd(d), "start cvt cmd:");
}

std::vector<std::string> merge_tmp_job_cmd(const merge_info &info, const file_info &source)
{
    job_desc d;
    if (!describe_merge_tmp(info, source, &d)) return {};
    return logged(get_merge_tmp_cmd(d), "[create_merge_tmp_file] ts cmd:");
}

std::vector<std::string> merge_concat_job_cmd(const merge_info &info, adt_dlist *list)
{
    std::vector<std::string> tmp_files;
    adt_dlist_lock(list);
    for (adt_dlist_node *node = adt_dlist_head(list); node; node = adt_dlist_next(node))
        tmp_files.push_back((*static_cast<file_info **>(adt_dlist_getdata(node)))->dst_file);
    adt_dlist_unlock(list);
    job_desc d;
    describe_merge_concat(info, &d);
    return logged(get_merge_cmd(d, tmp_files), "[process_merge_file] cmd:");
}
