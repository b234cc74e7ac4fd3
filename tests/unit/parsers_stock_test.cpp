// The parsers on the exact output of Debian's stock FFmpeg 5.1 programs,
// captured from files generated with lavfi sources (see the README next to
// the captures). Expected values are read off the captured lines.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "cvt/parsers.h"
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

struct Probed {
    std::string f_fmt, v_fmt, a_fmt;
    int duration = -7;  // untouched marker
    int width = 0, height = 0;
    bool header_info = false;
    int video_lines = 0, audio_lines = 0;
};

// The probe's order: format, header info, the stream-line copies, duration,
// then the three parsers that cut the line, in this order, on one buffer.
Probed probe_lines(const std::vector<std::string> &lines)
{
    Probed r;
    for (const std::string &line : lines) {
        std::vector<char> buf(line.begin(), line.end());
        buf.push_back('\0');
        char name[30] = {};
        if (get_buf_f_fmt(buf.data(), name) == 0) r.f_fmt = name;
        if (get_buf_header_info(buf.data())) r.header_info = true;
        if (get_video_detailed_param(buf.data()) == 0) r.video_lines++;
        if (get_audio_detailed_param(buf.data()) == 0) r.audio_lines++;
        int d = get_buf_duration(buf.data());
        if (d != -1) r.duration = d;
        int w = 0, h = 0;
        if (get_buf_resolution(buf.data(), &w, &h) == 0) {
            r.width = w;
            r.height = h;
        }
        std::memset(name, 0, sizeof name);
        if (get_buf_v_fmt(buf.data(), name) == 0) r.v_fmt = name;
        std::memset(name, 0, sizeof name);
        if (get_buf_a_fmt(buf.data(), name) == 0) r.a_fmt = name;
    }
    return r;
}

struct ProbeCase {
    const char *fixture;
    const char *f_fmt;
    int duration;
    int width, height;
    const char *v_fmt;
    const char *a_fmt;
    int video_lines, audio_lines;
};

// Read off each capture: the format is the first name after "Input #0,"
// (so MP4 files are "mov"), durations drop their fraction, H.264 names
// carry the profile class, other codecs the bare name.
const ProbeCase kProbeCases[] = {
    {"ffprobe_mp4_h264_high_aac.txt", "mov", 2, 320, 240, "h264 (High)", "aac", 1, 1},
    {"ffprobe_mp4_language_tags.txt", "mov", 2, 176, 144, "h264 (Baseline)", "aac", 1, 1},
    {"ffprobe_ts_h264_main_aac.txt", "mpegts", 2, 320, 240, "h264 (Main)", "aac", 1, 1},
    {"ffprobe_ts_mpeg2video_mp2.txt", "mpegts", 2, 320, 240, "mpeg2video", "mp2", 1, 1},
    {"ffprobe_flv_flv1_mp3.txt", "flv", 2, 320, 240, "flv1", "mp3", 1, 1},
    {"ffprobe_avi_mpeg4_mp3.txt", "avi", 2, 320, 240, "mpeg4", "mp3", 1, 1},
    {"ffprobe_avi_mpeg4_alaw.txt", "avi", 2, 320, 240, "mpeg4", "pcm_alaw", 1, 1},
    {"ffprobe_asf_wmv2_wmav2.txt", "asf", 2, 320, 240, "wmv2", "wmav2", 1, 1},
    {"ffprobe_mp4_hevc.txt", "mov", 2, 160, 120, "hevc", "", 1, 0},
    {"ffprobe_audio_only.txt", "mp3", 2, 0, 0, "", "mp3", 0, 1},
    {"ffprobe_mp4_colour_bt709.txt", "mov", 2, 320, 240, "h264 (Baseline)", "", 1, 0},
    {"ffprobe_mp4_h264_high10.txt", "mov", 2, 320, 240, "h264 (High)", "", 1, 0},
    // Two video streams: the later line wins.
    {"ffprobe_mkv_two_video.txt", "matroska", 2, 176, 144, "h264 (Baseline)", "", 2, 0},
    // Raw H.264: "Duration: N/A, bitrate: N/A".
    {"ffprobe_raw.txt", "h264", 0, 320, 240, "h264 (Baseline)", "", 1, 0},
    {"ffprobe_text_file.txt", "", -7, 0, 0, "", "", 0, 0},
};

TEST(StockOutput, ProbeOutputParsesToTheStreamsThatWereGenerated)
{
    for (const ProbeCase &c : kProbeCases) {
        SCOPED_TRACE(c.fixture);
        std::vector<std::string> lines = fixture_lines(c.fixture);
        ASSERT_GT(lines.size(), 5u) << "capture missing";
        tt::LogCapture cap;
        Probed got = probe_lines(lines);
        EXPECT_EQ(got.f_fmt, c.f_fmt);
        EXPECT_EQ(got.duration, c.duration);
        EXPECT_EQ(got.width, c.width);
        EXPECT_EQ(got.height, c.height);
        EXPECT_EQ(got.v_fmt, c.v_fmt);
        EXPECT_EQ(got.a_fmt, c.a_fmt);
        EXPECT_EQ(got.video_lines, c.video_lines);
        EXPECT_EQ(got.audio_lines, c.audio_lines);
        EXPECT_FALSE(got.header_info);  // the stock programs print no such line
        EXPECT_TRUE(cap.lines().empty());
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
    // The conversion's own input section parses as a probe's would.
    Probed got = probe_lines(lines);
    EXPECT_EQ(got.f_fmt, "mov");
    EXPECT_EQ(got.duration, 2);
}

// The stock program prints a negative time as "-00:00:02.99": the sign
// belongs to the hours field, which reads as 0, so the value is 2 and not
// negative (no log line).
TEST(StockOutput, NegativeTimeBelowAnHourReadsAsPositive)
{
    std::vector<std::string> lines = fixture_lines("ffmpeg_negative_time.txt");
    ASSERT_NE(tt::read_file(fixture_path("ffmpeg_negative_time.txt")).find("time=-00:00:02.99 "), std::string::npos);
    tt::LogCapture cap;
    EXPECT_EQ(progress_times(lines), (std::vector<int>{0, 2}));
    EXPECT_TRUE(cap.lines().empty());
}

}  // namespace
