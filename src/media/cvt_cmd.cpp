#include "media/cvt_cmd.h"

#include "media/cmd_fragments.h"
#include "media/fmt_table.h"
#include "media/watermark.h"

namespace {

// The options that only a re-encode takes, in their fixed order. false
// when the watermark cannot be passed.
bool append_encode_options(const job_desc &d, arg_list &args)
{
    if (d.threads) append_all(args, {"-threads", std::to_string(*d.threads)});
    if (d.preset) append_all(args, {"-preset", *d.preset});
    if (d.watermark) {
        std::string filter;
        if (!watermark_filter(*d.watermark, &filter)) return false;
        if (!filter.empty()) append_all(args, {"-vf", filter});
    }
    if (d.frame_num) {
        const std::string n = std::to_string(*d.frame_num);
        append_all(args, {"-keyint_min", n, "-g", n, "-sc_threshold", "0"});
    }
    if (d.ppid) append_all(args, {"-ppid", std::to_string(*d.ppid)});
    append_all(args, video_encode_args(d));
    return true;
}

}  // namespace

std::vector<std::string> get_cvt_cmd(const job_desc &d)
{
    const bool encode = d.dst.v_copy == 0;
    arg_list args = {d.tool_path};
    if (encode) append_words(args, d.hwd.pre);
    append_words(args, d.hwd.decoder);
    append_all(args, {"-i", d.src_file});
    if (!encode) append_all(args, video_copy_args(d.annexb, d.src_v_fmt));
    else if (!append_encode_options(d, args)) return {};
    append_all(args, job_audio_args(d));
    append_all(args, size_args(d));

    // Without a known format the tool takes it from the destination's name.
    const char *f_name = get_f_fmt_cmd(d.dst.f_fmt_id);
    const int f_id = get_f_fmt_id(f_name);
    if (f_id == F_FMT_MP4 && d.faststart) append_all(args, {"-movflags", "faststart"});
    if (f_id != FMT_ID_DEFAULT) append_all(args, {"-f", f_name});
    append_all(args, {"-y", d.dst_file});
    return args;
}
