// Library-wide state without a tool: the tool paths derived from a directory, the merge
// temporaries' names and directory; the list lock and the log under threads.
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "core/deadline.h"
#include "core/globals.h"
#include "core/rtkit.h"
#include "job/cvt_job.h"
#include "job/job_records.h"
#include "job/merge_fmt.h"
#include "job/merge_sources.h"
#include "log_capture.h"
#include "sdk_state.h"
#include "tarsasdk.h"
#include "test_util.h"

namespace {

TEST(ToolPaths, AreTheDirectoryFollowedByTheToolNames)
{
    tt::SdkStateGuard state;
    const std::string dir259(259, 'd');
    const struct {
        std::string dir, ffmpeg, ffprobe;
        int result;
    } cases[] = {
        // 259 characters fit, the tool names cut off at the 260-byte field (usual lengths: the start-up test).
        {dir259, dir259, dir259, 1},
        {std::string(260, 'e'), dir259, dir259, 0},  // kept as it was
        {"", "ffmpeg", "ffprobe", 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.dir.size());
        EXPECT_EQ(set_ff_path(c.dir.c_str()), c.result);
        EXPECT_EQ(std::string(s_ff_path), c.result ? c.dir : dir259);
        EXPECT_EQ(std::string(s_ffmpeg_path), c.ffmpeg);
        EXPECT_EQ(std::string(s_ffprobe_path), c.ffprobe);
    }
}

TEST(MergeFilePath, DirectoryPartKeepsItsSeparator)
{
    const struct {
        const char *path;
        int result;
        const char *dir;  // without a directory the buffer is left alone
    } cases[] = {
        {"C:/out/all.mp4", 1, "C:/out/"}, {"D:\\out\\all.mp4", 1, "D:\\out\\"}, {"/a/b\\c.mp4", 1, "/a/b\\"},
        {"/x/", 1, "/x/"}, {"/all.mp4", 1, "/"}, {"all.mp4", 0, "untouched"}, {"", 0, "untouched"},
    };
    for (const auto &c : cases) {
        char dir[MAX_PATH] = "untouched";
        EXPECT_EQ(get_file_path(c.path, dir), c.result) << c.path;
        EXPECT_STREQ(dir, c.dir);
    }
}

// The separator the library puts after a directory set without one.
#ifdef _WIN32
const std::string kSep = "\\";
#else
const std::string kSep = "/";
#endif

// The temporary directory is library-wide: the test puts it back.
TEST(MergeTmpPath, NamesCountUpInTheDirectorySetAndRefusalsKeepTheEarlierOne)
{
    char saved[MAX_PATH];
    str_copy(saved, sizeof saved, s_tmp_path);
    s_tmp_path[0] = '\0';
    tt::TempDir dir;
    const int32_t n = s_tmp_file_index.load();
    char a[MAX_PATH] = {0}, b[MAX_PATH] = {0}, c[MAX_PATH] = {0};
    ASSERT_EQ(get_tmp_file_name("/out/", s_merge_tmp_file_ext, a), 1);
    // The joining names its inputs "concat:a|b": a '|' would split a name; a refusal takes no number.
    EXPECT_EQ(get_tmp_file_name("/out|put/", "ts", b), 0);
    const std::string pid = std::to_string(os_getpid());
    EXPECT_EQ(std::string(a), "/out/merge_tmp_file-" + pid + "-" + std::to_string(n) + ".ts");
    // A directory set wins over the destination's; its last level is created.
    const std::string made = dir.file("made");
    ASSERT_EQ(tarsa_sdk_merge_set_tmp_path(made.c_str()), 1);
    EXPECT_TRUE(tt::file_exists(made));
    // A number whose file exists is passed over: temporaries are written over and removed.
    ASSERT_TRUE(tt::write_file(made + kSep + "merge_tmp_file-" + pid + "-" + std::to_string(n + 1) + ".ts", "mine"));
    ASSERT_EQ(get_tmp_file_name("/out/", "ts", c), 1);
    EXPECT_EQ(std::string(c), made + kSep + "merge_tmp_file-" + pid + "-" + std::to_string(n + 2) + ".ts");
    std::string long_path = dir.path() + "/";
    long_path += std::string(259 - long_path.size(), 'x');  // no room for the separator
    for (const std::string &refused : {std::string(), long_path, dir.file("no/such"),
                                       std::string(260, 'a')}) {
        EXPECT_EQ(tarsa_sdk_merge_set_tmp_path(refused.c_str()), 0) << refused;
        EXPECT_EQ(std::string(s_tmp_path), made + kSep);
    }
    EXPECT_FALSE(tt::file_exists(dir.file("no")));
    // A directory that ends in a separator keeps it as it is.
    EXPECT_EQ(tarsa_sdk_merge_set_tmp_path((made + kSep).c_str()), 1);
    EXPECT_EQ(std::string(s_tmp_path), made + kSep);
#ifndef _WIN32
    // A quote is an ordinary character of a POSIX name (Windows refuses it).
    EXPECT_EQ(tarsa_sdk_merge_set_tmp_path(dir.file("a\"b").c_str()), 1);
    EXPECT_TRUE(tt::file_exists(dir.file("a\"b")));
#endif
    str_copy(s_tmp_path, sizeof s_tmp_path, saved);
}

// A merge fits its sources into the first one's size only when another picture differs;
// sources without pictures do not count, and a first source without one fits nothing.
TEST(MergeFitSize, OnlyWhenAnotherPictureDiffers)
{
    const struct { std::vector<std::pair<int, int>> sizes; bool fit; } rows[] = {
        {{{320, 240}, {320, 240}, {320, 240}}, false},
        {{{320, 240}, {320, 240}, {160, 120}}, true},
        {{{320, 240}, {320, 180}}, true},
        {{{320, 240}, {240, 240}}, true},
        {{{320, 240}, {0, 0}}, false},
        {{{0, 0}, {320, 240}}, false},
    };
    for (const auto &row : rows) {
        adt_dlist *list = adt_dlist_create(sizeof(file_info *));
        std::vector<std::unique_ptr<file_info>> sources;
        for (const auto &size : row.sizes) {
            sources.push_back(std::make_unique<file_info>());
            sources.back()->result.width = size.first;
            sources.back()->result.height = size.second;
            file_info *source = sources.back().get();
            ASSERT_EQ(adt_dlist_add(list, 0, &source), 1);
        }
        uint32_t width = 7, height = 7;
        EXPECT_EQ(get_merge_fit_size(list, &width, &height), row.fit) << testing::PrintToString(row.sizes);
        EXPECT_EQ(std::make_pair(width, height), row.fit ? std::make_pair(320u, 240u) : std::make_pair(7u, 7u));
        adt_dlist_destroy(list);
    }
}

// A cut's expected length: copied video runs from 0 to start + length, encoded video for length;
// both stop at the source's end when its length is known.
TEST(CutLength, CopiedFromZeroEncodedForTheLengthBothUpToTheEnd)
{
    const int rows[][5] = {  // source length, start, length, video copied -> expected
        {10, 2, 3, 1, 5}, {10, 2, 3, 0, 3}, {10, 8, 5, 1, 10}, {10, 8, 5, 0, 2}, {0, 8, 5, 1, 13}, {0, 8, 5, 0, 5}};
    for (const auto &r : rows) {
        cut_info info;
        info.result.duration = r[0];
        info.cut_param.start_time = r[1];
        info.cut_param.cut_length = r[2];
        info.dst_codec_info.v_copy = static_cast<uint32_t>(r[3]);
        EXPECT_EQ(cut_expected_length(&info), r[4]) << r[0] << " " << r[1] << " " << r[2] << " " << r[3];
    }
}

// TARSASDK_PROBE_TIMEOUT: whole seconds, 0 for none; anything else gives the default 15.
TEST(ProbeTimeout, WholeSecondsZeroForNoneDefaultOtherwise)
{
    const std::pair<const char *, int> rows[] = {{"", 15},   {"0", 0},   {"7", 7},
                                                 {"-1", 15}, {"7s", 15}, {" 7", 15}, {"99999999999", INT_MAX}};
    for (const auto &row : rows) {
        tt::ScopedEnv value("TARSASDK_PROBE_TIMEOUT", row.first);
        EXPECT_EQ(probe_timeout_seconds(), row.second) << row.first;
    }
}

// Eight threads append under the list lock and log long lines: nothing is
// lost and no line is interleaved with another.
TEST(RtKit, ListLockAndLogLinesHoldUnderThreads)
{
    adt_dlist *list = adt_dlist_create(sizeof(void *));
    tt::LogCapture cap;
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; t++)
        threads.emplace_back([list, t] {
            for (int i = 0; i < 200; i++) {
                void *p = nullptr;
                adt_dlist_lock(list);
                adt_dlist_add(list, 0, &p);
                adt_dlist_unlock(list);
                LOG_INFO("t%d %s end", t, std::string(200, char('a' + t)).c_str());
            }
        });
    for (auto &t : threads) t.join();
    int walked = 0;
    for (adt_dlist_node *n = adt_dlist_head(list); n; n = adt_dlist_next(n)) walked++;
    EXPECT_EQ(adt_dlist_size(list), 1600);
    EXPECT_EQ(walked, 1600);
    adt_dlist_destroy(list);
    const std::vector<std::string> lines = cap.lines();
    ASSERT_EQ(lines.size(), 1600u);
    const std::regex whole(R"(.* t(\d) ([a-h])\2{199} end)");  // whatever the log puts before the text
    std::smatch m;
    for (const auto &l : lines) {
        ASSERT_TRUE(std::regex_match(l, m, whole)) << l;
        ASSERT_EQ(m[2].str()[0], 'a' + (m[1].str()[0] - '0'));
    }
}

TEST(RtKitDeathTest, FatalEndsTheProcess) { EXPECT_DEATH(LOG_FATAL("fatal"), ""); }

}  // namespace
