// Conversions with the real tools on generated media: the copy decisions
// (an MP4 source's container is "mov", which is not among the known
// formats, so only "flv" counts as the same container), what the
// destination holds, the watermark grid, a failing format, eight jobs at
// once, a stop mid-run, and the tool's life after its host.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "jobs.h"
#include "processes.h"
#include "job/job_records.h"

namespace {

// MD5 of the decoded frames or samples of a file's first video ("v") or
// audio ("a") stream: equal for a copied stream, different once re-encoded.
std::string decoded_md5(const std::string &path, const char *stream)
{
    tt::Finished r = tt::run({tt::stock_ffmpeg(), "-v", "error", "-i", path, "-map", std::string("0:") + stream + ":0",
                              "-fps_mode", "passthrough", "-f", "md5", "-"});
    if (r.exit_code != 0 || r.output.compare(0, 4, "MD5=") != 0) return "error: " + r.output;
    return r.output.substr(0, r.output.find('\n'));
}

struct Converted {
    int started = 0;
    dst_info info = {};
    std::vector<tt::JobEvent> events;
    probe_result_ex dst = {};
    int probed = 0;
};

class CvtJob : public tt::JobTest {
protected:
    std::string source(const std::string &name, int seconds = 3)
    {
        const std::string path = dir_.file(name);
        if (!tt::file_exists(path)) {
            EXPECT_TRUE(tt::make_h264_aac(path, seconds)) << path;
        }
        return path;
    }

