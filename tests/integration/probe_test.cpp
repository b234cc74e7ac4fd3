// Probing files that the stock ffmpeg generates: what each container,
// codec and damage yields in the probe result, the stream lines, the flag
// for length-prefixed video, file names the host may pass or that are
// refused, files whose metadata imitates the report's own lines, and
// probes on several threads at once.
#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
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

std::string to_gb18030(std::string in)
{
    iconv_t cd = iconv_open("GB18030", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return "";
    std::vector<char> out(in.size() * 4 + 4);
    char *src = &in[0], *dst = out.data();
    size_t src_left = in.size(), dst_left = out.size();
    const size_t rc = iconv(cd, &src, &src_left, &dst, &dst_left);
    iconv_close(cd);
    return rc == static_cast<size_t>(-1) ? "" : std::string(out.data(), out.size() - dst_left);
}

// The last stream line of a kind ("Video: ") as the stock ffprobe prints it, with its break.
std::string stock_stream_line(const std::string &file, const std::string &kind)
{
    std::string last;
    for (const std::string &line : tt::split_lines(tt::run({tt::stock_ffprobe(), "-i", file}).output))
        if (line.find("Stream #") != std::string::npos && line.find(kind) != std::string::npos) last = line + "\n";
    return last;
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
    std::string utf8 = dir.file("视频 样本.mp4");
    std::string gb18030 = to_gb18030(utf8);
    std::string not_text = dir.file("\xff\xfe clip.mp4");  // neither UTF-8 nor GB18030
    int raw_duration = -1;                                 // what the counting rule gives for raw.h264
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
            {"two video streams",
             tt::ffmpeg_generate({"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=3", "-f", "lavfi", "-i",
                                  "testsrc2=size=176x144:rate=25:duration=3", "-map", "0:v", "-map", "1:v", "-c:v:0",
                                  "libx264", "-profile:v:0", "baseline", "-pix_fmt", "yuv420p", "-c:v:1", "mpeg4",
                                  dir.file("two_video.mp4")})},
            {"faststart", tt::ffmpeg_generate({"-i", dir.file("h264_aac.mp4"), "-c", "copy", "-movflags", "faststart",
                                               dir.file("faststart.mp4")})},
            {"text", tt::write_file(dir.file("notes.txt"), "hello world\nthis is not media\n") &&
                         tt::write_file(dir.file("empty.mp4"), "")},
            {"gb18030 name", !gb18030.empty() && gb18030 != utf8},
        };
        for (const Step &s : steps)
            if (!s.ok) failure += std::string(" ") + s.what;
        const std::string mp4 = tt::read_file(dir.file("h264_aac.mp4"));
        const std::string faststart = tt::read_file(dir.file("faststart.mp4"));
        // Copies under names the host may pass, and files cut in half.
        for (const std::string &copy : {dir.file("my clip 01.mp4"), utf8, not_text})
            tt::write_file(copy, mp4);
        tt::write_file(dir.file("truncated.mp4"), mp4.substr(0, mp4.size() / 2));
        tt::write_file(dir.file("truncated_faststart.mp4"), faststart.substr(0, faststart.size() / 2));

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

        // The last packet comes only with the end of the input and is not
        // counted; the rest divided by the whole frame rate.
        const tt::Finished r =
            tt::run({tt::stock_ffprobe(), "-v", "error", "-count_packets", "-select_streams", "v:0", "-show_entries",
                     "stream=nb_read_packets,r_frame_rate", "-of", "csv=p=0", dir.file("raw.h264")});
        int num = 0, den = 0;
        long packets = 0;
        if (std::sscanf(r.output.c_str(), "%d/%d,%ld", &num, &den, &packets) == 3 && den > 0 && num / den > 0)
            raw_duration = static_cast<int>((packets - 1) / (num / den));
        else
            failure += " raw packet count";
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
    tt::LogCapture log_;
};

Media *Probe::media_ = nullptr;

