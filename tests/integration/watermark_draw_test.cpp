// The watermark text reaches the picture exactly as the host gave it: the
// drawtext argument of the conversion command line, run by the tool on one
// test frame, gives the same pixels as the same text drawn from a file with
// expansion off (a path that needs no escaping at all).
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "media/cmd_buffer.h"
#include "media/cvt_cmd.h"
#include "media/fmt_table.h"
#include "media/opt_param.h"
#include "job/job_records.h"
#include "core/globals.h"
#include "processes.h"
#include "platform/platform.h"
#include "test_util.h"

namespace {

// The drawtext argument ("-vf" value) of a conversion with a 1 x 1
// watermark of `text`, as the tool receives it after the command line is
// split.
std::string watermark_argument(const std::string &text)
{
    static std::once_flag once;
    std::call_once(once, [] { init_fmt_table(); });
    std::unique_ptr<cvt_info> info(new cvt_info());
    info->kind = TARSA_JOB_CONVERT;
    str_copy(info->src_file, sizeof info->src_file, "src.mp4");
    str_copy(info->dst_file, sizeof info->dst_file, "dst.mp4");
    info->cvt_param = {3, 0, 0, 1, 23};
    str_copy(info->result.v_fmt, sizeof info->result.v_fmt, "h264 (High)");
    info->usage_mode = HWD_USAGE_NONE;
    info->dst_codec_info = {0, 0, V_FMT_H264_HIGH, A_FMT_AAC, F_FMT_MP4};
    info->opt_param = opt_param_create();
    ot_ex mark = {};
    mark.row_num = 1;
    mark.col_num = 1;
    mark.font_size = 24;
    str_copy(mark.font_color, sizeof mark.font_color, "white");
    str_copy(mark.text, sizeof mark.text, text.c_str());
    opt_param_set(info->opt_param, OPT_PARAM_TYPE_OT, &mark, sizeof mark);
    cmd_buffer cmd = make_cmd_buffer();
    int built = get_cvt_cmd(info.get(), cmd.get());
    opt_param_destroy(info->opt_param);
    if (built != 1) return "";
    std::vector<std::string> args;
    if (!os_cmdline_split(cmd.get(), &args)) return "";
    for (size_t i = 0; i + 1 < args.size(); i++)
        if (args[i] == "-vf") return args[i + 1];
    return "";
}

class WatermarkDrawing : public ::testing::Test {
protected:
    // One 320x240 test frame through `filter`, as raw RGB. The tool runs in
    // the library's directory, where the font tf.ttf lies.
    std::string draw(const std::string &program, const std::string &filter, const std::string &name)
    {
        const std::string out = dir_.file(name);
        const tt::Finished r = tt::run({program, "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                        "testsrc=size=320x240:rate=1", "-frames:v", "1", "-vf", filter, "-f",
                                        "rawvideo", "-pix_fmt", "rgb24", out},
                                       {}, tt::bin_dir());
        EXPECT_EQ(r.exit_code, 0) << r.output;
        return tt::read_file(out);
    }
    // The text drawn from a file, taken as it is.
    std::string reference(const std::string &text, const std::string &name)
    {
        const std::string text_file = dir_.file(name + ".txt");
        EXPECT_TRUE(tt::write_file(text_file, text));
        return draw(tt::stock_ffmpeg(),
                    "drawtext=fontfile=tf.ttf:textfile=" + text_file +
                        ":expansion=none:x=w*0/1+0:y=h*0/1+0:fontcolor=white:fontsize=24:alpha=1.000000",
                    name + ".rgb");
    }

    tt::TempDir dir_;
};

TEST_F(WatermarkDrawing, EverySpecialCharacterIsDrawnAsGiven)
{
    const std::string text = R"( It's 50%: a\b, c; "d" \"e' %{pts} \)";
    const std::string filter = watermark_argument(text);
    ASSERT_FALSE(filter.empty());

    // Through the tool layer, exactly as a conversion runs it.
    const std::string drawn = draw(tt::bin_dir() + "ffmpeg", filter, "drawn.rgb");
    const std::string expected = reference(text, "reference");
    ASSERT_EQ(expected.size(), 320u * 240u * 3u);
    ASSERT_EQ(drawn.size(), expected.size());
    EXPECT_TRUE(drawn == expected) << "the drawn text differs from the host's text; filter: " << filter;

    // The comparison tells texts apart: one character less, or the leading
    // blank dropped, gives other pixels.
    EXPECT_FALSE(reference(R"( It's 50: a\b, c; "d" \"e' %{pts} \)", "without_percent") == drawn);
    EXPECT_FALSE(reference(R"(It's 50%: a\b, c; "d" \"e' %{pts} \)", "without_blank") == drawn);
}

}  // namespace
