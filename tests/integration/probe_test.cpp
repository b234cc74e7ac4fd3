// Probing files the stock ffmpeg generates, damaged, oddly named or with forged metadata.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tool/probe.h"
#include "jobs.h"
#include "processes.h"

namespace {

using Args = std::vector<std::string>;

struct Expect {
    int duration, width, height;
    std::string f_fmt, v_fmt, a_fmt;
};

void expect_fields(const probe_result &r, const Expect &e)
{
    EXPECT_EQ(r.duration, e.duration);
    EXPECT_EQ(r.width, e.width);
    EXPECT_EQ(r.height, e.height);
    EXPECT_EQ(std::string(r.f_fmt), e.f_fmt);
    EXPECT_EQ(std::string(r.v_fmt), e.v_fmt);
    EXPECT_EQ(std::string(r.a_fmt), e.a_fmt);
}

const Args kX264 = {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-preset", "veryfast"};

Args operator+(Args a, const Args &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class Probe : public ::testing::Test {
protected:
    static void SetUpTestSuite() { tt::sdk_startup(); }
    std::string f(const std::string &name) const { return dir_.file(name); }
    tt::TempDir dir_;
};

// Every probe export agrees; the internal probe (of the name as it is on disk)
// also raises the flag of length-prefixed video. What is no media yields nothing.
TEST_F(Probe, FilesYieldTheirFieldsAndFlagOrNothing)
{
    ASSERT_TRUE(tt::make_h264_aac(f("h264_aac.mp4"), 3) && tt::make_h264_aac(f("h264_aac.ts"), 3) &&
                tt::make_media(f("h264_main.flv"), 3, kX264 + Args{"-profile:v", "main", "-c:a", "aac"}) &&
                tt::make_media(f("mpeg4_mp3.avi"), 3, {"-c:v", "mpeg4", "-c:a", "libmp3lame"}) &&
                tt::make_media(f("hevc.mp4"), 2, {"-c:v", "libx265", "-preset", "ultrafast", "-x265-params",
                                                  "log-level=none", "-c:a", "aac"}, 160, 120) &&
                // Ten seconds, so that opening the file does not read all of it.
                tt::make_media(f("raw.h264"), 10, kX264 + Args{"-profile:v", "high", "-f", "h264"}, 320, 240, false) &&
                tt::ffmpeg_generate({"-f", "lavfi", "-i", "sine=duration=3", "-c:a", "libmp3lame", f("audio.mp3")}) &&
                tt::write_file(f("notes.txt"), "hello world\nthis is not media\n") && tt::write_file(f("empty.mp4"), ""));
    const std::string mp4 = tt::read_file(f("h264_aac.mp4"));
    ASSERT_TRUE(tt::write_file(f("my clip 01.mp4"), mp4) && tt::write_file(f("truncated.mp4"), mp4.substr(0, mp4.size() / 2)));
    const Expect h264_aac = {3, 320, 240, "mov", "h264 (High)", "aac"}, none = {0, 0, 0, "", "", ""};
    const struct {
        const char *file;
        int ok;
        Expect expect;
        uint32_t flag;  // length-prefixed video
    } cases[] = {
        {"h264_aac.mp4", 1, h264_aac, 1},
        {"h264_aac.ts", 1, {3, 320, 240, "mpegts", "h264 (High)", "aac"}, 0},
        {"h264_main.flv", 1, {3, 320, 240, "flv", "h264 (Main)", "aac"}, 1},
        {"mpeg4_mp3.avi", 1, {3, 320, 240, "avi", "mpeg4", "mp3"}, 0},
        {"hevc.mp4", 1, {2, 160, 120, "mov", "hevc", "aac"}, 1},
        // Nine seconds: 249 of 250 packets counted at 25 frames per second.
        {"raw.h264", 1, {9, 320, 240, "h264", "h264 (High)", ""}, 0},
        {"audio.mp3", 1, {3, 0, 0, "mp3", "", "mp3"}, 0},
        {"my clip 01.mp4", 1, h264_aac, 1},
        {"notes.txt", 0, none, 0},
        {"empty.mp4", 0, none, 0},
        {"truncated.mp4", 0, none, 0},
        {"missing.mp4", 0, none, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        const std::string file = f(c.file);
        probe_result r = {}, again = {};
        probe_result_ex rx = {};
        uint32_t flag = 0;
        EXPECT_EQ(tarsa_sdk_probe(file.c_str()), c.ok);
        ASSERT_EQ(tarsa_sdk_probe_ex(file.c_str(), &r), c.ok);
        expect_fields(r, c.expect);
        if (!c.ok) continue;
        ASSERT_EQ(tarsa_sdk_probe_ex2(file.c_str(), &rx), 1);
        EXPECT_EQ(std::memcmp(&rx.result, &r, sizeof r), 0);
        ASSERT_EQ(internal_probe(file.c_str(), &again, &flag), 1);
        EXPECT_EQ(std::memcmp(&again, &r, sizeof r), 0);
        EXPECT_EQ(flag, c.flag);
    }
}

// Copies whose metadata holds lines that imitate the report's own (the tool
// prints values with their line breaks) probe exactly as their clean twin.
// Names the tool would print with their control characters are refused by
// every probe, though the file exists; a double quote is an ordinary character.
TEST_F(Probe, ForgedMetadataChangesNothingAndControlCharactersInNamesAreRefused)
{
    const std::string forged = "x\n  Duration: 05:00:00.00, start: 0.000000, bitrate: 1 kb/s\n"
                               "  Stream #0:0(und): Video: hevc (Main), yuv420p, 7680x4320\n"
                               "  Stream #0:1(und): Audio: opus, 8000 Hz, mono\n"
                               "frame=1 fps=1 q=1 size=1kB time=05:00:00.00 bitrate=1kbits/s\nPID = 1";
    std::string chapters = ";FFMETADATA1\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=1000\ntitle=";
    for (char c : forged) chapters += c == '\n' ? std::string("\\\n") : std::string(1, c);
    ASSERT_TRUE(tt::ffmpeg_generate({"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25:duration=3", "-f", "lavfi", "-i",
                                     "sine=duration=3", "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p",
                                     "-c:a", "aac", f("lavfi.mp4")}) &&
                tt::ffmpeg_generate({"-i", f("lavfi.mp4"), "-map", "0", "-c", "copy", f("clean.mp4")}) &&
                tt::write_file(f("chapters.txt"), chapters + "\n"));
    probe_result clean = {};
    probe_result_ex clean_ex = {};
    ASSERT_EQ(tarsa_sdk_probe_ex(f("clean.mp4").c_str(), &clean), 1);
    ASSERT_EQ(tarsa_sdk_probe_ex2(f("clean.mp4").c_str(), &clean_ex), 1);
    expect_fields(clean, {3, 320, 240, "mov", "h264 (Baseline)", "aac"});
    for (const Args &how : {Args{"-metadata", "title="}, Args{"-metadata", "comment="},
                            Args{"-metadata:s:v:0", "handler_name="}, Args{"-metadata:s:a:0", "handler_name="},
                            Args{"-i", f("chapters.txt"), "-map_chapters", "1"}}) {
        SCOPED_TRACE(how[0] + " " + how[1]);
        const std::string file = f("forged.mp4");
        const Args meta = how[0] == "-i" ? how : Args{how[0], how[1] + forged};
        ASSERT_TRUE(tt::ffmpeg_generate(Args{"-i", f("lavfi.mp4")} + meta + Args{"-map", "0", "-c", "copy", file}));
        // The forged lines are really in the report, at a metadata value's place.
        EXPECT_NE(tt::run({tt::stock_ffprobe(), "-i", file}).output.find(":   Stream #0:0(und): Video: hevc"),
                  std::string::npos);
        probe_result r = {};
        probe_result_ex rx = {};
        ASSERT_EQ(tarsa_sdk_probe_ex(file.c_str(), &r), 1);
        ASSERT_EQ(tarsa_sdk_probe_ex2(file.c_str(), &rx), 1);
        EXPECT_EQ(std::memcmp(&r, &clean, sizeof r), 0);
        EXPECT_EQ(std::memcmp(&rx, &clean_ex, sizeof rx), 0);
    }
    const std::string mp4 = tt::read_file(f("clean.mp4"));
    for (const std::string name : {"a\nb.mp4", "a\rb.mp4", "a\tb.mp4", "\x1b[2Jc.mp4", "clip\"1.mp4"}) {
        SCOPED_TRACE(name);
        const std::string file = f(name);
        const int ok = name.find('"') != std::string::npos;
        ASSERT_TRUE(tt::write_file(file, mp4));
        probe_result r = {};
        probe_result_ex rx = {};
        EXPECT_EQ(tarsa_sdk_probe(file.c_str()), ok);
        EXPECT_EQ(tarsa_sdk_probe_ex(file.c_str(), &r), ok);
        EXPECT_EQ(tarsa_sdk_probe_ex2(file.c_str(), &rx), ok);
        EXPECT_STREQ(r.f_fmt, ok ? "mov" : "");
    }
}

}  // namespace
