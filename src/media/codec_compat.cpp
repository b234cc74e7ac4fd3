// Codec compatibility tables of the destination file types and the choice
// of destination container and codecs of a job. The tables are filled at
// start-up and only read afterwards, from any thread, without a lock.
#include "media/codec_compat.h"

#include <initializer_list>

#include "media/fmt_table.h"
#include "media/opt_param.h"
#include "core/rtkit.h"
#include "tarsasdk.h"

namespace {

constexpr int CODEC_COMPAT_KIND_V = 1;
constexpr int CODEC_COMPAT_KIND_A = 2;

struct compat_table {
    codec_compat rows[CODEC_COMPAT_TABLE_SIZE];
    int32_t count;
};

compat_table s_v_codec_compat;
compat_table s_a_codec_compat;

// Built-in answers when a type lists no default: "h264" and "aac".
constexpr int32_t k_fallback_v_codec = V_FMT_H264;
constexpr int32_t k_fallback_a_codec = A_FMT_AAC;

int find_codec_compat(const compat_table &t, int dst_file_type, int codec_id)
{
    for (int i = 0; i < t.count; i++)
        if (t.rows[i].dst_file_type == dst_file_type && t.rows[i].codec_id == codec_id) return codec_id;
    return -1;
}

int get_default_codec(const compat_table &t, int dst_file_type, int fallback)
{
    for (int i = 0; i < t.count; i++)
        if (t.rows[i].dst_file_type == dst_file_type && t.rows[i].is_default) return t.rows[i].codec_id;
    return fallback;
}

// The wanted codec when the type lists it, else the type's default; -1 when
// the type has no rows (the caller then uses the fall-back of type 0).
int get_compat_codec(const compat_table &t, int dst_file_type, int codec_id)
{
    int candidate = -1;
    for (int i = 0; i < t.count; i++) {
        const codec_compat &row = t.rows[i];
        if (row.dst_file_type != dst_file_type) continue;
        if (row.is_default) candidate = row.codec_id;
        if (row.codec_id == codec_id) return codec_id;
    }
    return candidate;
}

void add_rows(int kind, int dst_file_type, std::initializer_list<int> codecs, int default_codec)
{
    for (int codec : codecs) add_codec_compat(kind, dst_file_type, codec, codec == default_codec);
}

}  // namespace

namespace {

compat_table *table_of(int kind)
{
    if (kind == CODEC_COMPAT_KIND_V) return &s_v_codec_compat;
    if (kind == CODEC_COMPAT_KIND_A) return &s_a_codec_compat;
    return nullptr;
}

}  // namespace

int codec_compat_table_count(int kind)
{
    const compat_table *t = table_of(kind);
    return t ? t->count : 0;
}

void add_codec_compat(int kind, int dst_file_type, int codec_id, int is_default)
{
    compat_table *t = table_of(kind);
    if (!t || t->count >= CODEC_COMPAT_TABLE_SIZE) return;  // a full table takes no more rows
    codec_compat &row = t->rows[t->count++];
    row.dst_file_type = dst_file_type;
    row.codec_id = codec_id;
    row.is_default = is_default;
}

void init_codec_compat_table(void)
{
    const int v = CODEC_COMPAT_KIND_V;
    add_rows(v, 0, {1}, 1);
    add_rows(v, 1, {2, 3, 4, 6}, 2);
    add_rows(v, 2, {1, 2, 3, 4}, 1);
    add_rows(v, 3, {1, 6, 2, 3, 4, 0, 5}, 1);
    add_rows(v, 4, {1, 2, 3, 4, 0, 5}, 0);
    add_rows(v, 5, {1, 6, 2, 3, 4, 0, 5}, 1);
    add_rows(v, 6, {1, 2, 3, 4}, 1);
    add_rows(v, 7, {1, 6, 2, 3, 4, 0, 5}, 0);

    const int a = CODEC_COMPAT_KIND_A;
    add_rows(a, 1, {2, 3}, 2);
    add_rows(a, 3, {2, 0}, 2);
    add_rows(a, 4, {2, 0}, 2);
    add_rows(a, 5, {2}, 2);
    add_rows(a, 6, {2}, 2);
    add_rows(a, 7, {2, 0}, 2);
}

int get_f_fmt_by_dst_file_type(int dst_file_type)
{
    switch (dst_file_type) {
    case 1: return F_FMT_SDV;
    case 2: return F_FMT_H264;
    case 3:
    case 4: return F_FMT_MP4;
    case 5: return F_FMT_AVI;
    case 6: return F_FMT_FLV;
    default: return FMT_DEFAULT;
    }
}

