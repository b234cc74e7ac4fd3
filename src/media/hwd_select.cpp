// Choice of hardware decoder and encoder for a job's command line, and the
// command fragments that use them.
#include <cstdio>
#include <cstring>

#include "media/codec_compat.h"
#include "media/fmt_table.h"
#include "media/hwd.h"
#include "core/rtkit.h"

namespace {

constexpr int k_max_hwd_dev = 3;

// Indexed by hardware codec code.
const char *const k_hwd_decoder_cmd[] = {
    "-c:v h264_qsv",   "-load_plugin hevc_hw -c:v hevc_qsv",
    "-c:v h264_cuvid", "-c:v hevc_cuvid",
    "-c:v h264_vaapi", "-c:v hevc_vaapi",
};
const char *const k_hwd_encoder_cmd[] = {
    "-c:v h264_qsv",   "-c:v hevc_qsv -load_plugin hevc_hw",
    "-c:v h264_nvenc", "-c:v hevc_nvenc",
    "-vf 'format=nv12,hwupload' -c:v h264_vaapi", "-vf 'format=nv12,hwupload' -c:v hevc_vaapi",
};

bool is_valid_code(int code) { return code >= HWD_CODEC_H264_QSV && code <= HWD_CODEC_HEVC_VAAPI; }

// Odd codes are the HEVC codecs of their kind.
bool is_hevc_code(int code) { return code % 2 == 1; }

bool is_src_h264(const probe_result *result) { return std::strncmp(result->v_fmt, "h264", 4) == 0; }
bool is_src_hevc(const probe_result *result)
{
    return std::strncmp(result->v_fmt, "hevc", sizeof result->v_fmt) == 0;
}

bool is_dst_h264(const dst_codec_info *info) { return info->v_codec_id >= 1 && info->v_codec_id <= 4; }
bool is_dst_hevc(const dst_codec_info *info) { return info->v_codec_id == 6; }

int recorded_dev_num()
{
    int n = s_hwd_dev_info.hwd_num;
    return n < 0 ? 0 : n > k_max_hwd_dev ? k_max_hwd_dev : n;
}

// Automatic mode: the codes each recorded kind can offer, then one pair.
void choose_from_detection(const dst_codec_info *info, const probe_result *result, hwd_info *hwd)
{
    struct sign_pair {
        int32_t hwd_decoder;
        int32_t hwd_encoder;
    } hwd_sign_info[k_max_hwd_dev] = {{-1, -1}, {-1, -1}, {-1, -1}};

    const int dev_num = recorded_dev_num();
    for (int i = 0; i < dev_num; i++) {
        const hwd_dev &dev = s_hwd_dev_info.dev[i];
        if (dev.decode[0] && is_src_h264(result))
            hwd_sign_info[i].hwd_decoder = get_hwd_codec_code(dev.hwd_type, false);
        else if (dev.decode[1] && is_src_hevc(result))
            hwd_sign_info[i].hwd_decoder = get_hwd_codec_code(dev.hwd_type, true);
        if (dev.encode[0] && is_dst_h264(info))
            hwd_sign_info[i].hwd_encoder = get_hwd_codec_code(dev.hwd_type, false);
        else if (dev.encode[1] && is_dst_hevc(info))
            hwd_sign_info[i].hwd_encoder = get_hwd_codec_code(dev.hwd_type, true);
    }
    for (int i = 0; i < dev_num; i++) {
        const sign_pair &pair = hwd_sign_info[i];
        const bool has_dec = pair.hwd_decoder != -1;
        const bool has_enc = pair.hwd_encoder != -1;
        if (has_dec && has_enc) {
            hwd->hwd_decoder = pair.hwd_decoder;
            hwd->hwd_encoder = pair.hwd_encoder;
            break;
        }
        if ((has_dec || has_enc) && hwd->hwd_encoder == -1) {
            hwd->hwd_decoder = pair.hwd_decoder;
            hwd->hwd_encoder = pair.hwd_encoder;
        }
    }
    hwd->is_use_hw = 1;
}

// The last recorded entry of a code's kind, or -1.
int find_dev_of_code(int code)
{
    const int kind = get_hwd_codec_kind(code);
    int found = -1;
    if (kind == -1) return found;
    for (int i = 0; i < recorded_dev_num(); i++)
        if (s_hwd_dev_info.dev[i].hwd_type == kind) found = i;
    return found;
}

void write_soft_encoder(const dst_codec_info *info, char *hwd_encoder_cmd)
{
    std::snprintf(hwd_encoder_cmd, HWD_CMD_SIZE, " -c:v %s ", get_v_fmt_cmd(info->v_codec_id));
}

const char *h264_profile_switch(int v_codec_id)
{
    switch (v_codec_id) {
    case 2: return " -profile:v baseline";
    case 3: return " -profile:v high";
    case 4: return " -profile:v main";
    default: return "";
    }
}

}  // namespace

int get_hwd_codec_code(int hwd_type, bool is_hevc)
{
    switch (hwd_type) {
    case HWD_TYPE_INTEL: return is_hevc ? HWD_CODEC_HEVC_QSV : HWD_CODEC_H264_QSV;
    case HWD_TYPE_NVIDIA: return is_hevc ? HWD_CODEC_HEVC_NV : HWD_CODEC_H264_NV;
    case HWD_TYPE_VAAPI: return is_hevc ? HWD_CODEC_HEVC_VAAPI : HWD_CODEC_H264_VAAPI;
    default: return -1;
    }
}

