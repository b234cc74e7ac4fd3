// Cut jobs end to end with the real tools on generated media: the command
// each cut runs, its events, and what the destination holds; creation,
// stop and destroy at the interface.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cvt/runner.h"
#include "job_scope.h"
#include "log_text.h"
#include "sdk/job_records.h"
#include "spawned.h"
#include "test_util.h"

namespace {

using tt::RecordedEvent;

// Sources are 8 s at 25 fps with a key frame every 25 frames: a copied cut
// starts at a key frame at most 1 s early, and the container may add up to
// a few tenths of a second of audio/video start offsets.
constexpr int kSourceSeconds = 8;
constexpr double kKeyFrameTolerance = 1.0;
constexpr double kRounding = 0.3;

const std::vector<std::string> kH264Aac = {"-c:v", "libx264", "-profile:v", "high", "-pix_fmt", "yuv420p",
                                           "-preset", "veryfast", "-g", "25", "-c:a", "aac", "-b:a", "64k"};

class CutJob : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        tarsa_sdk_startup();
        media_ = new tt::TempDir();
        ASSERT_TRUE(tt::make_mp4_h264_aac(media_->file("src.mp4"), kSourceSeconds));
        ASSERT_TRUE(tt::make_media(media_->file("src.flv"), kSourceSeconds, kH264Aac));
    }
    static void TearDownTestSuite()
    {
        delete media_;
        media_ = nullptr;
    }
    static std::string source(const char *name) { return media_->file(name); }
    static std::string tool() { return tt::bin_dir() + "ffmpeg"; }

    static cut_param_v1 params(int dst_file_type, int start_time, int cut_length)
    {
        cut_param_v1 p;
        std::memset(&p, 0, sizeof p);
        p.cut_param = {dst_file_type, 0, 0, start_time, cut_length, 0, 1, 5};
        p.usage_mode = HWD_USAGE_NONE;
        p.hwd_type = -1;
        return p;
    }

    struct Outcome {
        int started = 0;
        std::string cmd;  // what "start cvt cmd:" logged
        std::vector<RecordedEvent> events;
        int pos = -1;
        void *job = nullptr;
        std::vector<std::string> log;
    };

    // Creates, starts and waits for the end of one cut, then stops and
    // destroys it. `prepare` runs between create and start.
    Outcome run_cut(const std::string &src, const std::string &dst, const cut_param_v1 &p,
                    const std::function<void(void *)> &prepare = nullptr)
    {
        Outcome out;
        tt::EventRecorder rec;
        tt::LogCapture log;
        void *job = tarsa_sdk_cut_create_v1(src.c_str(), dst.c_str(), &p);
        EXPECT_NE(job, TARSA_INVALID_HANDLE);
        if (job == TARSA_INVALID_HANDLE) return out;
        out.job = job;
        if (prepare) prepare(job);
        out.started = tarsa_sdk_cut_start(job);
        if (out.started) {
            EXPECT_TRUE(tt::wait_until(
                [&] {
                    for (const RecordedEvent &e : rec.events())
                        if (e.code == TARSA_EVENT_CUT_FAIL || (e.code == TARSA_EVENT_CUT_POS && e.p2 == 100))
                            return true;
                    return false;
                },
                60000));
        }
        out.pos = tarsa_sdk_cut_get_pos(job);
        EXPECT_EQ(tarsa_sdk_cut_stop(job), 1);
        out.events = rec.events();
        EXPECT_EQ(tarsa_sdk_cut_destroy(job), 1);
        out.log = tt::log_messages(log);
        const std::string prefix = "start cvt cmd:";
        for (const std::string &m : out.log)
            if (m.rfind(prefix, 0) == 0) out.cmd = m.substr(prefix.size());
        return out;
    }

    // Events of a successful cut: rising positions below 100, then 100 last.
    static void expect_success(const Outcome &out)
    {
        ASSERT_FALSE(out.events.empty());
        uint32_t last = 0;
        for (size_t i = 0; i + 1 < out.events.size(); i++) {
            const RecordedEvent &e = out.events[i];
            EXPECT_EQ(e.code, static_cast<uint32_t>(TARSA_EVENT_CUT_POS)) << e;
            EXPECT_GT(e.p2, last) << e;
            EXPECT_LT(e.p2, 100u) << e;
            last = e.p2;
        }
        EXPECT_EQ(out.events.back(), (RecordedEvent{out.job, TARSA_EVENT_CUT_POS, "", 100}));
        EXPECT_EQ(out.pos, 100);
    }

    // The destination's length in seconds as the stock probe measures it.
    static double media_duration(const std::string &path)
    {
        tt::RunResult r = tt::run_program(
            {tt::stock_ffprobe(), "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", path});
        return r.exit_code == 0 ? std::atof(r.output.c_str()) : -1.0;
    }

    static probe_result probe(const std::string &path)
    {
        probe_result r;
        std::memset(&r, 0, sizeof r);
        EXPECT_EQ(tarsa_sdk_probe_ex(path.c_str(), &r), 1) << path;
        return r;
    }

    // "moov" ahead of "mdat": the index was moved to the front (faststart).
    static bool index_in_front(const std::string &path)
    {
        std::string bytes = tt::read_file(path);
        size_t moov = bytes.find("moov");
        size_t mdat = bytes.find("mdat");
        return moov != std::string::npos && mdat != std::string::npos && moov < mdat;
    }

    static tt::TempDir *media_;
    tt::TempDir out_;
};

