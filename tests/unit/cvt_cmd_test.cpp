// The conversion command line, built from a job record whose destination
// choice is set by hand: stream copy, re-encoding with its options, the
// watermark grid and its text escaping, audio, size and format, and the
// quality rule of the NVIDIA encoder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "media/cmd_buffer.h"
#include "media/cvt_cmd.h"
#include "media/fmt_table.h"
#include "hwd_fixture.h"
#include "log_capture.h"
#include "media/opt_param.h"
#include "job/job_records.h"
#include "core/globals.h"
#include "tarsasdk.h"

namespace {

const char kSrc[] = "/media/in/src.mp4";
const char kDst[] = "/media/out/dst.mp4";

// The outer template around an option block.
std::string line_with(const std::string &block, const std::string &dst = kDst)
{
    return std::string("\"/opt/tarsa/ffmpeg\"   -i \"") + kSrc + "\" " + block + " -y \"" + dst + "\" ";
}

const std::string kSoftwareH264High = "  -c:v libx264 -profile:v high  -q:v 23 ";
const std::string kAacReencoded = " -c:a libfdk_aac  ";
const std::string kFaststartMp4 = " -movflags faststart -f mp4";
const std::string kReencodedTail = kAacReencoded + kFaststartMp4;

std::string ppid_text() { return "-ppid " + std::to_string(getpid()) + " "; }

ot_ex watermark(int rows, int cols, const char *text)
{
    ot_ex mark = {};
    mark.row_num = rows;
    mark.col_num = cols;
    mark.font_size = 24;
    str_copy(mark.font_color, sizeof mark.font_color, "white");
    str_copy(mark.text, sizeof mark.text, text);
    return mark;
}

std::string entry(const std::string &text, const std::string &x, const std::string &y, const char *color,
                  int font_size, const char *alpha, int angle)
{
    return "drawtext=\"fontfile=tf.ttf:text='" + text + "':x=" + x + ":y=" + y + ":fontcolor=" + color +
           ":fontsize=" + std::to_string(font_size) + ":alpha=" + alpha + ":angle=" + std::to_string(angle) + "\"";
}

class CvtCmd : public ::testing::Test {
protected:
    void SetUp() override
    {
        static std::once_flag once;
        std::call_once(once, [] { init_fmt_table(); });
        set_ff_path("/opt/tarsa/");
        reset();
    }
    void TearDown() override
    {
        opt_param_destroy(info_->opt_param);
        set_ff_path(s_module_path);
    }

    // A re-encode of an MP4 source with H.264 High and AAC into MP4.
    void reset()
    {
        if (info_) opt_param_destroy(info_->opt_param);
        info_.reset(new cvt_info());
        info_->kind = TARSA_JOB_CONVERT;
        str_copy(info_->src_file, sizeof info_->src_file, kSrc);
        str_copy(info_->dst_file, sizeof info_->dst_file, kDst);
        info_->cvt_param = {3, 0, 0, 1, 23};
        info_->result.duration = 10;
        str_copy(info_->result.f_fmt, sizeof info_->result.f_fmt, "mov");
        str_copy(info_->result.v_fmt, sizeof info_->result.v_fmt, "h264 (High)");
        str_copy(info_->result.a_fmt, sizeof info_->result.a_fmt, "aac");
        info_->usage_mode = HWD_USAGE_NONE;
        info_->hwd_type = -1;
        info_->opt_param = opt_param_create();
        dest(0, 0, V_FMT_H264_HIGH, A_FMT_AAC, F_FMT_MP4);
    }
    void dest(int v_copy, int a_copy, int v_codec_id, int a_codec_id, int f_fmt_id)
    {
        info_->dst_codec_info = {v_copy, a_copy, v_codec_id, a_codec_id, f_fmt_id};
    }
    void set(uint32_t id, const void *data, int32_t size)
    {
        ASSERT_EQ(opt_param_set(info_->opt_param, id, data, size), 1);
    }
    void set_int(uint32_t id, int32_t value) { set(id, &value, sizeof value); }
    void set_mark(const ot_ex &mark) { set(OPT_PARAM_TYPE_OT, &mark, sizeof mark); }
    void set_encoder_options()
    {
        set_int(OPT_PARAM_TYPE_THREAD_NUM, 4);
        set(OPT_PARAM_TYPE_PRESET, "fast", 5);
        set_int(OPT_PARAM_TYPE_FRAME_NUM, 50);
        set(OPT_PARAM_TYPE_IAUTO, nullptr, 0);
    }

