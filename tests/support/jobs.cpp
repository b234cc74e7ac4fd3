#include "jobs.h"

namespace tt {

cvt_param_v1 cvt_params(const cvt_param &p)
{
    cvt_param_v1 v1 = {};
    v1.cvt_param = p;
    v1.usage_mode = HWD_USAGE_NONE;
    v1.hwd_type = -1;
    return v1;
}

cut_param_v1 cut_params(int dst_file_type, int start_time, int cut_length)
{
    cut_param_v1 v1 = {};
    v1.cut_param = {dst_file_type, 0, 0, start_time, cut_length, 0, 1, 5};
    v1.usage_mode = HWD_USAGE_NONE;
    v1.hwd_type = -1;
    return v1;
}

merge_param merge_params(uint32_t dst_file_type, uint32_t width, uint32_t height, uint32_t audio_enable)
{
    return {dst_file_type, width, height, audio_enable, 23};
}

}  // namespace tt