tt::TempDir *CutJob::media_ = nullptr;

// ---- real cuts

TEST_F(CutJob, StreamCopyFromMp4ToMp4WritesAFastStartMp4OfTheRange)
{
    const std::string src = source("src.mp4");
    const std::string dst = out_.file("copy.mp4");
    Outcome out = run_cut(src, dst, params(3, 2, 3));
    ASSERT_EQ(out.started, 1);
    EXPECT_EQ(out.cmd, "\"" + tool() + "\" -accurate_seek  -ss 2.0 -i \"" + src +
                           "\" -t 3 -c:v copy -bsf:v h264_mp4toannexb  -avoid_negative_ts 1 -c:a libfdk_aac   "
                           "-movflags faststart -f mp4 -y \"" + dst + "\" ");
    expect_success(out);
    // The verdict of the end-of-job probe comes before the final event.
    EXPECT_EQ(std::count(out.log.begin(), out.log.end(), "\xE3\x80\x90YES\xE3\x80\x91" + src + " ==>> " + dst), 1);

    probe_result r = probe(dst);
    EXPECT_STREQ(r.f_fmt, "mov");
    EXPECT_EQ(std::string(r.v_fmt).rfind("h264", 0), 0u) << r.v_fmt;
    EXPECT_STREQ(r.a_fmt, "aac");
    EXPECT_NEAR(media_duration(dst), 3.0, kKeyFrameTolerance + kRounding);
    EXPECT_TRUE(index_in_front(dst));
}

TEST_F(CutJob, FastStartOffLeavesTheFormatToTheDestinationName)
{
    const std::string src = source("src.mp4");
    const std::string dst = out_.file("plain.mp4");
    Outcome out = run_cut(src, dst, params(3, 2, 3), [](void *job) {
        int32_t off = 0;
        EXPECT_EQ(tarsa_sdk_set_option_param(job, OPT_PARAM_TYPE_MOVFLAGS_FASTSTART, &off, sizeof off), 1);
    });
    ASSERT_EQ(out.started, 1);
    EXPECT_EQ(out.cmd, "\"" + tool() + "\" -accurate_seek  -ss 2.0 -i \"" + src +
                           "\" -t 3 -c:v copy -bsf:v h264_mp4toannexb  -avoid_negative_ts 1 -c:a libfdk_aac   -y \"" +
                           dst + "\" ");
    expect_success(out);
    EXPECT_STREQ(probe(dst).f_fmt, "mov");
    EXPECT_NEAR(media_duration(dst), 3.0, kKeyFrameTolerance + kRounding);
    EXPECT_FALSE(index_in_front(dst));
}

TEST_F(CutJob, ResizedCutIsReEncodedToTheNewSize)
{
    const std::string src = source("src.mp4");
    const std::string dst = out_.file("small.mp4");
    cut_param_v1 p = params(3, 2, 3);
    p.cut_param.width = 160;
    p.cut_param.height = 120;
    Outcome out = run_cut(src, dst, p);
    ASSERT_EQ(out.started, 1);
    EXPECT_EQ(out.cmd, "\"" + tool() + "\"   -ss 2.0 -t 3 -i \"" + src +
                           "\"  -c:v libx264 -profile:v high  -q:v 5 -c:a libfdk_aac  -s 160*120 -movflags "
                           "faststart -f mp4 -y \"" + dst + "\" ");
    expect_success(out);
    probe_result r = probe(dst);
    EXPECT_EQ(r.width, 160);
    EXPECT_EQ(r.height, 120);
    EXPECT_NEAR(media_duration(dst), 3.0, kRounding);  // re-encoded: cut at the exact time
}

