// The probe and the status-line parser on captured output of stock FFmpeg 5.1 (see the README there).
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
    return std::string(TARSA_TESTS_DIR) + "/" + (name.find('/') == std::string::npos ? "fixtures/stock_output/" : "") + name;
}

// The capture as the tool layer hands it over: one line per CR, LF or
// CR LF, each ending in a line break.
std::vector<std::string> fixture_lines(const std::string &name)
{
    std::vector<std::string> lines = tt::split_lines(tt::read_file(fixture_path(name)));
    for (std::string &line : lines) line += "\n";
    return lines;
}

// The probe of a capture played by the fake tool; both probes must agree.
probe_result_ex probe_capture(tt::FakeTools &tools, const std::string &name, int *ok)
{
    std::string script;
    for (const std::string &line : fixture_lines(name)) script += "print " + line;
    tools.probe(script);
    tt::LogCapture log;
    probe_result_ex r = {};
    *ok = internal_probe_ex("src", &r);
    EXPECT_FALSE(log.contains("file: parsers.cpp")) << "a parser complained";
    probe_result plain = {};
    uint32_t flag = 0;
    EXPECT_EQ(internal_probe("src", &plain, &flag), *ok);
    EXPECT_EQ(std::memcmp(&plain, &r.result, sizeof plain), 0);
    EXPECT_EQ(flag, 0u);  // the stock programs print no header_info line
    return r;
}

// The probe on each capture. Read off each capture: the format is the
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
        // A line break in a stream's language (the tool prints it as it
        // is) leaves no stream line to trust; a metadata key's line break
        // cannot replace the duration.
        {"fuzz/corpus/parsers/ffprobe_mkv_language_break.txt", "matroska", 3, 0, 0, "", ""},
        {"fuzz/corpus/parsers/ffprobe_nut_key_break.txt", "nut", 3, 320, 240, "h264 (Baseline)", "aac"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.fixture);
        std::string video, audio;
        for (const std::string &line : fixture_lines(c.fixture)) {
            if (line.rfind("  Stream #", 0) != 0 || !*(std::string(c.v_fmt) + c.a_fmt).c_str()) continue;
            if (line.find("Video: ") != std::string::npos) video = line;
            if (line.find("Audio: ") != std::string::npos) audio = line;
        }
        int ok = -1;
        const probe_result_ex r = probe_capture(tools, c.fixture, &ok);
        EXPECT_EQ(ok, *c.f_fmt ? 1 : 0);
        EXPECT_STREQ(r.result.f_fmt, c.f_fmt);
        EXPECT_EQ(r.result.duration, c.duration);
        EXPECT_EQ(r.result.width, c.width);
        EXPECT_EQ(r.result.height, c.height);
        EXPECT_STREQ(r.result.v_fmt, c.v_fmt);
        EXPECT_STREQ(r.result.a_fmt, c.a_fmt);
        EXPECT_EQ(r.video_detailed_param, video);
        EXPECT_EQ(r.audio_detailed_param, audio);
    }
}

// Reports of copies of one file whose title, comment, stream handler names
// or chapter title hold imitations of the report's lines probe exactly as
// the clean copy's report.
TEST(StockOutput, ForgedReportsProbeAsTheCleanOne)
{
    init_fmt_table();
    tt::FakeTools tools;
    int ok = -1;
    const probe_result_ex clean = probe_capture(tools, "fuzz/corpus/parsers/ffprobe_clean.txt", &ok);
    ASSERT_EQ(ok, 1);
    for (const char *name : {"title", "comment", "video_handler", "audio_handler", "chapters"}) {
        SCOPED_TRACE(name);
        const std::string file = std::string("fuzz/corpus/parsers/ffprobe_") + name + ".txt";
        ASSERT_NE(tt::read_file(fixture_path(file)).find(":   Duration: 05:00:00.00"), std::string::npos);
        const probe_result_ex forged = probe_capture(tools, file, &ok);
        EXPECT_EQ(ok, 1);
        EXPECT_EQ(std::memcmp(&forged, &clean, sizeof clean), 0);
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

// A conversion's status lines (CR-separated by the stock program): time=00:00:00.06 .34 .66 .94
// 01.26 01.57 01.88 02.00; a handler name holding a status line yields only the real ones.
// "-00:00:02.99": the sign belongs to the hours field, which reads as 0, so the value is 2.
TEST(StockOutput, ConversionProgressTimes)
{
    EXPECT_EQ(progress_times(fixture_lines("ffmpeg_convert.txt")), (std::vector<int>{0, 0, 0, 0, 1, 1, 1, 2}));
    EXPECT_EQ(progress_times(fixture_lines("fuzz/corpus/parsers/ffmpeg_convert_forged.txt")), (std::vector<int>{0, 3}));
    ASSERT_NE(tt::read_file(fixture_path("ffmpeg_negative_time.txt")).find("time=-00:00:02.99 "), std::string::npos);
    EXPECT_EQ(progress_times(fixture_lines("ffmpeg_negative_time.txt")), (std::vector<int>{0, 2}));
}

}  // namespace
