// Codec compatibility of destination file types, and the destination
// container / codec / copy choice of jobs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "cvt/codec_compat.h"
#include "cvt/fmt_table.h"
#include "log_capture.h"
#include "opt/opt_param.h"
#include "tarsasdk.h"
#include "test_util.h"

namespace {

void init_tables_once()
{
    static std::once_flag once;
    std::call_once(once, [] {
        init_fmt_table();
        init_codec_compat_table();
    });
}

class CodecCompat : public ::testing::Test {
protected:
    static void SetUpTestSuite() { init_tables_once(); }
};

// Codec ids asked about: every table id and the "default" id.
const int k_codec_ids[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 255};

struct CompatRow {
    int dst_file_type;
    int allowed[10];  // per entry of k_codec_ids
};

// The video table per destination file type: "h264" for 0; baseline/high/
// main/hevc for 1 (sdv); the h264 forms for 2 and 6; everything but traw /
// tdaw for 3, 5 and 7; no hevc for 4; nothing for 8 and 9.
const CompatRow k_video_matrix[] = {
    //      ids: 0  1  2  3  4  5  6  7  8  255
    {0, {0, 1, 0, 0, 0, 0, 0, 0, 0, 0}},
    {1, {0, 0, 1, 1, 1, 0, 1, 0, 0, 0}},
    {2, {0, 1, 1, 1, 1, 0, 0, 0, 0, 0}},
    {3, {1, 1, 1, 1, 1, 1, 1, 0, 0, 0}},
    {4, {1, 1, 1, 1, 1, 1, 0, 0, 0, 0}},
    {5, {1, 1, 1, 1, 1, 1, 1, 0, 0, 0}},
    {6, {0, 1, 1, 1, 1, 0, 0, 0, 0, 0}},
    {7, {1, 1, 1, 1, 1, 1, 1, 0, 0, 0}},
    {8, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {9, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
};

// The audio table: aac everywhere it has rows, pcm_alaw for sdv, mp2 for the
// mp4 types and 7; types 0, 2, 8, 9 have no rows; mp3 is never allowed.
const CompatRow k_audio_matrix[] = {
    //      ids: 0  1  2  3  4  5  6  7  8  255
    {0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {1, {0, 0, 1, 1, 0, 0, 0, 0, 0, 0}},
    {2, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {3, {1, 0, 1, 0, 0, 0, 0, 0, 0, 0}},
    {4, {1, 0, 1, 0, 0, 0, 0, 0, 0, 0}},
    {5, {0, 0, 1, 0, 0, 0, 0, 0, 0, 0}},
    {6, {0, 0, 1, 0, 0, 0, 0, 0, 0, 0}},
    {7, {1, 0, 1, 0, 0, 0, 0, 0, 0, 0}},
    {8, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {9, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
};

TEST_F(CodecCompat, VideoExportMatchesTheTableForEveryTypeAndCodec)
{
    for (const CompatRow &row : k_video_matrix) {
        for (int i = 0; i < 10; i++) {
            EXPECT_EQ(tarsa_sdk_get_vcodec_id_compatible(row.dst_file_type, k_codec_ids[i]), row.allowed[i])
                << "type " << row.dst_file_type << " codec " << k_codec_ids[i];
            EXPECT_EQ(find_v_codec_compat(row.dst_file_type, k_codec_ids[i]), row.allowed[i] ? k_codec_ids[i] : -1)
                << "type " << row.dst_file_type << " codec " << k_codec_ids[i];
        }
    }
}

TEST_F(CodecCompat, AudioExportMatchesTheTableForEveryTypeAndCodec)
{
    for (const CompatRow &row : k_audio_matrix) {
        for (int i = 0; i < 10; i++) {
            EXPECT_EQ(tarsa_sdk_get_acodec_id_compatible(row.dst_file_type, k_codec_ids[i]), row.allowed[i])
                << "type " << row.dst_file_type << " codec " << k_codec_ids[i];
            EXPECT_EQ(find_a_codec_compat(row.dst_file_type, k_codec_ids[i]), row.allowed[i] ? k_codec_ids[i] : -1)
                << "type " << row.dst_file_type << " codec " << k_codec_ids[i];
        }
    }
}

TEST_F(CodecCompat, NegativeTypesAndCodecsAreNotCompatible)
{
    EXPECT_EQ(tarsa_sdk_get_vcodec_id_compatible(-1, 1), 0);
    EXPECT_EQ(tarsa_sdk_get_vcodec_id_compatible(3, -1), 0);
    EXPECT_EQ(tarsa_sdk_get_acodec_id_compatible(-1, 2), 0);
    EXPECT_EQ(tarsa_sdk_get_acodec_id_compatible(3, -1), 0);
}

TEST_F(CodecCompat, DefaultsPerType)
{
    // type:             0  1  2  3  4  5  6  7  8 (no rows)
    const int video[] = {1, 2, 1, 1, 0, 1, 1, 0, 1};
    for (int t = 0; t < 9; t++) EXPECT_EQ(get_default_v_codec(t), video[t]) << "type " << t;
    for (int t = 0; t < 9; t++) EXPECT_EQ(get_default_a_codec(t), 2) << "type " << t;
    EXPECT_EQ(get_default_v_codec(-5), 1);
}

struct CompatCase {
    int dst_file_type;
    int wanted;
    int expected;
};

TEST_F(CodecCompat, VideoCodecToEncodeTo)
{
    const CompatCase cases[] = {
        {6, 6, 1},  // hevc not allowed for flv: its default h264
        {4, 6, 0},  // default of type 4 (mpeg2video) stands after four other rows
        {1, 1, 2},  // sdv has no plain h264: default baseline
        {9, 5, 1},  // no rows: the fall-back h264
        {3, 6, 6},
        {3, 5, 5},
        {4, 0, 0},
        {7, 8, 0},
        {7, 255, 0},
        {2, 4, 4},
        {2, 0, 1},
        {0, 3, 1},
        {1, 6, 6},
        {8, 1, 1},
        {-1, 6, 1},
    };
    for (const CompatCase &c : cases)
        EXPECT_EQ(get_compat_v_codec(c.dst_file_type, c.wanted), c.expected)
            << "type " << c.dst_file_type << " wanted " << c.wanted;
}

TEST_F(CodecCompat, AudioCodecToEncodeTo)
{
    const CompatCase cases[] = {
        {2, 0, 2},  // no audio rows for raw h264: the fall-back aac
        {3, 0, 0},
        {5, 3, 2},
        {1, 3, 3},
        {1, 0, 2},
        {7, 0, 0},
        {6, 1, 2},
        {0, 3, 2},
        {9, 255, 2},
    };
    for (const CompatCase &c : cases)
        EXPECT_EQ(get_compat_a_codec(c.dst_file_type, c.wanted), c.expected)
            << "type " << c.dst_file_type << " wanted " << c.wanted;
}

TEST_F(CodecCompat, IsCompatMeansTheCodecSurvivesUnchanged)
{
    EXPECT_EQ(is_v_codec_compat(8, 1), 1);  // a type without rows takes the fall-back
    EXPECT_EQ(is_v_codec_compat(8, 6), 0);
    EXPECT_EQ(is_v_codec_compat(3, 6), 1);
    EXPECT_EQ(is_v_codec_compat(6, 6), 0);
    EXPECT_EQ(is_v_codec_compat(1, 1), 0);
    EXPECT_EQ(is_a_codec_compat(2, 2), 1);
    EXPECT_EQ(is_a_codec_compat(2, 0), 0);
    EXPECT_EQ(is_a_codec_compat(3, 0), 1);
    EXPECT_EQ(is_a_codec_compat(5, 0), 0);
    EXPECT_EQ(is_a_codec_compat(1, 3), 1);
}

TEST_F(CodecCompat, ContainerOfDestinationType)
{
    const int expected[][2] = {{0, 255}, {1, 0}, {2, 3}, {3, 4}, {4, 4}, {5, 8}, {6, 7}, {7, 255}, {8, 255}, {-1, 255}};
    for (const auto &e : expected) EXPECT_EQ(get_f_fmt_by_dst_file_type(e[0]), e[1]) << "type " << e[0];
}

TEST(CodecCompatTable, RegistrationStopsAtTheTableSize)
{
    // In a child process: filling the table must not leak into other tests.
    EXPECT_EXIT(
        {
            if (codec_compat_table_count(1) == 0) {
                init_fmt_table();
                init_codec_compat_table();
            }
            const int before = codec_compat_table_count(1);
            const int audio_before = codec_compat_table_count(2);
            const int room = CODEC_COMPAT_TABLE_SIZE - before;
            for (int i = 0; i < room + 20; i++) add_codec_compat(1, 1000, i, 0);
            add_codec_compat(3, 1000, 7, 1);  // unknown kind: ignored
            bool ok = before >= 37 && codec_compat_table_count(1) == CODEC_COMPAT_TABLE_SIZE &&
                      find_v_codec_compat(1000, room - 1) == room - 1 && find_v_codec_compat(1000, room) == -1 &&
                      get_compat_v_codec(4, 6) == 0 && codec_compat_table_count(2) == audio_before;
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

// ---------------------------------------------------------------- selection

struct Options {
    bool has_a = false;
    int32_t a = 0;
    bool has_v = false;
    int32_t v = 0;
    int ot_form = 0;  // 0 none, 1 ot, 2 ot_ex
};

struct SelectCase {
    const char *what;
    const char *f_fmt;
    const char *a_fmt;
    const char *v_fmt;
    int kind;
    int dst_file_type;
    uint32_t width, height;
    Options opt;
    dst_codec_info expected;  // v_copy, a_copy, v_codec_id, a_codec_id, f_fmt_id
};

opt_param *make_options(const Options &o)
{
    opt_param *p = opt_param_create();
    if (o.has_a) opt_param_set(p, OPT_PARAM_TYPE_A_CODEC_ID, &o.a, sizeof o.a);
    if (o.has_v) opt_param_set(p, OPT_PARAM_TYPE_V_CODEC_ID, &o.v, sizeof o.v);
    if (o.ot_form == 1) {
        ot mark = {};
        mark.row_num = 1;
        opt_param_set(p, OPT_PARAM_TYPE_OT, &mark, sizeof mark);
    } else if (o.ot_form == 2) {
        ot_ex mark = {};
        mark.row_num = 1;
        opt_param_set(p, OPT_PARAM_TYPE_OT, &mark, sizeof mark);
    }
    return p;
}

void expect_info(const dst_codec_info &got, const dst_codec_info &want, const std::string &what)
{
    EXPECT_EQ(got.v_copy, want.v_copy) << what;
    EXPECT_EQ(got.a_copy, want.a_copy) << what;
    EXPECT_EQ(got.v_codec_id, want.v_codec_id) << what;
    EXPECT_EQ(got.a_codec_id, want.a_codec_id) << what;
    EXPECT_EQ(got.f_fmt_id, want.f_fmt_id) << what;
}

TEST_F(CodecCompat, DestinationChoiceByProbeNames)
{
    const Options none;
    Options want_hevc;
    want_hevc.has_v = true;
    want_hevc.v = 6;
    Options want_same_v;
    want_same_v.has_v = true;
    want_same_v.v = 1;
    Options want_mp2;
    want_mp2.has_a = true;
    want_mp2.a = 0;
    Options with_ot;
    with_ot.ot_form = 1;
    Options with_ot_ex;
    with_ot_ex.ot_form = 2;

    const SelectCase cases[] = {
        {"mp4 to mp4: same container copies both", "mp4", "aac", "h264", 0, 3, 0, 0, none, {1, 1, 1, 2, 4}},
        {"mp4 to type 4 (also mp4)", "mp4", "aac", "h264", 0, 4, 0, 0, none, {1, 1, 1, 2, 4}},
        {"mp4 to flv: aac re-encoded", "mp4", "aac", "h264", 0, 6, 0, 0, none, {1, 0, 1, 2, 7}},
        {"cut behaves as conversion", "mp4", "aac", "h264", 1, 3, 0, 0, none, {1, 1, 1, 2, 4}},
        {"resize rules out copy", "mp4", "aac", "h264", 0, 3, 640, 480, none, {0, 0, 1, 2, 4}},
        {"one size of zero is no resize", "mp4", "aac", "h264", 0, 3, 640, 0, none, {1, 1, 1, 2, 4}},
        {"watermark (ot) rules out copy", "mp4", "aac", "h264", 0, 3, 0, 0, with_ot, {0, 0, 1, 2, 4}},
        {"watermark (ot_ex) rules out copy", "mp4", "aac", "h264", 0, 3, 0, 0, with_ot_ex, {0, 0, 1, 2, 4}},
        {"wanted hevc, same container", "mp4", "aac", "h264", 0, 3, 0, 0, want_hevc, {0, 1, 6, 2, 4}},
        {"wanted hevc for flv", "mp4", "aac", "h264", 0, 6, 0, 0, want_hevc, {0, 0, 1, 2, 7}},
        {"wanted the source's own codec", "mp4", "aac", "h264", 0, 6, 0, 0, want_same_v, {1, 0, 1, 2, 7}},
        {"wanted mp2 audio", "mp4", "aac", "h264", 0, 3, 0, 0, want_mp2, {1, 0, 1, 0, 4}},
        {"unknown video, same container", "mp4", "aac", "vp9", 0, 3, 0, 0, none, {1, 1, 1, 2, 4}},
        {"unknown video, type 4 default", "mp4", "aac", "vp9", 0, 4, 0, 0, none, {1, 1, 0, 2, 4}},
        {"unknown container", "matroska", "aac", "h264", 0, 3, 0, 0, none, {1, 0, 1, 2, 4}},
        {"mpegts h264 high + mp2 to mp4", "mpegts", "mp2", "h264 (High)", 0, 4, 0, 0, none, {1, 1, 3, 0, 4}},
        {"mpegts mp2 to flv", "mpegts", "mp2", "h264", 0, 6, 0, 0, none, {1, 0, 1, 2, 7}},
        {"mp4 to sdv: plain h264 not allowed", "mp4", "aac", "h264", 0, 1, 0, 0, none, {0, 0, 2, 2, 0}},
        {"avi pcm_alaw stays in avi", "avi", "pcm_alaw", "h264", 0, 5, 0, 0, none, {1, 1, 1, 2, 8}},
        {"type outside the tables", "mpegts", "aac", "h264", 0, 9, 0, 0, none, {1, 0, 1, 2, 255}},
        {"type outside, hevc source", "mpegts", "mp2", "hevc", 0, 9, 0, 0, none, {0, 0, 1, 2, 255}},
        {"unknown container and type", "matroska", "aac", "h264", 0, 0, 0, 0, none, {1, 0, 1, 2, 255}},
    };
    for (const SelectCase &c : cases) {
        opt_param *p = make_options(c.opt);
        dst_codec_info got = {-7, -7, -7, -7, -7};
        ASSERT_EQ(get_dst_file_codec_id_by_fmt(c.f_fmt, c.a_fmt, c.v_fmt, c.kind, c.dst_file_type, c.width,
                                               c.height, p, &got),
                  1)
            << c.what;
        expect_info(got, c.expected, c.what);
        opt_param_destroy(p);
    }
}

TEST_F(CodecCompat, MergeNeverUsesTheSameContainerRule)
{
    dst_codec_info got = {};
    // mp4 (4) / aac (2) / h264 (1) sources merged into type 3.
    ASSERT_EQ(get_dst_file_codec_id(4, 2, 1, 2, 3, 0, 0, nullptr, &got), 1);
    expect_info(got, {1, 0, 1, 2, 4}, "merge mp4 to mp4");
    // The same with mp2 audio: compatible with type 3, so copied.
    ASSERT_EQ(get_dst_file_codec_id(4, 0, 1, 2, 3, 0, 0, nullptr, &got), 1);
    expect_info(got, {1, 1, 1, 0, 4}, "merge mp2");
    // hevc into type 6: encoded to the flv default.
    ASSERT_EQ(get_dst_file_codec_id(4, 0, 6, 2, 6, 0, 0, nullptr, &got), 1);
    expect_info(got, {0, 0, 1, 2, 7}, "merge hevc to flv");
}

TEST_F(CodecCompat, EmptyOptionListEqualsNoList)
{
    opt_param *p = opt_param_create();
    dst_codec_info with_list = {}, without = {};
    ASSERT_EQ(get_dst_file_codec_id(6, 0, 3, 0, 4, 0, 0, p, &with_list), 1);
    ASSERT_EQ(get_dst_file_codec_id(6, 0, 3, 0, 4, 0, 0, nullptr, &without), 1);
    expect_info(with_list, {1, 1, 3, 0, 4}, "empty list");
    expect_info(without, {1, 1, 3, 0, 4}, "no list");
    opt_param_destroy(p);
}

TEST_F(CodecCompat, WantedCodecsAreNotValidated)
{
    Options o;
    o.has_v = true;
    o.v = 42;
    o.has_a = true;
    o.a = 42;
    opt_param *p = make_options(o);
    dst_codec_info got = {};
    ASSERT_EQ(get_dst_file_codec_id_by_fmt("mp4", "aac", "h264", 0, 3, 0, 0, p, &got), 1);
    expect_info(got, {0, 0, 1, 2, 4}, "unknown wanted codecs fall back to the defaults");
    opt_param_destroy(p);
}

TEST_F(CodecCompat, MissingArgumentsAreLoggedAndNothingIsWritten)
{
    tt::LogCapture log;
    EXPECT_EQ(get_dst_file_codec_id(4, 2, 1, 0, 3, 0, 0, nullptr, nullptr), 0);
    EXPECT_EQ(log.count("dst_codec_info == NULL"), 1);

    const std::string msg = "f_fmt == NULL || a_fmt == NULL || v_fmt == NULL || dst_codec_info == NULL";
    dst_codec_info got = {-7, -7, -7, -7, -7};
    EXPECT_EQ(get_dst_file_codec_id_by_fmt(nullptr, "aac", "h264", 0, 3, 0, 0, nullptr, &got), 0);
    EXPECT_EQ(get_dst_file_codec_id_by_fmt("mp4", nullptr, "h264", 0, 3, 0, 0, nullptr, &got), 0);
    EXPECT_EQ(get_dst_file_codec_id_by_fmt("mp4", "aac", nullptr, 0, 3, 0, 0, nullptr, &got), 0);
    EXPECT_EQ(get_dst_file_codec_id_by_fmt("mp4", "aac", "h264", 0, 3, 0, 0, nullptr, nullptr), 0);
    EXPECT_EQ(log.count(msg), 4);
    expect_info(got, {-7, -7, -7, -7, -7}, "untouched");
}

}  // namespace
