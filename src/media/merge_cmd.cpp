#include "media/merge_cmd.h"

#include "media/cmd_fragments.h"
#include "media/fmt_table.h"

namespace {

constexpr int kAacCodecId = 2;

// The audio of a temporary: the table's encoder, without the sample rate
// rule of the other commands.
arg_list tmp_audio_args(const job_desc &d)
{
    if (!d.audio_enable) return {"-an"};
    if (d.dst.a_copy != 0) return {"-c:a", "copy"};
    arg_list args = {"-c:a"};
    append_words(args, get_a_fmt_cmd(d.dst.a_codec_id));
    return args;
}

// The fit goes first into a filter chain the encoder already has.
void add_fit(arg_list &args, const std::string &chain)
{
    for (size_t i = 0; i + 1 < args.size(); i++)
        if (args[i] == "-vf") {
            args[i + 1] = chain + "," + args[i + 1];
            return;
        }
    append_all(args, {"-vf", chain});
}

}  // namespace

std::vector<std::string> get_merge_tmp_cmd(const job_desc &d)
{
    const bool encode = d.dst.v_copy == 0;
    arg_list args = {d.tool_path};
    if (encode) append_words(args, d.hwd.pre);
    append_words(args, d.hwd.decoder);
    append_all(args, {"-i", d.src_file});
    append_all(args, encode ? video_encode_args(d) : video_copy_args(d.annexb, d.src_v_fmt));
    append_all(args, tmp_audio_args(d));
    append_all(args, size_args(d));
    if (encode && d.fit_width != 0 && d.fit_height != 0) add_fit(args, fit_filter(d));
    append_all(args, {"-y", d.dst_file});
    return args;
}

std::vector<std::string> get_merge_cmd(const job_desc &d, const std::vector<std::string> &tmp_files)
{
    std::string list = "concat:";
    for (size_t i = 0; i < tmp_files.size(); i++) list += (i ? "|" : "") + tmp_files[i];
    arg_list args = {d.tool_path, "-i", list};

    // Both mp4 rows check as 4, the "default" row as 255: then the tool
    // takes format and audio from the destination's name.
    const char *f_name = get_f_fmt_cmd(d.dst.f_fmt_id);
    const int f_check = get_f_fmt_id(f_name);
    if (f_check == FMT_ID_DEFAULT) {
        append_all(args, {"-c:v", "copy", "-y", d.dst_file});
        return args;
    }
    if (d.dst.a_codec_id == kAacCodecId) {
        append_all(args, {"-c:v", "copy", "-bsf:a", "aac_adtstoasc", "-c:a"});
        append_all(args, audio_encoder_args(d.dst_file, d.dst.a_codec_id));
    } else {
        append_all(args, {"-c", "copy"});
    }
    if (f_check == F_FMT_MP4 && d.faststart) append_all(args, {"-movflags", "faststart"});
    append_all(args, {"-f", f_name, "-y", d.dst_file});
    return args;
}
