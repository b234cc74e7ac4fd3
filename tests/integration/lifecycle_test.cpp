// Start-up and clean-up with a tool in the library's directory: the version
// query runs once per start-up, the tool paths come from the directory, and
// a missing or silent tool leaves the version empty without failing.
//
// Start-up state is process-wide: every test here begins from a cleaned-up
// library and puts the state back when it ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fake_tools.h"
#include "log_capture.h"
#include "processes.h"
#include "core/globals.h"
#include "sdk_state.h"
#include "tarsasdk.h"
#include "test_util.h"

namespace {

// Index of the first message equal to msg, or -1.
int index_of(const std::vector<std::string> &messages, const std::string &msg)
{
    auto it = std::find(messages.begin(), messages.end(), msg);
    return it == messages.end() ? -1 : static_cast<int>(it - messages.begin());
}

class Lifecycle : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(dir_.path().empty());
        lib_dir_ = dir_.path() + "/";
        runs_ = dir_.file("runs");
        tarsa_sdk_cleanup();
        std::memset(s_ffmpeg_version, 0, sizeof s_ffmpeg_version);
    }

    // Lays the fake tools into the library's directory with this script.
    void fake_tools(const std::string &script)
    {
        tt::install_fake_tools(dir_.path());
        ASSERT_TRUE(tt::write_file(dir_.file("script"), script));
        if (!script_env_) script_env_.reset(new tt::ScopedEnv("TARSA_FAKE_SCRIPT", dir_.file("script")));
        tt::set_module_path(lib_dir_);
    }

    tt::SdkStateGuard state_;  // restored last, after the directory is gone
    tt::TempDir dir_;
    std::unique_ptr<tt::ScopedEnv> script_env_;
    std::string lib_dir_;
    std::string runs_;  // one byte per start of the fake ffmpeg
};

TEST_F(Lifecycle, SecondStartupDoesNotQueryTheVersionAgain)
{
    fake_tools("append " + runs_ + " 1\n"
               "print ffmpeg version 9.9.9-test Copyright (c) 2000-2024 the FFmpeg developers\n");
    tt::LogCapture log;
    EXPECT_EQ(tarsa_sdk_startup(), 1);
    EXPECT_EQ(tarsa_sdk_startup(), 1);
    EXPECT_EQ(tt::read_file(runs_).size(), 1u);
    EXPECT_STREQ(s_ffmpeg_version, "ffmpeg version 9.9.9-test");
    EXPECT_EQ(log.count("ffmpeg version:ffmpeg version 9.9.9-test"), 1);

    // After a clean-up, start-up runs every step again.
    EXPECT_EQ(tarsa_sdk_cleanup(), 1);
    EXPECT_EQ(tarsa_sdk_startup(), 1);
    EXPECT_EQ(tt::read_file(runs_).size(), 2u);
}

TEST_F(Lifecycle, FlagAndToolPathsFollowStartupAndCleanup)
{
    fake_tools("print ffmpeg version 1.0 Copyright\n");
    tt::ScopedEnv argv_out("TARSA_FAKE_ARGV_OUT", dir_.file("argv"));
    EXPECT_EQ(tarsa_sdk_is_startup(), 0);
    ASSERT_EQ(tarsa_sdk_startup(), 1);
    EXPECT_EQ(tarsa_sdk_is_startup(), 1);
    EXPECT_EQ(std::string(s_ff_path), lib_dir_);
    EXPECT_EQ(std::string(s_ffmpeg_path), lib_dir_ + "ffmpeg");
    EXPECT_EQ(std::string(s_ffprobe_path), lib_dir_ + "ffprobe");
    // The version query starts the ffmpeg of that directory with "-version".
    EXPECT_EQ(tt::read_file(dir_.file("argv")), lib_dir_ + "ffmpeg\n-version\n");
    EXPECT_EQ(tarsa_sdk_cleanup(), 1);
    EXPECT_EQ(tarsa_sdk_is_startup(), 0);
    // Clean-up only clears the flag: paths and version stay.
    EXPECT_EQ(std::string(s_ffprobe_path), lib_dir_ + "ffprobe");
    EXPECT_STREQ(s_ffmpeg_version, "ffmpeg version 1.0");
}