TEST_F(Probe, ReadableFilesYieldTheirFieldsFlagAndStreamLines)
{
    struct Case {
        const char *name;
        std::string file;
        Expect expect;
        uint32_t flag;        // length-prefixed video
        std::string on_disk;  // the name the host's name stands for, when they differ
    };
    const Expect mp4 = {3, 320, 240, "mov", "h264 (High)", "aac"};
    // Nine seconds: 249 of 250 packets at 25 frames per second.
    EXPECT_EQ(m().raw_duration, 9);
    const Case cases[] = {
        {"mp4 h264 high aac", m()("h264_aac.mp4"), mp4, 1, ""},
        {"mpeg-ts", m()("h264_aac.ts"), {3, 320, 240, "mpegts", "h264 (High)", "aac"}, 0, ""},
        {"flv h264 main", m()("h264_main.flv"), {3, 320, 240, "flv", "h264 (Main)", "aac"}, 1, ""},
        {"avi mpeg4 mp3", m()("mpeg4_mp3.avi"), {3, 320, 240, "avi", "mpeg4", "mp3"}, 0, ""},
        {"mp4 hevc", m()("hevc.mp4"), {2, 160, 120, "mov", "hevc", "aac"}, 1, ""},
        {"raw h264", m()("raw.h264"), {m().raw_duration, 320, 240, "h264", "h264 (High)", ""}, 0, ""},
        {"audio only", m()("audio.mp3"), {3, 0, 0, "mp3", "", "mp3"}, 0, ""},
        // Baseline 320x240 first, MPEG-4 176x144 second: the later line wins.
        {"two video streams", m()("two_video.mp4"), {3, 176, 144, "mov", "mpeg4", ""}, 1, ""},
        // The header is whole; only media data is missing.
        {"truncated, header first", m()("truncated_faststart.mp4"), mp4, 1, ""},
        {"name with blanks", m()("my clip 01.mp4"), mp4, 1, ""},
        {"non-ASCII name", m().utf8, mp4, 1, ""},
        {"GB18030 name", m().gb18030, mp4, 1, m().utf8},
        {"name in no known character set", m().not_text, mp4, 1, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        probe_result r;
        std::memset(&r, 0, sizeof r);
        ASSERT_EQ(tarsa_sdk_probe_ex(c.file.c_str(), &r), 1);
        expect_fields(r, c.expect);

        // The extended probe: the same fields, and the last stream lines as
        // the stock probe prints them; it does not announce its command.
        const std::string on_disk = c.on_disk.empty() ? c.file : c.on_disk;
        log_.clear();
        probe_result_ex rx;
        std::memset(&rx, 0, sizeof rx);
        ASSERT_EQ(tarsa_sdk_probe_ex2(c.file.c_str(), &rx), 1);
        EXPECT_EQ(std::memcmp(&rx.result, &r, sizeof r), 0);
        EXPECT_EQ(std::string(rx.video_detailed_param), stock_stream_line(on_disk, "Video: "));
        EXPECT_EQ(std::string(rx.audio_detailed_param), stock_stream_line(on_disk, "Audio: "));
        EXPECT_EQ(log_.starting_with("internal_probe cmd:"), "");

        // The internal probe (of the name as it is on disk) raises the flag.
        probe_result again;
        std::memset(&again, 0, sizeof again);
        uint32_t flag = 0;
        ASSERT_EQ(internal_probe(on_disk.c_str(), &again, &flag), 1);
        EXPECT_EQ(std::memcmp(&again, &r, sizeof r), 0);
        EXPECT_EQ(flag, c.flag);
    }
}

TEST_F(Probe, UnreadableFilesYieldNothing)
{
    for (const char *name : {"notes.txt", "empty.mp4", "truncated.mp4", "missing.mp4"}) {
        SCOPED_TRACE(name);
        log_.clear();
        probe_result r, zero;
        std::memset(&r, 0, sizeof r);
        std::memset(&zero, 0, sizeof zero);
        EXPECT_EQ(tarsa_sdk_probe_ex(m()(name).c_str(), &r), 0);
        EXPECT_EQ(log_.count("unable to resolve f_fmt!"), 1);
        EXPECT_EQ(tarsa_sdk_probe(m()(name).c_str()), 0);
        EXPECT_EQ(std::memcmp(&r, &zero, sizeof r), 0) << "the output yielded no field";
    }
}

// The probe only adds to the record and the flag it is given.
TEST_F(Probe, UnclearedRecordKeepsWhatTheNewFileDoesNotYield)
{
    probe_result r;
    std::memset(&r, 0, sizeof r);
    ASSERT_EQ(tarsa_sdk_probe_ex(m()("hevc.mp4").c_str(), &r), 1);
    // Audio only: format, audio codec and duration are new; video stays.
    ASSERT_EQ(tarsa_sdk_probe_ex(m()("audio.mp3").c_str(), &r), 1);
    expect_fields(r, {3, 160, 120, "mp3", "hevc", "mp3"});
    // A text file yields no field at all; the format still in the record
    // counts as resolved, so the probe reports success with the old values.
    ASSERT_EQ(tarsa_sdk_probe_ex(m()("notes.txt").c_str(), &r), 1);
    expect_fields(r, {3, 160, 120, "mp3", "hevc", "mp3"});
    uint32_t raised = 1;
    ASSERT_EQ(internal_probe(m()("h264_aac.ts").c_str(), &r, &raised), 1);
    EXPECT_EQ(raised, 1u);
}

TEST_F(Probe, ConcurrentProbesMatchSequentialOnes)
{
    std::vector<std::string> files;
    for (const char *name : {"h264_aac.mp4", "h264_aac.ts", "h264_main.flv", "mpeg4_mp3.avi", "hevc.mp4", "raw.h264",
                             "audio.mp3", "two_video.mp4"})
        files.push_back(m()(name));
    std::vector<probe_result_ex> alone(files.size());
    for (size_t i = 0; i < files.size(); i++) {
        std::memset(&alone[i], 0, sizeof alone[i]);
        ASSERT_EQ(tarsa_sdk_probe_ex2(files[i].c_str(), &alone[i]), 1) << files[i];
    }
    constexpr int kThreads = 8, kPerThread = 2;
    std::vector<probe_result_ex> together(kThreads * kPerThread);
    std::vector<int> ok(together.size(), -1);
    auto file_of = [&](size_t slot) { return (slot * 3 + slot / files.size()) % files.size(); };
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; t++) {
        threads.emplace_back([&, t] {
            for (int k = 0; k < kPerThread; k++) {
                const size_t slot = static_cast<size_t>(t * kPerThread + k);
                std::memset(&together[slot], 0, sizeof together[slot]);
                ok[slot] = tarsa_sdk_probe_ex2(files[file_of(slot)].c_str(), &together[slot]);
            }
        });
    }
    for (std::thread &t : threads) t.join();
    for (size_t slot = 0; slot < together.size(); slot++) {
        SCOPED_TRACE(files[file_of(slot)]);
        EXPECT_EQ(ok[slot], 1);
        EXPECT_EQ(std::memcmp(&together[slot], &alone[file_of(slot)], sizeof(probe_result_ex)), 0);
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

// Names the tool would print with their control characters (or that would
// end the quoted name) are refused by every probe, though the file exists.
TEST_F(Probe, NamesWithControlCharactersAreRefused)
{
    const std::string mp4 = tt::read_file(m()("clean.mp4"));
    for (const std::string name : {"a\nb.mp4", "a\rb.mp4", "a\tb.mp4", "\x1b[2Jc.mp4", "clip\"1.mp4"}) {
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
}

// Exact tool output from the fake ffprobe: the example figures of a
// transport stream, and a video stream line longer than the record holds.
TEST(ProbeOutput, StreamLinesAreCutToTheRecord)
{
    tt::FakeTools tools;
    const std::string video =
        "  Stream #0:0: Video: h264 (High), yuv420p(tv, bt709), 1920x1080 [SAR 1:1 DAR 16:9], 25 fps" +
        std::string(200, '.');
    const std::string audio = "  Stream #0:1: Audio: aac (LC), 48000 Hz, stereo, fltp";
    tools.probe("pid\nprint Input #0, mpegts, from 'x.ts':\n"
                "print   Duration: 00:01:02.50, start: 0.000000, bitrate: 2000 kb/s\n"
                "print " + video + "\nprint " + audio + "\nprint header_info=1\n");
    probe_result_ex r;
    std::memset(&r, 0, sizeof r);
    ASSERT_EQ(internal_probe_ex("x.ts", &r), 1);
    expect_fields(r.result, {62, 1920, 1080, "mpegts", "h264 (High)", "aac"});
    EXPECT_EQ(std::string(r.video_detailed_param), video.substr(0, 255));
    EXPECT_EQ(std::string(r.audio_detailed_param), audio + "\n");
}

}  // namespace