int get_hwd_codec_kind(int hwd_codec)
{
    switch (hwd_codec) {
    case HWD_CODEC_H264_QSV:
    case HWD_CODEC_HEVC_QSV: return HWD_TYPE_INTEL;
    case HWD_CODEC_H264_NV:
    case HWD_CODEC_HEVC_NV: return HWD_TYPE_NVIDIA;
    case HWD_CODEC_H264_VAAPI:
    case HWD_CODEC_HEVC_VAAPI: return HWD_TYPE_VAAPI;
    default: return -1;
    }
}

int get_cvt_hwd_type(uint32_t usage_mode, const dst_codec_info *info, const probe_result *result,
                     int32_t hwd_type, hwd_info *hwd)
{
    if (!info || !result || !hwd) {
        LOG_INFO("get_cvt_hwd_type: !is_use_hw|| !hwd_type");
        return -1;
    }
    hwd->is_use_hw = -1;
    hwd->hwd_decoder = -1;
    hwd->hwd_encoder = -1;

    switch (usage_mode) {
    case HWD_USAGE_AUTO:
        if (s_hwd_dev_info.hwd_num == 0)
            hwd->is_use_hw = 0;
        else
            choose_from_detection(info, result, hwd);
        break;
    case HWD_USAGE_NONE:
        hwd->is_use_hw = 0;
        break;
    case HWD_USAGE_TYPE:
        if (is_src_h264(result))
            hwd->hwd_decoder = get_hwd_codec_code(hwd_type, false);
        else if (is_src_hevc(result))
            hwd->hwd_decoder = get_hwd_codec_code(hwd_type, true);
        if (is_dst_h264(info))
            hwd->hwd_encoder = get_hwd_codec_code(hwd_type, false);
        else if (is_dst_hevc(info))
            hwd->hwd_encoder = get_hwd_codec_code(hwd_type, true);
        hwd->is_use_hw = 1;
        break;
    default:
        LOG_INFO("get_cvt_hwd_type: cvt_info->usage_mode == ?");
        hwd->is_use_hw = 0;
        break;
    }

    // A hardware decoder is only worth it together with a hardware encoder.
    if (hwd->hwd_decoder != -1 && hwd->hwd_encoder == -1) hwd->hwd_decoder = -1;
    return 1;
}

int get_hwd_cmd(hwd_info *hwd, const dst_codec_info *info, char *hwd_pre_cmd, char *hwd_decoder_cmd,
                char *hwd_encoder_cmd)
{
    if (!hwd || !hwd_pre_cmd || !hwd_decoder_cmd || !hwd_encoder_cmd || !info) {
        LOG_INFO("!hwd_info || !hwd_pre_cmd || !hwd_decoder_cmd || !hwd_encoder_cmd || !dst_codec_info");
        return 0;
    }
    hwd_pre_cmd[0] = '\0';
    hwd_decoder_cmd[0] = '\0';
    hwd_encoder_cmd[0] = '\0';

    int dec_dev = -1;
    int enc_dev = -1;
    if (s_hwd_dev_info.hwd_num > 0 && (hwd->hwd_decoder != -1 || hwd->hwd_encoder != -1)) {
        dec_dev = find_dev_of_code(hwd->hwd_decoder);
        enc_dev = find_dev_of_code(hwd->hwd_encoder);
    }
    // Decoding on one device and encoding on another is not attempted.
    if (dec_dev != -1 && enc_dev != -1 && dec_dev != enc_dev) hwd->is_use_hw = 0;

    if (hwd->is_use_hw != 1) {
        write_soft_encoder(info, hwd_encoder_cmd);
        return 1;
    }

    const int dec = hwd->hwd_decoder;
    if (dec_dev != -1 && is_valid_code(dec) && s_hwd_dev_info.dev[dec_dev].decode[is_hevc_code(dec) ? 1 : 0])
        std::snprintf(hwd_decoder_cmd, HWD_CMD_SIZE, "%s", k_hwd_decoder_cmd[dec]);

    const int enc = hwd->hwd_encoder;
    if (enc_dev != -1 && is_valid_code(enc) && s_hwd_dev_info.dev[enc_dev].encode[is_hevc_code(enc) ? 1 : 0]) {
        int len = std::snprintf(hwd_encoder_cmd, HWD_CMD_SIZE, "%s", k_hwd_encoder_cmd[enc]);
        if (get_hwd_codec_kind(enc) == HWD_TYPE_VAAPI) {
            char path[sizeof s_hwd_env[HWD_TYPE_VAAPI].driver_path + 1];
            str_copy(path, sizeof path, s_hwd_env[HWD_TYPE_VAAPI].driver_path);
            char pre_cmd[sizeof path + 16];
            std::snprintf(pre_cmd, sizeof pre_cmd, "-vaapi_device %s", path);
            str_copy(hwd_pre_cmd, HWD_CMD_SIZE, pre_cmd);  // a path too long for the fragment is cut
        }
        // The software names carry their profile; the hardware ones need it added.
        if (len > 0 && len < HWD_CMD_SIZE)
            std::snprintf(hwd_encoder_cmd + len, HWD_CMD_SIZE - static_cast<size_t>(len), "%s",
                          h264_profile_switch(info->v_codec_id));
    } else {
        write_soft_encoder(info, hwd_encoder_cmd);
    }
    return 1;
}