    // Builds the line; every line ends with a blank and the empty suffix,
    // and its option block never ends with a blank.
    std::string build()
    {
        cmd_buffer cmd = make_cmd_buffer();
        EXPECT_EQ(get_cvt_cmd(info_.get(), cmd.get()), 1);
        const std::string line(cmd.get());
        const std::string tail = std::string(" -y \"") + info_->dst_file + "\" ";
        EXPECT_GT(line.size(), tail.size());
        if (line.size() > tail.size()) {
            EXPECT_EQ(line.substr(line.size() - tail.size()), tail);
            EXPECT_NE(line[line.size() - tail.size() - 1], ' ') << line;
        }
        return line;
    }

    std::unique_ptr<cvt_info> info_;
};

// Copied video ignores every encoder option and the watermark.
TEST_F(CvtCmd, StreamCopy)
{
    const struct {
        const char *v_fmt;
        uint32_t h2645_mp4toannexb;
        const char *video;
    } cases[] = {
        {"h264 (High)", 1, "-c:v copy -bsf:v h264_mp4toannexb "},
        {"h264", 1, "-c:v copy -bsf:v h264_mp4toannexb "},
        {"hevc", 1, "-c:v copy -bsf:v hevc_mp4toannexb "},
        {"h264 (High)", 0, "-c:v copy "},  // already annex B
        {"mpeg4", 1, "-c:v copy "},        // other codecs are never filtered
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.v_fmt << " flag " << c.h2645_mp4toannexb);
        reset();
        dest(1, 1, V_FMT_H264_HIGH, A_FMT_AAC, F_FMT_MP4);
        str_copy(info_->result.v_fmt, sizeof info_->result.v_fmt, c.v_fmt);
        info_->h2645_mp4toannexb = c.h2645_mp4toannexb;
        set_encoder_options();
        set_mark(watermark(1, 1, "TARSA"));
        EXPECT_EQ(build(), line_with(std::string(c.video) + " -c:a copy " + kFaststartMp4));
    }
}

TEST_F(CvtCmd, ReencodingWithItsOptions)
{
    const std::string preset(120, 'p');
    const struct {
        const char *what;
        std::function<void()> setup;
        std::string block;
    } cases[] = {
        {"no options", [] {}, kSoftwareH264High + kReencodedTail},
        {"options in their order", [&] { set_encoder_options(); },
         "-threads 4 -preset fast -keyint_min 50 -g 50 -sc_threshold 0 " + ppid_text() + kSoftwareH264High +
             kReencodedTail},
        {"owner option counts by presence whatever its value", [&] { set_int(OPT_PARAM_TYPE_IAUTO, 0); },
         ppid_text() + kSoftwareH264High + kReencodedTail},
        {"overlong preset is not read", [&] { set(OPT_PARAM_TYPE_PRESET, preset.c_str(), 121); },
         kSoftwareH264High + kReencodedTail},
        {"resize adds the size",
         [&] {
             info_->cvt_param.width = 640;
             info_->cvt_param.height = 360;
         },
         kSoftwareH264High + kAacReencoded + " -s 640*360 " + kFaststartMp4},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        reset();
        c.setup();
        EXPECT_EQ(build(), line_with(c.block));
    }
    // No cell in the grid, whichever side is empty: no filter.
    for (const auto &grid : {std::make_pair(0, 3), std::make_pair(2, 0), std::make_pair(-1, 2), std::make_pair(0, 0)}) {
        reset();
        set_mark(watermark(grid.first, grid.second, "TARSA"));
        EXPECT_EQ(build(), line_with(kSoftwareH264High + kReencodedTail)) << grid.first << "x" << grid.second;
    }
}

