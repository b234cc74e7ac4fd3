// Parsers of the tools' output lines: the documented examples, the edge
// cases, null arguments, and the exact lines that the stock FFmpeg 5.1
// programs print (captured into tests/fixtures/stock_output).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "cvt/parsers.h"
#include "log_capture.h"
#include "test_util.h"

namespace {

enum class Parser { f_fmt, duration, cur_time, resolution, v_fmt, a_fmt };

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
    }
    r.text = out;
    return r;
}

// The documented examples, one row each.
TEST(Parsers, DocumentedExamples)
{
    struct Row {
        Parser parser;
        const char *line;
        int result;
        const char *text;
        int width, height;
        const char *log;  // expected [info] message, or nullptr for none
    };
    const Row rows[] = {
        {Parser::f_fmt, "Input #0, mov,mp4,m4a,3gp,3g2,mj2, from 'a.mp4':", 0, "mov", 0, 0, nullptr},
        {Parser::f_fmt, "Input #0, mpegts, from 'a.ts':", 0, "mpegts", 0, 0, nullptr},
        {Parser::duration, "Duration: 00:01:02.50, start: 0.000000, bitrate: 2000 kb/s", 62, "", 0, 0, nullptr},
        {Parser::duration, "Duration: N/A, start: 0.000000, bitrate: N/A", 0, "", 0, 0, nullptr},
        {Parser::cur_time,
         "frame=  240 fps= 60 q=28.0 size=    1024kB time=00:00:09.60 bitrate= 873.8kbits/s", 9, "", 0, 0,
         nullptr},
        {Parser::cur_time, "... time=01:00:00.00 bitrate=...", 3600, "", 0, 0, nullptr},
        // -577014 * 3600 + 32 * 60 + 22
        {Parser::cur_time, "... time=-577014:32:22.77 bitrate=...", 0, "", 0, 0, "cur_time is -2077248458"},
        {Parser::resolution,
         "Stream #0:0: Video: h264 (High), yuv420p(tv, bt709), 1280x720 [SAR 1:1 DAR 16:9], 25 fps", 0, "", 1280,
         720, nullptr},
        {Parser::v_fmt, "Stream #0:0: Video: h264 (High), yuv420p, 1920x1080", 0, "h264 (High)", 0, 0, nullptr},
        {Parser::v_fmt, "Stream #0:0: Video: hevc (Main), yuv420p, 3840x2160", 0, "hevc", 0, 0, nullptr},
        {Parser::a_fmt, "Stream #0:1(und): Audio: aac (LC), 48000 Hz, stereo, fltp", 0, "aac", 0, 0, nullptr},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.line);
        tt::LogCapture cap;
        Parsed got = run(row.parser, row.line);
        EXPECT_EQ(got.result, row.result);
        EXPECT_EQ(got.text, row.text);
        EXPECT_EQ(got.width, row.width);
        EXPECT_EQ(got.height, row.height);
        if (row.log) {
            EXPECT_EQ(cap.lines().size(), 1u);
            EXPECT_TRUE(cap.has_info("parsers.cpp", row.log));
        } else {
            EXPECT_TRUE(cap.lines().empty());
        }
    }
}

TEST(Parsers, DurationNeedsTheFollowingComma)
{
    EXPECT_EQ(get_buf_duration("  Duration: 00:01:02.50\n"), -1);
    EXPECT_EQ(get_buf_duration("  Duration: 00:01:02.50"), -1);
    EXPECT_EQ(get_buf_duration("  Duration: 00:01, start: 0"), -1);  // seconds missing
    EXPECT_EQ(get_buf_duration("  Duration:00:01:02.50, start: 0"), -1);  // marker has a blank
    EXPECT_EQ(get_buf_duration("  Duration: 10:00:00.00, start: 0"), 36000);
}

TEST(Parsers, FractionsAreDroppedNeverRounded)
{
    EXPECT_EQ(get_buf_cur_time("size=  1kB time=00:00:59.99 bitrate=1kbits/s\n"), 59);
    EXPECT_EQ(get_buf_duration("  Duration: 00:00:59.99, start: 0.000000\n"), 59);
}

TEST(Parsers, TimeNeedsItsFieldsAndTheFollowingBlank)
{
    tt::LogCapture cap;
    EXPECT_EQ(get_buf_cur_time("size=N/A time=N/A bitrate=N/A speed=N/A\n"), -1);
    EXPECT_EQ(get_buf_cur_time("size=1kB time=00:00:01.00\n"), -1);  // no blank after the value
    EXPECT_EQ(get_buf_cur_time("size=1kB time=00:01 bitrate=1\n"), -1);
    EXPECT_EQ(get_buf_cur_time("time=00:00:00.00 bitrate=1\n"), 0);
    EXPECT_TRUE(cap.lines().empty());
}

