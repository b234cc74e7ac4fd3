// The conversion's "-vf" watermark draws the same pixels as the text drawn from a file unexpanded.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "media/watermark.h"
#include "processes.h"
#include "test_util.h"

namespace {

// One 320x240 test frame through `filter`, as raw RGB. The tool runs in the
// library's directory, where the font tf.ttf lies.
std::string draw(const std::string &program, const std::string &filter, const std::string &out)
{
    const tt::Finished r = tt::run({program, "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                    "testsrc=size=320x240:rate=1", "-frames:v", "1", "-vf", filter, "-f", "rawvideo",
                                    "-pix_fmt", "rgb24", out},
                                   {}, tt::bin_dir());
    EXPECT_EQ(r.exit_code, 0) << r.output;
    return tt::read_file(out);
}

TEST(WatermarkDrawing, EverySpecialCharacterIsDrawnAsGiven)
{
    tt::TempDir dir;
    const auto reference = [&](const std::string &text, const std::string &name) {
        EXPECT_TRUE(tt::write_file(dir.file(name + ".txt"), text));
        std::string path;  // a drive's colon escaped for the option, quoted for the graph
        for (char c : dir.file(name + ".txt")) path += c == '\\' ? std::string("/") : c == ':' ? std::string("\\:") : std::string(1, c);
        return draw(tt::stock_ffmpeg(),
                    "drawtext=fontfile=tf.ttf:textfile='" + path + "'" +
                        ":expansion=none:x=w*0/1+0:y=h*0/1+0:fontcolor=white:fontsize=24:alpha=1.000000",
                    dir.file(name + ".rgb"));
    };
    const std::string text = " It's 50%: a\\b, c; \"d\" \\\"e' %{pts} \\";
    ot_ex mark = {};
    mark.row_num = mark.col_num = 1;
    mark.font_size = 24;
    std::strcpy(mark.font_color, "white");
    std::strcpy(mark.text, text.c_str());
    std::string filter;
    ASSERT_TRUE(watermark_filter(mark, &filter));

    const std::string expected = reference(text, "reference");
    ASSERT_EQ(expected.size(), 320u * 240u * 3u);
    EXPECT_TRUE(draw(tt::bin_dir() + "ffmpeg", filter, dir.file("drawn.rgb")) == expected) << filter;
    // The comparison tells texts apart: the leading blank dropped gives
    // other pixels.
    EXPECT_FALSE(reference(text.substr(1), "without_blank") == expected);
}

}  // namespace
