// Probing files that the stock ffmpeg generates: what each container,
// codec and damage yields in the probe result, the stream lines, the flag
// for length-prefixed video, file names the host may pass, the log lines,
// and probes on several threads at once.
#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cvt/probe.h"
#include "log_text.h"
#include "sdk/sdk_globals.h"
#include "sdk_state.h"
#include "tarsasdk.h"
#include "test_util.h"

namespace {

struct Expect {
    int duration;
    int width;
    int height;
    std::string f_fmt;
    std::string v_fmt;
    std::string a_fmt;
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

std::string to_gb18030(const std::string &utf8)
{
    iconv_t cd = iconv_open("GB18030", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string();
    std::string in = utf8;
    std::vector<char> out(in.size() * 4 + 4);
    char *src = &in[0];
    char *dst = out.data();
    size_t src_left = in.size(), dst_left = out.size();
    size_t rc = iconv(cd, &src, &src_left, &dst, &dst_left);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1)) return std::string();
    return std::string(out.data(), out.size() - dst_left);
}

bool copy_file(const std::string &from, const std::string &to) { return tt::write_file(to, tt::read_file(from)); }

bool write_first_half(const std::string &from, const std::string &to)
{
    std::string bytes = tt::read_file(from);
    return !bytes.empty() && tt::write_file(to, bytes.substr(0, bytes.size() / 2));
}

// The stream lines of a file as the stock ffprobe prints them, without breaks.
std::vector<std::string> stock_stream_lines(const std::string &file, const std::string &kind)
{
    tt::RunResult r = tt::run_program({tt::stock_ffprobe(), "-i", file});
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < r.output.size()) {
        size_t end = r.output.find('\n', at);
        if (end == std::string::npos) end = r.output.size();
        std::string line = r.output.substr(at, end - at);
        if (line.find("Stream #") != std::string::npos && line.find(kind) != std::string::npos)
            lines.push_back(line);
        at = end + 1;
    }
    return lines;
}

// Packets and frame rate of a raw stream, as the stock ffprobe counts them.
bool stock_packets_and_fps(const std::string &file, long *packets, int *fps)
{
    tt::RunResult r = tt::run_program({tt::stock_ffprobe(), "-v", "error", "-count_packets", "-select_streams", "v:0",
                                       "-show_entries", "stream=nb_read_packets,r_frame_rate", "-of",
                                       "default=noprint_wrappers=1", file});
    int num = 0, den = 0;
    long n = -1;
    const char *rate = std::strstr(r.output.c_str(), "r_frame_rate=");
    const char *count = std::strstr(r.output.c_str(), "nb_read_packets=");
    if (r.exit_code != 0 || !rate || !count) return false;
    if (std::sscanf(rate, "r_frame_rate=%d/%d", &num, &den) != 2 || den == 0) return false;
    if (std::sscanf(count, "nb_read_packets=%ld", &n) != 1) return false;
    *packets = n;
    *fps = num / den;
    return true;
}

const std::vector<std::string> kH264High = {"-c:v", "libx264", "-profile:v", "high", "-pix_fmt", "yuv420p",
                                            "-preset", "veryfast"};

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Generated once for all tests of this file.
struct Media {
    tt::TempDir dir;
    std::string mp4, ts, flv, avi, hevc, raw, mp3, two_video, text, empty, truncated, truncated_faststart;
    std::string spaced, utf8, gb18030, not_text, quoted;
    int raw_duration = -1;  // what the counting rule gives for `raw`
    std::string failure;

