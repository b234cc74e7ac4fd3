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

#include "cmdline_split.h"
#include "jobs.h"
#include "processes.h"
#include "job/job_records.h"

namespace {

// Sources are 8 s at 25 fps with a key frame every 25 frames: a copied cut
// starts at a key frame at most 1 s early, and the container may add up to
// a few tenths of a second of audio/video start offsets.
constexpr int kSourceSeconds = 8;
constexpr double kKeyFrameTolerance = 1.0;
constexpr double kRounding = 0.3;

class CutJob : public tt::JobTest {
protected:
    static void SetUpTestSuite()
    {
        tt::sdk_startup();
        media_ = new tt::TempDir();
        for (const char *name : {"src.mp4", "src.flv"})
            ASSERT_TRUE(tt::make_h264_aac(media_->file(name), kSourceSeconds));
    }
    static void TearDownTestSuite()
    {
        delete media_;
        media_ = nullptr;
    }
    static std::string source(const char *name) { return media_->file(name); }

    struct Outcome {
        int started = 0;
        std::string cmd;  // what "start cvt cmd:" logged
        std::vector<tt::JobEvent> events;
        int pos = -1;
        void *job = nullptr;
    };

    // Creates, starts and waits for the end of one cut, then stops and
    // destroys it. `prepare` runs between create and start.
    Outcome run_cut(const std::string &src, const std::string &dst, const cut_param_v1 &p,
                    const std::function<void(void *)> &prepare = nullptr)
    {
        Outcome out;
        events_.clear();
        log_.clear();
        void *job = tarsa_sdk_cut_create_v1(src.c_str(), dst.c_str(), &p);
        EXPECT_NE(job, TARSA_INVALID_HANDLE);
        if (job == TARSA_INVALID_HANDLE) return out;
        out.job = job;
        if (prepare) prepare(job);
        out.started = tarsa_sdk_cut_start(job);
        if (out.started) {
            EXPECT_TRUE(events_.wait_end(job, 60000));
        }
        out.pos = tarsa_sdk_cut_get_pos(job);
        EXPECT_EQ(tarsa_sdk_cut_stop(job), 1);
        out.events = events_.all();
        EXPECT_EQ(tarsa_sdk_cut_destroy(job), 1);
        const std::string cmd = log_.starting_with("start cvt cmd:");
        if (!cmd.empty()) out.cmd = cmd.substr(std::strlen("start cvt cmd:"));
        return out;
    }

    // The destination's length in seconds as the stock probe measures it.
    static double media_duration(const std::string &path)
    {
        tt::Finished r =
            tt::run({tt::stock_ffprobe(), "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", path});
        return r.exit_code == 0 ? std::atof(r.output.c_str()) : -1.0;
    }

