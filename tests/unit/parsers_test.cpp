// Parsers of tool output: edge cases and imitations of the lines, the report reader, first-line pid,
// bounds; then the probe and the status-line parser on captured output of stock FFmpeg 5.1 (see the
// README there), which holds the lines as the stock program prints them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_tools.h"
#include "media/fmt_table.h"
#include "media/parsers.h"
#include "processes.h"
#include "test_util.h"
#include "tool/probe.h"

namespace {

// The parsers in one shape: a line buffer (some cut it in place) and the caller's 30-byte name field.
using Parse = int (*)(char *line, char *name);
const Parse f_fmt = [](char *line, char *name) { return get_buf_f_fmt(line, name); };
const Parse v_fmt = get_buf_v_fmt;
const Parse duration = [](char *line, char *) { return get_buf_duration(line); };
const Parse cur_time = [](char *line, char *) { return get_buf_cur_time(line); };
const Parse video_line = [](char *line, char *) { return get_video_detailed_param(line); };
const Parse resolution = [](char *line, char *) {
    int width = 0, height = 0;  // the probe takes them only from a line that yields them
    return get_buf_resolution(line, &width, &height);
};
const Parse first_pid = [](char *line, char *) {
    int lines_read = 0;  // the first line
    return get_first_line_pid(line, &lines_read);
};

// The probe gives the duration and stream parsers only the lines the report reader took as such (their
// indentation and metadata: the captures below; the header_info line: the probe's integration test).
TEST(Parsers, LinesAndWhatTheyYield)
{
    const std::string zeros59(59, '0'), junk(5000, 'j'), junk29(29, 'j');
    const std::string status = "frame=  240 fps= 60 q=28.0 size=    1024kB time=";
    struct Row {
        Parse parse;
        std::string line;
        int result;
        std::string text = "";
    } rows[] = {
        {f_fmt, "Input #0,   , from 'x'\n", -1},
        {f_fmt, "x Input #0, mpegts, from 'a.ts':\n", -1},
        {duration, "  Duration: 00:01:02.50\n", -1},  // no comma after it
        // At most 14 characters are read: "N/A" beyond them is not seen.
        {duration, "  Duration: " + std::string(12, '0') + "N/A, start: 0\n", -1},
        {duration, "  Duration: " + std::string(11, '0') + "N/A, start: 0\n", 0},
        {cur_time, status + "-577014:32:22.77 bitrate=N/A\n", 0},
        {cur_time, "size=  1kB time=00:00:59.99 bitrate=1kbits/s\n", 59},
        {cur_time, "Lsize=  1kB time=00:00:03.01 bitrate=1kbits/s\n", 3},
        {cur_time, "size=N/A time=N/A bitrate=N/A speed=N/A\n", -1},
        // Taken at most 63 characters long: "1:0:" and 59 zeros, the "7" after them is not seen.
        {cur_time, "size=1 time=1:0:" + zeros59 + "7 bitrate=1\n", 3600},
        {cur_time, "size=1 time=1:0:" + zeros59.substr(1) + "7 bitrate=1\n", 3607},
        // Not a status line: elsewhere on a line, without "bitrate=" after it.
        {cur_time, "x time=00:00:05.00 bitrate=1\n", -1},
        {cur_time, "size=1kB time=00:00:05.00\n", -1},
        {cur_time, "frame=1 size=1kB time=00:00:05.00 q=1 bitrate=1\n", -1},
        {resolution, "  Stream #0:0: Video: h264 (High), yuv420p, 25 fps, 90k tbn\n", -1},
        {v_fmt, "  Stream #0:0: Video: , yuv420p\n", -1},
        // Imitations: the type not right after the stream's head, a language that is not a code.
        {v_fmt, "  Stream #0:0 -> #0:0 (h264 (native) -> mpeg4 (native)) Video: hevc\n", -1},
        {v_fmt, "  Stream #0:0(x): y): Video: hevc, yuv420p\n", -1},
        {video_line, "  Stream #0:0(x y): Video: hevc, yuv420p\n", -1},
        // Names fill at most 29 characters of the caller's 30-byte fields.
        {f_fmt, "Input #0, " + junk + ", from 'x':\n", 0, junk29},
        {v_fmt, "  Stream #0:0: Video: " + junk + ", yuv420p\n", 0, junk29},
        // The pid: "PID =", blanks (if any) and digits that fit an int (the parsers fuzz target checks that
        // no other line yields one, nor another number).
        {first_pid, "PID =\t4242\n", 4242},
        {first_pid, "PID =42\n", 42},
        {first_pid, "PID = x\n", -1},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.line.substr(0, 120));
        std::vector<char> line(row.line.begin(), row.line.end());
        line.push_back('\0');  // a buffer of the line's own size, as a fresh line buffer
        char name[30] = {};
        EXPECT_EQ(row.parse(line.data(), name), row.result);
        EXPECT_EQ(std::string(name), row.text);
    }
}