TEST_F(CutJob, ForcedEncodeReEncodesWhatCouldBeCopied)
{
    const std::string src = source("src.mp4");
    const std::string dst = out_.file("forced.mp4");
    cut_param_v1 p = params(3, 2, 3);
    p.cut_param.force_encode = 1;
    Outcome out = run_cut(src, dst, p);
    ASSERT_EQ(out.started, 1);
    EXPECT_EQ(out.cmd, "\"" + tool() + "\"   -ss 2.0 -t 3 -i \"" + src +
                           "\"  -c:v libx264 -profile:v high  -q:v 5 -c:a libfdk_aac   -movflags faststart -f mp4 "
                           "-y \"" + dst + "\" ");
    expect_success(out);
    probe_result r = probe(dst);
    EXPECT_EQ(r.width, 320);
    EXPECT_NEAR(media_duration(dst), 3.0, kRounding);
}

TEST_F(CutJob, FlvSourceCutFromItsStartSeeksToOneTenth)
{
    const std::string src = source("src.flv");
    const std::string dst = out_.file("start.flv");
    Outcome out = run_cut(src, dst, params(6, 0, 3));
    ASSERT_EQ(out.started, 1);
    // Same container: both streams copied; FLV carries length-prefixed H.264.
    EXPECT_EQ(out.cmd, "\"" + tool() + "\" -accurate_seek -ss 0.1 -t 3 -i \"" + src +
                           "\" -c:v copy -bsf:v h264_mp4toannexb  -avoid_negative_ts 1 -c:a copy  -y \"" + dst +
                           "\" ");
    expect_success(out);
    EXPECT_STREQ(probe(dst).f_fmt, "flv");
    EXPECT_NEAR(media_duration(dst), 3.0, kKeyFrameTolerance + kRounding);
}

TEST_F(CutJob, DisabledAudioLeavesOnlyTheVideo)
{
    const std::string src = source("src.mp4");
    const std::string dst = out_.file("mute.mp4");
    cut_param_v1 p = params(3, 2, 3);
    p.cut_param.audio_enable = 0;
    Outcome out = run_cut(src, dst, p);
    ASSERT_EQ(out.started, 1);
    EXPECT_EQ(out.cmd, "\"" + tool() + "\" -accurate_seek  -ss 2.0 -i \"" + src +
                           "\" -t 3 -c:v copy -bsf:v h264_mp4toannexb  -avoid_negative_ts 1 -an  -movflags faststart "
                           "-f mp4 -y \"" + dst + "\" ");
    expect_success(out);
    probe_result r = probe(dst);
    EXPECT_EQ(std::string(r.v_fmt).rfind("h264", 0), 0u) << r.v_fmt;
    EXPECT_STREQ(r.a_fmt, "");
}

TEST_F(CutJob, RangeBeyondTheSourceEndCountsAsDoneWithoutProgress)
{
    // The tool seeks to the last key frame and reports media time 0: a
    // progress line was seen, so the cut ends as a success, and position 0
    // is never reported.
    const std::string dst = out_.file("beyond.mp4");
    Outcome out = run_cut(source("src.mp4"), dst, params(3, 20, 3));
    ASSERT_EQ(out.started, 1);
    EXPECT_EQ(out.events, (std::vector<RecordedEvent>{{out.job, TARSA_EVENT_CUT_POS, "", 100}}));
    EXPECT_LE(media_duration(dst), kKeyFrameTolerance + kRounding);
}

TEST_F(CutJob, UnwritableDestinationFailsWithTheFailureEventAlone)
{
    const std::string dst = out_.file("missing-dir/out.mp4");
    Outcome out = run_cut(source("src.mp4"), dst, params(3, 2, 3));
    ASSERT_EQ(out.started, 1);
    EXPECT_EQ(out.events,
              (std::vector<RecordedEvent>{{out.job, TARSA_EVENT_CUT_FAIL, dst, static_cast<uint32_t>(dst.size())}}));
    EXPECT_EQ(out.pos, 0);
}

