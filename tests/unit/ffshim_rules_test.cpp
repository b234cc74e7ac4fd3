// The tool layer's rules that need no process: how the library's arguments
// become the stock program's, and how status lines get line breaks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ffshim_args.h"
#include "line_breaks.h"
#include "probe_report.h"

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

// What a probe report tells of the first video stream's framing: 1 length
// prefixes, 0 start codes or no video, -1 only the packets can tell.
TEST(ProbeReport, FramingFromTheReportWhereItCanTell)
{
    const std::string mp4 = "Input #0, mov,mp4,m4a,3gp,3g2,mj2, from 'a.mp4':\n  Duration: 00:00:03.00\n";
    const std::string ts = "Input #0, mpegts, from 'a.ts':\n";
    const std::string avc1 = "  Stream #0:1[0x1](und): Video: h264 (High) (avc1 / 0x31637661), yuv420p, 320x240\n";
    const std::string audio = "  Stream #0:0[0x2](und): Audio: aac (LC) (mp4a / 0x6134706D), 48000 Hz\n";
    const struct { std::string report; int expected; } cases[] = {
        {"", 0},
        {"a.mp4: Invalid data found when processing input\n", 0},
        {mp4 + audio, 0},
        {mp4 + audio + avc1, 1},
        {mp4 + "  Stream #0:0: Video: hevc (Main) (hvc1 / 0x31637668), yuv420p\n", -1},
        {mp4 + "  Stream #0:0: Video: mpeg4 (Simple Profile) (mp4v / 0x7634706D), yuv420p\n", 0},
        {ts + "  Program 1\n    Stream #0:1[0x101]: Video: h264 (High) ([27][0][0][0] / 0x001B), yuv420p\n", 0},
        {"Input #0, h264, from 'a.h264':\n  Stream #0:0: Video: h264 (High), yuv420p\n", 0},
        {"Input #0, flv, from 'a.flv':\n  Stream #0:0: Video: h264 (Main), yuv420p\n", -1},
        {"Input #0, mp3, from 'a.mp3':\n  Stream #0:1: Video: mjpeg (Baseline), yuvj420p (attached pic)\n", -1},
        // The lowest index counts, in whatever order the streams are listed.
        {ts + "  Stream #0:2: Video: h264 (avc1 / 0x31637661)\n  Stream #0:1: Video: mpeg2video (Main)\n", 0},
        // Metadata text is indented deeper; a stream head that does not read as one leaves it open.
        {ts + "    title           : x\n      Stream #0:0: Video: h264 (avc1 / 0x31637661)\n", 0},
        {mp4 + "  Stream #0:0(a b): Video: mpeg4\n", -1},
        {mp4 + "  Stream #0:0(x\n", -1},
    };
    for (const auto &c : cases) {
        ffshim::ProbeReport report;
        for (size_t at = 0; at < c.report.size(); at += 7) report.feed(c.report.substr(at, 7));  // split lines too
        EXPECT_EQ(report.length_prefixed(), c.expected) << c.report;
    }
}

}  // namespace