// The report reader's rules that no captured report below meets: a
// "Duration" line after the header is the file's text, and FFmpeg 4
// indents its stream lines by four.
TEST(Parsers, ReportReaderTakesOnlyTheToolsOwnLines)
{
    const std::pair<const char *, report_line> report[] = {
        {"Input #0, mov,mp4,m4a,3gp,3g2,mj2, from 'a.mp4':\n", REPORT_INPUT},
        {"  Duration: 00:00:03.00, start: 0.000000, bitrate: 215 kb/s\n", REPORT_DURATION},
        {"  Chapters:\n", REPORT_OTHER},
        {"  Duration: 05:00:00.00, start: 0.000000, bitrate: 1 kb/s\n", REPORT_OTHER},
        {"    Stream #0:1(und): Audio: aac (LC), 44100 Hz, mono, fltp\n", REPORT_STREAM},
    };
    report_state st = {};
    for (const auto &line : report) EXPECT_EQ(classify_report_line(&st, line.first), line.second) << line.first;
}

// A capture as the tool layer hands it over: one line per CR, LF or CR LF, each ending in a line break.
std::vector<std::string> fixture_lines(const std::string &name)
{
    const std::string dir = name.find('/') == std::string::npos ? "/fixtures/stock_output/" : "/";
    std::vector<std::string> lines = tt::split_lines(tt::read_file(TARSA_TESTS_DIR + dir + name));
    for (std::string &line : lines) line += "\n";
    return lines;
}

// The probe on each capture, played by the fake tool (the other probes agree with it: the probe's
// integration test, which also probes copies whose metadata imitates the report's lines). Read off
// each capture: the format is the first name after "Input #0," (so MP4 files are "mov"), durations
// drop their fraction, H.264 names carry the profile class, other codecs the bare name, and the last
// stream line of a kind is kept. (MP4 with H.264 and AAC or HEVC, TS, AVI with MPEG-4 and MP3, MP3
// and a text file: the probe's integration test, on files the stock program makes.)
TEST(StockOutput, ProbeOfTheCapturedOutput)
{
    init_fmt_table();
    tt::FakeTools tools;
    const struct {
        std::string fixture;
        const char *f_fmt;
        int duration, width, height;
        const char *v_fmt, *a_fmt;
    } cases[] = {
        {"ffprobe_mp4_language_tags.txt", "mov", 2, 176, 144, "h264 (Baseline)", "aac"},
        {"ffprobe_ts_mpeg2video_mp2.txt", "mpegts", 2, 320, 240, "mpeg2video", "mp2"},
        {"ffprobe_flv_flv1_mp3.txt", "flv", 2, 320, 240, "flv1", "mp3"},
        {"ffprobe_avi_mpeg4_alaw.txt", "avi", 2, 320, 240, "mpeg4", "pcm_alaw"},
        {"ffprobe_asf_wmv2_wmav2.txt", "asf", 2, 320, 240, "wmv2", "wmav2"},
        {"ffprobe_mp4_colour_bt709.txt", "mov", 2, 320, 240, "h264 (Baseline)", ""},  // commas before the size
        {"ffprobe_mp4_h264_high10.txt", "mov", 2, 320, 240, "h264 (High)", ""},
        {"ffprobe_mkv_two_video.txt", "matroska", 2, 176, 144, "h264 (Baseline)", ""},  // the later line wins
        {"ffprobe_raw.txt", "h264", 0, 320, 240, "h264 (Baseline)", ""},  // "Duration: N/A"
        // A line break in a stream's language (the tool prints it as it
        // is) leaves no stream line to trust; a metadata key's line break
        // cannot replace the duration.
        {"fuzz/corpus/parsers/ffprobe_mkv_language_break.txt", "matroska", 3, 0, 0, "", ""},
        {"fuzz/corpus/parsers/ffprobe_nut_key_break.txt", "nut", 3, 320, 240, "h264 (Baseline)", "aac"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.fixture);
        std::string script, video, audio;
        for (const std::string &line : fixture_lines(c.fixture)) {
            script += "print " + line;
            if (line.rfind("  Stream #", 0) != 0 || !*(std::string(c.v_fmt) + c.a_fmt).c_str()) continue;
            if (line.find("Video: ") != std::string::npos) video = line;
            if (line.find("Audio: ") != std::string::npos) audio = line;
        }
        tools.probe(script);
        probe_result_ex r = {};
        EXPECT_EQ(internal_probe_ex("src", &r), 1);
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

// A conversion's status lines (CR-separated by the stock program): time=00:00:00.06 .34 .66 .94
// 01.26 01.57 01.88 02.00 (a handler name's status line, which does not start its line: the table above).
// "-00:00:02.99": the sign belongs to the hours field, which reads as 0, so the value is 2.
TEST(StockOutput, ConversionProgressTimes)
{
    const std::pair<const char *, std::vector<int>> cases[] = {{"ffmpeg_convert.txt", {0, 0, 0, 0, 1, 1, 1, 2}},
                                                               {"ffmpeg_negative_time.txt", {0, 2}}};
    for (const auto &c : cases) {
        std::vector<int> times;
        for (const std::string &line : fixture_lines(c.first))
            if (const int t = get_buf_cur_time(line.c_str()); t != -1) times.push_back(t);
        EXPECT_EQ(times, c.second) << c.first;
    }
}

}  // namespace