    bool make()
    {
        mp4 = dir.file("h264_aac.mp4");
        ts = dir.file("h264_aac.ts");
        flv = dir.file("h264_main.flv");
        avi = dir.file("mpeg4_mp3.avi");
        hevc = dir.file("hevc.mp4");
        raw = dir.file("raw.h264");
        mp3 = dir.file("audio.mp3");
        two_video = dir.file("two_video.mp4");
        if (!tt::make_mp4_h264_aac(mp4, 3)) return fail("mp4");
        if (!tt::make_media(ts, 3, kH264High + std::vector<std::string>{"-c:a", "aac", "-f", "mpegts"}))
            return fail("ts");
        if (!tt::make_media(flv, 3, {"-c:v", "libx264", "-profile:v", "main", "-pix_fmt", "yuv420p", "-preset",
                                     "veryfast", "-c:a", "aac"}))
            return fail("flv");
        if (!tt::make_media(avi, 3, {"-c:v", "mpeg4", "-c:a", "libmp3lame"})) return fail("avi");
        if (!tt::make_media(hevc, 2,
                            {"-c:v", "libx265", "-preset", "ultrafast", "-x265-params", "log-level=none", "-c:a",
                             "aac"},
                            160, 120))
            return fail("hevc");
        // Ten seconds, so that opening the file does not read all of it.
        if (!tt::make_media(raw, 10, kH264High + std::vector<std::string>{"-f", "h264"}, 320, 240, false))
            return fail("raw h264");
        if (!tt::ffmpeg_generate({"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=3", "-c:a",
                                  "libmp3lame", mp3}))
            return fail("mp3");
        if (!tt::ffmpeg_generate({"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=3", "-f", "lavfi",
                                  "-i", "testsrc2=size=176x144:rate=25:duration=3", "-map", "0:v", "-map", "1:v",
                                  "-c:v:0", "libx264", "-profile:v:0", "baseline", "-pix_fmt", "yuv420p", "-preset",
                                  "veryfast", "-c:v:1", "mpeg4", two_video}))
            return fail("two video streams");

        text = dir.file("notes.txt");
        empty = dir.file("empty.mp4");
        truncated = dir.file("truncated.mp4");
        truncated_faststart = dir.file("truncated_faststart.mp4");
        std::string faststart = dir.file("faststart.mp4");
        if (!tt::write_file(text, "hello world\nthis is not media\n") || !tt::write_file(empty, ""))
            return fail("text");
        if (!tt::ffmpeg_generate({"-i", mp4, "-c", "copy", "-movflags", "faststart", faststart}))
            return fail("faststart");
        if (!write_first_half(mp4, truncated) || !write_first_half(faststart, truncated_faststart))
            return fail("truncated");

        spaced = dir.file("my clip 01.mp4");
        utf8 = dir.file("视频 样本.mp4");
        gb18030 = to_gb18030(utf8);
        not_text = dir.file("\xff\xfe clip.mp4");  // neither UTF-8 nor GB18030
        quoted = dir.file("clip\"1.mp4");
        if (gb18030.empty() || gb18030 == utf8) return fail("gb18030 name");
        for (const std::string *copy : {&spaced, &utf8, &not_text, &quoted})
            if (!copy_file(mp4, *copy)) return fail("copy " + *copy);

        long packets = 0;
        int fps = 0;
        if (!stock_packets_and_fps(raw, &packets, &fps) || fps == 0) return fail("raw packet count");
        // The last packet comes only with the end of the input and is not
        // counted; the rest divided by the whole frame rate.
        raw_duration = static_cast<int>((packets - 1) / fps);
        return true;
    }

    bool fail(const std::string &what)
    {
        failure = "could not generate " + what;
        return false;
    }
};

class Probe : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!tarsa_sdk_is_startup()) tarsa_sdk_startup();
        media_ = new Media;
        media_->make();
    }
    static void TearDownTestSuite()
    {
        delete media_;
        media_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(media_->failure.empty()) << media_->failure; }

    static const Media &m() { return *media_; }
    static Media *media_;
};

Media *Probe::media_ = nullptr;

struct FileCase {
    const char *name;
    std::string file;
    Expect expect;
};

std::vector<FileCase> readable_cases(const Media &m)
{
    return {
        {"mp4 h264 high aac", m.mp4, {3, 320, 240, "mov", "h264 (High)", "aac"}},
        {"mpeg-ts", m.ts, {3, 320, 240, "mpegts", "h264 (High)", "aac"}},
        {"flv h264 main", m.flv, {3, 320, 240, "flv", "h264 (Main)", "aac"}},
        {"avi mpeg4 mp3", m.avi, {3, 320, 240, "avi", "mpeg4", "mp3"}},
        {"mp4 hevc", m.hevc, {2, 160, 120, "mov", "hevc", "aac"}},
        {"raw h264", m.raw, {m.raw_duration, 320, 240, "h264", "h264 (High)", ""}},
        {"audio only", m.mp3, {3, 0, 0, "mp3", "", "mp3"}},
        // Baseline 320x240 first, MPEG-4 176x144 second: the later line wins.
        {"two video streams", m.two_video, {3, 176, 144, "mov", "mpeg4", ""}},
        // The header is whole; only media data is missing.
        {"truncated, header first", m.truncated_faststart, {3, 320, 240, "mov", "h264 (High)", "aac"}},
        {"name with blanks", m.spaced, {3, 320, 240, "mov", "h264 (High)", "aac"}},
        {"non-ASCII name", m.utf8, {3, 320, 240, "mov", "h264 (High)", "aac"}},
        {"GB18030 name", m.gb18030, {3, 320, 240, "mov", "h264 (High)", "aac"}},
        {"name in no known character set", m.not_text, {3, 320, 240, "mov", "h264 (High)", "aac"}},
    };
}

