// Compile-time guard of the public records: a change that would move a
// field or change a size breaks hosts built against an earlier header.
#include <cstddef>

#include "tarsasdk.h"

#define TARSA_CHECK_SIZE(type, size) static_assert(sizeof(type) == (size), #type " size changed")
#define TARSA_CHECK_OFFSET(type, field, off) \
    static_assert(offsetof(type, field) == (off), #type "." #field " moved")

TARSA_CHECK_SIZE(probe_result, 104);
TARSA_CHECK_OFFSET(probe_result, duration, 0);
TARSA_CHECK_OFFSET(probe_result, width, 4);
TARSA_CHECK_OFFSET(probe_result, height, 8);
TARSA_CHECK_OFFSET(probe_result, f_fmt, 12);
TARSA_CHECK_OFFSET(probe_result, v_fmt, 42);
TARSA_CHECK_OFFSET(probe_result, a_fmt, 72);

TARSA_CHECK_SIZE(probe_result_ex, 616);
TARSA_CHECK_OFFSET(probe_result_ex, video_detailed_param, 104);
TARSA_CHECK_OFFSET(probe_result_ex, audio_detailed_param, 360);

TARSA_CHECK_SIZE(ot, 1060);
TARSA_CHECK_OFFSET(ot, font_color, 20);
TARSA_CHECK_OFFSET(ot, text, 36);
TARSA_CHECK_SIZE(ot_ex, 1328);
TARSA_CHECK_OFFSET(ot_ex, text, 36);
TARSA_CHECK_OFFSET(ot_ex, reserved, 1060);
TARSA_CHECK_OFFSET(ot_ex, x_offset, 1320);
TARSA_CHECK_OFFSET(ot_ex, y_offset, 1324);

TARSA_CHECK_SIZE(cvt_param, 20);
TARSA_CHECK_OFFSET(cvt_param, audio_enable, 12);
TARSA_CHECK_OFFSET(cvt_param, quality, 16);
TARSA_CHECK_SIZE(cvt_param_v1, 284);
TARSA_CHECK_OFFSET(cvt_param_v1, usage_mode, 20);
TARSA_CHECK_OFFSET(cvt_param_v1, hwd_type, 24);
TARSA_CHECK_OFFSET(cvt_param_v1, reserved, 28);

TARSA_CHECK_SIZE(dst_info, 100);
TARSA_CHECK_OFFSET(dst_info, f_fmt, 8);
TARSA_CHECK_OFFSET(dst_info, v_fmt, 38);
TARSA_CHECK_OFFSET(dst_info, a_fmt, 68);

TARSA_CHECK_SIZE(cut_param, 32);
TARSA_CHECK_OFFSET(cut_param, start_time, 12);
TARSA_CHECK_OFFSET(cut_param, cut_length, 16);
TARSA_CHECK_OFFSET(cut_param, force_encode, 20);
TARSA_CHECK_OFFSET(cut_param, audio_enable, 24);
TARSA_CHECK_OFFSET(cut_param, quality, 28);
TARSA_CHECK_SIZE(cut_param_v1, 296);
TARSA_CHECK_OFFSET(cut_param_v1, usage_mode, 32);
TARSA_CHECK_OFFSET(cut_param_v1, hwd_type, 36);

TARSA_CHECK_SIZE(merge_param, 20);
TARSA_CHECK_SIZE(merge_param_v1, 284);
TARSA_CHECK_OFFSET(merge_param_v1, usage_mode, 20);

TARSA_CHECK_SIZE(hwd_dev, 52);
TARSA_CHECK_OFFSET(hwd_dev, decode, 36);
TARSA_CHECK_OFFSET(hwd_dev, encode, 44);
TARSA_CHECK_SIZE(hwd_dev_info, 160);
TARSA_CHECK_OFFSET(hwd_dev_info, hwd_num, 156);
