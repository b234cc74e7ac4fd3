// The probe and the status-line parser on the exact output of Debian's
// stock FFmpeg 5.1 programs, captured from files generated with lavfi
// sources (see the README next to the captures). Expected values are read
// off the captured lines.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "media/fmt_table.h"
#include "media/parsers.h"
#include "tool/probe.h"
#include "fake_tools.h"
#include "log_capture.h"
#include "processes.h"
#include "test_util.h"

namespace {

std::string fixture_path(const std::string &name)
{
    std::string here = __FILE__;
    return here.substr(0, here.rfind('/')) + "/../fixtures/stock_output/" + name;
}

// The capture as the tool layer hands it over: one line per CR, LF or
// CR LF, each ending in a line break.
std::vector<std::string> fixture_lines(const std::string &name)
{
    std::vector<std::string> lines = tt::split_lines(tt::read_file(fixture_path(name)));
    for (std::string &line : lines) line += "\n";
    return lines;
}

// The probe on each capture, played by the fake tool: the library's own
// parsing of the exact lines. Read off each capture: the format is the
// first name after "Input #0," (so MP4 files are "mov"), durations drop
// their fraction, H.264 names carry the profile class, other codecs the
// bare name, and the last stream line of a kind is kept.
TEST(StockOutput, ProbeOfTheCapturedOutput)
{
    init_fmt_table();
    tt::FakeTools tools;
    const struct {
        const char *fixture;
        const char *f_fmt;
        int duration, width, height;
        const char *v_fmt, *a_fmt;
    } cases[] = {
        {"ffprobe_mp4_h264_high_aac.txt", "mov", 2, 320, 240, "h264 (High)", "aac"},
        {"ffprobe_mp4_language_tags.txt", "mov", 2, 176, 144, "h264 (Baseline)", "aac"},
        {"ffprobe_ts_h264_main_aac.txt", "mpegts", 2, 320, 240, "h264 (Main)", "aac"},
        {"ffprobe_ts_mpeg2video_mp2.txt", "mpegts", 2, 320, 240, "mpeg2video", "mp2"},
        {"ffprobe_flv_flv1_mp3.txt", "flv", 2, 320, 240, "flv1", "mp3"},
        {"ffprobe_avi_mpeg4_mp3.txt", "avi", 2, 320, 240, "mpeg4", "mp3"},
        {"ffprobe_avi_mpeg4_alaw.txt", "avi", 2, 320, 240, "mpeg4", "pcm_alaw"},
        {"ffprobe_asf_wmv2_wmav2.txt", "asf", 2, 320, 240, "wmv2", "wmav2"},
        {"ffprobe_mp4_hevc.txt", "mov", 2, 160, 120, "hevc", ""},
        {"ffprobe_audio_only.txt", "mp3", 2, 0, 0, "", "mp3"},
        {"ffprobe_mp4_colour_bt709.txt", "mov", 2, 320, 240, "h264 (Baseline)", ""},  // commas before the size
        {"ffprobe_mp4_h264_high10.txt", "mov", 2, 320, 240, "h264 (High)", ""},
        {"ffprobe_mkv_two_video.txt", "matroska", 2, 176, 144, "h264 (Baseline)", ""},  // the later line wins
        {"ffprobe_raw.txt", "h264", 0, 320, 240, "h264 (Baseline)", ""},  // "Duration: N/A"
        {"ffprobe_text_file.txt", "", 0, 0, 0, "", ""},                    // no format: no probe
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.fixture);
        const std::vector<std::string> lines = fixture_lines(c.fixture);
        ASSERT_GT(lines.size(), 5u) << "capture missing";
        std::string script, video, audio;
        for (const std::string &line : lines) {
            script += "print " + line;
            if (line.find("Stream #") == std::string::npos) continue;
            if (line.find("Video: ") != std::string::npos) video = line;
            if (line.find("Audio: ") != std::string::npos) audio = line;
        }
        tools.probe(script);
        tt::LogCapture log;
        probe_result_ex r = {};
        EXPECT_EQ(internal_probe_ex("src", &r), *c.f_fmt ? 1 : 0);
        EXPECT_STREQ(r.result.f_fmt, c.f_fmt);
        EXPECT_EQ(r.result.duration, c.duration);
        EXPECT_EQ(r.result.width, c.width);
        EXPECT_EQ(r.result.height, c.height);
        EXPECT_STREQ(r.result.v_fmt, c.v_fmt);
        EXPECT_STREQ(r.result.a_fmt, c.a_fmt);
        EXPECT_EQ(r.video_detailed_param, video);
        EXPECT_EQ(r.audio_detailed_param, audio);
        EXPECT_FALSE(log.contains("file: parsers.cpp")) << "a parser complained";
        uint32_t flag = 0;
        EXPECT_EQ(internal_probe("src", &r.result, &flag), *c.f_fmt ? 1 : 0);
        EXPECT_EQ(flag, 0u);  // the stock programs print no header_info line
    }
}

std::vector<int> progress_times(const std::vector<std::string> &lines)
{
    std::vector<int> times;
    for (const auto &l : lines) {
        int t = get_buf_cur_time(l.c_str());
        if (t != -1) times.push_back(t);
    }
    return times;
}

// A conversion's status lines (CR-separated by the stock program):
// time=00:00:00.06 .34 .66 .94 01.26 01.57 01.88 02.00.
TEST(StockOutput, ConversionProgressTimes)
{
    std::vector<std::string> lines = fixture_lines("ffmpeg_convert.txt");
    tt::LogCapture cap;
    EXPECT_EQ(progress_times(lines), (std::vector<int>{0, 0, 0, 0, 1, 1, 1, 2}));
    EXPECT_TRUE(cap.lines().empty());
}

// The stock program prints a negative time as "-00:00:02.99": the sign
// belongs to the hours field, which reads as 0, so the value is 2 and not
// negative (no log line).
TEST(StockOutput, NegativeTimeBelowAnHourReadsAsPositive)
{
    const std::vector<std::string> lines = fixture_lines("ffmpeg_negative_time.txt");
    ASSERT_NE(tt::read_file(fixture_path("ffmpeg_negative_time.txt")).find("time=-00:00:02.99 "), std::string::npos);
    tt::LogCapture cap;
    EXPECT_EQ(progress_times(lines), (std::vector<int>{0, 2}));
    EXPECT_TRUE(cap.lines().empty());
}

}  // namespace