    // Create, options, start with a dst_info, wait for the final event,
    // stop, destroy, probe the destination.
    Converted convert(const std::string &src, const std::string &dst, const cvt_param &param,
                      const std::function<void(void *)> &options = {})
    {
        Converted run;
        events_.clear();  // a new job may have the address of an earlier one
        const cvt_param_v1 v1 = tt::cvt_params(param);
        void *job = tarsa_sdk_create_v1(src.c_str(), dst.c_str(), &v1);
        EXPECT_NE(job, TARSA_INVALID_HANDLE);
        if (job == TARSA_INVALID_HANDLE) return run;
        if (options) options(job);
        run.started = tarsa_sdk_start_ex(job, &run.info);
        EXPECT_EQ(run.started, 1);
        if (run.started == 1) {
            EXPECT_TRUE(events_.wait_end(job, 120000)) << "no final event";
        }
        EXPECT_EQ(tarsa_sdk_get_pos(job), run.started == 1 ? 100 : 0);
        EXPECT_EQ(tarsa_sdk_stop(job), 1);
        run.events = events_.of(job);
        EXPECT_EQ(tarsa_sdk_destroy(job), 1);
        run.probed = tarsa_sdk_probe_ex2(dst.c_str(), &run.dst);
        return run;
    }
};

TEST_F(CvtJob, CopyDecisionsAndWhatTheDestinationHolds)
{
    struct Case {
        const char *src;
        int seconds;
        const char *dst;
        cvt_param param;
        uint32_t video_copy, audio_copy;
        const char *f_fmt;     // the destination's format as the start reports it
        const char *probed;    // ... and as the probe reads it
        const char *a_fmt;     // probed audio
        int width, height;
        int same_audio;        // decoded audio equal (1), different (0), not compared (-1)
    };
    const Case cases[] = {
        {"src.flv", 3, "flv.flv", {6, 0, 0, 1, 23}, 1, 1, "flv", "flv", "aac", 320, 240, 1},
        // AAC is never copied across containers.
        {"src.mp4", 3, "mp4.mp4", {3, 0, 0, 1, 23}, 1, 0, "mp4", "mov", "aac", 320, 240, 0},
        {"src.mp4", 3, "mp4.flv", {6, 0, 0, 1, 23}, 1, 0, "flv", "flv", "aac", 320, 240, -1},
        {"src.ts", 3, "ts.mp4", {3, 0, 0, 1, 23}, 1, 0, "mp4", "mov", "aac", 320, 240, -1},
        {"src.mp4", 3, "mute.mp4", {3, 0, 0, 0, 23}, 1, 0, "mp4", "mov", "", 320, 240, -1},
        // Names holding double quotes reach the tools as they are.
        {"src \"q\".mp4", 3, "dst \"q\".flv", {6, 0, 0, 1, 23}, 1, 0, "flv", "flv", "aac", 320, 240, -1},
        // A resize re-encodes both streams; long enough to report progress.
        {"src8.mp4", 8, "resized.mp4", {3, 960, 540, 1, 23}, 0, 0, "mp4", "mov", "aac", 960, 540, -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.dst);
        const std::string src = source(c.src, c.seconds), dst = dir_.file(c.dst);
        const Converted run = convert(src, dst, c.param);
        EXPECT_TRUE(tt::conversion_events_ok(run.events, false, dst));
        EXPECT_EQ(run.info.video_copy, c.video_copy);
        EXPECT_EQ(run.info.audio_copy, c.audio_copy);
        EXPECT_STREQ(run.info.f_fmt, c.f_fmt);
        EXPECT_STREQ(run.info.v_fmt, "h264 (High)");
        EXPECT_STREQ(run.info.a_fmt, "aac");
        ASSERT_EQ(run.probed, 1);
        EXPECT_STREQ(run.dst.result.f_fmt, c.probed);
        EXPECT_STREQ(run.dst.result.v_fmt, "h264 (High)");
        EXPECT_STREQ(run.dst.result.a_fmt, c.a_fmt);
        if (!*c.a_fmt) {
            EXPECT_STREQ(run.dst.audio_detailed_param, "");
        }
        EXPECT_EQ(run.dst.result.width, c.width);
        EXPECT_EQ(run.dst.result.height, c.height);
        EXPECT_EQ(run.dst.result.duration, c.seconds);
        if (c.seconds > 3) {
            EXPECT_FALSE(tt::positions(run.events).empty());
        }
        if (c.video_copy) {
            EXPECT_EQ(decoded_md5(dst, "v"), decoded_md5(src, "v"));
        }
        if (c.same_audio >= 0) {
            EXPECT_EQ(decoded_md5(dst, "a") == decoded_md5(src, "a"), c.same_audio == 1);
        }
        // MP4 destinations are laid out for fast start unless option 7 says 0.
        if (std::string(c.f_fmt) == "mp4") {
            EXPECT_EQ(tt::moov_before_mdat(dst), 1);
        }
    }
}

// A 2 x 3 grid: white text is drawn at the top left of every cell. Compared
// with a conversion that re-encodes the same way without a watermark; the
// test picture's colour bars differ from white in at least one channel.
TEST_F(CvtJob, WatermarkGridIsDrawnInEveryCell)
{
    const std::string src = source("src.mp4", 2), marked = dir_.file("marked.mp4"), plain = dir_.file("plain.mp4");
    const Converted with_mark = convert(src, marked, {3, 0, 0, 1, 23}, [](void *job) {
        ot_ex mark = {};
        mark.row_num = 2;
        mark.col_num = 3;
        mark.font_size = 24;
        std::strcpy(mark.font_color, "white");
        std::strcpy(mark.text, "WM");
        tarsa_sdk_set_option_param(job, OPT_PARAM_TYPE_OT, &mark, sizeof mark);
    });
    EXPECT_TRUE(tt::conversion_events_ok(with_mark.events, false, marked));
    EXPECT_EQ(with_mark.info.video_copy, 0u);
    const Converted without = convert(src, plain, {3, 320, 240, 1, 23});  // same size: re-encoded, no mark
    EXPECT_EQ(without.info.video_copy, 0u);

    std::string frames[2];
    for (int i = 0; i < 2; i++) {
        const std::string rgb = dir_.file(std::to_string(i) + ".rgb");
        ASSERT_TRUE(tt::ffmpeg_generate({"-i", i ? plain : marked, "-frames:v", "1", "-f", "rawvideo", "-pix_fmt",
                                         "rgb24", rgb}));
        frames[i] = tt::read_file(rgb);
        ASSERT_EQ(frames[i].size(), 320u * 240u * 3u);
    }
    for (int cell = 0; cell < 6; cell++) {
        const int row = cell / 3, col = cell % 3;
        int differing = 0;
        for (int y = 120 * row; y < 120 * (row + 1); y++) {
            for (int x = 320 * col / 3; x < 320 * (col + 1) / 3; x++) {
                bool differs = false;
                for (int ch = 0; ch < 3; ch++) {
                    const size_t i = static_cast<size_t>((y * 320 + x) * 3 + ch);
                    const int d = static_cast<unsigned char>(frames[0][i]) - static_cast<unsigned char>(frames[1][i]);
                    differs = differs || d > 64 || d < -64;
                }
                differing += differs;
            }
        }
        EXPECT_GT(differing, 30) << "no text in cell " << row << "," << col;
    }
}

// The stock tool has no "sdv" format: the job fails cleanly.
TEST_F(CvtJob, FormatTheToolLacksFailsCleanly)
{
    const std::string dst = dir_.file("dst.sdv");
    const Converted run = convert(source("src.mp4", 2), dst, {1, 0, 0, 1, 23});
    EXPECT_TRUE(tt::conversion_events_ok(run.events, true, dst));
    EXPECT_TRUE(tt::positions(run.events).empty());
    EXPECT_EQ(run.info.video_copy, 1u);
    EXPECT_STREQ(run.info.f_fmt, "sdv");
    EXPECT_EQ(run.probed, 0);
    EXPECT_TRUE(log_.has_line("\xE3\x80\x90NO\xE3\x80\x91" + dst));
}

// Without a callback the job still runs to its end, and the destination is
// still probed at the end. The old create form chooses hardware itself.
TEST_F(CvtJob, WithoutCallbackTheJobEndsAndIsProbed)
{
    tarsa_sdk_set_mess_callback(nullptr, nullptr);
    const std::string src = source("src.mp4", 2), dst = dir_.file("dst.flv");
    const cvt_param param = {6, 0, 0, 1, 23};
    void *job = tarsa_sdk_create(src.c_str(), dst.c_str(), &param);
    ASSERT_NE(job, TARSA_INVALID_HANDLE);
    EXPECT_EQ(static_cast<cvt_info *>(job)->usage_mode, static_cast<uint32_t>(HWD_USAGE_AUTO));
    EXPECT_EQ(static_cast<cvt_info *>(job)->hwd_type, -1);
    EXPECT_EQ(tarsa_sdk_get_pos(job), 0);
    ASSERT_EQ(tarsa_sdk_start(job), 1);
    EXPECT_TRUE(tt::wait_until([&] { return tarsa_sdk_get_pos(job) == 100; }, 60000));
    EXPECT_EQ(tarsa_sdk_stop(job), 1);
    EXPECT_EQ(tarsa_sdk_destroy(job), 1);
    EXPECT_TRUE(log_.has_line("\xE3\x80\x90YES\xE3\x80\x91" + src + " ==>> " + dst));
    EXPECT_TRUE(events_.all().empty());
}

// Each job has its own tool and monitor and reports only its own events.
using CvtConcurrent = CvtJob;

TEST_F(CvtConcurrent, EightConversionsAtOnce)
{
    const std::string src = source("src.mp4");
    const int threads = tt::thread_baseline();
    struct Job {
        std::string dst;
        cvt_param param;
        void *handle;
        dst_info info;
    };
    std::vector<Job> jobs;
    for (int i = 0; i < 8; i++) {
        // Half copy the video into FLV, half re-encode at a smaller size.
        const cvt_param param = i % 2 ? cvt_param{3, 160, 120, 1, 23} : cvt_param{6, 0, 0, 1, 23};
        const std::string dst = dir_.file("dst" + std::to_string(i) + (i % 2 ? ".mp4" : ".flv"));
        const cvt_param_v1 v1 = tt::cvt_params(param);
        jobs.push_back({dst, param, tarsa_sdk_create_v1(src.c_str(), dst.c_str(), &v1), {}});
        ASSERT_NE(jobs.back().handle, TARSA_INVALID_HANDLE);
    }
    for (Job &job : jobs) ASSERT_EQ(tarsa_sdk_start_ex(job.handle, &job.info), 1);
    for (Job &job : jobs) {
        EXPECT_TRUE(events_.wait_end(job.handle, 120000)) << job.dst;
        EXPECT_TRUE(tt::conversion_events_ok(events_.of(job.handle), false, job.dst)) << job.dst;
        EXPECT_EQ(tarsa_sdk_stop(job.handle), 1);
        EXPECT_EQ(tarsa_sdk_destroy(job.handle), 1);
    }
    EXPECT_EQ(tt::thread_count(), threads);
    EXPECT_TRUE(tt::child_pids().empty());
    for (const Job &job : jobs) {
        probe_result r = {};
        ASSERT_EQ(tarsa_sdk_probe_ex(job.dst.c_str(), &r), 1) << job.dst;
        const bool resized = job.param.width != 0;
        EXPECT_EQ(job.info.video_copy, resized ? 0u : 1u);
        EXPECT_STREQ(r.f_fmt, resized ? "mov" : "flv");
        EXPECT_STREQ(r.v_fmt, "h264 (High)");
        EXPECT_STREQ(r.a_fmt, "aac");
        EXPECT_EQ(r.width, resized ? 160 : 320);
        EXPECT_EQ(r.duration, 3);
    }
}

// The stop kills the tool by its pid, and the stock child dies with it.
using CvtStopRealTools = CvtJob;

TEST_F(CvtStopRealTools, StopMidRunEndsTheToolAndItsChild)
{
    const std::string src = source("src20.mp4", 20), dst = dir_.file("dst.mp4");
    const cvt_param_v1 param = tt::cvt_params({3, 1280, 720, 1, 23});  // a re-encode that takes seconds
    const int threads = tt::thread_baseline();
    const std::vector<int> fds = tt::open_fds();
    auto *job = static_cast<cvt_info *>(tarsa_sdk_create_v1(src.c_str(), dst.c_str(), &param));
    ASSERT_NE(static_cast<void *>(job), TARSA_INVALID_HANDLE);
    ASSERT_EQ(tarsa_sdk_start(job), 1);
    const int tool = pipe_child_pid(job->fp);
    const int stock = tt::child_running(tool, tt::stock_ffmpeg());
    ASSERT_GT(stock, 0) << "the stock ffmpeg never ran";
    ASSERT_TRUE(events_.wait_pos(job, 1, 15000));
    ASSERT_FALSE(events_.wait_end(job, 0)) << "the conversion ended before the stop";

    EXPECT_EQ(tarsa_sdk_stop(job), 1);
    EXPECT_EQ(kill(tool, 0), -1) << "the tool outlived the stop";
    EXPECT_TRUE(tt::ends_within(stock, 1000)) << "the stock ffmpeg outlived the stop";
    EXPECT_EQ(job->fp, nullptr);
    EXPECT_EQ(job->running.load(), 0u);
    EXPECT_EQ(tt::thread_count(), threads);
    EXPECT_EQ(tt::open_fds(), fds);
    EXPECT_TRUE(tt::conversion_events_ok(events_.of(job), false, dst));
    EXPECT_EQ(tarsa_sdk_destroy(job), 1);
}

// A host program that starts one long conversion and waits to be killed.
// The host is reaped only after the tool's fate is seen: until then its pid
// and start time stand, so only the tool's own tie to its host can end it.
// The host keeps the tool's output pipe open through a child of its own,
// so the tool cannot die of writing into a pipe nobody reads.
class CvtToolOwner : public ::testing::TestWithParam<bool> {};

TEST_P(CvtToolOwner, OptionSixTiesTheToolToItsHost)
{
    const bool owner = GetParam();
    tt::TempDir dir;
    ASSERT_TRUE(tt::make_h264_aac(dir.file("src.mp4"), 20));
    std::vector<std::string> argv = {tt::bin_dir() + "cvt_owner_host", dir.file("src.mp4"), dir.file("dst.mp4"),
                                     "--hold-pipe"};
    if (owner) argv.push_back("--owner");
    tt::Spawned host(argv);
    std::string line;
    ASSERT_TRUE(host.read_line(line, 30000));
    int tool = -1, holder = -1;
    ASSERT_EQ(std::sscanf(line.c_str(), "tool %d holder %d", &tool, &holder), 2) << line << host.read_rest(1000);
    const int stock = tt::child_running(tool, tt::stock_ffmpeg());
    ASSERT_GT(stock, 0) << "the stock ffmpeg never ran";

    ASSERT_EQ(kill(host.pid(), SIGKILL), 0);
    if (owner) {
        EXPECT_TRUE(tt::ends_within(tool, 1000)) << "the tool outlived its host";
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        EXPECT_TRUE(tt::process_running(tool)) << "without the tie the tool runs on";
        kill(tool, SIGKILL);  // as the next start-up's orphan clean-up would
    }
    EXPECT_TRUE(tt::ends_within(stock, 1000));
    EXPECT_EQ(host.wait(2000), 128 + SIGKILL);
    kill(holder, SIGKILL);
    EXPECT_TRUE(tt::ends_within(holder, 1000));
}

INSTANTIATE_TEST_SUITE_P(HostDies, CvtToolOwner, ::testing::Bool(),
                         [](const auto &info) { return info.param ? "with_option_6" : "without_it"; });

}  // namespace
