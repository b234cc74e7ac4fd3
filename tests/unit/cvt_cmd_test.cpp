// The conversion command line, built from a job record whose destination
// choice is set by hand: stream copy, re-encoding with its options, the
// watermark grid and its text escaping, audio, size and format, and the
// quality rule of the NVIDIA encoder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "cvt/cmd_buffer.h"
#include "cvt/cvt_cmd.h"
#include "cvt/fmt_table.h"
#include "hwd_fixture.h"
#include "log_capture.h"
#include "opt/opt_param.h"
#include "sdk/job_records.h"
#include "sdk/sdk_globals.h"
#include "tarsasdk.h"
#include "test_util.h"

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

std::string ppid_text() { return "-ppid " + std::to_string(getpid()) + " "; }

class CvtCmd : public ::testing::Test {
protected:
    void SetUp() override
    {
        static std::once_flag once;
        std::call_once(once, [] { init_fmt_table(); });
        set_ff_path("/opt/tarsa/");
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
        ASSERT_NE(info_->opt_param, nullptr);
        dest(0, 0, V_FMT_H264_HIGH, A_FMT_AAC, F_FMT_MP4);
    }
    void TearDown() override
    {
        opt_param_destroy(info_->opt_param);
        set_ff_path(s_module_path);
    }

    void dest(int v_copy, int a_copy, int v_codec_id, int a_codec_id, int f_fmt_id)
    {
        info_->dst_codec_info = {v_copy, a_copy, v_codec_id, a_codec_id, f_fmt_id};
    }
    void set_int(uint32_t id, int32_t value)
    {
        ASSERT_EQ(opt_param_set(info_->opt_param, id, &value, sizeof value), 1);
    }
    void set_all_video_options()
    {
        set_int(OPT_PARAM_TYPE_THREAD_NUM, 4);
        ASSERT_EQ(opt_param_set(info_->opt_param, OPT_PARAM_TYPE_PRESET, "fast", 5), 1);
        ot_ex mark = watermark(1, 1, "TARSA");
        ASSERT_EQ(opt_param_set(info_->opt_param, OPT_PARAM_TYPE_OT, &mark, sizeof mark), 1);
        set_int(OPT_PARAM_TYPE_FRAME_NUM, 50);
        ASSERT_EQ(opt_param_set(info_->opt_param, OPT_PARAM_TYPE_IAUTO, nullptr, 0), 1);
    }
    static ot_ex watermark(int rows, int cols, const char *text)
    {
        ot_ex mark;
        std::memset(&mark, 0, sizeof mark);
        mark.row_num = rows;
        mark.col_num = cols;
        mark.font_size = 24;
        mark.transparency = 0;
        mark.angle = 0;
        str_copy(mark.font_color, sizeof mark.font_color, "white");
        str_copy(mark.text, sizeof mark.text, text);
        return mark;
    }

    // Builds the line; every line ends with a blank and the empty suffix,
    // and its option block never ends with a blank.
    std::string build()
    {
        cmd_buffer cmd = make_cmd_buffer();
        EXPECT_EQ(get_cvt_cmd(info_.get(), cmd.get()), 1);
        std::string line(cmd.get());
        const std::string tail = std::string(" -y \"") + info_->dst_file + "\" ";
        EXPECT_GE(line.size(), tail.size());
        if (line.size() >= tail.size()) {
            EXPECT_EQ(line.substr(line.size() - tail.size()), tail);
            EXPECT_NE(line[line.size() - tail.size() - 1], ' ') << line;
        }
        return line;
    }

    std::unique_ptr<cvt_info> info_;
};

// ---------------------------------------------------------------- stream copy

struct CopyCase {
    const char *name;
    const char *v_fmt;
    uint32_t h2645_mp4toannexb;
    const char *video;
};

class CvtCmdCopy : public CvtCmd, public ::testing::WithParamInterface<CopyCase> {};

TEST_P(CvtCmdCopy, CopiedVideoIgnoresEveryEncoderOption)
{
    dest(1, 1, V_FMT_H264_HIGH, A_FMT_AAC, F_FMT_MP4);
    str_copy(info_->result.v_fmt, sizeof info_->result.v_fmt, GetParam().v_fmt);
    info_->h2645_mp4toannexb = GetParam().h2645_mp4toannexb;
    set_all_video_options();
    EXPECT_EQ(build(), line_with(std::string(GetParam().video) + " -c:a copy " + kFaststartMp4));
}

