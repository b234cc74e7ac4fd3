// Probing files the stock ffmpeg generates, damaged or oddly named.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ff/ff_func.h"
#include "tool/probe.h"
#include "jobs.h"
#include "processes.h"

namespace {

using Args = std::vector<std::string>;

// "seconds WxH container/video/audio" of a result.
std::string fields(const probe_result &r)
{
    return std::to_string(r.duration) + " " + std::to_string(r.width) + "x" + std::to_string(r.height) + " " +
           r.f_fmt + "/" + r.v_fmt + "/" + r.a_fmt;
}

const Args kX264 = {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-preset", "veryfast"};

Args operator+(Args a, const Args &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Windows names hold neither control characters nor double quotes.
bool name_possible(const std::string &name)
{
#ifdef _WIN32
    return name.find_first_of("\"\n\r\t\x1b") == std::string::npos;
#else
    return !name.empty();
#endif
}

class Probe : public ::testing::Test {
protected:
    static void SetUpTestSuite() { tt::sdk_startup(); }
    std::string f(const std::string &name) const { return dir_.file(name); }
    tt::TempDir dir_;
};

// Every probe export agrees; the internal probe (of the name as it is on disk)
// also raises the flag of length-prefixed video. What is no media yields
// nothing, and so do names the tool would print with their control characters
// though the file exists; a double quote is an ordinary character. (Metadata
// that imitates the report's lines: the captured reports of the unit tests.)
TEST_F(Probe, FilesYieldTheirFieldsAndFlagOrNothing)
{
    ASSERT_TRUE(tt::make_h264_aac(f("h264_aac.mp4"), 3) && tt::make_h264_aac(f("h264_aac.ts"), 3) &&
                tt::make_media(f("h264_main.flv"), 3, kX264 + Args{"-profile:v", "main", "-c:a", "aac"}) &&
                tt::make_media(f("mpeg4_mp3.avi"), 3, {"-c:v", "mpeg4", "-c:a", "libmp3lame"}) &&
                tt::make_media(f("hevc.mp4"), 2, {"-c:v", "libx265", "-preset", "ultrafast", "-x265-params",
                                                  "log-level=none", "-c:a", "aac"}, 160, 120) &&
                // Ten seconds, so that opening the file does not read all of it.
                tt::make_media(f("raw.h264"), 10, kX264 + Args{"-profile:v", "high", "-f", "h264"}, 320, 240, false) &&
                tt::make_media(f("short.h264"), 2, kX264 + Args{"-profile:v", "high", "-f", "h264"}, 160, 120, false) &&
                tt::ffmpeg_generate({"-f", "lavfi", "-i", "sine=duration=3", "-c:a", "libmp3lame", f("audio.mp3")}) &&
                tt::write_file(f("notes.txt"), "hello world\nthis is not media\n") && tt::write_file(f("empty.mp4"), ""));
    const std::string mp4 = tt::read_file(f("h264_aac.mp4"));
    ASSERT_TRUE(tt::write_file(f("truncated.mp4"), mp4.substr(0, mp4.size() / 2)));
    for (const char *copy : {"my clip 01.mp4", "clip\"1.mp4", "a\nb.mp4", "\x1b[2Jc.mp4"})
        if (name_possible(copy)) { ASSERT_TRUE(tt::write_file(f(copy), mp4)); }
    const char *const h264_aac = "3 320x240 mov/h264 (High)/aac", *const none = "0 0x0 //";
    const struct {
        const char *file;
        int ok;
        std::string expect;
        uint32_t flag;  // length-prefixed video
    } cases[] = {
        {"h264_aac.mp4", 1, h264_aac, 1},
        {"h264_aac.ts", 1, "3 320x240 mpegts/h264 (High)/aac", 0},
        {"h264_main.flv", 1, "3 320x240 flv/h264 (Main)/aac", 1},
        {"mpeg4_mp3.avi", 1, "3 320x240 avi/mpeg4/mp3", 0},
        {"hevc.mp4", 1, "2 160x120 mov/hevc/aac", 1},
        // Raw H.264 has the length of its packets but the last at 25 fps: 249 / 25, and 49 / 25 for a
        // file read whole while the stream information is gathered.
        {"raw.h264", 1, "9 320x240 h264/h264 (High)/", 0},
        {"short.h264", 1, "1 160x120 h264/h264 (High)/", 0},
        {"audio.mp3", 1, "3 0x0 mp3//mp3", 0},
        {"my clip 01.mp4", 1, h264_aac, 1},
        {"clip\"1.mp4", 1, h264_aac, 1},
        {"notes.txt", 0, none, 0},
        {"empty.mp4", 0, none, 0},
        {"truncated.mp4", 0, none, 0},
        {"missing.mp4", 0, none, 0},
        {"a\nb.mp4", 0, none, 0},
        {"\x1b[2Jc.mp4", 0, none, 0},
    };
    for (const auto &c : cases) {
        if (!name_possible(c.file)) continue;
        SCOPED_TRACE(c.file);
        const std::string file = f(c.file);
        probe_result r = {}, again = {};
        probe_result_ex rx = {};
        uint32_t flag = 0;
        EXPECT_EQ(tarsa_sdk_probe(file.c_str()), c.ok);
        EXPECT_EQ(tarsa_sdk_probe_ex(file.c_str(), &r), c.ok);
        EXPECT_EQ(fields(r), c.expect);
        EXPECT_EQ(tarsa_sdk_probe_ex2(file.c_str(), &rx), c.ok);
        EXPECT_EQ(std::memcmp(&rx.result, &r, sizeof r), 0);
        EXPECT_EQ(internal_probe(file.c_str(), &again, &flag), c.ok);
        EXPECT_EQ(std::memcmp(&again, &r, sizeof r), 0);
        EXPECT_EQ(flag, c.flag);
        if (c.ok) {
            EXPECT_EQ(flag, static_cast<uint32_t>(is_h2645_mp4toannexb(file.c_str())));  // the packets' own answer
        }
    }
}

// A probe tool that reports a whole file and then outlives the deadline is ended, and
// what it printed is not trusted.
TEST_F(Probe, ToolOutlivingTheDeadlineFailsThoughItReported)
{
    tt::ScopedEnv timeout("TARSASDK_PROBE_TIMEOUT", "1");
    tt::FakeTools tools;
    tools.probe_media("flv", "sleep 5000\nexit 0\n");
    ASSERT_TRUE(tt::write_file(f("src.flv"), "x"));
    probe_result r = {};
    EXPECT_EQ(tarsa_sdk_probe_ex(f("src.flv").c_str(), &r), 0);
}

// Copies whose metadata holds imitations of the tools' own lines (the tools print values with
// their line breaks) probe exactly as their clean twin and convert with positions that rise
// and reach 100 only with the final event.
TEST_F(Probe, ForgedMetadataChangesNeitherProbeNorProgress)
{
    const std::string forged = "x\n  Duration: 05:00:00.00, start: 0.000000, bitrate: 1 kb/s\n"
                               "  Stream #0:0(und): Video: hevc (Main), yuv420p, 7680x4320\n"
                               "  Stream #0:1(und): Audio: opus, 8000 Hz, mono\n"
                               "frame=1 fps=1 q=1 size=1kB time=05:00:00.00 bitrate=1kbits/s\nPID = 1";
    std::string chapters = ";FFMETADATA1\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=1000\ntitle=";
    for (char c : forged) chapters += c == '\n' ? std::string("\\\n") : std::string(1, c);
    ASSERT_TRUE(tt::make_h264_aac(f("clean.mp4"), 3) && tt::write_file(f("chapters.txt"), chapters + "\n"));
    probe_result_ex clean = {};
    ASSERT_EQ(tarsa_sdk_probe_ex2(f("clean.mp4").c_str(), &clean), 1);
    const std::vector<Args> ways = {{"-metadata", "title=" + forged},
                                    {"-metadata", "comment=" + forged},
                                    {"-metadata:s:v:0", "handler_name=" + forged},
                                    {"-metadata:s:a:0", "handler_name=" + forged},
                                    {"-i", f("chapters.txt"), "-map_chapters", "1"}};
    tt::EventLog events;
    for (const Args &way : ways) {
        SCOPED_TRACE(way[0]);
        const std::string src = f("forged.mp4"), dst = f("forged.flv");
        ASSERT_TRUE(tt::ffmpeg_generate(Args{"-i", f("clean.mp4")} + way + Args{"-map", "0", "-c", "copy", src}));
        // The forged lines are in the stock report, at a metadata value's place.
        ASSERT_NE(tt::run({tt::stock_ffprobe(), "-i", src}).output.find(":   Stream #0:0(und): Video: hevc"),
                  std::string::npos);
        probe_result_ex r = {};
        ASSERT_EQ(tarsa_sdk_probe_ex2(src.c_str(), &r), 1);
        EXPECT_EQ(std::memcmp(&r, &clean, sizeof r), 0);

        events.clear();
        const cvt_param_v1 p = tt::cvt_params({6, 0, 0, 1, 23});
        void *job = tarsa_sdk_create_v1(src.c_str(), dst.c_str(), &p);
        ASSERT_EQ(tarsa_sdk_start(job), 1);
        ASSERT_TRUE(tt::wait_until(
            [&] { return events.count(TARSA_EVENT_CVT_POS, 100) + events.count(TARSA_EVENT_CVT_FAIL) > 0; }, 120000));
        EXPECT_NE(tarsa_sdk_get_ffmpeg_pid(job), 1);  // the tool's pid comes from its first line only
        EXPECT_EQ(tarsa_sdk_destroy(job), 1);
        std::vector<uint32_t> positions;
        for (const tt::JobEvent &e : events.all())
            positions.push_back(e.code == TARSA_EVENT_CVT_POS ? e.p2 : 1000 + e.code);
        EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()) && positions.back() == 100u) << events.all();
        std::remove(dst.c_str());
    }
}

}  // namespace