// ---- stop and destroy while the tool runs

// The tool layer in front of a scripted stand-in for the stock program,
// which shows progress and then keeps printing: the tool runs until killed.
TEST_F(CutJob, StopOrDestroyWhileRunningEndsTheToolLayerAndItsChild)
{
    for (bool destroy : {false, true}) {
        SCOPED_TRACE(destroy ? "destroy" : "stop");
        tt::EventRecorder rec;
        cut_param_v1 p = params(3, 2, 4);
        p.cut_param.force_encode = 1;  // expected length 4 s
        void *job = tarsa_sdk_cut_create_v1(source("src.mp4").c_str(), out_.file("stopped.mp4").c_str(), &p);
        ASSERT_NE(job, TARSA_INVALID_HANDLE);

        tt::TempDir stock;
        tt::install_fake_tools(stock.path());
        tt::write_file(stock.file("script.txt"), "print " + tt::status_line(1) + "\nticker 600 25\n");
        tt::ScopedEnv stock_dir("TARSASDK_FFMPEG_DIR", stock.path());
        tt::ScopedEnv script("TARSA_FAKE_SCRIPT", stock.file("script.txt"));

        ASSERT_EQ(tarsa_sdk_cut_start(job), 1);
        const pid_t layer = pipe_child_pid(static_cast<cut_info *>(job)->fp);
        ASSERT_TRUE(rec.wait_for(TARSA_EVENT_CUT_POS, 25, 10000));
        pid_t child = -1;
        ASSERT_TRUE(tt::wait_until([&] { return (child = tt::first_child(layer)) > 0; }, 5000));
        EXPECT_TRUE(tt::process_running(child));

        if (destroy) {
            EXPECT_EQ(tarsa_sdk_cut_destroy(job), 1);
        } else {
            EXPECT_EQ(tarsa_sdk_cut_stop(job), 1);
            EXPECT_EQ(tarsa_sdk_cut_get_pos(job), 25);
        }
        EXPECT_EQ(rec.events(), (std::vector<RecordedEvent>{{job, TARSA_EVENT_CUT_POS, "", 25}}));
        EXPECT_FALSE(tt::process_running(layer));
        // The stand-in dies with the layer; its parent is gone, so it may
        // stay a zombie until init reaps it.
        EXPECT_TRUE(tt::wait_until([&] { return !tt::process_running(child); }, 5000));
        if (!destroy) {
            EXPECT_EQ(tarsa_sdk_cut_destroy(job), 1);
        }
    }
}

// ---- the interface