INSTANTIATE_TEST_SUITE_P(
    StreamCopy, CvtCmdCopy,
    ::testing::Values(CopyCase{"h264_needs_filter", "h264 (High)", 1, "-c:v copy -bsf:v h264_mp4toannexb "},
                      CopyCase{"plain_h264_name", "h264", 1, "-c:v copy -bsf:v h264_mp4toannexb "},
                      CopyCase{"hevc_needs_filter", "hevc", 1, "-c:v copy -bsf:v hevc_mp4toannexb "},
                      CopyCase{"h264_already_annexb", "h264 (High)", 0, "-c:v copy "},
                      CopyCase{"other_codec_never_filtered", "mpeg4", 1, "-c:v copy "}),
    [](const auto &info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- re-encoding

TEST_F(CvtCmd, SoftwareEncoderWithoutOptions)
{
    EXPECT_EQ(build(), line_with(kSoftwareH264High + kAacReencoded + kFaststartMp4));
}

TEST_F(CvtCmd, EncoderOptionsInTheirOrder)
{
    set_int(OPT_PARAM_TYPE_THREAD_NUM, 4);
    ASSERT_EQ(opt_param_set(info_->opt_param, OPT_PARAM_TYPE_PRESET, "fast", 5), 1);
    set_int(OPT_PARAM_TYPE_FRAME_NUM, 50);
    ASSERT_EQ(opt_param_set(info_->opt_param, OPT_PARAM_TYPE_IAUTO, nullptr, 0), 1);
    EXPECT_EQ(build(), line_with("-threads 4 -preset fast -keyint_min 50 -g 50 -sc_threshold 0 " + ppid_text() +
                                 kSoftwareH264High + kAacReencoded + kFaststartMp4));
}

TEST_F(CvtCmd, OwnerOptionCountsByPresenceWhateverItsValue)
{
    set_int(OPT_PARAM_TYPE_IAUTO, 0);
    EXPECT_EQ(build(), line_with(ppid_text() + kSoftwareH264High + kAacReencoded + kFaststartMp4));
}

TEST_F(CvtCmd, OverlongPresetIsNotRead)
{
    std::string preset(120, 'p');
    ASSERT_EQ(opt_param_set(info_->opt_param, OPT_PARAM_TYPE_PRESET, preset.c_str(), 121), 1);
    EXPECT_EQ(build(), line_with(kSoftwareH264High + kAacReencoded + kFaststartMp4));
}

TEST_F(CvtCmd, ResizeAddsTheSize)
{
    info_->cvt_param.width = 640;
    info_->cvt_param.height = 360;
    EXPECT_EQ(build(), line_with(kSoftwareH264High + kAacReencoded + " -s 640*360 " + kFaststartMp4));
}

// The NVIDIA encoders take a quality of 0..9: the job's quality becomes its
// signed remainder of division by 10, and keeps it for later builds.
struct QualityCase {
    int32_t quality;
    int32_t kept;
};

class CvtCmdNvenc : public CvtCmd, public ::testing::WithParamInterface<QualityCase> {
protected:
    tt::HwdStateGuard hwd_guard_;
};

TEST_P(CvtCmdNvenc, QualityIsItsRemainderByTen)
{
    tt::set_detected({tt::make_hwd_dev(HWD_TYPE_NVIDIA, 0, 0, 1, 1)});
    info_->usage_mode = HWD_USAGE_AUTO;
    info_->cvt_param.quality = GetParam().quality;
    const std::string expected = line_with(" -c:v h264_nvenc -profile:v high -q:v " + std::to_string(GetParam().kept) +
                                           " " + kAacReencoded + kFaststartMp4);
    EXPECT_EQ(build(), expected);
    EXPECT_EQ(info_->cvt_param.quality, GetParam().kept);
    EXPECT_EQ(build(), expected);
    EXPECT_EQ(info_->cvt_param.quality, GetParam().kept);
}

INSTANTIATE_TEST_SUITE_P(NvidiaEncoder, CvtCmdNvenc,
                         ::testing::Values(QualityCase{25, 5}, QualityCase{7, 7}, QualityCase{30, 0},
                                           QualityCase{-27, -7}));

TEST_F(CvtCmd, SoftwareEncoderKeepsTheQuality)
{
    info_->cvt_param.quality = 25;
    EXPECT_EQ(build(), line_with("  -c:v libx264 -profile:v high  -q:v 25 " + kAacReencoded + kFaststartMp4));
    EXPECT_EQ(info_->cvt_param.quality, 25);
}

// ---------------------------------------------------------------- audio

struct AudioCase {
    const char *name;
    uint32_t audio_enable;
    int a_copy;
    const char *dst;
    const char *audio;  // the audio fragment as it stands in the block
};

class CvtCmdAudio : public CvtCmd, public ::testing::WithParamInterface<AudioCase> {};

TEST_P(CvtCmdAudio, AudioFragment)
{
    dest(1, GetParam().a_copy, V_FMT_H264_HIGH, A_FMT_AAC, F_FMT_FLV);
    info_->cvt_param.audio_enable = GetParam().audio_enable;
    str_copy(info_->dst_file, sizeof info_->dst_file, GetParam().dst);
    EXPECT_EQ(build(), line_with(std::string("-c:v copy ") + GetParam().audio + " -f flv", GetParam().dst));
}

INSTANTIATE_TEST_SUITE_P(
    Audio, CvtCmdAudio,
    ::testing::Values(AudioCase{"dropped_although_copyable", 0, 1, kDst, " -an "},
                      AudioCase{"dropped_although_reencoded", 0, 0, kDst, " -an "},
                      AudioCase{"copied", 1, 1, kDst, " -c:a copy "},
                      AudioCase{"reencoded", 1, 0, kDst, " -c:a libfdk_aac  "},
                      AudioCase{"sdv_gets_a_sample_rate", 1, 0, "/media/out/dst.sdv", " -c:a libfdk_aac -ar 48000 "},
                      AudioCase{"sdv_anywhere_in_the_name", 1, 0, "/media/x.sdv.d/dst.flv",
                                " -c:a libfdk_aac -ar 48000 "},
                      AudioCase{"copied_sdv_has_no_rate", 1, 1, "/media/out/dst.sdv", " -c:a copy "}),
    [](const auto &info) { return std::string(info.param.name); });

struct AudioCmdCase {
    const char *dst;
    int a_codec_id;
    size_t size;
    const char *expected;
};

class AudioCmd : public CvtCmd, public ::testing::WithParamInterface<AudioCmdCase> {};

TEST_P(AudioCmd, EncoderNameThenSampleRateText)
{
    char audio_cmd[256];
    std::memset(audio_cmd, 'x', sizeof audio_cmd);
    ASSERT_EQ(cvt_use_audio_cmd(GetParam().dst, GetParam().a_codec_id, audio_cmd, GetParam().size), 1);
    EXPECT_STREQ(audio_cmd, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Audio, AudioCmd,
                         ::testing::Values(AudioCmdCase{"o.mp4", A_FMT_AAC, 256, "libfdk_aac "},
                                           AudioCmdCase{"o.sdv", A_FMT_AAC, 256, "libfdk_aac -ar 48000"},
                                           AudioCmdCase{"o.sdv", A_FMT_MP2, 256, "mp2 -ar 48000"},
                                           AudioCmdCase{"o.mp4", A_FMT_PCM_ALAW, 256, "pcm_alaw "},
                                           AudioCmdCase{"o.mp4", 99, 256, "libfdk_aac "},
                                           AudioCmdCase{"o.sdv", A_FMT_AAC, 5, "libf"}));

TEST_F(CvtCmd, AudioFragmentNeedsItsArguments)
{
    tt::LogCapture log;
    char audio_cmd[256] = {0};
    EXPECT_EQ(cvt_use_audio_cmd(nullptr, A_FMT_AAC, audio_cmd, sizeof audio_cmd), 0);
    EXPECT_EQ(cvt_use_audio_cmd("o.mp4", A_FMT_AAC, nullptr, 256), 0);
    EXPECT_EQ(log.count("cvt_use_audio_cmd: !f_fmt || !audio_cmd"), 2);
}

// ---------------------------------------------------------------- format

struct FormatCase {
    const char *name;
    int f_fmt_id;
    int faststart;  // -1: option 7 not stored
    const char *format;
};

class CvtCmdFormat : public CvtCmd, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(CvtCmdFormat, FormatAndFaststart)
{
    dest(1, 1, V_FMT_H264_HIGH, A_FMT_AAC, GetParam().f_fmt_id);
    if (GetParam().faststart >= 0) set_int(OPT_PARAM_TYPE_MOVFLAGS_FASTSTART, GetParam().faststart);
    EXPECT_EQ(build(), line_with(std::string("-c:v copy  -c:a copy") + GetParam().format));
}

INSTANTIATE_TEST_SUITE_P(
    Format, CvtCmdFormat,
    ::testing::Values(FormatCase{"mp4_faststart_by_default", F_FMT_MP4, -1, "  -movflags faststart -f mp4"},
                      FormatCase{"mp4_faststart_stored_1", F_FMT_MP4, 1, "  -movflags faststart -f mp4"},
                      FormatCase{"mp4_faststart_off", F_FMT_MP4, 0, "  -f mp4"},
                      FormatCase{"flv_by_default", F_FMT_FLV, -1, "  -f flv"},
                      FormatCase{"flv_ignores_faststart_0", F_FMT_FLV, 0, "  -f flv"},
                      FormatCase{"flv_ignores_faststart_1", F_FMT_FLV, 1, "  -f flv"},
                      FormatCase{"second_mp4_row_is_mp4", F_FMT_MP4_2, -1, "  -movflags faststart -f mp4"},
                      FormatCase{"raw_h264", F_FMT_H264, -1, "  -f h264"},
                      FormatCase{"default_leaves_the_format_to_the_tool", FMT_DEFAULT, -1, ""}),
    [](const auto &info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- watermark

std::string entry(const std::string &text, const std::string &x, const std::string &y, const char *color,
                  int font_size, const char *alpha, int angle)
{
    return "drawtext=\"fontfile=tf.ttf:text='" + text + "':x=" + x + ":y=" + y + ":fontcolor=" + color +
           ":fontsize=" + std::to_string(font_size) + ":alpha=" + alpha + ":angle=" + std::to_string(angle) + "\"";
}

TEST_F(CvtCmd, WatermarkGridOfTwoRowsAndThreeColumns)
{
    ot_ex mark = watermark(2, 3, "TARSA");
    mark.transparency = 120;
    mark.x_offset = 5;
    mark.y_offset = 7;
    ASSERT_EQ(opt_param_set(info_->opt_param, OPT_PARAM_TYPE_OT, &mark, sizeof mark), 1);
    const std::string grid = "-vf " +
                             entry("TARSA", "w*0/3+5", "h*0/2+7", "white", 24, "0.000000", 0) + "," +
                             entry("TARSA", "w*1/3+5", "h*0/2+7", "white", 24, "0.000000", 0) + "," +
                             entry("TARSA", "w*2/3+5", "h*0/2+7", "white", 24, "0.000000", 0) + "," +
                             entry("TARSA", "w*0/3+5", "h*1/2+7", "white", 24, "0.000000", 0) + "," +
                             entry("TARSA", "w*1/3+5", "h*1/2+7", "white", 24, "0.000000", 0) + "," +
                             entry("TARSA", "w*2/3+5", "h*1/2+7", "white", 24, "0.000000", 0) + " ";
    EXPECT_EQ(build(), line_with(grid + kSoftwareH264High + kAacReencoded + kFaststartMp4));
}

struct AlphaCase {
    int32_t transparency;
    const char *alpha;
};

class CvtCmdAlpha : public CvtCmd, public ::testing::WithParamInterface<AlphaCase> {};

// Stored as the shorter record, whose offsets read as 0.
TEST_P(CvtCmdAlpha, AlphaIsTheClampedOpacity)
{
    ot mark;
    std::memset(&mark, 0, sizeof mark);
    mark.row_num = 1;
    mark.col_num = 1;
    mark.font_size = 20;
    mark.transparency = GetParam().transparency;
    mark.angle = 30;
    str_copy(mark.font_color, sizeof mark.font_color, "red");
    str_copy(mark.text, sizeof mark.text, "a");
    ASSERT_EQ(opt_param_set(info_->opt_param, OPT_PARAM_TYPE_OT, &mark, sizeof mark), 1);
    EXPECT_EQ(build(), line_with("-vf " + entry("a", "w*0/1+0", "h*0/1+0", "red", 20, GetParam().alpha, 30) + " " +
                                 kSoftwareH264High + kAacReencoded + kFaststartMp4));
}

INSTANTIATE_TEST_SUITE_P(Watermark, CvtCmdAlpha,
                         ::testing::Values(AlphaCase{120, "0.000000"}, AlphaCase{100, "0.000000"},
                                           AlphaCase{20, "0.800000"}, AlphaCase{0, "1.000000"},
                                           AlphaCase{-5, "1.000000"}));

struct EmptyGridCase {
    int rows;
    int cols;
};

class CvtCmdEmptyGrid : public CvtCmd, public ::testing::WithParamInterface<EmptyGridCase> {};

TEST_P(CvtCmdEmptyGrid, NoCellNoFilter)
{
    ot_ex mark = watermark(GetParam().rows, GetParam().cols, "TARSA");
    ASSERT_EQ(opt_param_set(info_->opt_param, OPT_PARAM_TYPE_OT, &mark, sizeof mark), 1);
    set_int(OPT_PARAM_TYPE_THREAD_NUM, 2);
    EXPECT_EQ(build(), line_with("-threads 2 " + kSoftwareH264High + kAacReencoded + kFaststartMp4));
}

INSTANTIATE_TEST_SUITE_P(Watermark, CvtCmdEmptyGrid,
                         ::testing::Values(EmptyGridCase{0, 3}, EmptyGridCase{2, 0}, EmptyGridCase{-1, 2},
                                           EmptyGridCase{0, 0}));

TEST_F(CvtCmd, WatermarkLineBreaksBecomeEscapedLetters)
{
    ot_ex mark = watermark(1, 1, "line1\nline2\r\nline3");
    ASSERT_EQ(opt_param_set(info_->opt_param, OPT_PARAM_TYPE_OT, &mark, sizeof mark), 1);
    EXPECT_EQ(build(), line_with("-vf " +
                                 entry(R"(line1\\nline2\\r\\nline3)", "w*0/1+0", "h*0/1+0", "white", 24, "1.000000",
                                       0) +
                                 " " + kSoftwareH264High + kAacReencoded + kFaststartMp4));
}

// The text passes the command-line splitter, the filter-graph parser, the
// filter's option parser and drawtext's expansion: each character that one
// of them reads as syntax is escaped for that reader.
struct EscapeCase {
    const char *name;
    const char *text;
    const char *escaped;
};

class WatermarkText : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(WatermarkText, Escaped)
{
    EXPECT_EQ(escape_watermark_text(GetParam().text), GetParam().escaped);
}

INSTANTIATE_TEST_SUITE_P(
    Watermark, WatermarkText,
    ::testing::Values(EscapeCase{"plain", "TARSA 2024 (c) #1 [a]", "TARSA 2024 (c) #1 [a]"},
                      EscapeCase{"empty", "", ""},
                      EscapeCase{"single_quote", "'", R"(\'\'')"},
                      EscapeCase{"colon", ":", R"(\:)"},
                      EscapeCase{"backslash", "\\", R"(\\\\)"},
                      EscapeCase{"percent", "%", R"(\\%)"},
                      EscapeCase{"comma", ",", ","},
                      EscapeCase{"semicolon", ";", ";"},
                      EscapeCase{"double_quote", "\"", R"(\")"},
                      EscapeCase{"backslash_before_double_quote", "\\\"", R"(\\\\\\\\\")"},
                      EscapeCase{"trailing_backslash", "a\\", R"(a\\\\)"},
                      EscapeCase{"edge_blanks", " a ", R"(\ a\ )"},
                      EscapeCase{"double_edge_blanks", "  a  ", R"(\  a \ )"},
                      EscapeCase{"inner_blanks_stay", "a b", "a b"},
                      EscapeCase{"edge_tab", "\ta", "\\\ta"},
                      EscapeCase{"line_feed", "a\nb", R"(a\\nb)"},
                      EscapeCase{"carriage_return", "a\rb", R"(a\\rb)"},
                      EscapeCase{"mixed", "50% off: 'now'", R"(50\\% off\: \'\''now\'\'')"}),
    [](const auto &info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- failures and log

TEST_F(CvtCmd, MissingArgumentsBuildNothing)
{
    tt::LogCapture log;
    cmd_buffer cmd = make_cmd_buffer();
    EXPECT_EQ(get_cvt_cmd(nullptr, cmd.get()), 0);
    EXPECT_EQ(get_cvt_cmd(info_.get(), nullptr), 0);
    EXPECT_EQ(cmd[0], '\0');
    EXPECT_EQ(log.count("info == NULL || cmd == NULL"), 2);
}

TEST_F(CvtCmd, EveryBuiltLineIsLogged)
{
    tt::LogCapture log;
    const std::string line = build();
    EXPECT_EQ(log.count("[get_cvt_cmd] convert cmd:" + line), 1);
    EXPECT_TRUE(log.has_line(line));
}

}  // namespace
