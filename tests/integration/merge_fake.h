// A fixture for merge tests that run the scriptable fake tool as both
// tools: probes, temporaries and the joining play the script of the moment.
#ifndef TARSA_TEST_MERGE_FAKE_H
#define TARSA_TEST_MERGE_FAKE_H

#include <gtest/gtest.h>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "log_text.h"
#include "job_scope.h"
#include "proc_counts.h"
#include "sdk/job_records.h"
#include "sdk/sdk_globals.h"
#include "tarsasdk.h"
#include "test_util.h"

namespace mt {

// What the probe tool prints for a 10-second MP4 with H.264 and AAC.
inline const char *probe_script()
{
    return "print Input #0, mov,mp4,m4a,3gp,3g2,mj2, from 'x.mp4':\n"
           "print   Duration: 00:00:10.00, start: 0.000000, bitrate: 100 kb/s\n"
           "print   Stream #0:0[0x1](und): Video: h264 (High) (avc1 / 0x31637661), yuv420p, 320x240, 25 fps\n"
           "print   Stream #0:1[0x2](und): Audio: aac (LC) (mp4a / 0x6134706D), 48000 Hz, mono, fltp, 64 kb/s\n"
           "exit 0\n";
}

// A temporary (or joining) that writes its output and reports the whole
// 10 seconds, then ends.
inline const char *done_script()
{
    return "pid\nappend $DST 188\nprint frame=250 time=00:00:10.00 bitrate=1\nexit 0\n";
}

class FakeMerge : public ::testing::Test {
protected:
    static void SetUpTestSuite() { tarsa_sdk_startup(); }

    void SetUp() override
    {
        script(probe_script());
        set_ff_path(tt::install_fake_tools(tools_.path()).c_str());
    }
    void TearDown() override { set_ff_path(s_module_path); }

    // Replaced as a whole, so that a tool starting meanwhile reads the old
    // script or the new one, never half of one.
    void script(const std::string &text)
    {
        const std::string path = tools_.path() + "/script.txt";
        ASSERT_TRUE(tt::write_file(path + ".new", text));
        std::filesystem::rename(path + ".new", path);
    }

    std::string source(const std::string &name)
    {
        std::string path = dir_.file(name);
        EXPECT_TRUE(tt::write_file(path, "not media"));
        return path;
    }

    merge_param param(uint32_t dst_file_type = 3)
    {
        merge_param p;
        std::memset(&p, 0, sizeof p);
        p.dst_file_type = dst_file_type;
        p.audio_enable = 1;
        p.quality = 23;
        return p;
    }

    // A job on dir_/all.mp4 with `n` sources, added under the probe script.
    void *job_with_sources(int n)
    {
        merge_param p = param();
        void *job = tarsa_sdk_merge_create(dst().c_str(), &p);
        EXPECT_NE(job, TARSA_INVALID_HANDLE);
        for (int i = 0; i < n; i++)
            EXPECT_EQ(tarsa_sdk_merge_add_file(job, source("s" + std::to_string(i) + ".mp4").c_str()), 1);
        return job;
    }

    std::string dst() const { return dir_.file("all.mp4"); }

    std::vector<std::string> temporaries() const
    {
        std::vector<std::string> out;
        for (const auto &e : std::filesystem::directory_iterator(dir_.path())) {
            const std::string name = e.path().filename().string();
            if (name.rfind("merge_tmp_file-", 0) == 0) out.push_back(name);
        }
        return out;
    }

    void expect_nothing_left(void *job)
    {
        EXPECT_TRUE(temporaries().empty());
        EXPECT_EQ(tt::count_children("ffmpeg"), 0);
        EXPECT_EQ(tt::count_children("ffprobe"), 0);
        EXPECT_EQ(static_cast<merge_info *>(job)->tmp_slots.load(), 2u);
    }

    tt::TempDir tools_;
    tt::ScopedEnv script_env_{"TARSA_FAKE_SCRIPT", tools_.path() + "/script.txt"};
    tt::TempDir dir_;
    tt::LogCapture log_;
    tt::EventRecorder recorder_;
};

}  // namespace mt

#endif