// The NVIDIA encoders take a quality of 0..9: the job's quality becomes its
// signed remainder of division by 10, and keeps it for later builds; the
// software encoder keeps any quality.
TEST_F(CvtCmd, EncoderQuality)
{
    tt::HwdStateGuard guard;
    tt::set_detected({tt::make_hwd_dev(HWD_TYPE_NVIDIA, 0, 0, 1, 1)});
    const struct {
        bool nvidia;
        int32_t quality, kept;
    } cases[] = {{true, 25, 5}, {true, 7, 7}, {true, 30, 0}, {true, -27, -7}, {false, 25, 25}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << (c.nvidia ? "nvenc " : "libx264 ") << c.quality);
        reset();
        info_->usage_mode = c.nvidia ? HWD_USAGE_AUTO : HWD_USAGE_NONE;
        info_->cvt_param.quality = c.quality;
        const std::string expected =
            line_with((c.nvidia ? " -c:v h264_nvenc -profile:v high" : "  -c:v libx264 -profile:v high ") +
                      std::string(" -q:v ") + std::to_string(c.kept) + " " + kReencodedTail);
        for (int build_no = 0; build_no < 2; build_no++) {
            EXPECT_EQ(build(), expected);
            EXPECT_EQ(info_->cvt_param.quality, c.kept);
        }
    }
}

TEST_F(CvtCmd, AudioFragment)
{
    const struct {
        uint32_t audio_enable;
        int a_copy;
        const char *dst;
        const char *audio;  // as it stands in the block
    } cases[] = {
        {0, 1, kDst, " -an "},  // dropped although copyable
        {0, 0, kDst, " -an "},
        {1, 1, kDst, " -c:a copy "},
        {1, 0, kDst, " -c:a libfdk_aac  "},
        {1, 0, "/media/out/dst.sdv", " -c:a libfdk_aac -ar 48000 "},
        {1, 0, "/media/x.sdv.d/dst.flv", " -c:a libfdk_aac -ar 48000 "},  // "sdv" anywhere in the name
        {1, 1, "/media/out/dst.sdv", " -c:a copy "},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.audio_enable << " " << c.a_copy << " " << c.dst);
        reset();
        dest(1, c.a_copy, V_FMT_H264_HIGH, A_FMT_AAC, F_FMT_FLV);
        info_->cvt_param.audio_enable = c.audio_enable;
        str_copy(info_->dst_file, sizeof info_->dst_file, c.dst);
        EXPECT_EQ(build(), line_with(std::string("-c:v copy ") + c.audio + " -f flv", c.dst));
    }
}

TEST_F(CvtCmd, AudioEncoderNameThenSampleRateText)
{
    const struct {
        const char *dst;
        int a_codec_id;
        size_t size;
        const char *expected;
    } cases[] = {
        {"o.mp4", A_FMT_AAC, 256, "libfdk_aac "},     {"o.sdv", A_FMT_AAC, 256, "libfdk_aac -ar 48000"},
        {"o.sdv", A_FMT_MP2, 256, "mp2 -ar 48000"},   {"o.mp4", A_FMT_PCM_ALAW, 256, "pcm_alaw "},
        {"o.mp4", 99, 256, "libfdk_aac "},            {"o.sdv", A_FMT_AAC, 5, "libf"},
    };
    for (const auto &c : cases) {
        char audio_cmd[256];
        std::memset(audio_cmd, 'x', sizeof audio_cmd);
        ASSERT_EQ(cvt_use_audio_cmd(c.dst, c.a_codec_id, audio_cmd, c.size), 1);
        EXPECT_STREQ(audio_cmd, c.expected);
    }
}

TEST_F(CvtCmd, FormatAndFaststart)
{
    const struct {
        int f_fmt_id;
        int faststart;  // -1: option 7 not stored
        const char *format;
    } cases[] = {
        {F_FMT_MP4, -1, "  -movflags faststart -f mp4"}, {F_FMT_MP4, 1, "  -movflags faststart -f mp4"},
        {F_FMT_MP4, 0, "  -f mp4"},                      {F_FMT_FLV, -1, "  -f flv"},
        {F_FMT_FLV, 0, "  -f flv"},                      {F_FMT_FLV, 1, "  -f flv"},
        {F_FMT_MP4_2, -1, "  -movflags faststart -f mp4"},  // the second mp4 row is mp4
        {F_FMT_H264, -1, "  -f h264"},
        {FMT_DEFAULT, -1, ""},  // the format is left to the tool
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.f_fmt_id << " faststart " << c.faststart);
        reset();
        dest(1, 1, V_FMT_H264_HIGH, A_FMT_AAC, c.f_fmt_id);
        if (c.faststart >= 0) set_int(OPT_PARAM_TYPE_MOVFLAGS_FASTSTART, c.faststart);
        EXPECT_EQ(build(), line_with(std::string("-c:v copy  -c:a copy") + c.format));
    }
}

