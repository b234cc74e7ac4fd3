// The watermark text reaches the picture exactly as the host gave it: the
// "-vf" argument of a conversion, run by the tool on one test frame, gives
// the same pixels as the same text drawn from a file with expansion off (a
// path that needs no escaping at all).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "media/watermark.h"
#include "processes.h"
#include "test_util.h"

namespace {

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
    std::string drawn(const std::string &text, const std::string &name)
    {
        ot_ex mark = {};
        mark.row_num = mark.col_num = 1;
        mark.font_size = 24;
        std::strcpy(mark.font_color, "white");
        std::strcpy(mark.text, text.c_str());
        std::string filter;
        EXPECT_TRUE(watermark_filter(mark, &filter));
        return draw(tt::bin_dir() + "ffmpeg", filter, name);  // through the tool layer, as a conversion runs it
    }

    tt::TempDir dir_;
};

TEST_F(WatermarkDrawing, EverySpecialCharacterAndLineBreakIsDrawnAsGiven)
{
    const std::string text = " It's 50%: a\\b, c; \"d\" \\\"e'\n%{pts} \\";
    const std::string expected = reference(text, "reference");
    ASSERT_EQ(expected.size(), 320u * 240u * 3u);
    EXPECT_TRUE(drawn(text, "drawn.rgb") == expected) << "the drawn text differs from the host's text";
    // The comparison tells texts apart: the leading blank dropped, or the
    // line break drawn as "n", gives other pixels.
    EXPECT_FALSE(reference(text.substr(1), "without_blank") == expected);
    std::string with_n = text;
    with_n[with_n.find('\n')] = 'n';
    EXPECT_FALSE(reference(with_n, "n_for_break") == expected);
}

}  // namespace
