// The host program `tarsa probe FILE`: what it prints for a media file,
// and its refusal of a file that is not one.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "spawned.h"
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
    ASSERT_TRUE(tt::make_mp4_h264_aac(file, 2, 320, 240));
    tt::RunResult r = tt::run_program({tarsa(), "probe", file});
    EXPECT_EQ(r.exit_code, 0) << r.output;
    const std::vector<std::string> want = {
        "file:       " + file,   "container:  mov",    "video:      h264 (High)",
        "audio:      aac",       "duration:   2 s",    "size:       320x240",
    };
    EXPECT_TRUE(in_order(tt::split_lines(r.output), want)) << r.output;
}

TEST(HostProgram, ProbeOfATextFileFails)
{
    tt::TempDir dir;
    const std::string file = dir.file("notes.txt");
    ASSERT_TRUE(tt::write_file(file, "not media at all\n"));
    tt::RunResult r = tt::run_program({tarsa(), "probe", file});
    EXPECT_NE(r.exit_code, 0);
    EXPECT_TRUE(in_order(tt::split_lines(r.output), {"tarsa: cannot probe " + file + ": not a readable media file"}))
        << r.output;
}

}  // namespace
