// Library-wide state without a tool: the tool paths derived from a
// directory, and the version line parser.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/globals.h"
#include "sdk_state.h"

namespace {

class ToolPaths : public ::testing::Test {
protected:
    tt::SdkStateGuard state_;
};

TEST_F(ToolPaths, AreTheDirectoryFollowedByTheToolNames)
{
    const std::string dir259(259, 'd');
    const struct {
        std::string dir, ffmpeg, ffprobe;
    } cases[] = {
        {"/opt/media/", "/opt/media/ffmpeg", "/opt/media/ffprobe"},
        {"/srv/my apps/tarsa/", "/srv/my apps/tarsa/ffmpeg", "/srv/my apps/tarsa/ffprobe"},
        {"", "ffmpeg", "ffprobe"},
        // 259 characters still fit; the tool names are cut off at the 260-byte field.
        {dir259, dir259, dir259},
    };
    for (const auto &c : cases) {
        ASSERT_EQ(set_ff_path(c.dir.c_str()), 1) << c.dir;
        EXPECT_EQ(std::string(s_ff_path), c.dir);
        EXPECT_EQ(std::string(s_ffmpeg_path), c.ffmpeg);
        EXPECT_EQ(std::string(s_ffprobe_path), c.ffprobe);
    }
    // A directory that does not fit leaves the paths as they were.
    ASSERT_EQ(set_ff_path("/opt/media/"), 1);
    EXPECT_EQ(set_ff_path(std::string(260, 'd').c_str()), 0);
    EXPECT_STREQ(s_ff_path, "/opt/media/");
    EXPECT_STREQ(s_ffmpeg_path, "/opt/media/ffmpeg");
    EXPECT_STREQ(s_ffprobe_path, "/opt/media/ffprobe");
}

TEST(VersionLine, TextBetweenVersionAndCopyrightIsTaken)
{
    const std::string long259 = "ffmpeg version " + std::string(259 - 15, 'x');
    const struct {
        const char *name;
        std::string line;
        int result;
        std::string version;  // what out holds on success
    } cases[] = {
        {"release", "ffmpeg version 4.0.2 Copyright (c) 2000-2018 the FFmpeg developers\n", 0, "ffmpeg version 4.0.2"},
        {"distribution build", "ffmpeg version 5.1.9-0+deb12u1 Copyright (c) 2000-2026 the FFmpeg developers\n", 0,
         "ffmpeg version 5.1.9-0+deb12u1"},
        {"text before the version", "PID = 12 ffmpeg version n6.0 Copyright (c) 2000-2023\n", 0, "ffmpeg version n6.0"},
        {"259 characters", long259 + " Copyright (c)\n", 0, long259},
        {"other program", "ffprobe version 5.1 Copyright (c) 2007-2022\n", -1, ""},
        {"no copyright", "ffmpeg version 5.1 built with gcc 12\n", -1, ""},
        {"empty", "", -1, ""},
    };
    for (const auto &c : cases) {
        char out[MAX_PATH] = {0};
        EXPECT_EQ(get_buf_ffmpeg_version(c.line.c_str(), out), c.result) << c.name;
        EXPECT_EQ(std::string(out), c.version) << c.name;
    }
}

}  // namespace
