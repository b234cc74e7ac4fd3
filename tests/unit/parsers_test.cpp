// Parsers of tool output: documented lines in place, imitations elsewhere, report, first-line pid, bounds.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "media/parsers.h"

namespace {

enum class Parser { f_fmt, duration, cur_time, resolution, v_fmt, a_fmt, header_info, video_line };

struct Parsed {
    int result = -2;
    std::string text;  // name written into the 30-byte output
    int width = 0, height = 0;
};

// Runs one parser on a private copy of the line, as a fresh line buffer.
Parsed run(Parser p, const std::string &line)
{
    std::vector<char> buf(line.begin(), line.end());
    buf.push_back('\0');
    char out[30] = {};
    Parsed r;
    switch (p) {
    case Parser::f_fmt: r.result = get_buf_f_fmt(buf.data(), out); break;
    case Parser::duration: r.result = get_buf_duration(buf.data()); break;
    case Parser::cur_time: r.result = get_buf_cur_time(buf.data()); break;
    case Parser::resolution: r.result = get_buf_resolution(buf.data(), &r.width, &r.height); break;
    case Parser::v_fmt: r.result = get_buf_v_fmt(buf.data(), out); break;
    case Parser::a_fmt: r.result = get_buf_a_fmt(buf.data(), out); break;
    case Parser::header_info: r.result = get_buf_header_info(buf.data()); break;
    case Parser::video_line: r.result = get_video_detailed_param(buf.data()); break;
    }
    r.text = out;
    return r;
}

TEST(Parsers, LinesAndWhatTheyYield)
{
    const std::string zeros59(59, '0');
    const std::string status = "frame=  240 fps= 60 q=28.0 size=    1024kB time=";
    struct Row {
        Parser parser;
        std::string line;
        int result;
        const char *text = "";
        int width = 0, height = 0;
    } rows[] = {
        {Parser::f_fmt, "Input #0, mov,mp4,m4a,3gp,3g2,mj2, from 'a.mp4':\n", 0, "mov"},
        {Parser::f_fmt, "Input #0,   , from 'x'\n", -1},
        {Parser::f_fmt, "x Input #0, mpegts, from 'a.ts':\n", -1},
        {Parser::duration, "  Duration: 00:01:02.50, start: 0.000000, bitrate: 2000 kb/s\n", 62},
        {Parser::duration, "  Duration: N/A, start: 0.000000, bitrate: N/A\n", 0},
        {Parser::duration, "  Duration: 00:00:59.99, start: 0.000000\n", 59},  // fractions dropped
        {Parser::duration, "  Duration: 00:01:02.50\n", -1},                   // no comma after it
        // At most 14 characters are read: "N/A" beyond them is not seen.
        {Parser::duration, "  Duration: " + std::string(12, '0') + "N/A, start: 0\n", -1},
        {Parser::duration, "  Duration: " + std::string(11, '0') + "N/A, start: 0\n", 0},
        // Only the tool's own place: two blanks, no metadata continuation.
        {Parser::duration, "Duration: 05:00:00.00, start: 0.000000\n", -1},
        {Parser::duration, "    Duration: 05:00:00.00, start: 0.000000\n", -1},
        {Parser::duration, "                    :   Duration: 05:00:00.00, start: 0\n", -1},
        {Parser::cur_time, status + "00:00:09.60 bitrate= 873.8kbits/s speed=1x\n", 9},
        {Parser::cur_time, status + "01:00:00.00 bitrate=N/A\n", 3600},
        {Parser::cur_time, status + "-577014:32:22.77 bitrate=N/A\n", 0},
        {Parser::cur_time, "size=  1kB time=00:00:59.99 bitrate=1kbits/s\n", 59},
        {Parser::cur_time, "Lsize=  1kB time=00:00:03.01 bitrate=1kbits/s\n", 3},
        {Parser::cur_time, "size=N/A time=N/A bitrate=N/A speed=N/A\n", -1},
        // Taken at most 63 characters long: "1:0:" and 59 zeros, the "7" after them is not seen.
        {Parser::cur_time, "size=1 time=1:0:" + zeros59 + "7 bitrate=1\n", 3600},
        {Parser::cur_time, "size=1 time=1:0:" + zeros59.substr(1) + "7 bitrate=1\n", 3607},
        // Not a status line: elsewhere on a line, without "bitrate=" after it, inside metadata.
        {Parser::cur_time, "x time=00:00:05.00 bitrate=1\n", -1},
        {Parser::cur_time, "size=1kB time=00:00:05.00\n", -1},
        {Parser::cur_time, "frame=1 size=1kB time=00:00:05.00 q=1 bitrate=1\n", -1},
        {Parser::cur_time, "                    : frame=1 size=1kB time=05:00:00.00 bitrate=1\n", -1},
        {Parser::resolution,
         "  Stream #0:0[0x1](und): Video: h264 (High), yuv420p(tv, bt709, progressive), 1280x720 [SAR 1:1 DAR 16:9]\n",
         0, "", 1280, 720},
        {Parser::resolution, "  Stream #0:0: Video: h264 (High), yuv420p, 25 fps, 90k tbn\n", -1},
        {Parser::v_fmt, "  Stream #0:0: Video: h264 (Constrained Baseline), yuv420p, 320x240\n", 0, "h264 (Baseline)"},
        {Parser::v_fmt, "  Stream #0:0: Video: h264 (High 10), yuv420p10le, 320x240\n", 0, "h264 (High)"},
        {Parser::v_fmt, "  Stream #0:0[0x100]: Video: h264 (Main) ([27][0][0][0] / 0x001B), yuv420p\n", 0, "h264 (Main)"},
        {Parser::v_fmt, "  Stream #0:0: Video: hevc (Main), yuv420p, 3840x2160\n", 0, "hevc"},
        {Parser::v_fmt, "  Stream #0:0: Video: , yuv420p\n", -1},
        {Parser::a_fmt, "  Stream #0:1(und): Audio: aac (LC), 48000 Hz, stereo, fltp\n", 0, "aac"},
        // Imitations: metadata continuations, other indentations, the type
        // not right after the stream's head, a language that is not a code.
        {Parser::resolution, "                      :   Stream #0:0(und): Video: hevc, yuv420p, 7680x4320\n", -1},
        {Parser::v_fmt, "      handler_name    : Stream #0:0: Video: hevc, yuv420p\n", -1},
        {Parser::v_fmt, "Stream #0:0: Video: hevc, yuv420p, 7680x4320\n", -1},
        {Parser::v_fmt, "      Stream #0:0: Video: hevc, yuv420p, 7680x4320\n", -1},
        {Parser::v_fmt, "  Stream #0:0 -> #0:0 (h264 (native) -> mpeg4 (native)) Video: hevc\n", -1},
        {Parser::v_fmt, "  Stream #0:0(x): y): Video: hevc, yuv420p\n", -1},
        {Parser::video_line, "  Stream #0:0(x y): Video: hevc, yuv420p\n", -1},
        {Parser::video_line, "  Stream #0:1(und): Audio: aac (LC), 48000 Hz\n", -1},
        {Parser::header_info, "header_info=0\n", 1},
        {Parser::header_info, "header_info=1\n", 0},
        {Parser::header_info, "                    : header_info=0\n", 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.line.substr(0, 120));
        const Parsed got = run(row.parser, row.line);
        EXPECT_EQ(got.result, row.result);
        EXPECT_EQ(got.text, row.text);
        EXPECT_EQ(got.width, row.width);
        EXPECT_EQ(got.height, row.height);
    }
}

// A report with forged lines at every place a file can put them: only
// the tool's own lines are offered to the field parsers.
TEST(Parsers, ReportReaderTakesOnlyTheToolsOwnLines)
{
    const report_line O = REPORT_OTHER, M = REPORT_METADATA, I = REPORT_INPUT, D = REPORT_DURATION,
                      S = REPORT_STREAM;
    const std::pair<const char *, report_line> report[] = {
        {"Input #0, mov,mp4,m4a,3gp,3g2,mj2, from 'a.mp4':\n", I},
        {"  Metadata:\n", M},
        {"                    :   Duration: 05:00:00.00, start: 0.000000, bitrate: 1 kb/s\n", M},
        {"    k\n", M},
        {"  Duration: 05:00:00.00, start: 0.000000, bitrate: 1 kb/s\n", D},  // a key's line break: overwritten below
        {": v\n", M},
        {"  Duration: 00:00:03.00, start: 0.000000, bitrate: 215 kb/s\n", D},
        {"  Chapters:\n", O},
        {"    Chapter #0:0: start 0.000000, end 1.000000\n", O},
        {"      Metadata:\n", M},
        {"                        :   Stream #0:0(und): Video: hevc (Main), yuv420p, 7680x4320\n", M},
        {"  Duration: 05:00:00.00, start: 0.000000, bitrate: 1 kb/s\n", O},  // after the header
        {"  Stream #0:0[0x1](und): Video: h264 (High), yuv420p, 320x240\n", S},
        {"    Metadata:\n", M},
        {"      handler_name    : x\n", M},
        {"                      :   Stream #0:0(und): Video: hevc (Main), yuv420p, 7680x4320\n", M},
        {"    Stream #0:1(und): Audio: aac (LC), 44100 Hz, mono, fltp\n", S},  // FFmpeg 4 indents by four
        {"  Stream #0:2(x\n", O},  // a language with a line break: nothing after it is trusted
        {"  Stream #0:5: Video: hevc, 7680x4320): Video: h264, yuv420p, 320x240\n", O},
        {"header_info=0\n", O},
    };
    report_state st = {};
    for (const auto &line : report) EXPECT_EQ(classify_report_line(&st, line.first), line.second) << line.first;

}

// The pid comes from the first line only, whatever later lines carry.
TEST(Parsers, PidIsTakenFromTheFirstLineOnly)
{
    const struct {
        std::vector<const char *> lines;
        std::vector<int> pids;
    } cases[] = {
        {{"PID = 4242\n", "PID = 7\n"}, {4242, -1}},
        {{"PID =\t17", "x"}, {17, -1}},
        {{"Input #0, mov, from 'a':\n", "PID = 7\n"}, {-1, -1}},
        {{"                    : PID = 7\n"}, {-1}},
        {{"x PID = 7\n"}, {-1}},
        {{"PID = x\n"}, {-1}},
        {{"PID = 4294967297\n"}, {-1}},  // beyond int: no pid, not 1
    };
    for (const auto &c : cases) {
        int lines_read = 0;
        for (size_t i = 0; i < c.lines.size(); i++)
            EXPECT_EQ(get_first_line_pid(c.lines[i], &lines_read), c.pids[i]) << c.lines[i];
        EXPECT_EQ(lines_read, static_cast<int>(c.lines.size()));
    }
}

// Names are copied into the caller's 30-byte fields, 29 characters and the
// terminator; a line of another kind is left uncut by the in-place parsers.
TEST(Parsers, NamesStayInBoundsAndOtherLinesUncut)
{
    const std::string junk(5000, 'j');
    EXPECT_EQ(run(Parser::f_fmt, "Input #0, " + junk + ", from 'x':\n").text, std::string(29, 'j'));
    EXPECT_EQ(run(Parser::v_fmt, "  Stream #0:0: Video: " + junk + ", yuv420p\n").text, std::string(29, 'j'));
    const std::string audio = "  Stream #0:1[0x2](und): Audio: aac (LC) (mp4a / 0x6134706D), 48000 Hz, mono, fltp\n";
    std::vector<char> buf(audio.begin(), audio.end());
    buf.push_back('\0');
    char out[30] = {};
    int w = 7, h = 9;
    EXPECT_EQ(get_buf_resolution(buf.data(), &w, &h), -1);
    EXPECT_EQ(get_buf_v_fmt(buf.data(), out), -1);
    EXPECT_EQ(std::string(buf.data()), audio);
    EXPECT_EQ(w * 10 + h, 79);
}

}  // namespace