int find_v_codec_compat(int dst_file_type, int codec_id)
{
    return find_codec_compat(s_v_codec_compat, dst_file_type, codec_id);
}

int find_a_codec_compat(int dst_file_type, int codec_id)
{
    return find_codec_compat(s_a_codec_compat, dst_file_type, codec_id);
}

int get_default_v_codec(int dst_file_type)
{
    return get_default_codec(s_v_codec_compat, dst_file_type, k_fallback_v_codec);
}

int get_default_a_codec(int dst_file_type)
{
    return get_default_codec(s_a_codec_compat, dst_file_type, k_fallback_a_codec);
}

int get_compat_v_codec(int dst_file_type, int codec_id)
{
    int codec = get_compat_codec(s_v_codec_compat, dst_file_type, codec_id);
    return codec != -1 ? codec : get_default_v_codec(0);
}

int get_compat_a_codec(int dst_file_type, int codec_id)
{
    int codec = get_compat_codec(s_a_codec_compat, dst_file_type, codec_id);
    return codec != -1 ? codec : get_default_a_codec(0);
}

int is_v_codec_compat(int dst_file_type, int codec_id)
{
    return get_compat_v_codec(dst_file_type, codec_id) == codec_id ? 1 : 0;
}

int is_a_codec_compat(int dst_file_type, int codec_id)
{
    return get_compat_a_codec(dst_file_type, codec_id) == codec_id ? 1 : 0;
}

int get_dst_file_codec_id(int f_fmt, int a_fmt, int v_fmt, int kind, int dst_file_type,
                          uint32_t width, uint32_t height, opt_param *p_opt_param,
                          dst_codec_info *info)
{
    if (!info) {
        LOG_INFO("dst_codec_info == NULL");
        return 0;
    }

    int32_t wanted_v_codec_id = v_fmt;
    int32_t wanted_a_codec_id = a_fmt;
    bool has_ot = false;
    if (p_opt_param) {
        opt_param_get(p_opt_param, OPT_PARAM_TYPE_A_CODEC_ID, &wanted_a_codec_id, sizeof wanted_a_codec_id);
        opt_param_get(p_opt_param, OPT_PARAM_TYPE_V_CODEC_ID, &wanted_v_codec_id, sizeof wanted_v_codec_id);
        // Only the presence of a watermark matters here; the larger record
        // form takes either form.
        ot_ex watermark = {};
        has_ot = opt_param_get(p_opt_param, OPT_PARAM_TYPE_OT, &watermark, sizeof watermark) == 1;
    }

    info->f_fmt_id = get_f_fmt_by_dst_file_type(dst_file_type);

    if (width != 0 && height != 0) {
        info->v_copy = 0;
        info->a_copy = 0;
    } else if (has_ot) {
        info->v_copy = 0;
        info->a_copy = 0;
    } else if (f_fmt == info->f_fmt_id && f_fmt != FMT_DEFAULT && kind != TARSA_JOB_MERGE) {
        // Same container: whatever the source holds may stay as it is.
        info->v_copy = wanted_v_codec_id == v_fmt ? 1 : 0;
        info->a_copy = wanted_a_codec_id == a_fmt ? 1 : 0;
    } else {
        info->v_copy = wanted_v_codec_id == v_fmt && is_v_codec_compat(dst_file_type, wanted_v_codec_id) ? 1 : 0;
        info->a_copy = wanted_a_codec_id == a_fmt && is_a_codec_compat(dst_file_type, wanted_a_codec_id) ? 1 : 0;
        // AAC audio is re-encoded whenever the container changes.
        if (a_fmt == A_FMT_AAC) info->a_copy = 0;
    }

    info->v_codec_id = get_compat_v_codec(dst_file_type, wanted_v_codec_id);
    info->a_codec_id = get_compat_a_codec(dst_file_type, wanted_a_codec_id);
    return 1;
}

int get_dst_file_codec_id_by_fmt(const char *f_fmt, const char *a_fmt, const char *v_fmt, int kind,
                                 int dst_file_type, uint32_t width, uint32_t height,
                                 opt_param *p_opt_param, dst_codec_info *info)
{
    if (!f_fmt || !a_fmt || !v_fmt || !info) {
        LOG_INFO("f_fmt == NULL || a_fmt == NULL || v_fmt == NULL || dst_codec_info == NULL");
        return 0;
    }
    return get_dst_file_codec_id(get_f_fmt_id(f_fmt), get_a_fmt_id(a_fmt), get_v_fmt_id(v_fmt), kind,
                                 dst_file_type, width, height, p_opt_param, info);
}
