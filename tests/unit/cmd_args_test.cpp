// Exact argument lists the tools receive (P, SRC, DST: tool, source, destination; WM: watermark
// filter), then the watermark's line break and colour; the hardware codec choice
// and its command fragments, the trial decode's rules, the VA-API driver check; the tool layer's
// rules that need no process: how the library's arguments become the stock program's, and how
// status lines get line breaks.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "ffshim_args.h"
#include "hwd_fixture.h"
#include "line_breaks.h"
#include "probe_report.h"
#include "log_capture.h"
#include "media/cmd_fragments.h"
#include "media/codec_compat.h"
#include "media/cut_cmd.h"
#include "media/cvt_cmd.h"
#include "media/fmt_table.h"
#include "media/hwd.h"
#include "media/merge_cmd.h"
#include "media/query_cmd.h"
#include "media/watermark.h"
#include "tarsasdk.h"
#include "test_util.h"

namespace {

using Args = std::vector<std::string>;

const char kSoftH264High[] = " -c:v libx264 -profile:v high ";  // as the hardware choice writes it
const char kNvenc[] = "-c:v h264_nvenc -profile:v high";
const char kVaapiPre[] = "-vaapi_device /dev/dri/renderD128";
const char kVaapi[] = "-vf 'format=nv12,hwupload' -c:v h264_vaapi -profile:v high";
const char kWm[] = "drawtext=fontfile=tf.ttf:text='TARSA':x=w*0/2+0:y=h*0/1+5:fontcolor=white:fontsize=24:"
                   "alpha=0.800000:angle=0,drawtext=fontfile=tf.ttf:text='TARSA':x=w*1/2+0:y=h*0/1+5:"
                   "fontcolor=white:fontsize=24:alpha=0.800000:angle=0";

// An MP4 source with H.264 High and AAC, re-encoded into MP4 in software.
job_desc base()
{
    job_desc d;
    d.tool_path = "/opt/tarsa/ffmpeg", d.src_file = "/in/my \"clip\" 1.mp4", d.dst_file = "/out/dst.mp4";
    d.dst = {0, 0, V_FMT_H264_HIGH, A_FMT_AAC, F_FMT_MP4};
    d.src_f_fmt = "mov", d.src_v_fmt = "h264 (High)", d.hwd.encoder = kSoftH264High, d.quality = 23;
    return d;
}

Args expand(const std::string &words, const job_desc &d)
{
    Args args;
    append_words(args, words);
    for (std::string &a : args)
        a = a == "P" ? d.tool_path : a == "SRC" ? d.src_file : a == "DST" ? d.dst_file : a == "WM" ? kWm : a;
    return args;
}

TEST(CmdArgs, EveryCommandGetsExactlyItsArguments)
{
    init_fmt_table();
    const struct {
        const char *name;
        std::function<Args(job_desc &)> build;
        const char *expected;
    } rows[] = {
        // Conversion: P PRE DEC -i SRC <option block> -y DST.
        {"cvt copy, Annex B filter, encoder options ignored",
         [](job_desc &d) { d.dst.v_copy = 1; d.annexb = true; d.threads = 4; d.ppid = 99; return get_cvt_cmd(d); },
         "P -i SRC -c:v copy -bsf:v h264_mp4toannexb -c:a libfdk_aac -movflags faststart -f mp4 -y DST"},
        {"cvt encode with every option, faststart off", [](job_desc &d) {
             d.threads = 4; d.preset = "fast"; d.frame_num = 50; d.ppid = 1234; d.faststart = false; d.dst.a_copy = 1;
             return get_cvt_cmd(d); },
         "P -i SRC -threads 4 -preset fast -keyint_min 50 -g 50 -sc_threshold 0 -ppid 1234 -c:v libx264 "
         "-profile:v high -q:v 23 -c:a copy -f mp4 -y DST"},
        {"cvt NVENC takes quality 25 as 5, flv", [](job_desc &d) {
             d.hwd = {"", "-c:v h264_cuvid", kNvenc}; d.quality = video_quality(kNvenc, 25); d.dst.f_fmt_id = F_FMT_FLV;
             return get_cvt_cmd(d); },
         "P -c:v h264_cuvid -i SRC -c:v h264_nvenc -profile:v high -q:v 5 -c:a libfdk_aac -f flv -y DST"},
        {"cvt VA-API", [](job_desc &d) { d.hwd = {kVaapiPre, "-c:v h264_vaapi", kVaapi}; return get_cvt_cmd(d); },
         "P -vaapi_device /dev/dri/renderD128 -c:v h264_vaapi -i SRC -vf 'format=nv12,hwupload' -c:v h264_vaapi "
         "-profile:v high -q:v 23 -c:a libfdk_aac -movflags faststart -f mp4 -y DST"},
        {"cvt watermark grid 1x2, resized, no audio, format left to the tool", [](job_desc &d) {
             ot_ex mark = {};
             mark.row_num = 1; mark.col_num = 2; mark.font_size = 24; mark.transparency = 20; mark.y_offset = 5;
             std::strcpy(mark.font_color, "white"); std::strcpy(mark.text, "TARSA");
             d.watermark = mark; d.width = 640; d.height = 360; d.audio_enable = false; d.dst.f_fmt_id = 255;
             return get_cvt_cmd(d); },
         "P -i SRC -vf WM -c:v libx264 -profile:v high -q:v 23 -an -s 640*360 -y DST"},
        // Cut: templates by container (A none, B mp4 with faststart, C other) and video (1 copy from
        // a mov source, 2 copy, 3 encode).
        {"cut B1", [](job_desc &d) { d.dst.v_copy = 1; d.start_time = 65; d.cut_length = 10; return get_cut_cmd(d); },
         "P -accurate_seek -ss 65.0 -i SRC -t 10 -c:v copy -avoid_negative_ts 1 -c:a libfdk_aac -movflags faststart "
         "-f mp4 -y DST"},
        {"cut C1", [](job_desc &d) { d.dst.v_copy = 1; d.faststart = false; d.cut_length = 10; return get_cut_cmd(d); },
         "P -accurate_seek -ss 0.0 -i SRC -t 10 -c:v copy -avoid_negative_ts 1 -c:a libfdk_aac -y DST"},
        {"cut A2, flv from 0",
         [](job_desc &d) { d.src_f_fmt = "flv"; d.dst = {1, 1, 1, 2, 255}; d.cut_length = 7; return get_cut_cmd(d); },
         "P -ss 0.1 -accurate_seek -i SRC -accurate_seek -t 7 -c:v copy -c:a copy -y DST"},
        {"cut C2, no audio", [](job_desc &d) {
             d.src_f_fmt = "mpegts"; d.dst.v_copy = 1; d.dst.f_fmt_id = F_FMT_FLV; d.audio_enable = false;
             d.start_time = 3; d.cut_length = 5; return get_cut_cmd(d); },
         "P -accurate_seek -ss 3.0 -t 5 -i SRC -c:v copy -avoid_negative_ts 1 -an -y DST"},
        {"cut A3, no decoder fragment", [](job_desc &d) {
             d.hwd = {kVaapiPre, "-c:v h264_vaapi", kVaapi}; d.dst.f_fmt_id = 255; d.width = 640; d.height = 360;
             d.cut_length = 9; return get_cut_cmd(d); },
         "P -vaapi_device /dev/dri/renderD128 -ss 0.0 -t 9 -i SRC -vf 'format=nv12,hwupload' -c:v h264_vaapi "
         "-profile:v high -q:v 23 -c:a libfdk_aac -s 640*360 -y DST"},
        {"cut C3", [](job_desc &d) {
             d.hwd.decoder = "-c:v h264_cuvid"; d.dst.f_fmt_id = F_FMT_FLV; d.cut_length = 9; return get_cut_cmd(d); },
         "P -c:v h264_cuvid -ss 0.0 -t 9 -i SRC -c:v libx264 -profile:v high -q:v 23 -c:a libfdk_aac -f flv -y DST"},
        // Merge: P PRE DEC -i SRC V A R -y DST into a temporary, and the join's five templates.
        {"merge temporary, A-law becomes AAC", [](job_desc &d) {
             d.dst = merge_codecs({0, 1, 1, 3, 4}, true); d.width = 320; d.height = 240;
             d.hwd.encoder = " -c:v libx264 "; return get_merge_tmp_cmd(d); },
         "P -i SRC -c:v libx264 -q:v 23 -c:a libfdk_aac -s 320*240 -y DST"},
        {"merge temporary, HEVC copy", [](job_desc &d) {
             d.dst = {1, 1, 6, 2, 4}; d.src_v_fmt = "hevc"; d.annexb = true; return get_merge_tmp_cmd(d); },
         "P -i SRC -c:v copy -bsf:v hevc_mp4toannexb -c:a copy -y DST"},
        {"merge temporary fitted into the first source's size, VA-API", [](job_desc &d) {
             d.fit_width = 160; d.fit_height = 120; d.hwd = {kVaapiPre, "", kVaapi}; return get_merge_tmp_cmd(d); },
         "P -vaapi_device /dev/dri/renderD128 -i SRC -vf scale=160:120:force_original_aspect_ratio=decrease,"
         "pad=160:120:(ow-iw)/2:(oh-ih)/2,'format=nv12,hwupload' -c:v h264_vaapi -profile:v high -q:v 23 "
         "-c:a libfdk_aac -y DST"},
        {"merge temporary fitted, software", [](job_desc &d) {
             d.fit_width = 160; d.fit_height = 120; return get_merge_tmp_cmd(d); },
         "P -i SRC -c:v libx264 -profile:v high -q:v 23 -c:a libfdk_aac "
         "-vf scale=160:120:force_original_aspect_ratio=decrease,pad=160:120:(ow-iw)/2:(oh-ih)/2 -y DST"},
        {"join, format by name", [](job_desc &d) { d.dst.f_fmt_id = 255; return get_merge_cmd(d, {"a", "b"}); },
         "P -i concat:a|b -c:v copy -y DST"},
        {"join into mp4, A-law became AAC",
         [](job_desc &d) { d.dst = merge_codecs({1, 1, 3, 3, 4}, true); return get_merge_cmd(d, {"a.ts", "b.ts"}); },
         "P -i concat:a.ts|b.ts -c:v copy -bsf:a aac_adtstoasc -c:a libfdk_aac -movflags faststart -f mp4 -y DST"},
        {"join into mp4, MP3", [](job_desc &d) { d.dst.a_codec_id = A_FMT_MP3; return get_merge_cmd(d, {"a"}); },
         "P -i concat:a -c copy -movflags faststart -f mp4 -y DST"},
        {"join into sdv, AAC",
         [](job_desc &d) { d.dst.f_fmt_id = F_FMT_SDV; d.dst_file = "/out/d.sdv"; return get_merge_cmd(d, {"a"}); },
         "P -i concat:a -c:v copy -bsf:a aac_adtstoasc -c:a libfdk_aac -ar 48000 -f sdv -y DST"},
        {"probe", [](job_desc &d) { return get_probe_cmd("/opt/ffprobe", d.src_file); }, "/opt/ffprobe -i SRC"},
    };
    for (const auto &row : rows) {
        job_desc d = base();
        const Args got = row.build(d);
        EXPECT_EQ(got, expand(row.expected, d)) << row.name;
    }
}

// What any text reads back as: the watermark fuzz target. Here how it is written: a line break stands as
// backslash, backslash, "n"; a colour that reads as one passes as written, anything else would reach the
// filter graph: white.
TEST(WatermarkText, LineBreakAndColour)
{
    const struct { const char *color, *text, *part; } rows[] = {
        {"white", "line1\nline2", "text='line1\\\\nline2'"}, {"#FF000080", "T", ":fontcolor=#FF000080:"},
        {"red@0.5", "T", ":fontcolor=red@0.5:"}, {"red:x=1", "T", ":fontcolor=white:"},
        {"re'd", "T", ":fontcolor=white:"}};
    ot_ex mark = {};
    mark.row_num = mark.col_num = 1;
    std::string graph;
    for (const auto &row : rows) {
        std::strcpy(mark.font_color, row.color), std::strcpy(mark.text, row.text);
        ASSERT_TRUE(watermark_filter(mark, &graph));
        EXPECT_NE(graph.find(row.part), std::string::npos) << graph;
    }
}

// The choice, then the fragments written from it. (A failed trial decode leaves the choice without its decoder,
// as for the "mpeg4" source here.)
TEST(HwdSelect, ChoiceAndFragments)
{
    init_fmt_table();
    tt::HwdStateGuard guard;
    const uint32_t AUTO = HWD_USAGE_AUTO, TYPE = HWD_USAGE_TYPE;
    // Detected devices as kind (0 NVIDIA, 1 Intel, 2 VA-API) and flags: decode h264, hevc, encode h264, hevc.
    const int NV = 1111, QSV = 11111, VA = 21111;
    struct Case { std::vector<int> detected; uint32_t mode; int job_kind; const char *v_fmt; int dst_v;
                  const char *pre, *dec, *enc; };
    const Case cases[] = {
        {{NV}, AUTO, -1, "h264 (High)", 3, "", "-c:v h264_cuvid", "-c:v h264_nvenc -profile:v high"},
        {{1100}, AUTO, -1, "h264", 1, "", "", " -c:v libx264 "},  // no encoder: no decoder either
        {{NV}, AUTO, -1, "mpeg4", 2, "", "", "-c:v h264_nvenc -profile:v baseline"},
        {{NV}, AUTO, -1, "h264", 0, "", "", " -c:v mpeg2video "},
        {{QSV}, AUTO, -1, "hevc (Main)", 1, "", "", "-c:v h264_qsv"},  // "hevc" matches whole only
        {{110}, AUTO, -1, "h264", 1, "", "", "-c:v h264_nvenc"},  // the flags of the other codec do not count
        {{QSV}, AUTO, -1, "hevc", 6, "", "-load_plugin hevc_hw -c:v hevc_qsv", "-c:v hevc_qsv -load_plugin hevc_hw"},
        {{VA}, AUTO, -1, "h264", 4, "-vaapi_device /dev/dri/renderD128", "-c:v h264_vaapi",
         "-vf 'format=nv12,hwupload' -c:v h264_vaapi -profile:v main"},
        // Several kinds: a pair with both codes wins, the first full pair ends the walk.
        {{10, QSV}, AUTO, -1, "h264", 1, "", "-c:v h264_qsv", "-c:v h264_qsv"},
        {{NV, QSV}, AUTO, -1, "h264", 1, "", "-c:v h264_cuvid", "-c:v h264_nvenc"},
        {{1000, 10010}, AUTO, -1, "h264", 1, "", "", "-c:v h264_qsv"},
        {{}, AUTO, -1, "h264", 1, "", "", " -c:v libx264 "},
        {{NV}, HWD_USAGE_NONE, -1, "h264", 3, "", "", " -c:v libx264 -profile:v high "},
        {{NV}, 7, -1, "h264", 1, "", "", " -c:v libx264 "},  // unknown mode: software
        {{NV}, TYPE, HWD_TYPE_NVIDIA, "hevc", 1, "", "-c:v hevc_cuvid", "-c:v h264_nvenc"},
        {{NV}, TYPE, HWD_TYPE_INTEL, "h264", 6, "", "", " -c:v libx265 "},  // that kind was not detected
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; i++) {
        const Case &c = cases[i];
        SCOPED_TRACE(testing::Message() << "case " << i);
        s_hwd_dev_info = {};
        for (int d : c.detected)
            s_hwd_dev_info.dev[s_hwd_dev_info.hwd_num++] = {d / 10000, {}, {d / 1000 % 10, d / 100 % 10}, {d / 10 % 10, d % 10}};
        std::strcpy(s_hwd_env[HWD_TYPE_VAAPI].driver_path, "/dev/dri/renderD128");
        probe_result src = {};
        std::strcpy(src.v_fmt, c.v_fmt);
        dst_codec_info dst = {0, 0, c.dst_v, 2, 4};
        hwd_info hwd = {5, 5, 5};
        ASSERT_EQ(get_cvt_hwd_type(c.mode, &dst, &src, c.job_kind, &hwd), 1);
        char pre[HWD_CMD_SIZE] = "", dec[HWD_CMD_SIZE] = "", enc[HWD_CMD_SIZE] = "";
        ASSERT_EQ(get_hwd_cmd(&hwd, &dst, pre, dec, enc), 1);
        EXPECT_EQ(std::vector<std::string>({pre, dec, enc}), std::vector<std::string>({c.pre, c.dec, c.enc}));
    }
}

TEST(HwdTrialRules, PacketBudgetAndVerdict)
{
    // The frame count is taken as 32 bits; none (or negative) gives 30 packets.
    const int64_t frames[][2] = {{0, 30}, {-1, 30}, {1, 1}, {250, 250}, {(int64_t(1) << 32) + 5, 5}, {0xffffffff, 30}};
    for (const auto &f : frames) EXPECT_EQ(get_hwd_trial_packet_budget(f[0]), f[1]) << f[0];
    // tries, packets, budget -> verdict: fewer than 30 tries and a key frame before the last two packets
    const int verdicts[][4] = {{1, 1, 30, 1}, {1, 28, 30, 1}, {1, 29, 30, 0}, {0, 30, 30, 0}, {29, 5, 30, 1},
                               {30, 5, 30, 0}, {1, 1, 2, 0},   {1, 1, 3, 1},   {1, 1, 1, 0}};
    for (const auto &v : verdicts)
        EXPECT_EQ(get_hwd_trial_verdict(v[0], v[1], v[2]), v[3]) << v[0] << "," << v[1] << "," << v[2];
}

// VA-API detection gets past its driver check only where a render node and a
// VA driver exist; both are faked here, since the test machine has neither.
TEST(HwdVaapi, DriverCheckFollowsRenderNodeAndDriverDirectory)
{
    tt::TempDir dir;
    const std::string node = dir.file("renderD128"), drivers = dir.file("dri"), empty = dir.file("empty");
    ASSERT_TRUE(tt::write_file(node, ""));
    std::filesystem::create_directories(drivers);
    std::filesystem::create_directories(empty);
    ASSERT_TRUE(tt::write_file(drivers + "/fake_drv_video.so", ""));
    const struct {
        std::string node, drivers;
        int found;
    } cases[] = {
        {node, drivers, 1},
        {dir.file("renderD129"), drivers, 0},  // no render node
        {node, empty, 0},                      // no VA driver
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.node + " " + c.drivers);
        tt::HwdStateGuard guard;
        tt::ScopedEnv device("TARSASDK_VAAPI_DEVICE", c.node), path("LIBVA_DRIVERS_PATH", c.drivers);
        tt::LogCapture log;
        EXPECT_EQ(set_hwd_env(HWD_TYPE_VAAPI), c.found);
        EXPECT_EQ(find_driver_exist(HWD_TYPE_VAAPI), c.found);
        EXPECT_EQ(std::string(s_hwd_env[HWD_TYPE_VAAPI].driver_path), c.found ? c.node : "");
        // Each kind's own driver file decides; a kind out of range has none.
        for (int kind : {HWD_TYPE_NVIDIA, HWD_TYPE_INTEL}) {
            std::strcpy(s_hwd_env[kind].driver_path, c.node.c_str());
            EXPECT_EQ(find_driver_exist(kind), c.node == node) << kind;
        }
        EXPECT_EQ(find_driver_exist(-1) + find_driver_exist(3), 0);
        hwd_dev dev = {};
        // A fake node opens no codec, so the log is the only sign the codec tests ran.
        EXPECT_EQ(try_open_hwd(HWD_TYPE_VAAPI, &dev), 0);
        EXPECT_EQ(log.contains("try hwd vaapi support"), c.found == 1);
    }
}

