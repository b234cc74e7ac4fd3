// Directory parts, names of merge temporaries and the directory they go into.
#include <gtest/gtest.h>

#include <string>

#include "job/merge_sources.h"
#include "core/rtkit.h"
#include "tarsasdk.h"
#include "test_util.h"

namespace {

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
    EXPECT_EQ(b[0], '\0');
    EXPECT_EQ(std::string(a), "/out/merge_tmp_file-" + std::to_string(n) + ".ts");
    // A directory set wins over the destination's; its last level is created.
    const std::string made = dir.file("made");
    ASSERT_EQ(tarsa_sdk_merge_set_tmp_path(made.c_str()), 1);
    EXPECT_TRUE(tt::file_exists(made));
    ASSERT_EQ(get_tmp_file_name("/out/", "ts", c), 1);
    EXPECT_EQ(std::string(c), made + kSep + "merge_tmp_file-" + std::to_string(n + 1) + ".ts");
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

}  // namespace
