// The host program: `tarsa probe FILE` prints the fields of a media file,
// `tarsa merge DST SRC...` merges from the command line; both refuse a file
// that is not media.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "processes.h"
#include "tarsasdk.h"
#include "test_util.h"

namespace {

std::string tarsa() { return tt::bin_dir() + "tarsa"; }

// True when `want` occurs in `lines` in this order (other lines may come between).
bool in_order(const std::vector<std::string> &lines, const std::vector<std::string> &want)
{
    size_t next = 0;
    for (const std::string &line : lines)
        if (next < want.size() && line == want[next]) next++;
    return next == want.size();
}

TEST(HostProgram, ProbePrintsTheFields)
{
    tt::TempDir dir;
    const std::string file = dir.file("sample clip.mp4");
    ASSERT_TRUE(tt::make_h264_aac(file, 2, 320, 240));
    tt::Finished r = tt::run({tarsa(), "probe", file});
    EXPECT_EQ(r.exit_code, 0) << r.output;
    const std::vector<std::string> want = {
        "file:       " + file, "container:  mov", "video:      h264 (High)",
        "audio:      aac",     "duration:   2 s", "size:       320x240",
    };
    EXPECT_TRUE(in_order(tt::split_lines(r.output), want)) << r.output;
}

TEST(HostProgram, MergeJoinsTheSourcesInOrder)
{
    tt::TempDir dir;
    const std::string a = dir.file("a.mp4"), b = dir.file("b.mp4"), dst = dir.file("joined.mp4");
    ASSERT_TRUE(tt::make_h264_aac(a, 2, 160, 120));
    ASSERT_TRUE(tt::make_h264_aac(b, 3, 160, 120));
    tt::Finished r = tt::run({tarsa(), "merge", "joined.mp4", a, b}, {"TARSASDK_LOG=off"}, dir.path());
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_TRUE(in_order(tt::split_lines(r.output), {"merging 2 files -> " + dst, "done: " + dst})) << r.output;

    tt::sdk_startup();
    probe_result result = {};
    ASSERT_EQ(tarsa_sdk_probe_ex(dst.c_str(), &result), 1);
    EXPECT_NEAR(result.duration, 5, 1);
    // Relative names are the caller's: nothing lands next to the tools.
    EXPECT_FALSE(tt::file_exists(tt::bin_dir() + "joined.mp4"));
    EXPECT_TRUE(tt::merge_temporaries(dir.path()).empty());
    EXPECT_TRUE(tt::merge_temporaries(tt::bin_dir()).empty());
}

TEST(HostProgram, FilesThatAreNotMediaAreRefused)
{
    tt::TempDir dir;
    const std::string a = dir.file("a.mp4"), notes = dir.file("notes.txt");
    ASSERT_TRUE(tt::make_h264_aac(a, 1, 160, 120));
    ASSERT_TRUE(tt::write_file(notes, "not media\n"));
    tt::Finished r = tt::run({tarsa(), "probe", notes});
    EXPECT_NE(r.exit_code, 0);
    EXPECT_TRUE(tt::has_line(r.output, "tarsa: cannot probe " + notes + ": not a readable media file")) << r.output;

    r = tt::run({tarsa(), "merge", dir.file("out.mp4"), a, notes});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(tt::has_line(
        r.output, "tarsa: cannot merge " + notes + ": it is not a readable media file, or a name is not usable"))
        << r.output;
    EXPECT_FALSE(tt::file_exists(dir.file("out.mp4")));
}

TEST(HostProgram, MergeNeedsTwoSources)
{
    tt::Finished r = tt::run({tarsa(), "merge", "/tmp/out.mp4", "/tmp/a.mp4"});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_NE(r.output.find("tarsa merge DST SRC SRC..."), std::string::npos) << r.output;
}

}  // namespace