TEST(PlanArgs, GivesTheStockProgramWhatItTakes)
{
    // out {}: the arguments unchanged; notes: one note line per change or refused value
    const struct { Args in; bool has_fdk; Args out; pid_t owner; size_t notes; } cases[] = {
        {{"-i", "a", "b", "-ppid"}, false, {"-i", "a", "b"}, 0, 1},
        {{"-ppid", "12abc", "-i", "a", "b"}, false, {"-i", "a", "b"}, 0, 1},
        {{"-ppid", "-5", "-i", "a", "b"}, false, {"-i", "a", "b"}, 0, 1},
        {{"-ppid", "99999999999", "-i", "a", "b"}, false, {"-i", "a", "b"}, 0, 1},
        {{"-c:a", "libfdk_aac", "b"}, true, {}, 0, 0},
        {{"-i", "libfdk_aac.mp4", "-c:a", "libfdk_aac_he", "b"}, false, {}, 0, 0},
        // -accurate_seek is an input option: dropped only after the last input, not before one or as its name.
        {{"-i", "a", "-accurate_seek", "-i", "-accurate_seek", "o"}, false, {}, 0, 0},
        {{"-ppid", "9", "-ss", "1", "-accurate_seek", "-i", "in", "-accurate_seek", "-vf", "drawtext=text=a:angle=-15",
          "-c:a", "libfdk_aac", "o"}, false, {"-ss", "1", "-accurate_seek", "-i", "in", "-vf", "drawtext=text=a",
          "-c:a", "aac", "o"}, 9, 3},
        // The quality asked for with -q:v reaches x264 and x265 as -crf (wherever the codec is named); others keep it.
        {{"-i", "a", "-c:v", "libx264", "-q:v", "23", "b"}, false, {"-i", "a", "-c:v", "libx264", "-crf", "23", "b"}, 0, 1},
        {{"-q:v", "30", "-vcodec", "libx265", "b"}, false, {"-crf", "30", "-vcodec", "libx265", "b"}, 0, 1},
        {{"-c:v", "h264_nvenc", "-q:v", "5", "b"}, false, {}, 0, 0},
    };
    for (const auto &c : cases) {
        ffshim::StockFeatures stock;
        stock.has_libfdk_aac = c.has_fdk;
        const ffshim::ArgPlan plan = ffshim::plan_args(c.in, stock);
        EXPECT_EQ(plan.args, c.out.empty() ? c.in : c.out);
        EXPECT_EQ(plan.owner_pid, c.owner) << testing::PrintToString(c.in);
        EXPECT_EQ(plan.notes.size(), c.notes) << testing::PrintToString(c.in);
    }
}

