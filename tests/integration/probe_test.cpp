// Probing files the stock ffmpeg generates, damaged, oddly named or with forged metadata, on many threads.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tool/probe.h"
#include "jobs.h"
#include "processes.h"
#include "core/globals.h"

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

// Generated once for all tests of this file.
struct Media {
    tt::TempDir dir;
    // File name and the metadata option and key that forge its report ("" for the clean copy).
    static std::vector<std::pair<std::string, std::string>> forged()
    {
        return {{"clean.mp4", ""},
                {"title.mp4", "-metadata title"},
                {"comment.mp4", "-metadata comment"},
                {"video_handler.mp4", "-metadata:s:v:0 handler_name"},
                {"audio_handler.mp4", "-metadata:s:a:0 handler_name"},
                {"chapters.mp4", "chapters"}};
    }
    std::string failure;

    std::string operator()(const std::string &name) const { return dir.file(name); }

    void make()
    {
        const std::string sine = "sine=frequency=440:sample_rate=48000:duration=3";
        struct Step {
            const char *what;
            bool ok;
        } steps[] = {
            {"mp4", tt::make_h264_aac(dir.file("h264_aac.mp4"), 3)},
            {"ts", tt::make_h264_aac(dir.file("h264_aac.ts"), 3)},
            {"flv", tt::make_media(dir.file("h264_main.flv"), 3, kX264 + Args{"-profile:v", "main", "-c:a", "aac"})},
            {"avi", tt::make_media(dir.file("mpeg4_mp3.avi"), 3, {"-c:v", "mpeg4", "-c:a", "libmp3lame"})},
            {"hevc", tt::make_media(dir.file("hevc.mp4"), 2,
                                    {"-c:v", "libx265", "-preset", "ultrafast", "-x265-params", "log-level=none",
                                     "-c:a", "aac"},
                                    160, 120)},
            // Ten seconds, so that opening the file does not read all of it.
            {"raw", tt::make_media(dir.file("raw.h264"), 10, kX264 + Args{"-profile:v", "high", "-f", "h264"}, 320,
                                   240, false)},
            {"mp3", tt::ffmpeg_generate({"-f", "lavfi", "-i", sine, "-c:a", "libmp3lame", dir.file("audio.mp3")})},
            {"text", tt::write_file(dir.file("notes.txt"), "hello world\nthis is not media\n") &&
                         tt::write_file(dir.file("empty.mp4"), "")},
        };
        for (const Step &s : steps)
            if (!s.ok) failure += std::string(" ") + s.what;
        const std::string mp4 = tt::read_file(dir.file("h264_aac.mp4"));
        // Copies under names the host may pass, and files cut in half.
        tt::write_file(dir.file("my clip 01.mp4"), mp4);
        tt::write_file(dir.file("truncated.mp4"), mp4.substr(0, mp4.size() / 2));

        // A clean file, and copies whose metadata holds lines that imitate
        // the report's own (the tool prints values with their line breaks).
        const std::string forged_lines = "x\n  Duration: 05:00:00.00, start: 0.000000, bitrate: 1 kb/s\n"
                                         "  Stream #0:0(und): Video: hevc (Main), yuv420p, 7680x4320\n"
                                         "  Stream #0:1(und): Audio: opus, 8000 Hz, mono\n"
                                         "frame=1 fps=1 q=1 size=1kB time=05:00:00.00 bitrate=1kbits/s\nPID = 1";
        std::string chapters = ";FFMETADATA1\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=1000\ntitle=";
        for (char c : forged_lines) chapters += c == '\n' ? std::string("\\\n") : std::string(1, c);
        if (!tt::ffmpeg_generate({"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25:duration=3", "-f", "lavfi", "-i",
                                  "sine=duration=3", "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p",
                                  "-c:a", "aac", dir.file("lavfi.mp4")}) ||
            !tt::write_file(dir.file("chapters.txt"), chapters + "\n"))
            failure += " lavfi source";
        for (const auto &f : forged()) {
            Args args = {"-i", dir.file("lavfi.mp4")};
            if (f.second == "chapters") args = args + Args{"-i", dir.file("chapters.txt"), "-map_chapters", "1"};
            else if (!f.second.empty())
                args = args + Args{f.second.substr(0, f.second.find(' ')),
                                   f.second.substr(f.second.find(' ') + 1) + "=" + forged_lines};
            if (!tt::ffmpeg_generate(args + Args{"-map", "0", "-c", "copy", dir.file(f.first)}))
                failure += " " + f.first;
        }

    }
};

class Probe : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        tt::sdk_startup();
        media_ = new Media;
        media_->make();
    }
    static void TearDownTestSuite()
    {
        delete media_;
        media_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(media_->failure.empty()) << "could not generate" << media_->failure; }

    static const Media &m() { return *media_; }
    static Media *media_;
};

Media *Probe::media_ = nullptr;

