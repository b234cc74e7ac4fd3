#include "job/dst_info_fill.h"

#include <cstring>

#include "media/fmt_table.h"

void fill_dst_info(const dst_codec_info &chosen, dst_info *out)
{
    out->video_copy = static_cast<uint32_t>(chosen.v_copy);
    out->audio_copy = static_cast<uint32_t>(chosen.a_copy);
    std::strncpy(out->f_fmt, get_f_fmt_name(chosen.f_fmt_id), sizeof out->f_fmt - 1);
    std::strncpy(out->v_fmt, get_v_fmt_name(chosen.v_codec_id), sizeof out->v_fmt - 1);
    std::strncpy(out->a_fmt, get_a_fmt_name(chosen.a_codec_id), sizeof out->a_fmt - 1);
}
