// The tool layer's rules that need no process: how the library's arguments
// become the stock program's, and how status lines get line breaks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ffshim_args.h"
#include "line_breaks.h"

namespace {

using Args = std::vector<std::string>;

TEST(PlanArgs, GivesTheStockProgramWhatItTakes)
{
    // out {}: the arguments unchanged; notes: one note line per change or refused value
    const struct { Args in; bool has_fdk; Args out; pid_t owner; size_t notes; } cases[] = {
        {{"-i", "a", "-ppid", "77", "-c:a", "aac", "b"}, false, {"-i", "a", "-c:a", "aac", "b"}, 77, 0},
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
        {{"-i", "a", "-q:v", "5", "b"}, false, {}, 0, 0},
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
    const std::vector<std::vector<std::pair<std::string, std::string>>> cases = {
        {{"a\rb\r", "a\nb\n"}, {"", ""}, {"\nc", "c"}, {"\n", "\n"}},
        {{std::string("\r\0\r\n", 4), std::string("\n\0\n", 3)}}};
    for (const auto &steps : cases) {
        ffshim::LineBreakFilter filter;
        for (const auto &step : steps) EXPECT_EQ(filter.feed(step.first.data(), step.first.size()), step.second);
    }
}

}  // namespace