TEST(Parsers, NegativeTimeIsLoggedAndYieldsZero)
{
    tt::LogCapture cap;
    EXPECT_EQ(get_buf_cur_time("frame=1 time=-1:00:00.00 bitrate=N/A\n"), 0);
    EXPECT_EQ(cap.lines().size(), 1u);
    EXPECT_TRUE(cap.has_info("parsers.cpp", "cur_time is -3600"));
    // Only the hours carry a sign: -1 h + 30 min is still negative.
    cap.clear();
    EXPECT_EQ(get_buf_cur_time("frame=1 time=-1:30:00.00 bitrate=N/A\n"), 0);
    EXPECT_TRUE(cap.has_info("parsers.cpp", "cur_time is -1800"));
}

// The size token follows a colour description whose own commas make more
// tokens before it.
TEST(Parsers, SizeAfterColourDescriptionWithCommas)
{
    struct Row {
        const char *line;
        int width, height;
    };
    const Row rows[] = {
        {"Stream #0:0: Video: h264 (High), yuv420p(tv, bt709, progressive), 1280x720 [SAR 1:1 DAR 16:9]\n", 1280,
         720},
        {"Stream #0:0: Video: hevc (Main 10), yuv420p10le(tv, bt2020nc/bt2020/smpte2084), 3840x2160, 50 fps\n",
         3840, 2160},
        {"Stream #0:0: Video: wmv2 (WMV2 / 0x32564D57), yuv420p, 320x240, SAR 1:1 DAR 4:3, 25 fps\n", 320, 240},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.line);
        Parsed got = run(Parser::resolution, row.line);
        EXPECT_EQ(got.result, 0);
        EXPECT_EQ(got.width, row.width);
        EXPECT_EQ(got.height, row.height);
    }
    EXPECT_EQ(run(Parser::resolution, "Stream #0:0: Video: h264 (High), yuv420p, 25 fps, 90k tbn\n").result, -1);
}

TEST(Parsers, AudioLineIsRefusedByVideoParsersAndLeftUncut)
{
    const std::string line = "  Stream #0:1[0x2](und): Audio: aac (LC) (mp4a / 0x6134706D), 48000 Hz, mono, fltp\n";
    std::vector<char> buf(line.begin(), line.end());
    buf.push_back('\0');
    const std::vector<char> original = buf;
    char out[30] = {};
    int w = 7, h = 9;
    EXPECT_EQ(get_buf_resolution(buf.data(), &w, &h), -1);
    EXPECT_EQ(buf, original);
    EXPECT_EQ(w, 7);
    EXPECT_EQ(h, 9);
    EXPECT_EQ(get_buf_v_fmt(buf.data(), out), -1);
    EXPECT_EQ(buf, original);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(get_video_detailed_param(buf.data()), -1);
    EXPECT_EQ(get_audio_detailed_param(buf.data()), 0);
}

TEST(Parsers, StreamMarkerIsRequired)
{
    char out[30] = {};
    char video[] = "Output: Video: h264 (High), yuv420p, 320x240\n";
    int w = 0, h = 0;
    EXPECT_EQ(get_buf_resolution(video, &w, &h), -1);
    EXPECT_EQ(get_buf_v_fmt(video, out), -1);
    EXPECT_EQ(get_video_detailed_param(video), -1);
    char audio[] = "Output: Audio: aac (LC), 48000 Hz\n";
    EXPECT_EQ(get_buf_a_fmt(audio, out), -1);
    EXPECT_EQ(get_audio_detailed_param(audio), -1);
    EXPECT_STREQ(out, "");
}

// Every line is offered to every parser; lines without their marker fail
// without a word in the log.
TEST(Parsers, LinesWithoutMarkersFailSilently)
{
    const char *lines[] = {
        "PID = 4242\n",
        "Press [q] to stop, [?] for help\n",
        "  Metadata:\n",
        "      DURATION        : 00:00:02.021000000\n",
        "Stream mapping:\n",
        "  Stream #0:0 -> #0:0 (h264 (native) -> mpeg4 (native))\n",
        "Output #0, mpegts, to 'out.ts':\n",
        "\n",
        "",
    };
    tt::LogCapture cap;
    for (const char *line : lines) {
        SCOPED_TRACE(line);
        for (Parser p : {Parser::f_fmt, Parser::duration, Parser::cur_time, Parser::resolution, Parser::v_fmt,
                         Parser::a_fmt}) {
            Parsed got = run(p, line);
            EXPECT_EQ(got.result, -1);
            EXPECT_EQ(got.text, "");
        }
        EXPECT_EQ(get_buf_header_info(line), 0);
        EXPECT_EQ(get_video_detailed_param(line), -1);
        EXPECT_EQ(get_audio_detailed_param(line), -1);
    }
    EXPECT_TRUE(cap.lines().empty());
}