TEST_F(CutJob, CreateRefusesWhatItCannotRun)
{
    const std::string src = source("src.mp4");
    const std::string dst = out_.file("x.mp4");
    cut_param_v1 p = params(3, 2, 3);
    struct {
        const char *name;
        std::function<void *()> create;
        const char *message;
    } cases[] = {
        {"no source", [&] { return tarsa_sdk_cut_create_v1(nullptr, dst.c_str(), &p); },
         "tarsa_sdk_cut_create: !src_file|| !dst_file || !param"},
        {"no destination", [&] { return tarsa_sdk_cut_create(src.c_str(), nullptr, &p.cut_param); },
         "tarsa_sdk_cut_create: !src_file|| !dst_file || !param"},
        {"no parameters", [&] { return tarsa_sdk_cut_create(src.c_str(), dst.c_str(), nullptr); },
         "tarsa_sdk_cut_create: !src_file|| !dst_file || !param"},
        {"width without height",
         [&] {
             cut_param q = p.cut_param;
             q.width = 640;
             return tarsa_sdk_cut_create(src.c_str(), dst.c_str(), &q);
         },
         "(param->cut_param->width == 0 && param->cut_param->height != 0) || (param->cut_param->width != 0 && "
         "param->cut_param->height == 0)"},
        {"unreadable source",
         [&] { return tarsa_sdk_cut_create_v1(out_.file("none.mp4").c_str(), dst.c_str(), &p); },
         "!internal_probe(src_file, &result, &h2645_mp4toannexb)"},
        {"quote in a name",
         [&] { return tarsa_sdk_cut_create_v1(src.c_str(), out_.file("a\"b.mp4").c_str(), &p); },
         "strchr(dst_file_name, '\"') != NULL"},
        {"name too long",
         [&] {
             return tarsa_sdk_cut_create_v1(src.c_str(), (out_.path() + "/" + std::string(260, 'n')).c_str(), &p);
         },
         "strlen(dst_file_name) >= MAX_PATH"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        tt::LogCapture log;
        EXPECT_EQ(c.create(), TARSA_INVALID_HANDLE);
        EXPECT_EQ(tt::count_message(log, c.message), 1);
    }
}

TEST_F(CutJob, CreateKeepsTheParametersAndTheOldFormUsesNoHardwareChoice)
{
    const std::string src = source("src.mp4");
    cut_param_v1 p = params(6, 4, 2);
    p.cut_param.width = 160;
    p.cut_param.height = 120;
    p.cut_param.force_encode = 1;
    p.usage_mode = HWD_USAGE_TYPE;
    p.hwd_type = HWD_TYPE_INTEL;
    for (bool v1 : {true, false}) {
        SCOPED_TRACE(v1 ? "v1" : "old");
        void *job = v1 ? tarsa_sdk_cut_create_v1(src.c_str(), out_.file("k.flv").c_str(), &p)
                       : tarsa_sdk_cut_create(src.c_str(), out_.file("k.flv").c_str(), &p.cut_param);
        ASSERT_NE(job, TARSA_INVALID_HANDLE);
        const cut_info *info = static_cast<const cut_info *>(job);
        EXPECT_EQ(info->kind, static_cast<uint32_t>(TARSA_JOB_CUT));
        EXPECT_EQ(std::memcmp(&info->cut_param, &p.cut_param, sizeof p.cut_param), 0);
        EXPECT_EQ(info->usage_mode, v1 ? static_cast<uint32_t>(HWD_USAGE_TYPE) : 0u);
        EXPECT_EQ(info->hwd_type, v1 ? HWD_TYPE_INTEL : -1);
        EXPECT_STREQ(info->src_file, src.c_str());
        EXPECT_STREQ(info->result.f_fmt, "mov");
        EXPECT_EQ(info->result.duration, kSourceSeconds);
        EXPECT_EQ(info->h2645_mp4toannexb, 1u);  // MP4 H.264 is length-prefixed
        EXPECT_NE(info->opt_param, nullptr);
        EXPECT_EQ(info->fp, nullptr);
        EXPECT_EQ(tarsa_sdk_cut_get_pos(job), 0);
        EXPECT_EQ(tarsa_sdk_cut_destroy(job), 1);
    }
}

TEST_F(CutJob, StopOfANeverStartedCutDoesNothing)
{
    void *job = tarsa_sdk_cut_create_v1(source("src.mp4").c_str(), out_.file("n.mp4").c_str(), nullptr);
    EXPECT_EQ(job, TARSA_INVALID_HANDLE);
    cut_param_v1 p = params(3, 0, 1);
    job = tarsa_sdk_cut_create_v1(source("src.mp4").c_str(), out_.file("n.mp4").c_str(), &p);
    ASSERT_NE(job, TARSA_INVALID_HANDLE);
    EXPECT_EQ(tarsa_sdk_cut_stop(job), 1);
    EXPECT_EQ(tarsa_sdk_cut_stop(job), 1);
    EXPECT_EQ(tarsa_sdk_cut_get_pos(job), 0);
    EXPECT_EQ(static_cast<cut_info *>(job)->running.load(), 0u);
    EXPECT_FALSE(tt::file_exists(out_.file("n.mp4")));
    EXPECT_EQ(tarsa_sdk_cut_destroy(job), 1);
}

TEST_F(CutJob, MissingHandlesAreRefused)
{
    tt::LogCapture log;
    for (void *handle : {static_cast<void *>(nullptr), TARSA_INVALID_HANDLE}) {
        EXPECT_EQ(tarsa_sdk_cut_get_pos(handle), -1);
        EXPECT_EQ(tarsa_sdk_cut_start(handle), 0);
        EXPECT_EQ(tarsa_sdk_cut_stop(handle), 0);
        EXPECT_EQ(tarsa_sdk_cut_destroy(handle), 0);
    }
    EXPECT_EQ(tt::count_message(log, "cut_info == NULL"), 8);
}

}  // namespace