TEST_F(Lifecycle, MissingToolLeavesTheVersionEmpty)
{
    tt::set_module_path(lib_dir_);  // a directory without tools
    tt::LogCapture log;
    EXPECT_EQ(tarsa_sdk_startup(), 1);
    EXPECT_EQ(tarsa_sdk_is_startup(), 1);
    EXPECT_STREQ(s_ffmpeg_version, "");
    std::vector<std::string> messages = log.messages();
    int create_fail = index_of(messages, "CreateProcess fail");
    int fp_null = index_of(messages, "fp == NULL");
    ASSERT_GE(create_fail, 0);
    EXPECT_GT(fp_null, create_fail);
    // The query gives up before it would report a version.
    EXPECT_EQ(log.starting_with("ffmpeg version:"), "");
    // The other steps still ran.
    EXPECT_EQ(std::string(s_ffmpeg_path), lib_dir_ + "ffmpeg");
}

// The query stores the text of the first fitting version line, the empty
// text when there is none, and kills a tool that goes on running (here for
// 30 s) by the pid it printed instead of waiting for its end.
TEST_F(Lifecycle, VersionQueryOutcomes)
{
    const struct {
        const char *what;
        std::string script;
        int result;
        const char *version;
        std::vector<std::string> logged;  // in this order
    } cases[] = {
        {"no version line", "print hello\nprint ffprobe version 5.1 Copyright (c) 2007-2022\nexit 0\n", 0, "",
         {"ffmpeg version:"}},
        {"a 260-character text gives way to the next line",
         "print ffmpeg version " + std::string(260 - 15, 'x') + " Copyright (c) 2000-2024\n" +
             "print ffmpeg version 2.0-next Copyright (c) 2000-2024 the FFmpeg developers\n",
         1, "ffmpeg version 2.0-next",
         {"check_4g_network_media_link len:260", "ffmpeg version:ffmpeg version 2.0-next"}},
        {"a tool that goes on running", "pid\nprint ffmpeg version 3.3 Copyright (c) 2000-2017\nsleep 30000\n", 1,
         "ffmpeg version 3.3", {"ffmpeg version:ffmpeg version 3.3"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        fake_tools(c.script);
        ASSERT_EQ(set_ffmpeg_version("ffmpeg version 0.1-old"), 1);
        tt::LogCapture log;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(check_ffmpeg_version(), c.result);
        EXPECT_LT(tt::ms_since(start), 10000);
        EXPECT_STREQ(s_ffmpeg_version, c.version);
        const std::vector<std::string> messages = log.messages();
        int last = -1;
        for (const std::string &m : c.logged) {
            const int at = index_of(messages, m);
            EXPECT_GT(at, last) << m;
            last = at;
        }
    }
}

TEST_F(Lifecycle, RealToolGivesTheStockVersionText)
{
    tt::Finished stock = tt::run({tt::stock_ffmpeg(), "-version"});
    ASSERT_EQ(stock.exit_code, 0);
    const std::string first = stock.output.substr(0, stock.output.find('\n'));
    size_t copyright = first.find(" Copyright");
    ASSERT_NE(copyright, std::string::npos) << first;

    tt::set_module_path(tt::bin_dir());
    ASSERT_EQ(tarsa_sdk_startup(), 1);
    const std::string version = s_ffmpeg_version;
    EXPECT_EQ(version.rfind("ffmpeg version ", 0), 0u) << version;
    EXPECT_EQ(version.find(" Copyright"), std::string::npos) << version;
    EXPECT_EQ(version, first.substr(0, copyright));
}

}  // namespace
