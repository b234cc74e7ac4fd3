// Codec compatibility of destination file types, and the destination
// container / codec / copy choice of jobs.
#include <gtest/gtest.h>

#include <vector>

#include "media/codec_compat.h"
#include "media/fmt_table.h"
#include "media/opt_param.h"
#include "tarsasdk.h"

namespace {

void fill_tables()
{
    if (codec_compat_table_count(1) == 0) init_fmt_table(), init_codec_compat_table();
}

// For every type and codec the lookups agree: a codec allowed for a type is
// kept, any other becomes the type's default; plus answers the tables fix.
TEST(CodecCompat, LookupsAgreeAndKnownAnswers)
{
    fill_tables();
    for (int v = 0; v < 2; v++) {
        for (int type = -1; type < 10; type++) {
            for (int codec : {0, 1, 2, 3, 4, 5, 6, 7, 8, 255}) {
                SCOPED_TRACE(testing::Message() << (v ? "video" : "audio") << " type " << type << " codec " << codec);
                const int found = v ? find_v_codec_compat(type, codec) : find_a_codec_compat(type, codec);
                const int chosen = v ? get_compat_v_codec(type, codec) : get_compat_a_codec(type, codec);
                EXPECT_EQ(found, (v ? tarsa_sdk_get_vcodec_id_compatible : tarsa_sdk_get_acodec_id_compatible)(
                                     type, codec) ? codec : -1);
                EXPECT_EQ(chosen, found == codec ? codec : (v ? get_default_v_codec : get_default_a_codec)(type));
                EXPECT_EQ((v ? is_v_codec_compat : is_a_codec_compat)(type, codec), chosen == codec ? 1 : 0);
            }
        }
    }
    const int containers[] = {255, 0, 3, 4, 4, 8, 7, 255, 255, 255};
    for (int type = -1; type < 10; type++) EXPECT_EQ(get_f_fmt_by_dst_file_type(type), containers[type < 0 ? 9 : type]);
    // Defaults: mpeg2video for 4 and 7, baseline for sdv, h264 for rowless types; aac.
    EXPECT_EQ(std::vector<int>({get_compat_v_codec(4, 6), get_compat_v_codec(7, 7), get_compat_v_codec(1, 1),
                                get_compat_v_codec(6, 6), get_compat_v_codec(9, 5), get_compat_a_codec(5, 3)}),
              std::vector<int>({0, 0, 2, 1, 1, 2}));
    // video?, type, codec, allowed: no hevc for flv, mpeg2 for 4 not 2, sdv has no plain h264, no traw/tdaw/mp3
    const int rows[][4] = {{1, 6, 6, 0}, {1, 3, 6, 1}, {1, 4, 0, 1}, {1, 2, 0, 0}, {1, 1, 1, 0}, {1, 3, 7, 0},
                           {1, 3, 8, 0}, {0, 2, 2, 0}, {0, 1, 3, 1}, {0, 3, 0, 1}, {0, 5, 0, 0}, {0, 3, 1, 0}};
    for (const auto &r : rows)
        EXPECT_EQ((r[0] ? tarsa_sdk_get_vcodec_id_compatible : tarsa_sdk_get_acodec_id_compatible)(r[1], r[2]), r[3])
            << r[0] << ":" << r[1] << "," << r[2];
}

TEST(CodecCompat, DestinationChoice)
{
    fill_tables();
    // want -1, ot_size 0: option not stored; expected: v_copy, a_copy, v_codec_id, a_codec_id, f_fmt_id
    const struct { const char *f_fmt, *v_fmt, *a_fmt; int kind, type, w, h, want_v, want_a, ot_size;
                   std::vector<int> expected; } cases[] = {
        {"mp4", "h264", "aac", 1, 3, 640, 0, -1, -1, 0, {1, 1, 1, 2, 4}},        // same container: copy both
        {"mp4", "h264", "aac", 2, 3, 0, 0, -1, -1, 0, {1, 0, 1, 2, 4}},          // merge: tables decide
        {"mp4", "h264", "aac", 0, 6, 0, 0, -1, -1, 0, {1, 0, 1, 2, 7}},          // aac not copied across
        {"mp4", "h264", "aac", 0, 3, 640, 480, -1, -1, 0, {0, 0, 1, 2, 4}},      // resize
        {"mp4", "h264", "aac", 0, 3, 0, 0, -1, -1, sizeof(ot), {0, 0, 1, 2, 4}}, // watermark, both forms
        {"mp4", "h264", "aac", 0, 3, 0, 0, -1, -1, sizeof(ot_ex), {0, 0, 1, 2, 4}},
        {"mp4", "h264", "aac", 0, 3, 0, 0, 6, -1, 0, {0, 1, 6, 2, 4}},           // wanted hevc
        {"mp4", "h264", "aac", 0, 6, 0, 0, 6, -1, 0, {0, 0, 1, 2, 7}},           // ... not allowed in flv
        {"mp4", "h264", "aac", 0, 3, 0, 0, -1, 0, 0, {1, 0, 1, 0, 4}},           // wanted mp2
        {"mp4", "h264", "aac", 0, 3, 0, 0, 42, 42, 0, {0, 0, 1, 2, 4}},          // not validated
        {"mp4", "vp9", "aac", 0, 4, 0, 0, -1, -1, 0, {1, 1, 0, 2, 4}},           // unknown video, same container
        {"matroska", "h264", "mp2", 0, 6, 0, 0, -1, -1, 0, {1, 0, 1, 2, 7}},     // mp2 not allowed in flv
        {"mpegts", "h264 (High)", "mp2", 0, 4, 0, 0, -1, -1, 0, {1, 1, 3, 0, 4}},
        {"mp4", "h264", "aac", 0, 1, 0, 0, -1, -1, 0, {0, 0, 2, 2, 0}},          // sdv: no plain h264
        {"mpegts", "h264", "aac", 0, 9, 0, 0, -1, -1, 0, {1, 0, 1, 2, 255}},     // type without rows
    };
    for (const auto &c : cases) {
        opt_param *p = opt_param_create();  // an empty list counts as none
        if (c.want_a >= 0) opt_param_set(p, OPT_PARAM_TYPE_A_CODEC_ID, &c.want_a, 4);
        if (c.want_v >= 0) opt_param_set(p, OPT_PARAM_TYPE_V_CODEC_ID, &c.want_v, 4);
        ot_ex mark = {};
        if (c.ot_size) opt_param_set(p, OPT_PARAM_TYPE_OT, &mark, c.ot_size);
        dst_codec_info got = {-7, -7, -7, -7, -7};
        EXPECT_EQ(get_dst_file_codec_id_by_fmt(c.f_fmt, c.a_fmt, c.v_fmt, c.kind, c.type, c.w, c.h,
                                               c.kind ? nullptr : p, &got), 1);
        EXPECT_EQ(std::vector<int>({got.v_copy, got.a_copy, got.v_codec_id, got.a_codec_id, got.f_fmt_id}), c.expected)
            << c.f_fmt << " " << c.v_fmt << " " << c.a_fmt << " kind " << c.kind << " to " << c.type;
        opt_param_destroy(p);
    }
    dst_codec_info got = {-7, -7, -7, -7, -7};  // null names or result: nothing written
    EXPECT_EQ(get_dst_file_codec_id(4, 2, 1, 0, 3, 0, 0, nullptr, nullptr), 0);
    EXPECT_EQ(get_dst_file_codec_id_by_fmt(nullptr, "aac", "h264", 0, 3, 0, 0, nullptr, &got), 0);
    EXPECT_EQ(get_dst_file_codec_id_by_fmt("mp4", "aac", nullptr, 0, 3, 0, 0, nullptr, &got), 0);
    EXPECT_EQ(got.v_copy + got.f_fmt_id, -14);
}

}  // namespace
