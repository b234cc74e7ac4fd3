// Parsers of the tools' output lines: the documented examples, the edge
// cases, lines without markers, and bounds.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "media/parsers.h"
#include "log_capture.h"

namespace {

enum class Parser { f_fmt, duration, cur_time, resolution, v_fmt, a_fmt, header_info };

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
    }
    r.text = out;
    return r;
}

TEST(Parsers, LinesAndWhatTheyYield)
{
    const std::string zeros59(59, '0');
    struct Row {
        Parser parser;
        std::string line;
        int result;
        const char *text = "";
        int width = 0, height = 0;
        const char *log = nullptr;  // the one [info] message expected
    };
    const Row rows[] = {
        // The documented examples.
        {Parser::f_fmt, "Input #0, mov,mp4,m4a,3gp,3g2,mj2, from 'a.mp4':", 0, "mov"},
        {Parser::f_fmt, "Input #0, mpegts, from 'a.ts':", 0, "mpegts"},
        {Parser::duration, "Duration: 00:01:02.50, start: 0.000000, bitrate: 2000 kb/s", 62},
        {Parser::duration, "Duration: N/A, start: 0.000000, bitrate: N/A", 0},
        {Parser::cur_time, "frame=  240 fps= 60 q=28.0 size=    1024kB time=00:00:09.60 bitrate= 873.8kbits/s", 9},
        {Parser::cur_time, "... time=01:00:00.00 bitrate=...", 3600},
        {Parser::cur_time, "... time=-577014:32:22.77 bitrate=...", 0, "", 0, 0, "cur_time is -2077248458"},
        {Parser::resolution, "Stream #0:0: Video: h264 (High), yuv420p(tv, bt709), 1280x720 [SAR 1:1 DAR 16:9], 25 fps",
         0, "", 1280, 720},
        {Parser::v_fmt, "Stream #0:0: Video: h264 (High), yuv420p, 1920x1080", 0, "h264 (High)"},
        {Parser::v_fmt, "Stream #0:0: Video: hevc (Main), yuv420p, 3840x2160", 0, "hevc"},
        {Parser::a_fmt, "Stream #0:1(und): Audio: aac (LC), 48000 Hz, stereo, fltp", 0, "aac"},
        // The duration needs its following comma and its three fields; fractions are dropped.
        {Parser::duration, "  Duration: 00:01:02.50\n", -1},
        {Parser::duration, "  Duration: 00:01:02.50", -1},
        {Parser::duration, "  Duration: 00:01, start: 0", -1},
        {Parser::duration, "  Duration:00:01:02.50, start: 0", -1},  // the marker has a blank
        {Parser::duration, "  Duration: 10:00:00.00, start: 0", 36000},
        {Parser::duration, "  Duration: 00:00:59.99, start: 0.000000\n", 59},
        // Taken at most 14 characters long: "N/A" beyond them is not seen.
        {Parser::duration, "Duration: " + std::string(12, '0') + "N/A, start: 0\n", -1},
        {Parser::duration, "Duration: " + std::string(11, '0') + "N/A, start: 0\n", 0},
        {Parser::duration, "Duration: 01:02:03.45678901234567890, start: 0\n", 3723},
        {Parser::duration, "Duration: " + std::string(5000, '9') + ", start: 0\n", -1},
        // The time needs its fields and the following blank.
        {Parser::cur_time, "size=  1kB time=00:00:59.99 bitrate=1kbits/s\n", 59},
        {Parser::cur_time, "size=N/A time=N/A bitrate=N/A speed=N/A\n", -1},
        {Parser::cur_time, "size=1kB time=00:00:01.00\n", -1},
        {Parser::cur_time, "size=1kB time=00:01 bitrate=1\n", -1},
        {Parser::cur_time, "time=00:00:00.00 bitrate=1\n", 0},
        // Taken at most 63 characters long: "1:0:" and 59 zeros, the "7" after them is not seen.
        {Parser::cur_time, "time=1:0:" + zeros59 + "7 bitrate=1\n", 3600},
        {Parser::cur_time, "time=1:0:" + zeros59.substr(1) + "7 bitrate=1\n", 3607},
        // Negative times are logged and yield 0; only the hours carry a sign.
        {Parser::cur_time, "frame=1 time=-1:00:00.00 bitrate=N/A\n", 0, "", 0, 0, "cur_time is -3600"},
        {Parser::cur_time, "frame=1 time=-1:30:00.00 bitrate=N/A\n", 0, "", 0, 0, "cur_time is -1800"},
        // The size follows a colour description whose own commas make more tokens before it.
        {Parser::resolution,
         "Stream #0:0: Video: h264 (High), yuv420p(tv, bt709, progressive), 1280x720 [SAR 1:1 DAR 16:9]\n", 0, "", 1280,
         720},
        {Parser::resolution,
         "Stream #0:0: Video: hevc (Main 10), yuv420p10le(tv, bt2020nc/bt2020/smpte2084), 3840x2160, 50 fps\n", 0, "",
         3840, 2160},
        {Parser::resolution,
         "Stream #0:0: Video: wmv2 (WMV2 / 0x32564D57), yuv420p, 320x240, SAR 1:1 DAR 4:3, 25 fps\n", 0, "", 320, 240},
        {Parser::resolution, "Stream #0:0: Video: h264 (High), yuv420p, 25 fps, 90k tbn\n", -1},
        // H.264 profiles are tested as Baseline, High, Main; others give the plain name.
        {Parser::v_fmt, "Stream #0:0: Video: h264 (Constrained Baseline), yuv420p, 320x240\n", 0, "h264 (Baseline)"},
        {Parser::v_fmt, "Stream #0:0: Video: h264 (Baseline), yuv420p, 320x240\n", 0, "h264 (Baseline)"},
        {Parser::v_fmt, "Stream #0:0: Video: h264 (High 10), yuv420p10le, 320x240\n", 0, "h264 (High)"},
        {Parser::v_fmt, "Stream #0:0: Video: h264 (High 4:4:4 Predictive), yuv444p, 320x240\n", 0, "h264 (High)"},
        {Parser::v_fmt, "Stream #0:0: Video: h264 (Main) ([27][0][0][0] / 0x001B), yuv420p, 320x240\n", 0,
         "h264 (Main)"},
        {Parser::v_fmt, "Stream #0:0: Video: h264 (Extended), yuv420p, 320x240\n", 0, "h264"},
        {Parser::v_fmt, "Stream #0:0: Video: h264, yuv420p, 320x240\n", 0, "h264"},
        {Parser::v_fmt, "Stream #0:0: Video: mpeg2video (Main) ([2][0][0][0] / 0x0002), yuv420p\n", 0, "mpeg2video"},
        // A name needs its token; runs of delimiters count as one.
        {Parser::v_fmt, "Stream #0:0: Video: , yuv420p\n", -1},
        {Parser::a_fmt, "Stream #0:1: Audio: , 48000 Hz\n", -1},
        {Parser::f_fmt, "Input #0\n", -1},
        {Parser::f_fmt, "Input #0,   , from 'x'\n", -1},
        {Parser::a_fmt, "Stream #0:1: Audio:    mp3   , 48000 Hz\n", 0, "mp3"},
        {Parser::f_fmt, "Input #0,,,  avi  , from 'x'\n", 0, "avi"},
        // True only for "0" (a line break reads as 0).
        {Parser::header_info, "header_info=0\n", 1},
        {Parser::header_info, "header_info=1\n", 0},
        {Parser::header_info, "header_info=7\n", 0},
        {Parser::header_info, "x header_info=0\n", 1},
        {Parser::header_info, "header_info===0\n", 1},
        {Parser::header_info, "header_info=\n", 1},
        {Parser::header_info, "header_info=", 0},
        {Parser::header_info, "header_info 0\n", 0},
        {Parser::header_info, "HEADER_INFO=0\n", 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.line.substr(0, 120));
        tt::LogCapture cap;
        const Parsed got = run(row.parser, row.line);
        EXPECT_EQ(got.result, row.result);
        EXPECT_EQ(got.text, row.text);
        EXPECT_EQ(got.width, row.width);
        EXPECT_EQ(got.height, row.height);
        EXPECT_EQ(cap.lines().size(), row.log ? 1u : 0u);
        if (row.log) {
            EXPECT_TRUE(cap.has_info("parsers.cpp", row.log));
        }
    }
}

