// Tables of containers and codecs: codec compatibility of destination file types, the destination
// container / codec / copy choice of jobs, identifiers and names.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
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

// Answers the tables fix: containers of the types, defaults, allowed codecs.
TEST(CodecCompat, KnownAnswers)
{
    fill_tables();
    const int containers[] = {255, 0, 3, 4, 4, 8, 7, 255, 255, 255};
    for (int type = -1; type < 10; type++) EXPECT_EQ(get_f_fmt_by_dst_file_type(type), containers[type < 0 ? 9 : type]);
    // Defaults: mpeg2video for 7, h264 for rowless types, aac for avi (the others: the destination choice).
    EXPECT_EQ(std::vector<int>({get_compat_v_codec(7, 7), get_compat_v_codec(9, 5), get_compat_a_codec(5, 3)}),
              std::vector<int>({0, 1, 2}));
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
        {"mp4", "h264", "aac", 2, 3, 0, 0, -1, -1, 0, {1, 0, 1, 2, 4}},          // merge: tables decide, aac not copied
        {"mp4", "h264", "aac", 0, 3, 640, 480, -1, -1, 0, {0, 0, 1, 2, 4}},      // resize
        {"mp4", "h264", "aac", 0, 3, 0, 0, -1, -1, sizeof(ot), {0, 0, 1, 2, 4}}, // watermark, both forms
        {"mp4", "h264", "aac", 0, 3, 0, 0, -1, -1, sizeof(ot_ex), {0, 0, 1, 2, 4}},
        {"mp4", "h264", "aac", 0, 3, 0, 0, 6, -1, 0, {0, 1, 6, 2, 4}},           // wanted hevc
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
}

// Identifier tables of containers and codecs: ids and names map to each
// other, the first row of a name wins, anything unknown gives the default.
struct Kind {
    int kind, rows;  // ids 0 .. rows-1 are table rows
    int (*id_of)(const char *);
    const char *(*name_of)(int), *(*cmd_of)(int), *default_cmd;
} const kKinds[] = {{FMT_KIND_F, 10, get_f_fmt_id, get_f_fmt_name, get_f_fmt_cmd, "default"},
                    {FMT_KIND_V, 9, get_v_fmt_id, get_v_fmt_name, get_v_fmt_cmd, "libx264"},
                    {FMT_KIND_A, 4, get_a_fmt_id, get_a_fmt_name, get_a_fmt_cmd, "libfdk_aac"}};

// Each id maps back from its name ("mp4" is listed twice: the first row wins), also once start-ups after
// clean-ups have filled the tables by appending the rows again (rows past the end are dropped); names match
// whole and with their case; unknown ids give the default.
TEST(FmtTable, IdsAndNamesMapBothWaysInTablesRepeatedStartUpsFilled)
{
    for (int i = 0; i < 60; i++) init_fmt_table();
    for (const Kind &k : kKinds) {
        add_fmt(k.kind, 77, "past the end", "overflow");
        EXPECT_EQ(fmt_table_count(k.kind), FMT_TABLE_SIZE);
        EXPECT_EQ(k.id_of("past the end"), 255);
        for (int id = 0; id < k.rows; id++) {
            const std::string name = k.name_of(id);
            std::string upper = name;
            for (char &c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            EXPECT_EQ(k.id_of(name.c_str()), k.kind == FMT_KIND_F && id == 9 ? 4 : id) << name;
            for (const std::string &near : {upper, name.substr(0, name.size() - 1), name + " ", std::string("default")})
                EXPECT_EQ(k.id_of(near.c_str()), 255) << near;
        }
        for (int id : {k.rows, 77, 99, 255, 256, -1}) {
            EXPECT_STREQ(k.name_of(id), "default") << id;
            EXPECT_STREQ(k.cmd_of(id), k.default_cmd) << id;
        }
    }
    for (const char *cmd : {"libx264", "libx265", "libx264 -profile:v high", ""}) EXPECT_EQ(get_v_fmt_id(cmd), 255);
}

}  // namespace
