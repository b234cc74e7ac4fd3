// The cut command line: which of the nine templates a cut gets, and the
// exact text of each.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "media/cmd_buffer.h"
#include "media/cut_cmd.h"
#include "media/fmt_table.h"
#include "hwd_fixture.h"
#include "log_capture.h"
#include "job/job_records.h"
#include "test_util.h"

namespace {

const char kTool[] = "/opt/tarsa/";  // so the program is "/opt/tarsa/ffmpeg"

struct Source {
    const char *f_fmt;
    const char *v_fmt;
    uint32_t h2645_mp4toannexb;
};
const Source kMov = {"mov", "h264 (High)", 1};
const Source kMovPlain = {"mov", "h264 (High)", 0};
const Source kTs = {"mpegts", "h264 (Main)", 0};
const Source kFlv = {"flv", "h264", 0};

// A started cut as the start leaves it before the command is built:
// software only (usage_mode 1), destination choice given.
struct CutRecord {
    std::unique_ptr<cut_info> info{new cut_info()};

    CutRecord(const Source &src, dst_codec_info chosen, int start_time = 65, uint32_t audio_enable = 1)
    {
        info->kind = TARSA_JOB_CUT;
        info->cut_param = {3, 0, 0, start_time, 10, 0, audio_enable, 5};
        std::strcpy(info->result.f_fmt, src.f_fmt);
        std::strcpy(info->result.v_fmt, src.v_fmt);
        std::strcpy(info->result.a_fmt, "aac");
        info->result.duration = 120;
        std::strcpy(info->src_file, "/media/in.mp4");
        std::strcpy(info->dst_file, "/out/cut.mp4");
        info->dst_codec_info = chosen;
        info->h2645_mp4toannexb = src.h2645_mp4toannexb;
        info->opt_param = opt_param_create();
        info->usage_mode = HWD_USAGE_NONE;
        info->hwd_type = -1;
    }
    ~CutRecord() { opt_param_destroy(info->opt_param); }

    void set_faststart(int32_t on) { opt_param_set(info->opt_param, OPT_PARAM_TYPE_MOVFLAGS_FASTSTART, &on, 4); }
    std::string build(int *result = nullptr)
    {
        cmd_buffer cmd = make_cmd_buffer();
        int r = get_cut_cmd(info.get(), cmd.get());
        if (result) *result = r;
        return r == 1 ? std::string(cmd.get()) : "(result " + std::to_string(r) + ")";
    }
};

// dst_codec_info: v_copy, a_copy, v_codec_id (1 h264), a_codec_id (2 aac), f_fmt_id.
dst_codec_info chosen(int v_copy, int a_copy, int f_fmt_id) { return {v_copy, a_copy, 1, 2, f_fmt_id}; }

class CutCmd : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static std::once_flag once;
        std::call_once(once, [] { init_fmt_table(); });
    }
    void SetUp() override { set_ff_path(kTool); }
    void TearDown() override { set_ff_path(s_module_path); }
};

// ---- the nine templates, each for a cut that selects it

struct TemplateCase {
    const char *name;
    Source source;
    dst_codec_info dst;
    int faststart;  // -1: option 7 not stored
    int start_time;
    uint32_t width, height;
    const char *expected;
};

const TemplateCase kTemplates[] = {
    // Group A: the destination type names no container ("default").
    {"A1_copy_from_mov", kMovPlain, chosen(1, 1, 255), -1, 65, 0, 0,
     "\"/opt/tarsa/ffmpeg\" -accurate_seek -ss 65.0 -i \"/media/in.mp4\" -t 10 -c:v copy  -avoid_negative_ts 1 "
     "-c:a copy  -y \"/out/cut.mp4\" "},
    {"A2_copy_other", kTs, chosen(1, 1, 255), -1, 0, 0, 0,
     "\"/opt/tarsa/ffmpeg\" -ss 0.0 -accurate_seek -i \"/media/in.mp4\" -accurate_seek -t 10 -c:v copy  -c:a copy  "
     "-y \"/out/cut.mp4\" "},
    {"A3_encode", kMov, chosen(0, 0, 255), -1, 65, 640, 360,
     "\"/opt/tarsa/ffmpeg\"  -ss 65.0 -t 10 -i \"/media/in.mp4\"  -c:v libx264  -q:v 5 -c:a libfdk_aac  -s 640*360 "
     "-y \"/out/cut.mp4\" "},
    // Group B: "mp4" with faststart (option 7 absent counts as on).
    {"B1_copy_from_mov", kMov, chosen(1, 0, 4), -1, 0, 0, 0,
     "\"/opt/tarsa/ffmpeg\" -accurate_seek  -ss 0.0 -i \"/media/in.mp4\" -t 10 -c:v copy -bsf:v h264_mp4toannexb  "
     "-avoid_negative_ts 1 -c:a libfdk_aac   -movflags faststart -f mp4 -y \"/out/cut.mp4\" "},
    {"B2_copy_other", kFlv, chosen(1, 1, 4), 1, 0, 0, 0,
     "\"/opt/tarsa/ffmpeg\" -accurate_seek -ss 0.1 -t 10 -i \"/media/in.mp4\" -c:v copy  -avoid_negative_ts 1 "
     "-c:a copy  -movflags faststart -f mp4 -y \"/out/cut.mp4\" "},
    {"B3_encode", kMov, chosen(0, 1, 4), -1, 65, 0, 0,
     "\"/opt/tarsa/ffmpeg\"   -ss 65.0 -t 10 -i \"/media/in.mp4\"  -c:v libx264  -q:v 5 -c:a copy  -movflags "
     "faststart -f mp4 -y \"/out/cut.mp4\" "},
    // Group C: another container, or "mp4" with option 7 stored as 0.
    {"C1_copy_from_mov", kMovPlain, chosen(1, 1, 4), 0, 65, 0, 0,
     "\"/opt/tarsa/ffmpeg\" -accurate_seek  -ss 65.0 -i \"/media/in.mp4\" -t 10 -c:v copy  -avoid_negative_ts 1 "
     "-c:a copy  -y \"/out/cut.mp4\" "},
    {"C2_copy_other", kTs, chosen(1, 1, 7), -1, 65, 0, 0,
     "\"/opt/tarsa/ffmpeg\" -accurate_seek -ss 65.0 -t 10 -i \"/media/in.mp4\" -c:v copy  -avoid_negative_ts 1 "
     "-c:a copy  -y \"/out/cut.mp4\" "},
    {"C3_encode", kTs, chosen(0, 0, 8), -1, 65, 0, 0,
     "\"/opt/tarsa/ffmpeg\"   -ss 65.0 -t 10 -i \"/media/in.mp4\"  -c:v libx264  -q:v 5 -c:a libfdk_aac   -f avi "
     "-y \"/out/cut.mp4\" "},
    {"C3_encode_mp4_without_faststart", kMov, chosen(0, 1, 4), 0, 65, 0, 0,
     "\"/opt/tarsa/ffmpeg\"   -ss 65.0 -t 10 -i \"/media/in.mp4\"  -c:v libx264  -q:v 5 -c:a copy  -f mp4 "
     "-y \"/out/cut.mp4\" "},
};

