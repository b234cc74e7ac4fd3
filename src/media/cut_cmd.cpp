#include "media/cut_cmd.h"

#include <cstdio>
#include <map>

#include "media/cmd_fragments.h"
#include "media/fmt_table.h"

namespace {

// The templates, word by word; upper-case words stand for the parts below
// (P program, SS seek position, T length, SRC and DST the files, V video,
// A audio, R size, PRE hardware set-up, DEC hardware decoder, MF faststart,
// F format name). Rows: no "-f" / "mp4" with faststart / other formats;
// columns: copy from "mov" / copy / re-encode.
const char *const kTemplates[3][3] = {
    {"P -accurate_seek -ss SS -i SRC -t T V -avoid_negative_ts 1 A R -y DST",
     "P -ss SS -accurate_seek -i SRC -accurate_seek -t T V A R -y DST",
     "P PRE -ss SS -t T -i SRC V A R -y DST"},
    {"P -accurate_seek -ss SS -i SRC -t T V -avoid_negative_ts 1 A R MF -f F -y DST",
     "P -accurate_seek -ss SS -t T -i SRC V -avoid_negative_ts 1 A R MF -f F -y DST",
     "P PRE DEC -ss SS -t T -i SRC V A R MF -f F -y DST"},
    {"P -accurate_seek -ss SS -i SRC -t T V -avoid_negative_ts 1 A R -y DST",
     "P -accurate_seek -ss SS -t T -i SRC V -avoid_negative_ts 1 A R -y DST",
     "P PRE DEC -ss SS -t T -i SRC V A R -f F -y DST"},
};

int group_of(const job_desc &d, const char *f_name)
{
    const int id = get_f_fmt_id(f_name);
    if (id == FMT_ID_DEFAULT) return 0;
    return id == F_FMT_MP4 && d.faststart ? 1 : 2;
}

// The seek position with one decimal. FLV sources are never cut from 0
// itself, only from 0.1 s.
std::string seek_position(const job_desc &d)
{
    float ss = static_cast<float>(d.start_time);
    if (d.src_f_fmt == "flv" && d.start_time == 0) ss = 0.1f;
    char text[64];
    std::snprintf(text, sizeof text, "%0.1f", static_cast<double>(ss));
    return text;
}

}  // namespace

std::vector<std::string> get_cut_cmd(const job_desc &d)
{
    const bool encode = d.dst.v_copy == 0;
    const char *f_name = get_f_fmt_cmd(d.dst.f_fmt_id);
    std::map<std::string, arg_list> parts = {
        {"P", {d.tool_path}},
        {"SS", {seek_position(d)}},
        {"T", {std::to_string(d.cut_length)}},
        {"SRC", {d.src_file}},
        {"DST", {d.dst_file}},
        {"V", encode ? video_encode_args(d) : video_copy_args(d.annexb, d.src_v_fmt)},
        {"A", job_audio_args(d)},
        {"R", size_args(d)},
        {"PRE", {}},
        {"DEC", {}},
        {"MF", {"-movflags", "faststart"}},
        {"F", {f_name}},
    };
    append_words(parts["PRE"], d.hwd.pre);
    append_words(parts["DEC"], d.hwd.decoder);

    const int video = encode ? 2 : d.src_f_fmt == "mov" ? 0 : 1;
    arg_list words;
    append_words(words, kTemplates[group_of(d, f_name)][video]);
    arg_list args;
    for (const std::string &word : words) {
        auto part = parts.find(word);
        if (part == parts.end()) args.push_back(word);
        else append_all(args, part->second);
    }
    return args;
}
