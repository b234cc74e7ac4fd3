// Destination codec selection: compatibility of codecs with destination
// file types, and the copy-or-encode decision of a job.
#ifndef TARSA_CVT_CODEC_COMPAT_H
#define TARSA_CVT_CODEC_COMPAT_H

#include <cstdint>

struct opt_param;

struct dst_codec_info {
    int32_t v_copy;
    int32_t a_copy;
    int32_t v_codec_id;
    int32_t a_codec_id;
    int32_t f_fmt_id;
};

struct codec_compat {
    int32_t dst_file_type;
    int32_t codec_id;
    int32_t is_default;
};

#define CODEC_COMPAT_TABLE_SIZE 256

void init_codec_compat_table(void);
void add_codec_compat(int kind, int dst_file_type, int codec_id, int is_default);  // kind 1 video, 2 audio
int codec_compat_table_count(int kind);  // rows held by the video (1) or audio (2) table
int get_f_fmt_by_dst_file_type(int dst_file_type);
int find_v_codec_compat(int dst_file_type, int codec_id);
int find_a_codec_compat(int dst_file_type, int codec_id);
int get_default_v_codec(int dst_file_type);
int get_default_a_codec(int dst_file_type);
int get_compat_v_codec(int dst_file_type, int codec_id);
int get_compat_a_codec(int dst_file_type, int codec_id);
int is_v_codec_compat(int dst_file_type, int codec_id);
int is_a_codec_compat(int dst_file_type, int codec_id);
int get_dst_file_codec_id(int f_fmt, int a_fmt, int v_fmt, int kind, int dst_file_type,
                          uint32_t width, uint32_t height, opt_param *p_opt_param,
                          dst_codec_info *info);
int get_dst_file_codec_id_by_fmt(const char *f_fmt, const char *a_fmt, const char *v_fmt, int kind,
                                 int dst_file_type, uint32_t width, uint32_t height,
                                 opt_param *p_opt_param, dst_codec_info *info);

#endif