TEST_F(CutCmd, EachTemplateIsBuiltExactlyAndLoggedPlain)
{
    for (const TemplateCase &c : kTemplates) {
        SCOPED_TRACE(c.name);
        CutRecord cut(c.source, c.dst, c.start_time);
        cut.info->cut_param.width = c.width;
        cut.info->cut_param.height = c.height;
        if (c.faststart >= 0) cut.set_faststart(c.faststart);
        tt::LogCapture log;
        int result = 0;
        EXPECT_EQ(cut.build(&result), c.expected);
        EXPECT_EQ(result, 1);
        // The line goes to the log as it is, without level or position.
        EXPECT_TRUE(log.has_line(c.expected));
    }
}

// ---- pieces of the line

// The copied-video and audio fragments are the conversion's (see its tests).
TEST_F(CutCmd, SeekHasOneDecimalAndAnFlvSourceNeverStartsAtZero)
{
    const struct {
        const char *what;
        Source source;
        dst_codec_info dst;
        int start_time;
        const char *fragment;
    } cases[] = {
        {"flv from 0", kFlv, chosen(1, 1, 7), 0, "-ss 0.1 "},
        {"flv encoded from 0", kFlv, chosen(0, 1, 7), 0, "-ss 0.1 "},
        {"flv from 65", kFlv, chosen(1, 1, 7), 65, "-ss 65.0 "},
        {"ts from 0", kTs, chosen(0, 1, 7), 0, "-ss 0.0 "},
        {"mov from 0", kMov, chosen(1, 1, 7), 0, "-ss 0.0 "},
        {"ts from 7", kTs, chosen(1, 1, 7), 7, "-ss 7.0 "},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        CutRecord cut(c.source, c.dst, c.start_time);
        EXPECT_NE(cut.build().find(c.fragment), std::string::npos) << cut.build();
    }
}

TEST_F(CutCmd, DroppedAudioIsDashAnInEveryTemplate)
{
    for (const TemplateCase &c : kTemplates) {
        for (int a_copy : {0, 1}) {
            SCOPED_TRACE(std::string(c.name) + (a_copy ? " audio copyable" : ""));
            dst_codec_info dst = c.dst;
            dst.a_copy = a_copy;
            CutRecord cut(c.source, dst, c.start_time, 0);
            if (c.faststart >= 0) cut.set_faststart(c.faststart);
            const std::string cmd = cut.build();
            EXPECT_NE(cmd.find(" -an "), std::string::npos) << cmd;
            EXPECT_EQ(cmd.find("-c:a"), std::string::npos) << cmd;
        }
    }
}

// The NVIDIA encoder takes the quality's signed remainder of division by
// 10 and keeps it for later builds; the software encoder keeps any quality.
TEST_F(CutCmd, EncoderQuality)
{
    tt::HwdStateGuard guard;
    tt::set_detected({tt::make_hwd_dev(HWD_TYPE_NVIDIA, 1, 1, 1, 1)});
    const struct {
        bool nvidia;
        int quality, kept;
    } cases[] = {{true, 25, 5}, {true, 7, 7}, {true, -23, -3}, {false, 25, 25}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << (c.nvidia ? "nvenc " : "libx264 ") << c.quality);
        CutRecord cut(kMov, chosen(0, 1, 255));
        if (c.nvidia) {
            cut.info->usage_mode = HWD_USAGE_TYPE;
            cut.info->hwd_type = HWD_TYPE_NVIDIA;
        }
        cut.info->cut_param.quality = c.quality;
        // The source cannot be opened, so no hardware decoder is used.
        EXPECT_EQ(cut.build(), std::string("\"/opt/tarsa/ffmpeg\"  -ss 65.0 -t 10 -i \"/media/in.mp4\" ") +
                                   (c.nvidia ? "-c:v h264_nvenc" : " -c:v libx264 ") + " -q:v " +
                                   std::to_string(c.kept) + " -c:a copy  -y \"/out/cut.mp4\" ");
        EXPECT_EQ(cut.info->cut_param.quality, c.kept);
    }
}

}  // namespace