TEST(Parsers, H264ProfilesAreTestedBaselineHighMain)
{
    struct Row {
        const char *line;
        const char *name;
    };
    const Row rows[] = {
        {"Stream #0:0: Video: h264 (Constrained Baseline), yuv420p, 320x240\n", "h264 (Baseline)"},
        {"Stream #0:0: Video: h264 (Baseline), yuv420p, 320x240\n", "h264 (Baseline)"},
        {"Stream #0:0: Video: h264 (High 10), yuv420p10le, 320x240\n", "h264 (High)"},
        {"Stream #0:0: Video: h264 (High 4:4:4 Predictive), yuv444p, 320x240\n", "h264 (High)"},
        {"Stream #0:0: Video: h264 (Main) ([27][0][0][0] / 0x001B), yuv420p, 320x240\n", "h264 (Main)"},
        // No profile the table knows: the plain codec name.
        {"Stream #0:0: Video: h264 (Extended), yuv420p, 320x240\n", "h264"},
        {"Stream #0:0: Video: h264, yuv420p, 320x240\n", "h264"},
        {"Stream #0:0: Video: mpeg2video (Main) ([2][0][0][0] / 0x0002), yuv420p\n", "mpeg2video"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.line);
        Parsed got = run(Parser::v_fmt, row.line);
        EXPECT_EQ(got.result, 0);
        EXPECT_EQ(got.text, row.name);
    }
}

TEST(Parsers, CodecNameNeedsASecondToken)
{
    EXPECT_EQ(run(Parser::v_fmt, "Stream #0:0: Video: , yuv420p\n").result, -1);
    EXPECT_EQ(run(Parser::a_fmt, "Stream #0:1: Audio: , 48000 Hz\n").result, -1);
    EXPECT_EQ(run(Parser::f_fmt, "Input #0\n").result, -1);
    EXPECT_EQ(run(Parser::f_fmt, "Input #0,   , from 'x'\n").result, -1);
    // Runs of delimiters count as one.
    EXPECT_EQ(run(Parser::a_fmt, "Stream #0:1: Audio:    mp3   , 48000 Hz\n").text, "mp3");
    EXPECT_EQ(run(Parser::f_fmt, "Input #0,,,  avi  , from 'x'\n").text, "avi");
}

TEST(Parsers, HeaderInfoIsTrueOnlyForZero)
{
    struct Row {
        const char *line;
        int result;
    };
    const Row rows[] = {
        {"header_info=0\n", 1},   {"header_info=1\n", 0},        {"header_info=7\n", 0},
        {"x header_info=0\n", 1}, {"header_info===0\n", 1},      {"header_info=\n", 1},  // "\n" reads as 0
        {"header_info=", 0},      {"header_info 0\n", 0},        {"HEADER_INFO=0\n", 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.line);
        EXPECT_EQ(get_buf_header_info(row.line), row.result);
    }
}

// The duration value is taken at most 14 characters long: "N/A" beyond
// them is not seen, and nothing is written past the value buffer.
TEST(Parsers, LongDurationTextIsBounded)
{
    // 12 characters before "N/A": only "N/" falls inside the 14.
    EXPECT_EQ(get_buf_duration(("Duration: " + std::string(12, '0') + "N/A, start: 0\n").c_str()), -1);
    // 11 characters before it: "N/A" ends at the 14th.
    EXPECT_EQ(get_buf_duration(("Duration: " + std::string(11, '0') + "N/A, start: 0\n").c_str()), 0);
    EXPECT_EQ(get_buf_duration("Duration: 01:02:03.45678901234567890, start: 0\n"), 3723);
    EXPECT_EQ(get_buf_duration(("Duration: " + std::string(5000, '9') + ", start: 0\n").c_str()), -1);
}

// The time value is taken at most 63 characters long.
TEST(Parsers, LongTimeTextIsBounded)
{
    // 63 characters: "1:0:" and 59 zeros; the "7" after them is not seen.
    std::string line = "time=1:0:" + std::string(59, '0') + "7 bitrate=1\n";
    EXPECT_EQ(get_buf_cur_time(line.c_str()), 3600);
    std::string shorter = "time=1:0:" + std::string(58, '0') + "7 bitrate=1\n";
    EXPECT_EQ(get_buf_cur_time(shorter.c_str()), 3607);
}

