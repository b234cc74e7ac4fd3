// Codec compatibility of destination file types, and the destination
// container / codec / copy choice of jobs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>
#include <string>

#include "media/codec_compat.h"
#include "media/fmt_table.h"
#include "log_capture.h"
#include "media/opt_param.h"
#include "tarsasdk.h"

namespace {

class CodecCompat : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static std::once_flag once;
        std::call_once(once, [] {
            init_fmt_table();
            init_codec_compat_table();
        });
    }
};

// Codec ids asked about: every table id and the "default" id.
const int kCodecIds[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 255};

struct Kind {
    const char *name;
    int (*exported)(int32_t, int32_t);
    int (*find)(int, int);
    // Per destination file type 0..9, per entry of kCodecIds.
    int allowed[10][10];
};

const Kind kKinds[] = {
    // Video: "h264" for 0; baseline/high/main/hevc for 1 (sdv); the h264
    // forms for 2 and 6; everything but traw/tdaw for 3, 5 and 7; no hevc
    // for 4; nothing for 8 and 9.
    {"video", tarsa_sdk_get_vcodec_id_compatible, find_v_codec_compat,
     {//  0  1  2  3  4  5  6  7  8  255
      {0, 1, 0, 0, 0, 0, 0, 0, 0, 0},
      {0, 0, 1, 1, 1, 0, 1, 0, 0, 0},
      {0, 1, 1, 1, 1, 0, 0, 0, 0, 0},
      {1, 1, 1, 1, 1, 1, 1, 0, 0, 0},
      {1, 1, 1, 1, 1, 1, 0, 0, 0, 0},
      {1, 1, 1, 1, 1, 1, 1, 0, 0, 0},
      {0, 1, 1, 1, 1, 0, 0, 0, 0, 0},
      {1, 1, 1, 1, 1, 1, 1, 0, 0, 0},
      {0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
      {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}}},
    // Audio: aac everywhere it has rows, pcm_alaw for sdv, mp2 for the mp4
    // types and 7; types 0, 2, 8, 9 have no rows; mp3 is never allowed.
    {"audio", tarsa_sdk_get_acodec_id_compatible, find_a_codec_compat,
     {//  0  1  2  3  4  5  6  7  8  255
      {0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
      {0, 0, 1, 1, 0, 0, 0, 0, 0, 0},
      {0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
      {1, 0, 1, 0, 0, 0, 0, 0, 0, 0},
      {1, 0, 1, 0, 0, 0, 0, 0, 0, 0},
      {0, 0, 1, 0, 0, 0, 0, 0, 0, 0},
      {0, 0, 1, 0, 0, 0, 0, 0, 0, 0},
      {1, 0, 1, 0, 0, 0, 0, 0, 0, 0},
      {0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
      {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}}},
};

// Per type 0..9: the video default, and the container.
const int kVideoDefault[] = {1, 2, 1, 1, 0, 1, 1, 0, 1, 1};
const int kContainer[] = {255, 0, 3, 4, 4, 8, 7, 255, 255, 255};

// The exports answer from the table; the codec to encode to is the wanted
// one where the table allows it, else the type's default (types without
// rows fall back to h264 and aac); a codec is compatible when it survives
// unchanged.
TEST_F(CodecCompat, EveryTypeAndCodec)
{
    for (const Kind &k : kKinds) {
        const bool video = k.exported == tarsa_sdk_get_vcodec_id_compatible;
        for (int type = 0; type < 10; type++) {
            const int fallback = video ? kVideoDefault[type] : 2;
            EXPECT_EQ((video ? get_default_v_codec : get_default_a_codec)(type), fallback) << "type " << type;
            for (int i = 0; i < 10; i++) {
                const int codec = kCodecIds[i], allowed = k.allowed[type][i];
                SCOPED_TRACE(std::string(k.name) + " type " + std::to_string(type) + " codec " + std::to_string(codec));
                EXPECT_EQ(k.exported(type, codec), allowed);
                EXPECT_EQ(k.find(type, codec), allowed ? codec : -1);
                const int chosen = (video ? get_compat_v_codec : get_compat_a_codec)(type, codec);
                EXPECT_EQ(chosen, allowed ? codec : fallback);
                EXPECT_EQ((video ? is_v_codec_compat : is_a_codec_compat)(type, codec), chosen == codec ? 1 : 0);
            }
        }
        EXPECT_EQ(k.exported(-1, 1), 0);
        EXPECT_EQ(k.exported(3, -1), 0);
    }
    for (int type = 0; type < 10; type++) EXPECT_EQ(get_f_fmt_by_dst_file_type(type), kContainer[type]) << type;
    EXPECT_EQ(get_f_fmt_by_dst_file_type(-1), 255);
    EXPECT_EQ(get_default_v_codec(-5), 1);
    EXPECT_EQ(get_compat_v_codec(-1, 6), 1);
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
    int a = -1, v = -1;  // wanted codecs, -1 not stored
    int ot_form = 0;     // watermark: 0 none, 1 ot, 2 ot_ex
};

opt_param *make_options(const Options &o)
{
    opt_param *p = opt_param_create();
    if (o.a >= 0) opt_param_set(p, OPT_PARAM_TYPE_A_CODEC_ID, &o.a, sizeof o.a);
    if (o.v >= 0) opt_param_set(p, OPT_PARAM_TYPE_V_CODEC_ID, &o.v, sizeof o.v);
    ot_ex mark = {};
    mark.row_num = 1;
    if (o.ot_form) opt_param_set(p, OPT_PARAM_TYPE_OT, &mark, o.ot_form == 1 ? sizeof(ot) : sizeof mark);
    return p;
}

void expect_info(const dst_codec_info &got, const dst_codec_info &want)
{
    EXPECT_EQ(got.v_copy, want.v_copy);
    EXPECT_EQ(got.a_copy, want.a_copy);
    EXPECT_EQ(got.v_codec_id, want.v_codec_id);
    EXPECT_EQ(got.a_codec_id, want.a_codec_id);
    EXPECT_EQ(got.f_fmt_id, want.f_fmt_id);
}

TEST_F(CodecCompat, DestinationChoiceByProbeNames)
{
    const Options none, hevc{-1, 6, 0}, same_v{-1, 1, 0}, mp2{0, -1, 0}, ot{-1, -1, 1}, ot_ex{-1, -1, 2},
        unknown{42, 42, 0};
    const struct {
        const char *what;
        const char *f_fmt, *a_fmt, *v_fmt;
        int kind, dst_file_type;
        uint32_t width, height;
        Options opt;
        dst_codec_info expected;  // v_copy, a_copy, v_codec_id, a_codec_id, f_fmt_id
    } cases[] = {
        {"mp4 to mp4: same container copies both", "mp4", "aac", "h264", 0, 3, 0, 0, none, {1, 1, 1, 2, 4}},
        {"mp4 to type 4 (also mp4)", "mp4", "aac", "h264", 0, 4, 0, 0, none, {1, 1, 1, 2, 4}},
        {"mp4 to flv: aac re-encoded", "mp4", "aac", "h264", 0, 6, 0, 0, none, {1, 0, 1, 2, 7}},
        {"cut behaves as conversion", "mp4", "aac", "h264", 1, 3, 0, 0, none, {1, 1, 1, 2, 4}},
        {"resize rules out copy", "mp4", "aac", "h264", 0, 3, 640, 480, none, {0, 0, 1, 2, 4}},
        {"one size of zero is no resize", "mp4", "aac", "h264", 0, 3, 640, 0, none, {1, 1, 1, 2, 4}},
        {"watermark (ot) rules out copy", "mp4", "aac", "h264", 0, 3, 0, 0, ot, {0, 0, 1, 2, 4}},
        {"watermark (ot_ex) rules out copy", "mp4", "aac", "h264", 0, 3, 0, 0, ot_ex, {0, 0, 1, 2, 4}},
        {"wanted hevc, same container", "mp4", "aac", "h264", 0, 3, 0, 0, hevc, {0, 1, 6, 2, 4}},
        {"wanted hevc for flv", "mp4", "aac", "h264", 0, 6, 0, 0, hevc, {0, 0, 1, 2, 7}},
        {"wanted the source's own codec", "mp4", "aac", "h264", 0, 6, 0, 0, same_v, {1, 0, 1, 2, 7}},
        {"wanted mp2 audio", "mp4", "aac", "h264", 0, 3, 0, 0, mp2, {1, 0, 1, 0, 4}},
        {"wanted codecs are not validated", "mp4", "aac", "h264", 0, 3, 0, 0, unknown, {0, 0, 1, 2, 4}},
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
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        opt_param *p = make_options(c.opt);
        dst_codec_info got = {-7, -7, -7, -7, -7};
        ASSERT_EQ(get_dst_file_codec_id_by_fmt(c.f_fmt, c.a_fmt, c.v_fmt, c.kind, c.dst_file_type, c.width, c.height,
                                               p, &got),
                  1);
        expect_info(got, c.expected);
        opt_param_destroy(p);
    }
}

// By identifiers: a merge (kind 2) never takes the same-container rule, and
// an empty option list counts as none.
TEST_F(CodecCompat, DestinationChoiceByIdentifiers)
{
    opt_param *empty = opt_param_create();
    const struct {
        const char *what;
        int f_fmt, a_fmt, v_fmt, kind, dst_file_type;
        opt_param *options;
        dst_codec_info expected;
    } cases[] = {
        {"merge mp4 to mp4", 4, 2, 1, 2, 3, nullptr, {1, 0, 1, 2, 4}},
        {"merge mp2 into mp4: copied", 4, 0, 1, 2, 3, nullptr, {1, 1, 1, 0, 4}},
        {"merge hevc to flv", 4, 0, 6, 2, 6, nullptr, {0, 0, 1, 2, 7}},
        {"empty option list", 6, 0, 3, 0, 4, empty, {1, 1, 3, 0, 4}},
        {"no option list", 6, 0, 3, 0, 4, nullptr, {1, 1, 3, 0, 4}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        dst_codec_info got = {};
        ASSERT_EQ(get_dst_file_codec_id(c.f_fmt, c.a_fmt, c.v_fmt, c.kind, c.dst_file_type, 0, 0, c.options, &got), 1);
        expect_info(got, c.expected);
    }
    opt_param_destroy(empty);
}

TEST_F(CodecCompat, MissingNamesWriteNothing)
{
    dst_codec_info got = {-7, -7, -7, -7, -7};
    EXPECT_EQ(get_dst_file_codec_id_by_fmt(nullptr, "aac", "h264", 0, 3, 0, 0, nullptr, &got), 0);
    EXPECT_EQ(get_dst_file_codec_id_by_fmt("mp4", "aac", nullptr, 0, 3, 0, 0, nullptr, &got), 0);
    expect_info(got, {-7, -7, -7, -7, -7});
}

}  // namespace
