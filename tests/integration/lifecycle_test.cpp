// Start-up and clean-up with a tool in the library's directory; a missing, silent or endless tool
// leaves start-up working.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "core/globals.h"
#include "fake_tools.h"
#include "processes.h"
#include "sdk_state.h"
#include "tarsasdk.h"
#include "test_util.h"

namespace {

class Lifecycle : public ::testing::Test {
protected:
    void SetUp() override { tarsa_sdk_cleanup(); tt::set_module_path(lib_); tt::install_fake_tools(dir_.path()); }
    tt::SdkStateGuard state_;  // restored last, after the directory is gone
    tt::TempDir dir_;
    tt::ScopedEnv script_env_{"TARSA_FAKE_SCRIPT", dir_.file("script")};
    const std::string lib_ = dir_.path() + "/", runs_ = dir_.file("runs");  // one byte per version query
};

TEST_F(Lifecycle, VersionQueriedOncePerStartupAndPathsFromTheDirectory)
{
    ASSERT_TRUE(tt::write_file(dir_.file("script"),  // the version only for "-version" as the last argument
                               "append " + runs_ + " 1\non -version print ffmpeg version 9.9 Copyright\n"));
    EXPECT_EQ(tarsa_sdk_is_startup(), 0);
    ASSERT_EQ(tarsa_sdk_startup() + tarsa_sdk_startup(), 2);
    EXPECT_EQ(tarsa_sdk_is_startup(), 1);
    EXPECT_EQ(tt::read_file(runs_).size(), 1u);
    EXPECT_STREQ(s_ffmpeg_version, "ffmpeg version 9.9");
    EXPECT_EQ(std::string(s_ff_path) + "|" + s_ffmpeg_path + "|" + s_ffprobe_path,
              lib_ + "|" + lib_ + "ffmpeg|" + lib_ + "ffprobe");
    EXPECT_EQ(tarsa_sdk_cleanup(), 1);
    EXPECT_EQ(tarsa_sdk_is_startup(), 0);
    EXPECT_EQ(tarsa_sdk_startup(), 1);
    EXPECT_EQ(tt::read_file(runs_).size(), 2u);
}

// The first fitting version line counts: from "ffmpeg version" (whatever comes before it) up to
// " Copyright", in at most 259 characters; none gives the empty text. A tool that goes on running
// is killed by the pid it printed, not waited for.
TEST_F(Lifecycle, VersionQueryOutcomes)
{
    const std::string x244(244, 'x');
    const std::pair<std::string, std::string> cases[] = {
        {"print hello\nprint ffmpeg version 5.1 built with gcc 12\nprint ffprobe version 5.1 Copyright (c)\nexit 0\n", ""},
        {"print ffmpeg version " + x244 + "x Copyright\nprint ffmpeg version " + x244 + " Copyright\n",
         "ffmpeg version " + x244},
        {"pid\nprint built as ffmpeg version 3.3 Copyright (c) 2000-2017\nsleep 30000\n", "ffmpeg version 3.3"},
    };
    for (const auto &c : cases) {
        ASSERT_TRUE(tt::write_file(dir_.file("script"), c.first));
        ASSERT_EQ(set_ffmpeg_version("ffmpeg version 0.1-old"), 1);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(check_ffmpeg_version(), c.second.empty() ? 0 : 1) << c.first;
        EXPECT_LT(tt::ms_since(start), 10000);
        EXPECT_EQ(std::string(s_ffmpeg_version), c.second);
    }
    tt::set_module_path(dir_.file("none/"));  // no tool: start-up goes on without a version
    EXPECT_EQ(tarsa_sdk_startup(), 1);
    const std::string out = tt::run({tt::stock_ffmpeg(), "-version"}).output;  // through the real tool layer
    tt::set_module_path(tt::bin_dir());
    EXPECT_EQ(check_ffmpeg_version(), 1);
    EXPECT_EQ(std::string(s_ffmpeg_version), out.substr(0, out.find(" Copyright")));
}

}  // namespace