// ---------------------------------------------------------------- watermark

TEST_F(CvtCmd, WatermarkGridOfTwoRowsAndThreeColumns)
{
    ot_ex mark = watermark(2, 3, "TARSA");
    mark.transparency = 120;
    mark.x_offset = 5;
    mark.y_offset = 7;
    set_mark(mark);
    std::string grid = "-vf ";
    for (int cell = 0; cell < 6; cell++)
        grid += entry("TARSA", "w*" + std::to_string(cell % 3) + "/3+5", "h*" + std::to_string(cell / 3) + "/2+7",
                      "white", 24, "0.000000", 0) +
                (cell < 5 ? "," : " ");
    EXPECT_EQ(build(), line_with(grid + kSoftwareH264High + kReencodedTail));
}

// Stored as the shorter record, whose offsets read as 0.
TEST_F(CvtCmd, AlphaIsTheClampedOpacity)
{
    const struct {
        int32_t transparency;
        const char *alpha;
    } cases[] = {{120, "0.000000"}, {100, "0.000000"}, {20, "0.800000"}, {0, "1.000000"}, {-5, "1.000000"}};
    for (const auto &c : cases) {
        reset();
        ot mark = {};
        mark.row_num = 1;
        mark.col_num = 1;
        mark.font_size = 20;
        mark.transparency = c.transparency;
        mark.angle = 30;
        str_copy(mark.font_color, sizeof mark.font_color, "red");
        str_copy(mark.text, sizeof mark.text, "a");
        set(OPT_PARAM_TYPE_OT, &mark, sizeof mark);
        EXPECT_EQ(build(), line_with("-vf " + entry("a", "w*0/1+0", "h*0/1+0", "red", 20, c.alpha, 30) + " " +
                                     kSoftwareH264High + kReencodedTail))
            << c.transparency;
    }
}

TEST_F(CvtCmd, WatermarkLineBreaksBecomeEscapedLetters)
{
    set_mark(watermark(1, 1, "line1\nline2\r\nline3"));
    EXPECT_EQ(
        build(),
        line_with("-vf " + entry(R"(line1\\nline2\\r\\nline3)", "w*0/1+0", "h*0/1+0", "white", 24, "1.000000", 0) +
                  " " + kSoftwareH264High + kReencodedTail));
}

// The text passes the command-line splitter, the filter-graph parser, the
// filter's option parser and drawtext's expansion: each character that one
// of them reads as syntax is escaped for that reader.
TEST(WatermarkText, Escaped)
{
    const struct {
        const char *text;
        const char *escaped;
    } cases[] = {
        {"TARSA 2024 (c) #1 [a]", "TARSA 2024 (c) #1 [a]"},
        {"", ""},
        {"'", R"(\'\'')"},
        {":", R"(\:)"},
        {"\\", R"(\\\\)"},
        {"%", R"(\\%)"},
        {",", ","},
        {";", ";"},
        {"\"", R"(\")"},
        {"\\\"", R"(\\\\\\\\\")"},  // backslash before a double quote
        {"a\\", R"(a\\\\)"},
        {" a ", R"(\ a\ )"},  // blanks at the edges
        {"  a  ", R"(\  a \ )"},
        {"a b", "a b"},  // inner blanks stay
        {"\ta", "\\\ta"},
        {"a\nb", R"(a\\nb)"},
        {"a\rb", R"(a\\rb)"},
        {"50% off: 'now'", R"(50\\% off\: \'\''now\'\'')"},
    };
    for (const auto &c : cases) EXPECT_EQ(escape_watermark_text(c.text), c.escaped) << c.text;
}

// ---------------------------------------------------------------- log

TEST_F(CvtCmd, EveryBuiltLineIsLogged)
{
    tt::LogCapture log;
    const std::string line = build();
    EXPECT_EQ(log.count("[get_cvt_cmd] convert cmd:" + line), 1);
    EXPECT_TRUE(log.has_line(line));
}

}  // namespace