    static tt::TempDir *media_;
};

tt::TempDir *CutJob::media_ = nullptr;

std::string replaced(std::string text, const std::string &from, const std::string &to)
{
    for (size_t at; (at = text.find(from)) != std::string::npos;) text.replace(at, from.size(), to);
    return text;
}

TEST_F(CutJob, RealCutsRunTheirTemplateAndHoldTheRange)
{
    struct Case {
        const char *name;
        const char *src;
        int dst_file_type, start;
        uint32_t width, height, force_encode, audio_enable;
        int faststart;        // option 7 as stored, -1 not stored
        const char *cmd;      // after the program, SRC and DST standing for the names
        const char *f_fmt;    // probed
        const char *a_fmt;
        int width_probed;
        double tolerance;     // of the 3 s length
    };
    const double copied = kKeyFrameTolerance + kRounding;
    const Case cases[] = {
        {"copy mp4 to mp4", "src.mp4", 3, 2, 0, 0, 0, 1, -1,
         " -accurate_seek  -ss 2.0 -i \"SRC\" -t 3 -c:v copy -bsf:v h264_mp4toannexb  -avoid_negative_ts 1 "
         "-c:a libfdk_aac   -movflags faststart -f mp4 -y \"DST\" ",
         "mov", "aac", 320, copied},
        {"faststart off leaves the format to the name", "src.mp4", 3, 2, 0, 0, 0, 1, 0,
         " -accurate_seek  -ss 2.0 -i \"SRC\" -t 3 -c:v copy -bsf:v h264_mp4toannexb  -avoid_negative_ts 1 "
         "-c:a libfdk_aac   -y \"DST\" ",
         "mov", "aac", 320, copied},
        // Re-encoded: cut at the exact time.
        {"resized", "src.mp4", 3, 2, 160, 120, 0, 1, -1,
         "   -ss 2.0 -t 3 -i \"SRC\"  -c:v libx264 -profile:v high  -q:v 5 -c:a libfdk_aac  -s 160*120 -movflags "
         "faststart -f mp4 -y \"DST\" ",
         "mov", "aac", 160, kRounding},
        {"forced encode", "src.mp4", 3, 2, 0, 0, 1, 1, -1,
         "   -ss 2.0 -t 3 -i \"SRC\"  -c:v libx264 -profile:v high  -q:v 5 -c:a libfdk_aac   -movflags faststart "
         "-f mp4 -y \"DST\" ",
         "mov", "aac", 320, kRounding},
        // Same container: both streams copied; FLV carries length-prefixed
        // H.264; a cut from the start seeks to one tenth.
        {"flv from its start", "src.flv", 6, 0, 0, 0, 0, 1, -1,
         " -accurate_seek -ss 0.1 -t 3 -i \"SRC\" -c:v copy -bsf:v h264_mp4toannexb  -avoid_negative_ts 1 -c:a copy  "
         "-y \"DST\" ",
         "flv", "aac", 320, copied},
        {"audio disabled", "src.mp4", 3, 2, 0, 0, 0, 0, -1,
         " -accurate_seek  -ss 2.0 -i \"SRC\" -t 3 -c:v copy -bsf:v h264_mp4toannexb  -avoid_negative_ts 1 -an  "
         "-movflags faststart -f mp4 -y \"DST\" ",
         "mov", "", 320, copied},
    };
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string src = source(c.src);
        const std::string dst = dir_.file("cut" + std::to_string(n++) + (c.dst_file_type == 6 ? ".flv" : ".mp4"));
        cut_param_v1 p = tt::cut_params(c.dst_file_type, c.start, 3);
        p.cut_param.width = c.width;
        p.cut_param.height = c.height;
        p.cut_param.force_encode = c.force_encode;
        p.cut_param.audio_enable = c.audio_enable;
        const Outcome out = run_cut(src, dst, p, [&](void *job) {
            if (c.faststart >= 0) {
                EXPECT_EQ(tarsa_sdk_set_option_param(job, OPT_PARAM_TYPE_MOVFLAGS_FASTSTART, &c.faststart, 4), 1);
            }
        });
        ASSERT_EQ(out.started, 1);
        // The logged line read back as the arguments the tool received.
        const std::string expected =
            "\"" + tt::bin_dir() + "ffmpeg\"" + replaced(replaced(c.cmd, "SRC", src), "DST", dst);
        EXPECT_EQ(tt::cmdline_split(out.cmd), tt::cmdline_split(expected));
        // Rising positions below 100, then 100 last.
        ASSERT_FALSE(out.events.empty());
        const std::vector<uint32_t> rising = tt::positions(out.events);
        EXPECT_EQ(std::adjacent_find(rising.begin(), rising.end(), std::greater_equal<uint32_t>()), rising.end());
        EXPECT_EQ(out.events.back(), (tt::JobEvent{out.job, TARSA_EVENT_CUT_POS, "", 100}));
        EXPECT_EQ(out.events.size(), rising.size() + 1);
        EXPECT_EQ(out.pos, 100);
        // The verdict of the end-of-job probe comes before the final event.
        EXPECT_EQ(log_.count("\xE3\x80\x90YES\xE3\x80\x91" + src + " ==>> " + dst), 1);

        probe_result r = {};
        ASSERT_EQ(tarsa_sdk_probe_ex(dst.c_str(), &r), 1);
        EXPECT_STREQ(r.f_fmt, c.f_fmt);
        EXPECT_EQ(std::string(r.v_fmt).rfind("h264", 0), 0u) << r.v_fmt;
        EXPECT_STREQ(r.a_fmt, c.a_fmt);
        EXPECT_EQ(r.width, c.width_probed);
        EXPECT_NEAR(media_duration(dst), 3.0, c.tolerance);
        if (c.dst_file_type == 3) {
            EXPECT_EQ(tt::moov_before_mdat(dst), c.faststart == 0 ? 0 : 1);
        }
    }
}

