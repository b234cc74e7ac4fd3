// Detection of usable hardware codecs: each kind (NVIDIA, Intel, VA-API) is
// tried in turn by opening its decoders and encoders; the first kind that
// works is recorded.
#include "media/hwd.h"
#include "core/rtkit.h"
#include "ff/hwd_vaapi.h"

hwd_dev_info s_hwd_dev_info = {};
int32_t is_chech_hwd = 0;

namespace {

// The libavcodec names tried for one kind, and the label of its log line.
struct hwd_kind_names {
    const char *label;
    const char *decoder[2];  // H.264, HEVC
    const char *encoder[2];
};

const hwd_kind_names k_nvcuda = {"nvcuda", {"h264_cuvid", "hevc_cuvid"}, {"h264_nvenc", "hevc_nvenc"}};
const hwd_kind_names k_qsv = {"qsv", {"h264_qsv", "hevc_qsv"}, {"h264_qsv", "hevc_qsv"}};
const hwd_kind_names k_vaapi = {"vaapi", {"h264_vaapi", "hevc_vaapi"}, {"h264_vaapi", "hevc_vaapi"}};

int try_ff_open_hwd_kind(hwd_dev *dev, const hwd_kind_names &names)
{
    if (!dev) return 0;
    dev->decode[0] = try_ff_open_decoder_hwd(names.decoder[0]);
    dev->decode[1] = try_ff_open_decoder_hwd(names.decoder[1]);
    dev->encode[0] = try_ff_open_encoder_hwd(names.encoder[0]);
    dev->encode[1] = try_ff_open_encoder_hwd(names.encoder[1]);
    LOG_INFO("try hwd %s support decode[%d, %d], encode[%d, %d]", names.label, dev->decode[0], dev->decode[1],
             dev->encode[0], dev->encode[1]);
    return dev->decode[0] || dev->decode[1] || dev->encode[0] || dev->encode[1] ? 1 : 0;
}

}  // namespace

int try_ff_open_hwd_nvcuda(hwd_dev *dev) { return try_ff_open_hwd_kind(dev, k_nvcuda); }

int try_ff_open_hwd_intel(hwd_dev *dev) { return try_ff_open_hwd_kind(dev, k_qsv); }

int try_ff_open_hwd_vaapi(hwd_dev *dev)
{
    // VA-API needs its render node; without it there is nothing to open.
    hwd_vaapi_locate();
    if (!find_driver_exist(HWD_TYPE_VAAPI)) {
        char path[sizeof s_hwd_env[HWD_TYPE_VAAPI].driver_path + 1];
        str_copy(path, sizeof path, s_hwd_env[HWD_TYPE_VAAPI].driver_path);
        LOG_INFO("not find driver path:%s", path);
        return 0;
    }
    return try_ff_open_hwd_kind(dev, k_vaapi);
}

int try_open_hwd(int hwd_type, hwd_dev *dev)
{
    int found = 0;
    switch (hwd_type) {
    case HWD_TYPE_NVIDIA: found = try_ff_open_hwd_nvcuda(dev); break;
    case HWD_TYPE_INTEL: found = try_ff_open_hwd_intel(dev); break;
    case HWD_TYPE_VAAPI: found = try_ff_open_hwd_vaapi(dev); break;
    default: return 0;
    }
    if (found) dev->hwd_type = hwd_type;
    return found;
}

int find_usr_hwd(hwd_dev_info *dev_info)
{
    if (!dev_info) {
        LOG_INFO("err find_usr_hwd dev_info == NULL");
        return 0;
    }
    dev_info->hwd_num = 0;
    for (int hwd_type = HWD_TYPE_NVIDIA; hwd_type <= HWD_TYPE_VAAPI; hwd_type++) {
        if (!set_hwd_env(hwd_type)) LOG_INFO("set_hwd_env type:%d failed", hwd_type);
        // Only the first usable kind is recorded.
        if (try_open_hwd(hwd_type, &dev_info->dev[dev_info->hwd_num])) {
            dev_info->hwd_num++;
            return 1;
        }
    }
    return 0;
}

int register_hwd(void)
{
    if (!find_usr_hwd(&s_hwd_dev_info)) {
        LOG_DEBUG(4, "!find_usr_hwd(&s_hwd_dev_info)");
        return 0;
    }
    return 1;
}