// Names are copied into the caller's 30-byte fields: 29 characters and the
// terminator, nothing beyond.
TEST(Parsers, LongLinesAndNamesStayInBounds)
{
    const std::string junk(5000, 'j');
    struct Row {
        Parser parser;
        std::string line;
    };
    const Row rows[] = {
        {Parser::f_fmt, "Input #0, " + junk + ", from 'x':\n"},
        {Parser::v_fmt, "  Stream #0:0: Video: " + junk + ", yuv420p, 640x480\n"},
        {Parser::a_fmt, "  Stream #0:1: Audio: " + junk + ", 48000 Hz\n"},
    };
    for (const Row &row : rows) {
        std::vector<char> buf(row.line.begin(), row.line.end());
        buf.push_back('\0');
        unsigned char out[64];
        std::memset(out, 0, 30);
        std::memset(out + 30, 0x5A, sizeof out - 30);
        char *name = reinterpret_cast<char *>(out);
        int result = row.parser == Parser::f_fmt   ? get_buf_f_fmt(buf.data(), name)
                     : row.parser == Parser::v_fmt ? get_buf_v_fmt(buf.data(), name)
                                                   : get_buf_a_fmt(buf.data(), name);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(std::string(name), std::string(29, 'j'));
        for (size_t i = 30; i < sizeof out; i++) ASSERT_EQ(out[i], 0x5A) << "byte " << i;
    }

    // A size and a profile far beyond the first 4096 bytes are still found.
    std::string video = "  Stream #0:0: Video: h264 (High), " + junk + ", 640x480 [SAR 1:1 DAR 4:3], 25 fps\n";
    Parsed size = run(Parser::resolution, video);
    EXPECT_EQ(size.result, 0);
    EXPECT_EQ(size.width, 640);
    EXPECT_EQ(size.height, 480);
    EXPECT_EQ(run(Parser::v_fmt, video).text, "h264 (High)");
    EXPECT_EQ(get_buf_cur_time((junk + " time=00:02:03.00 " + junk + "\n").c_str()), 123);
    EXPECT_EQ(get_buf_duration((junk + "Duration: 00:02:03.00, " + junk + "\n").c_str()), 123);
}

TEST(Parsers, NullArgumentsAreLogged)
{
    char line[] = "  Stream #0:0: Video: h264 (High), yuv420p, 320x240\n";
    char out[30] = {};
    int w = 0, h = 0;
    struct Row {
        const char *label;
        int (*call)(char *line, char *out, int *w, int *h);
        int result;
        const char *message;
    };
    const Row rows[] = {
        {"f_fmt buf", [](char *, char *o, int *, int *) { return get_buf_f_fmt(nullptr, o); }, -1,
         "buf == NULL || f_fmt == NULL"},
        {"f_fmt out", [](char *l, char *, int *, int *) { return get_buf_f_fmt(l, nullptr); }, -1,
         "buf == NULL || f_fmt == NULL"},
        {"header_info", [](char *, char *, int *, int *) { return get_buf_header_info(nullptr); }, 0,
         "buf == NULL"},
        {"duration", [](char *, char *, int *, int *) { return get_buf_duration(nullptr); }, -1, "buf == NULL"},
        {"cur_time", [](char *, char *, int *, int *) { return get_buf_cur_time(nullptr); }, -1, "buf == NULL"},
        {"resolution buf", [](char *, char *, int *pw, int *ph) { return get_buf_resolution(nullptr, pw, ph); },
         -1, "buf == NULL"},
        {"resolution width", [](char *l, char *, int *, int *ph) { return get_buf_resolution(l, nullptr, ph); },
         -1, "buf == NULL"},
        {"v_fmt buf", [](char *, char *o, int *, int *) { return get_buf_v_fmt(nullptr, o); }, -1, "buf == NULL"},
        {"v_fmt out", [](char *l, char *, int *, int *) { return get_buf_v_fmt(l, nullptr); }, -1, "buf == NULL"},
        {"a_fmt buf", [](char *, char *o, int *, int *) { return get_buf_a_fmt(nullptr, o); }, -1, "buf == NULL"},
        {"video presence", [](char *, char *, int *, int *) { return get_video_detailed_param(nullptr); }, -1,
         "get_video_detailed_param buf == NULL"},
        {"audio presence", [](char *, char *, int *, int *) { return get_audio_detailed_param(nullptr); }, -1,
         "get_audio_detailed_param buf == NULL"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.label);
        tt::LogCapture cap;
        EXPECT_EQ(row.call(line, out, &w, &h), row.result);
        EXPECT_EQ(cap.lines().size(), 1u);
        EXPECT_TRUE(cap.has_info("parsers.cpp", row.message));
    }
    EXPECT_STREQ(out, "");
}

}  // namespace