TEST_F(CutJob, RangeBeyondTheSourceEndCountsAsDoneWithoutProgress)
{
    // The tool seeks to the last key frame and reports media time 0: a
    // progress line was seen, so the cut ends as a success, and position 0
    // is never reported.
    const std::string dst = dir_.file("beyond.mp4");
    const Outcome out = run_cut(source("src.mp4"), dst, tt::cut_params(3, 20, 3));
    ASSERT_EQ(out.started, 1);
    EXPECT_EQ(out.events, tt::pos_events(out.job, TARSA_EVENT_CUT_POS, {100}));
    EXPECT_LE(media_duration(dst), kKeyFrameTolerance + kRounding);
}

// ---- the interface

TEST_F(CutJob, CreateRefusesWhatItCannotRun)
{
    const std::string src = source("src.mp4"), dst = dir_.file("x.mp4");
    const cut_param_v1 p = tt::cut_params(3, 2, 3);
    struct {
        const char *name;
        std::function<void *()> create;
        const char *message;
    } cases[] = {
        {"width without height",
         [&] {
             cut_param q = p.cut_param;
             q.width = 640;
             return tarsa_sdk_cut_create(src.c_str(), dst.c_str(), &q);
         },
         "(param->cut_param->width == 0 && param->cut_param->height != 0) || (param->cut_param->width != 0 && "
         "param->cut_param->height == 0)"},
        {"unreadable source", [&] { return tarsa_sdk_cut_create_v1(dir_.file("none.mp4").c_str(), dst.c_str(), &p); },
         "!internal_probe(src_file, &result, &h2645_mp4toannexb)"},
        {"name too long",
         [&] { return tarsa_sdk_cut_create_v1(src.c_str(), (dir_.path() + "/" + std::string(260, 'n')).c_str(), &p); },
         "strlen(dst_file_name) >= MAX_PATH"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        log_.clear();
        EXPECT_EQ(c.create(), TARSA_INVALID_HANDLE);
        EXPECT_EQ(log_.count(c.message), 1);
    }
}

TEST_F(CutJob, CreateKeepsTheParametersAndTheOldFormUsesNoHardwareChoice)
{
    cut_param_v1 p = tt::cut_params(6, 4, 2);
    p.cut_param.force_encode = 1;
    p.usage_mode = HWD_USAGE_TYPE;
    p.hwd_type = HWD_TYPE_INTEL;
    for (bool v1 : {true, false}) {
        SCOPED_TRACE(v1 ? "v1" : "old");
        const std::string src = source("src.mp4"), dst = dir_.file("k.flv");
        void *job = v1 ? tarsa_sdk_cut_create_v1(src.c_str(), dst.c_str(), &p)
                       : tarsa_sdk_cut_create(src.c_str(), dst.c_str(), &p.cut_param);
        ASSERT_NE(job, TARSA_INVALID_HANDLE);
        const cut_info *info = static_cast<const cut_info *>(job);
        EXPECT_EQ(std::memcmp(&info->cut_param, &p.cut_param, sizeof p.cut_param), 0);
        EXPECT_EQ(info->usage_mode, v1 ? static_cast<uint32_t>(HWD_USAGE_TYPE) : 0u);
        EXPECT_EQ(info->hwd_type, v1 ? HWD_TYPE_INTEL : -1);
        EXPECT_EQ(tarsa_sdk_cut_get_pos(job), 0);
        EXPECT_EQ(tarsa_sdk_cut_destroy(job), 1);
    }
}

TEST_F(CutJob, StopOfANeverStartedCutDoesNothing)
{
    const cut_param_v1 p = tt::cut_params(3, 0, 1);
    void *job = tarsa_sdk_cut_create_v1(source("src.mp4").c_str(), dir_.file("n.mp4").c_str(), &p);
    ASSERT_NE(job, TARSA_INVALID_HANDLE);
    EXPECT_EQ(tarsa_sdk_cut_stop(job), 1);
    EXPECT_EQ(tarsa_sdk_cut_stop(job), 1);
    EXPECT_EQ(tarsa_sdk_cut_get_pos(job), 0);
    EXPECT_EQ(static_cast<cut_info *>(job)->running.load(), 0u);
    EXPECT_FALSE(tt::file_exists(dir_.file("n.mp4")));
    EXPECT_EQ(tarsa_sdk_cut_destroy(job), 1);
    EXPECT_TRUE(events_.all().empty());
}

}  // namespace
