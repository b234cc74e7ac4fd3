#include "media/cmd_fragments.h"

#include <cstring>

#include "media/codec_compat.h"
#include "media/cvt_cmd.h"
#include "core/rtkit.h"

int get_job_hwd_fragments(uint32_t usage_mode, const dst_codec_info *dst, const probe_result *result,
                          int32_t hwd_type, const char *src_file, hwd_fragments *out)
{
    std::memset(out, 0, sizeof *out);
    hwd_info hwd = {0, 0, 0};
    if (get_cvt_hwd_type(usage_mode, dst, result, hwd_type, &hwd) != 1) {
        LOG_INFO("!get_cvt_hwd_type");
        return -1;
    }
    if (hwd.hwd_decoder != -1 && is_use_hwd_decodec(src_file, hwd.hwd_decoder) == 0) hwd.hwd_decoder = -1;
    if (!get_hwd_cmd(&hwd, dst, out->pre, out->decoder, out->encoder)) {
        LOG_INFO("!get_cvt_hwd_type");
        return -1;
    }
    return 1;
}

bool is_nvenc_fragment(const char *encoder_cmd)
{
    return std::strlen(encoder_cmd) >= 15 && std::strncmp(encoder_cmd + 10, "nvenc", 5) == 0;
}

const char *video_copy_fragment(uint32_t h2645_mp4toannexb, const char *v_fmt)
{
    if (h2645_mp4toannexb && std::strncmp(v_fmt, "h264", 4) == 0) return "-c:v copy -bsf:v h264_mp4toannexb ";
    if (h2645_mp4toannexb && std::strncmp(v_fmt, "hevc", 4) == 0) return "-c:v copy -bsf:v hevc_mp4toannexb ";
    return "-c:v copy ";
}

void job_audio_codec(const char *dst_file, const dst_codec_info *dst, char *out, size_t size)
{
    if (dst->a_copy != 0 || !cvt_use_audio_cmd(dst_file, dst->a_codec_id, out, size)) str_copy(out, size, "copy");
}
