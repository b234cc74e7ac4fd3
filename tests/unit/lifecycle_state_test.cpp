// Library-wide state without a tool: the tool paths derived from a
// directory, the stored version text, and the version line parser.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "log_capture.h"
#include "sdk/sdk_globals.h"
#include "sdk_state.h"
#include "test_util.h"

namespace {

// The message lines (level and source position removed) that were logged.
std::vector<std::string> messages(const tt::LogCapture &log) { return log.messages(); }

class ToolPaths : public ::testing::Test {
protected:
    tt::SdkStateGuard state_;
    tt::LogCapture log_;
};

struct PathCase {
    const char *name;
    std::string dir;
    std::string ffmpeg;
    std::string ffprobe;
};

TEST_F(ToolPaths, AreTheDirectoryFollowedByTheToolNames)
{
    const std::string dir259(259, 'd');
    const PathCase cases[] = {
        {"plain", "/opt/media/", "/opt/media/ffmpeg", "/opt/media/ffprobe"},
        {"with blanks", "/srv/my apps/tarsa/", "/srv/my apps/tarsa/ffmpeg", "/srv/my apps/tarsa/ffprobe"},
        {"empty", "", "ffmpeg", "ffprobe"},
        // 259 characters still fit; the tool names are cut off at the 260-byte field.
        {"longest accepted", dir259, dir259, dir259},
    };
    for (const PathCase &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(set_ff_path(c.dir.c_str()), 1);
        EXPECT_EQ(std::string(s_ff_path), c.dir);
        EXPECT_EQ(std::string(s_ffmpeg_path), c.ffmpeg);
        EXPECT_EQ(std::string(s_ffprobe_path), c.ffprobe);
    }
}

TEST_F(ToolPaths, RefusedDirectoryLeavesThePathsAsTheyWere)
{
    ASSERT_EQ(set_ff_path("/opt/media/"), 1);
    log_.clear();

    const std::string dir260(260, 'd');
    EXPECT_EQ(set_ff_path(dir260.c_str()), 0);
    EXPECT_EQ(set_ff_path(nullptr), 0);

    EXPECT_EQ(messages(log_), (std::vector<std::string>{"strlen(path) >= MAX_PATH", "path == NULL"}));
    EXPECT_STREQ(s_ff_path, "/opt/media/");
    EXPECT_STREQ(s_ffmpeg_path, "/opt/media/ffmpeg");
    EXPECT_STREQ(s_ffprobe_path, "/opt/media/ffprobe");
}

TEST_F(ToolPaths, VersionTextIsStoredWhenItFits)
{
    const std::string v259 = "ffmpeg version " + std::string(259 - 15, '9');
    ASSERT_EQ(v259.size(), 259u);
    ASSERT_EQ(set_ffmpeg_version("ffmpeg version 4.0.2"), 1);
    EXPECT_STREQ(s_ffmpeg_version, "ffmpeg version 4.0.2");
    ASSERT_EQ(set_ffmpeg_version(v259.c_str()), 1);
    EXPECT_EQ(std::string(s_ffmpeg_version), v259);
    // No version found: the empty text is stored too.
    ASSERT_EQ(set_ffmpeg_version(""), 1);
    EXPECT_STREQ(s_ffmpeg_version, "");
    EXPECT_TRUE(messages(log_).empty());
}

TEST_F(ToolPaths, RefusedVersionTextKeepsTheStoredOne)
{
    ASSERT_EQ(set_ffmpeg_version("ffmpeg version 4.0.2"), 1);
    const std::string v260 = "ffmpeg version " + std::string(260 - 15, '9');
    EXPECT_EQ(set_ffmpeg_version(v260.c_str()), 0);
    EXPECT_EQ(set_ffmpeg_version(nullptr), 0);
    EXPECT_EQ(messages(log_),
              (std::vector<std::string>{"strlen(ffmpeg_version) >= MAX_PATH", "ffmpeg_version == NULL"}));
    EXPECT_STREQ(s_ffmpeg_version, "ffmpeg version 4.0.2");
}

struct VersionCase {
    const char *name;
    std::string line;
    int result;
    std::string version;  // what out holds on success
};

TEST(VersionLine, TextBetweenVersionAndCopyrightIsTaken)
{
    const std::string long259 = "ffmpeg version " + std::string(259 - 15, 'x');
    const VersionCase cases[] = {
        {"release", "ffmpeg version 4.0.2 Copyright (c) 2000-2018 the FFmpeg developers\n", 0,
         "ffmpeg version 4.0.2"},
        {"distribution build", "ffmpeg version 5.1.9-0+deb12u1 Copyright (c) 2000-2026 the FFmpeg developers\n", 0,
         "ffmpeg version 5.1.9-0+deb12u1"},
        {"text before the version", "PID = 12 ffmpeg version n6.0 Copyright (c) 2000-2023\n", 0,
         "ffmpeg version n6.0"},
        {"nothing between", "ffmpeg version Copyright\n", 0, "ffmpeg version"},
        {"259 characters", long259 + " Copyright (c)\n", 0, long259},
        {"other program", "ffprobe version 5.1 Copyright (c) 2007-2022\n", -1, ""},
        {"no copyright", "ffmpeg version 5.1 built with gcc 12\n", -1, ""},
        {"copyright only before", "Copyright (c) 2000 ffmpeg version 5.1\n", -1, ""},
        {"library line", "  libavutil      57. 28.100 / 57. 28.100\n", -1, ""},
        {"empty", "", -1, ""},
    };
    for (const VersionCase &c : cases) {
        SCOPED_TRACE(c.name);
        char out[MAX_PATH] = {0};
        EXPECT_EQ(get_buf_ffmpeg_version(c.line.c_str(), out), c.result);
        EXPECT_EQ(std::string(out), c.version);
    }
}

TEST(VersionLine, TooLongTextIsRefusedWithADebugLine)
{
    tt::LogCapture log;
    const std::string line = "ffmpeg version " + std::string(260 - 15, 'x') + " Copyright (c)\n";
    char out[MAX_PATH] = {0};
    EXPECT_EQ(get_buf_ffmpeg_version(line.c_str(), out), -1);
    EXPECT_STREQ(out, "");
    ASSERT_EQ(log.lines().size(), 1u);
    const std::string logged = log.lines()[0];
    EXPECT_EQ(logged.rfind("[debug3] file: lifecycle.cpp line: ", 0), 0u) << logged;
    EXPECT_EQ(tt::log_message(logged), "check_4g_network_media_link len:260");
}

TEST(VersionLine, MissingArgumentsAreLogged)
{
    tt::LogCapture log;
    char out[MAX_PATH] = {0};
    EXPECT_EQ(get_buf_ffmpeg_version(nullptr, out), -1);
    EXPECT_EQ(get_buf_ffmpeg_version("ffmpeg version 1 Copyright", nullptr), -1);
    EXPECT_EQ(log.count("buf == NULL || f_fmt == NULL"), 2);
}

}  // namespace