TEST_F(Probe, ReadableFilesYieldTheirFields)
{
    // Nine seconds: 249 of 250 packets at 25 frames per second.
    EXPECT_EQ(m().raw_duration, 9);
    for (const FileCase &c : readable_cases(m())) {
        SCOPED_TRACE(c.name);
        probe_result r;
        std::memset(&r, 0, sizeof r);
        ASSERT_EQ(tarsa_sdk_probe_ex(c.file.c_str(), &r), 1);
        expect_fields(r, c.expect);
        EXPECT_EQ(tarsa_sdk_probe(c.file.c_str()), 1);
    }
}

TEST_F(Probe, UnreadableFilesYieldNothing)
{
    const FileCase cases[] = {
        {"text", m().text, {}},
        {"zero bytes", m().empty, {}},
        {"truncated, header last", m().truncated, {}},
        {"missing", m().dir.file("missing.mp4"), {}},
    };
    for (const FileCase &c : cases) {
        SCOPED_TRACE(c.name);
        tt::LogCapture log;
        probe_result r;
        std::memset(&r, 0, sizeof r);
        EXPECT_EQ(tarsa_sdk_probe_ex(c.file.c_str(), &r), 0);
        EXPECT_EQ(tt::count_message(log, "unable to resolve f_fmt!"), 1);
        EXPECT_EQ(tarsa_sdk_probe(c.file.c_str()), 0);
        probe_result zero;
        std::memset(&zero, 0, sizeof zero);
        EXPECT_EQ(std::memcmp(&r, &zero, sizeof r), 0) << "the output yielded no field";
    }
}

TEST_F(Probe, ExtendedProbeKeepsTheToolsStreamLines)
{
    const FileCase cases[] = {
        {"mp4", m().mp4, {3, 320, 240, "mov", "h264 (High)", "aac"}},
        {"mpeg-ts", m().ts, {3, 320, 240, "mpegts", "h264 (High)", "aac"}},
        {"two video streams", m().two_video, {3, 176, 144, "mov", "mpeg4", ""}},
        {"audio only", m().mp3, {3, 0, 0, "mp3", "", "mp3"}},
    };
    for (const FileCase &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> video = stock_stream_lines(c.file, "Video: ");
        std::vector<std::string> audio = stock_stream_lines(c.file, "Audio: ");
        probe_result_ex r;
        std::memset(&r, 0, sizeof r);
        tt::LogCapture log;
        ASSERT_EQ(tarsa_sdk_probe_ex2(c.file.c_str(), &r), 1);
        expect_fields(r.result, c.expect);
        EXPECT_EQ(std::string(r.video_detailed_param), video.empty() ? "" : video.back() + "\n");
        EXPECT_EQ(std::string(r.audio_detailed_param), audio.empty() ? "" : audio.back() + "\n");
        EXPECT_LT(std::strlen(r.video_detailed_param), 256u);
        // Only the internal probe announces its command line.
        for (const std::string &msg : tt::log_messages(log)) EXPECT_NE(msg.rfind("internal_probe cmd:", 0), 0u);
    }
}

// Refused before any tool runs: no media needed.
TEST(ProbeArguments, NullArgumentsAreRefused)
{
    tt::LogCapture log;
    probe_result r;
    probe_result_ex rx;
    EXPECT_EQ(tarsa_sdk_probe_ex("/tmp/a.mp4", nullptr), 0);
    EXPECT_EQ(tarsa_sdk_probe_ex(nullptr, &r), 0);
    EXPECT_EQ(tarsa_sdk_probe_ex2("/tmp/a.mp4", nullptr), 0);
    EXPECT_EQ(tarsa_sdk_probe_ex2(nullptr, &rx), 0);
    EXPECT_EQ(tt::count_message(log, "filename == NULL || result == NULL"), 4);
    EXPECT_EQ(tarsa_sdk_probe(nullptr), 0);
    EXPECT_EQ(tt::count_message(log, "filename == NULL"), 1);
}