// Every line is offered to every parser; lines without their marker fail
// without a word in the log, and the in-place parsers leave them uncut.
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
        "Output: Video: h264 (High), yuv420p, 320x240\n",  // the stream marker is required
        "Output: Audio: aac (LC), 48000 Hz\n",
        "\n",
        "",
    };
    tt::LogCapture cap;
    for (const char *line : lines) {
        SCOPED_TRACE(line);
        for (Parser p : {Parser::f_fmt, Parser::duration, Parser::cur_time, Parser::resolution, Parser::v_fmt,
                         Parser::a_fmt, Parser::header_info}) {
            const Parsed got = run(p, line);
            EXPECT_EQ(got.result, p == Parser::header_info ? 0 : -1);
            EXPECT_EQ(got.text, "");
        }
        EXPECT_EQ(get_video_detailed_param(line), -1);
        EXPECT_EQ(get_audio_detailed_param(line), -1);
    }
    EXPECT_TRUE(cap.lines().empty());

    // An audio line is refused by the video parsers and left uncut.
    const std::string audio = "  Stream #0:1[0x2](und): Audio: aac (LC) (mp4a / 0x6134706D), 48000 Hz, mono, fltp\n";
    std::vector<char> buf(audio.begin(), audio.end());
    buf.push_back('\0');
    const std::vector<char> original = buf;
    char out[30] = {};
    int w = 7, h = 9;
    EXPECT_EQ(get_buf_resolution(buf.data(), &w, &h), -1);
    EXPECT_EQ(get_buf_v_fmt(buf.data(), out), -1);
    EXPECT_EQ(buf, original);
    EXPECT_EQ(w, 7);
    EXPECT_EQ(h, 9);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(get_video_detailed_param(buf.data()), -1);
    EXPECT_EQ(get_audio_detailed_param(buf.data()), 0);
}