TEST(DrawtextAngle, RemovesOnlyTheAngleOptionOfDrawtext)
{
    const struct { std::string in, out; Args angles; } cases[] = {
        {"drawtext=fontfile=tf.ttf:text='A':x=w*0/2+10:alpha=0.8:angle=30,drawtext=text='B':angle=0",
         "drawtext=fontfile=tf.ttf:text='A':x=w*0/2+10:alpha=0.8,drawtext=text='B'", {"30", "0"}},
        {"rotate=angle=30,drawtext=text=x:angle=-5:x=3", "rotate=angle=30,drawtext=text=x:x=3", {"-5"}},
        {"[0:v]scale=320:240[s];[s]drawtext=text=x:angle=10[out]", "[0:v]scale=320:240[s];[s]drawtext=text=x[out]",
         {"10"}},
        {"drawtext@wm='text=x:angle=12'", "drawtext@wm='text=x'", {"12"}},
        // Not an integer, or not the option: left for the stock program.
        {"drawtext=text=x:angle=0.5:angles=3", "drawtext=text=x:angle=0.5:angles=3", {}},
        {"drawtext=text='a\\:angle=5':x=1", "drawtext=text='a\\:angle=5':x=1", {}},
        {"drawtext=text=a\\:angle=5", "drawtext=text=a", {"5"}},  // escaped for the graph only
    };
    for (const auto &c : cases) {
        Args angles;
        EXPECT_EQ(ffshim::strip_drawtext_angles(c.in, angles), c.out) << c.in;
        EXPECT_EQ(angles, c.angles) << c.in;
    }
}