TEST_F(Probe, UnclearedRecordKeepsWhatTheNewFileDoesNotYield)
{
    probe_result r;
    std::memset(&r, 0, sizeof r);
    ASSERT_EQ(tarsa_sdk_probe_ex(m().hevc.c_str(), &r), 1);
    expect_fields(r, {2, 160, 120, "mov", "hevc", "aac"});
    // Audio only: format, audio codec and duration are new; video stays.
    ASSERT_EQ(tarsa_sdk_probe_ex(m().mp3.c_str(), &r), 1);
    expect_fields(r, {3, 160, 120, "mp3", "hevc", "mp3"});
    // A text file yields no field at all; the format still in the record
    // counts as resolved, so the probe reports success with the old values.
    ASSERT_EQ(tarsa_sdk_probe_ex(m().text.c_str(), &r), 1);
    expect_fields(r, {3, 160, 120, "mp3", "hevc", "mp3"});
}

TEST_F(Probe, LengthPrefixedVideoRaisesTheFlag)
{
    struct FlagCase {
        const char *name;
        std::string file;
        uint32_t flag;
    };
    const FlagCase cases[] = {
        {"mp4 h264 (avc1)", m().mp4, 1},
        {"mp4 hevc", m().hevc, 1},
        {"mpeg-ts h264", m().ts, 0},
        {"avi mpeg4", m().avi, 0},
        {"audio only", m().mp3, 0},
    };
    for (const FlagCase &c : cases) {
        SCOPED_TRACE(c.name);
        probe_result r;
        std::memset(&r, 0, sizeof r);
        uint32_t flag = 0;
        ASSERT_EQ(internal_probe(c.file.c_str(), &r, &flag), 1);
        EXPECT_EQ(flag, c.flag);
    }
    // The probe only ever raises the flag.
    probe_result r;
    std::memset(&r, 0, sizeof r);
    uint32_t raised = 1;
    ASSERT_EQ(internal_probe(m().ts.c_str(), &r, &raised), 1);
    EXPECT_EQ(raised, 1u);
}

TEST_F(Probe, LogsItsCommandLineAndTheResult)
{
    tt::LogCapture log;
    probe_result r;
    std::memset(&r, 0, sizeof r);
    ASSERT_EQ(tarsa_sdk_probe_ex(m().mp4.c_str(), &r), 1);
    std::vector<std::string> messages = tt::log_messages(log);
    const std::string cmd = "internal_probe cmd:\"" + std::string(s_ffprobe_path) + "\" -i \"" + m().mp4 + "\" ";
    EXPECT_EQ(std::count(messages.begin(), messages.end(), cmd), 1);

    const std::vector<std::string> dump = {
        "***************************begin***************************",
        "* [" + m().mp4 + "]",
        "* file_format:mov",
        "* video_format=h264 (High)",
        "* audio_format=aac",
        "* duration:3",
        "* resolution:320*240",
        "***************************end*****************************",
    };
    std::vector<std::string> lines = log.lines();  // dump lines carry no level
    auto begin = std::find(lines.begin(), lines.end(), dump.front());
    ASSERT_NE(begin, lines.end());
    ASSERT_GE(lines.end() - begin, static_cast<long>(dump.size()));
    EXPECT_EQ(std::vector<std::string>(begin, begin + static_cast<long>(dump.size())), dump);
}

TEST(ProbeArguments, DumpOfMissingArgumentsIsLogged)
{
    tt::LogCapture log;
    probe_result r;
    std::memset(&r, 0, sizeof r);
    dump_probe_result(nullptr, &r);
    dump_probe_result("x.mp4", nullptr);
    EXPECT_EQ(tt::log_messages(log),
              (std::vector<std::string>{"filename == NULL || result == NULL", "filename == NULL || result == NULL"}));
}

TEST_F(Probe, NamesAreConvertedFromGb18030)
{
    tt::LogCapture log;
    probe_result r;
    std::memset(&r, 0, sizeof r);
    ASSERT_EQ(tarsa_sdk_probe_ex(m().gb18030.c_str(), &r), 1);
    EXPECT_TRUE(log.has_line("* [" + m().utf8 + "]"));
    EXPECT_EQ(tt::count_message(log, "!os_code_convert"), 0);

    // A name in no known character set is logged and used as it is.
    log.clear();
    ASSERT_EQ(tarsa_sdk_probe_ex(m().not_text.c_str(), &r), 1);
    EXPECT_EQ(tt::count_message(log, "!os_code_convert"), 1);
    EXPECT_TRUE(log.has_line("* [" + m().not_text + "]"));
}

