// Argument lists quoted into one command line come back whole when the
// line is split by the Microsoft C runtime's rules.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cmdline_split.h"
#include "platform/platform.h"

namespace {

using Args = std::vector<std::string>;

TEST(CmdlineQuote, SplitGivesTheListBack)
{
    const Args cases[] = {
        {"/opt/tarsa/ffmpeg", "-i", "in.mp4", "-y", "out.mp4"},
        {"/a b/ffmpeg", "-i", "x y.mp4", "tab\there", "two  blanks", " lead", "trail "},
        {"", "a", "", "", "b", ""},
        {"say \"hi\"", "\"", "\"\"", "a\"b\"c", "\"quoted at both ends\""},
        {"C:\\dir\\", "C:\\dir\\\\", "\\\\server\\share\\", "a\\b", "\\", "\\\\"},
        {"a\\\"b", "a\\\\\"b", "x y\\", "x y\\\\", "\\\"", "end\\ \\"},
        {"-vf", "drawtext=fontfile=tf.ttf:text='It'\\''s 50\\\\%\\: a\\\\\\\\b, c; \"d\"':x=w*0/1+0,drawtext=text='e'"},
        {"concat:a b.ts|c\"d.ts", "line\nbreak", "cr\rlf\n", "\v"},
    };
    for (const Args &args : cases) {
        const std::string line = os_cmdline_quote(args);
        EXPECT_EQ(tt::cmdline_split(line), args) << line;
    }
    // Arguments without anything to protect stand as they are.
    EXPECT_EQ(os_cmdline_quote({"/opt/tarsa/ffmpeg", "-s", "640*360", "concat:a.ts|b.ts"}),
              "/opt/tarsa/ffmpeg -s 640*360 concat:a.ts|b.ts");
    EXPECT_EQ(os_cmdline_quote({}), "");
}

}  // namespace