// Each chunk fed and what must come out for it at once.
TEST(LineBreaks, LoneCrBecomesLfAndCrLfStaysOne)
{
    ffshim::LineBreakFilter filter;
    EXPECT_EQ(filter.feed("a\rb\r", 4), "a\nb\n");
    EXPECT_EQ(filter.feed("\n\0\r\n\nc", 6), std::string("\0\n\nc", 4));
}

// What a probe report tells of the first video stream's framing: 1 length prefixes, 0 start codes or no
// video, -1 only the packets can tell (no input or video, HEVC in MP4: the probe's integration test).
TEST(ProbeReport, FramingFromTheReportWhereItCanTell)
{
    const std::string mp4 = "Input #0, mov,mp4,m4a,3gp,3g2,mj2, from 'a.mp4':\n  Duration: 00:00:03.00\n";
    const std::string ts = "Input #0, mpegts, from 'a.ts':\n";
    const std::string avc1 = "  Stream #0:1[0x1](und): Video: h264 (High) (avc1 / 0x31637661), yuv420p, 320x240\n";
    const std::string audio = "  Stream #0:0[0x2](und): Audio: aac (LC) (mp4a / 0x6134706D), 48000 Hz\n";
    const struct { std::string report; int expected; } cases[] = {
        {mp4 + audio + avc1, 1},
        {mp4 + "  Stream #0:0: Video: mpeg4 (Simple Profile) (mp4v / 0x7634706D), yuv420p\n", 0},
        {ts + "  Program 1\n    Stream #0:1[0x101]: Video: h264 (High) ([27][0][0][0] / 0x001B), yuv420p\n", 0},
        {"Input #0, h264, from 'a.h264':\n  Stream #0:0: Video: h264 (High), yuv420p\n", 0},
        {"Input #0, mp3, from 'a.mp3':\n  Stream #0:1: Video: mjpeg (Baseline), yuvj420p (attached pic)\n", -1},
        // The lowest index counts, in whatever order the streams are listed.
        {ts + "  Stream #0:2: Video: h264 (avc1 / 0x31637661)\n  Stream #0:1: Video: mpeg2video (Main)\n", 0},
        // Metadata text is indented deeper; a stream head that does not read as one leaves it open.
        {ts + "    title           : x\n      Stream #0:0: Video: h264 (avc1 / 0x31637661)\n", 0},
        {mp4 + "  Stream #0:0(a b): Video: mpeg4\n", -1},
    };
    for (const auto &c : cases) {
        ffshim::ProbeReport report;
        for (size_t at = 0; at < c.report.size(); at += 7) report.feed(c.report.substr(at, 7));  // split lines too
        EXPECT_EQ(report.length_prefixed(), c.expected) << c.report;
    }
}

}  // namespace