// Names are copied into the caller's 30-byte fields: 29 characters and the
// terminator, nothing beyond; values far into a long line are still found.
TEST(Parsers, LongLinesAndNamesStayInBounds)
{
    const std::string junk(5000, 'j');
    for (const auto &row : {std::make_pair(Parser::f_fmt, "Input #0, " + junk + ", from 'x':\n"),
                            std::make_pair(Parser::v_fmt, "  Stream #0:0: Video: " + junk + ", yuv420p, 640x480\n"),
                            std::make_pair(Parser::a_fmt, "  Stream #0:1: Audio: " + junk + ", 48000 Hz\n")}) {
        std::vector<char> buf(row.second.begin(), row.second.end());
        buf.push_back('\0');
        unsigned char out[64];
        std::memset(out, 0, 30);
        std::memset(out + 30, 0x5A, sizeof out - 30);
        char *name = reinterpret_cast<char *>(out);
        const int result = row.first == Parser::f_fmt   ? get_buf_f_fmt(buf.data(), name)
                           : row.first == Parser::v_fmt ? get_buf_v_fmt(buf.data(), name)
                                                        : get_buf_a_fmt(buf.data(), name);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(std::string(name), std::string(29, 'j'));
        for (size_t i = 30; i < sizeof out; i++) ASSERT_EQ(out[i], 0x5A) << "byte " << i;
    }
    const std::string video = "  Stream #0:0: Video: h264 (High), " + junk + ", 640x480 [SAR 1:1 DAR 4:3], 25 fps\n";
    const Parsed size = run(Parser::resolution, video);
    EXPECT_EQ(size.result, 0);
    EXPECT_EQ(size.width, 640);
    EXPECT_EQ(size.height, 480);
    EXPECT_EQ(run(Parser::v_fmt, video).text, "h264 (High)");
    EXPECT_EQ(get_buf_cur_time((junk + " time=00:02:03.00 " + junk + "\n").c_str()), 123);
    EXPECT_EQ(get_buf_duration((junk + "Duration: 00:02:03.00, " + junk + "\n").c_str()), 123);
}

}  // namespace