TEST_F(Probe, NameWithDoubleQuoteIsRefused)
{
    ASSERT_TRUE(tt::file_exists(m().quoted));
    tt::LogCapture log;
    probe_result r;
    std::memset(&r, 0, sizeof r);
    probe_result_ex rx;
    std::memset(&rx, 0, sizeof rx);
    EXPECT_EQ(tarsa_sdk_probe_ex(m().quoted.c_str(), &r), 0);
    EXPECT_EQ(tt::log_messages(log), (std::vector<std::string>{"strchr(filename, '\"') != NULL",
                                                               "!get_probe_cmd(filename, cmd)"}));
    EXPECT_EQ(tarsa_sdk_probe_ex2(m().quoted.c_str(), &rx), 0);
    EXPECT_EQ(tarsa_sdk_probe(m().quoted.c_str()), 0);
    EXPECT_EQ(tt::count_message(log, "strchr(filename, '\"') != NULL"), 3);
}

TEST_F(Probe, ConcurrentProbesMatchSequentialOnes)
{
    const std::vector<std::string> files = {m().mp4, m().ts, m().flv, m().avi, m().hevc, m().raw, m().mp3,
                                            m().two_video};
    std::vector<probe_result_ex> alone(files.size());
    for (size_t i = 0; i < files.size(); i++) {
        std::memset(&alone[i], 0, sizeof alone[i]);
        ASSERT_EQ(tarsa_sdk_probe_ex2(files[i].c_str(), &alone[i]), 1) << files[i];
    }

    constexpr int kThreads = 8;
    constexpr int kPerThread = 2;
    std::vector<probe_result_ex> together(kThreads * kPerThread);
    std::vector<int> ok(together.size(), -1);
    auto file_of = [&](size_t slot) { return (slot * 3 + slot / files.size()) % files.size(); };
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; t++) {
        threads.emplace_back([&, t] {
            for (int k = 0; k < kPerThread; k++) {
                size_t slot = static_cast<size_t>(t * kPerThread + k);
                std::memset(&together[slot], 0, sizeof together[slot]);
                ok[slot] = tarsa_sdk_probe_ex2(files[file_of(slot)].c_str(), &together[slot]);
            }
        });
    }
    for (std::thread &t : threads) t.join();

    for (size_t slot = 0; slot < together.size(); slot++) {
        const size_t i = file_of(slot);
        SCOPED_TRACE(files[i]);
        EXPECT_EQ(ok[slot], 1);
        EXPECT_EQ(std::memcmp(&together[slot], &alone[i], sizeof(probe_result_ex)), 0);
    }
}

// Exact tool output from the fake ffprobe: the example figures of a
// transport stream, and a video stream line longer than the record holds.
TEST(ProbeOutput, StreamLinesAreCutToTheRecord)
{
    tt::SdkStateGuard state;
    tt::TempDir dir;
    std::string tools = tt::install_fake_tools(dir.path());
    std::snprintf(s_ffprobe_path, sizeof s_ffprobe_path, "%sffprobe", tools.c_str());
    const std::string video =
        "  Stream #0:0: Video: h264 (High), yuv420p(tv, bt709), 1920x1080 [SAR 1:1 DAR 16:9], 25 fps" +
        std::string(200, '.');
    const std::string audio = "  Stream #0:1: Audio: aac (LC), 48000 Hz, stereo, fltp";
    const std::string script_text = "pid\n"
                                    "print Input #0, mpegts, from 'x.ts':\n"
                                    "print   Duration: 00:01:02.50, start: 0.000000, bitrate: 2000 kb/s\n"
                                    "print " + video + "\n"
                                    "print " + audio + "\n"
                                    "print header_info=1\n";
    ASSERT_TRUE(tt::write_file(dir.file("script"), script_text));
    tt::EnvGuard script("TARSA_FAKE_SCRIPT", dir.file("script"));

    probe_result_ex r;
    std::memset(&r, 0, sizeof r);
    ASSERT_EQ(internal_probe_ex(dir.file("x.ts").c_str(), &r), 1);
    expect_fields(r.result, {62, 1920, 1080, "mpegts", "h264 (High)", "aac"});
    EXPECT_EQ(std::string(r.video_detailed_param), video.substr(0, 255));
    EXPECT_EQ(std::string(r.audio_detailed_param), audio + "\n");
}

}  // namespace
