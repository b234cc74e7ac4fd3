// The host program `tarsa merge DST SRC...`: a merge from the command line,
// its refusal of a source that is not media, and its usage.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "spawned.h"
#include "tarsasdk.h"
#include "test_util.h"

namespace {

std::string tarsa() { return tt::bin_dir() + "tarsa"; }

bool has_line(const std::string &output, const std::string &line)
{
    for (const std::string &l : tt::split_lines(output))
        if (l == line) return true;
    return false;
}

TEST(HostMerge, JoinsTheSourcesInOrder)
{
    tt::TempDir dir;
    const std::string a = dir.file("a.mp4"), b = dir.file("b.mp4"), dst = dir.file("joined.mp4");
    ASSERT_TRUE(tt::make_mp4_h264_aac(a, 2, 160, 120));
    ASSERT_TRUE(tt::make_mp4_h264_aac(b, 3, 160, 120));
    tt::Finished r = tt::run_spawned({tarsa(), "merge", "joined.mp4", a, b}, {"TARSASDK_LOG=off"}, dir.path());
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_TRUE(has_line(r.output, "merging 2 files -> " + dst)) << r.output;
    EXPECT_TRUE(has_line(r.output, "done: " + dst)) << r.output;

    tarsa_sdk_startup();
    probe_result result;
    std::memset(&result, 0, sizeof result);
    ASSERT_EQ(tarsa_sdk_probe_ex(dst.c_str(), &result), 1);
    EXPECT_NEAR(result.duration, 5, 1);
    // Relative names are the caller's: nothing lands next to the tools.
    EXPECT_FALSE(tt::file_exists(tt::bin_dir() + "joined.mp4"));
    for (const std::string &d : {dir.path(), tt::bin_dir()})
        for (const auto &e : std::filesystem::directory_iterator(d))
            EXPECT_NE(e.path().filename().string().rfind("merge_tmp_file-", 0), 0u) << e.path();
}

TEST(HostMerge, SourceThatIsNotMediaIsRefused)
{
    tt::TempDir dir;
    const std::string a = dir.file("a.mp4"), notes = dir.file("notes.txt");
    ASSERT_TRUE(tt::make_mp4_h264_aac(a, 1, 160, 120));
    ASSERT_TRUE(tt::write_file(notes, "not media\n"));
    tt::RunResult r = tt::run_program({tarsa(), "merge", dir.file("out.mp4"), a, notes});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(has_line(r.output,
                         "tarsa: cannot merge " + notes + ": it is not a readable media file, or a name is not usable"))
        << r.output;
    EXPECT_FALSE(tt::file_exists(dir.file("out.mp4")));
}

TEST(HostMerge, NeedsTwoSources)
{
    tt::RunResult r = tt::run_program({tarsa(), "merge", "/tmp/out.mp4", "/tmp/a.mp4"});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_NE(r.output.find("tarsa merge DST SRC SRC..."), std::string::npos) << r.output;
}

}  // namespace