TEST_F(Probe, ReadableFilesYieldTheirFieldsFlagAndStreamLines)
{
    struct Case {
        const char *name;
        std::string file;
        Expect expect;
        uint32_t flag;  // length-prefixed video
    };
    const Expect mp4 = {3, 320, 240, "mov", "h264 (High)", "aac"};
    const Case cases[] = {
        {"mp4 h264 high aac", m()("h264_aac.mp4"), mp4, 1},
        {"mpeg-ts", m()("h264_aac.ts"), {3, 320, 240, "mpegts", "h264 (High)", "aac"}, 0},
        {"flv h264 main", m()("h264_main.flv"), {3, 320, 240, "flv", "h264 (Main)", "aac"}, 1},
        {"avi mpeg4 mp3", m()("mpeg4_mp3.avi"), {3, 320, 240, "avi", "mpeg4", "mp3"}, 0},
        {"mp4 hevc", m()("hevc.mp4"), {2, 160, 120, "mov", "hevc", "aac"}, 1},
        // Nine seconds: 249 of 250 packets counted at 25 frames per second.
        {"raw h264", m()("raw.h264"), {9, 320, 240, "h264", "h264 (High)", ""}, 0},
        {"audio only", m()("audio.mp3"), {3, 0, 0, "mp3", "", "mp3"}, 0},
        {"name with blanks", m()("my clip 01.mp4"), mp4, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        probe_result r = {};
        ASSERT_EQ(tarsa_sdk_probe_ex(c.file.c_str(), &r), 1);
        expect_fields(r, c.expect);
        probe_result_ex rx = {};
        ASSERT_EQ(tarsa_sdk_probe_ex2(c.file.c_str(), &rx), 1);
        EXPECT_EQ(std::memcmp(&rx.result, &r, sizeof r), 0);

        // The internal probe (of the name as it is on disk) raises the flag.
        probe_result again = {};
        uint32_t flag = 0;
        ASSERT_EQ(internal_probe(c.file.c_str(), &again, &flag), 1);
        EXPECT_EQ(std::memcmp(&again, &r, sizeof r), 0);
        EXPECT_EQ(flag, c.flag);
    }
}

TEST_F(Probe, UnreadableFilesYieldNothing)
{
    for (const char *name : {"notes.txt", "empty.mp4", "truncated.mp4", "missing.mp4"}) {
        SCOPED_TRACE(name);
        probe_result r = {}, zero = {};
        EXPECT_EQ(tarsa_sdk_probe_ex(m()(name).c_str(), &r), 0);
        EXPECT_EQ(tarsa_sdk_probe(m()(name).c_str()), 0);
        EXPECT_EQ(std::memcmp(&r, &zero, sizeof r), 0) << "the output yielded no field";
    }
}

// Each forged file probes exactly as its clean twin, through both exports.
TEST_F(Probe, MetadataImitatingReportLinesChangesNothing)
{
    probe_result clean = {};
    probe_result_ex clean_ex = {};
    ASSERT_EQ(tarsa_sdk_probe_ex(m()("clean.mp4").c_str(), &clean), 1);
    ASSERT_EQ(tarsa_sdk_probe_ex2(m()("clean.mp4").c_str(), &clean_ex), 1);
    expect_fields(clean, {3, 320, 240, "mov", "h264 (Baseline)", "aac"});
    for (const auto &f : Media::forged()) {
        SCOPED_TRACE(f.first);
        // The forged lines are really in the report, at a metadata value's place.
        const std::string report = tt::run({tt::stock_ffprobe(), "-i", m()(f.first)}).output;
        if (!f.second.empty()) {
            EXPECT_NE(report.find(":   Stream #0:0(und): Video: hevc"), std::string::npos);
        }
        probe_result r = {};
        probe_result_ex rx = {};
        ASSERT_EQ(tarsa_sdk_probe_ex(m()(f.first).c_str(), &r), 1);
        ASSERT_EQ(tarsa_sdk_probe_ex2(m()(f.first).c_str(), &rx), 1);
        EXPECT_EQ(std::memcmp(&r, &clean, sizeof r), 0);
        EXPECT_EQ(std::memcmp(&rx, &clean_ex, sizeof rx), 0);
    }
}

// Names the tool would print with their control characters are refused by
// every probe, though the file exists; a double quote is an ordinary character.
TEST_F(Probe, NamesWithControlCharactersAreRefused)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows file names cannot hold control characters";
#endif
    const std::string mp4 = tt::read_file(m()("clean.mp4"));
    for (const std::string name : {"a\nb.mp4", "a\rb.mp4", "a\tb.mp4", "\x1b[2Jc.mp4"}) {
        SCOPED_TRACE(name);
        const std::string file = m()(name);
        ASSERT_TRUE(tt::write_file(file, mp4));
        probe_result r = {};
        probe_result_ex rx = {};
        EXPECT_EQ(tarsa_sdk_probe(file.c_str()), 0);
        EXPECT_EQ(tarsa_sdk_probe_ex(file.c_str(), &r), 0);
        EXPECT_EQ(tarsa_sdk_probe_ex2(file.c_str(), &rx), 0);
        EXPECT_STREQ(r.f_fmt, "");
        std::remove(file.c_str());
    }
    const std::string quoted = m()("clip\"1.mp4");
    ASSERT_TRUE(tt::write_file(quoted, mp4));
    probe_result q = {};
    EXPECT_EQ(tarsa_sdk_probe_ex(quoted.c_str(), &q), 1);
    EXPECT_STREQ(q.f_fmt, "mov");
    std::remove(quoted.c_str());
}

}  // namespace
