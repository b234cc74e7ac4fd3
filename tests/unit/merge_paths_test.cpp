// Directory parts, names of merge temporaries and the directory they go into.
#include <gtest/gtest.h>

#include <string>

#include "log_capture.h"
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
        const char *dir;
    } cases[] = {
        {"C:/out/all.mp4", 1, "C:/out/"}, {"D:\\out\\all.mp4", 1, "D:\\out\\"}, {"/a/b\\c.mp4", 1, "/a/b\\"},
        {"/a\\b/c.mp4", 1, "/a\\b/"},     {"/x/", 1, "/x/"},                    {"/all.mp4", 1, "/"},
        // Without a directory the buffer is left alone.
        {"all.mp4", 0, "untouched"},      {"", 0, "untouched"},
    };
    for (const auto &c : cases) {
        char dir[MAX_PATH] = "untouched";
        EXPECT_EQ(get_file_path(c.path, dir), c.result) << c.path;
        EXPECT_STREQ(dir, c.dir);
    }
}

// The temporary directory is library-wide: every test puts it back.
class MergeTmpPath : public ::testing::Test {
protected:
    void SetUp() override
    {
        str_copy(saved_, sizeof saved_, s_tmp_path);
        s_tmp_path[0] = '\0';
    }
    void TearDown() override { str_copy(s_tmp_path, sizeof s_tmp_path, saved_); }

    char saved_[MAX_PATH];
    tt::TempDir dir_;
    tt::LogCapture log_;
};

TEST_F(MergeTmpPath, NamesCountUpFromTheSharedCounterInTheDirectorySet)
{
    const int32_t n = s_tmp_file_index.load();
    char first[MAX_PATH] = {0}, second[MAX_PATH] = {0}, third[MAX_PATH] = {0};
    ASSERT_EQ(get_tmp_file_name("/out/", s_merge_tmp_file_ext, first), 1);
    ASSERT_EQ(get_tmp_file_name("/other/", "ts", second), 1);
    EXPECT_EQ(std::string(first), "/out/merge_tmp_file-" + std::to_string(n) + ".ts");
    EXPECT_EQ(std::string(second), "/other/merge_tmp_file-" + std::to_string(n + 1) + ".ts");
    // A directory set wins over the destination's.
    ASSERT_EQ(set_tmp_path(dir_.path().c_str()), 1);
    EXPECT_EQ(std::string(s_tmp_path), dir_.path() + "/");
    ASSERT_EQ(get_tmp_file_name("/out/", "ts", third), 1);
    EXPECT_EQ(std::string(third), dir_.path() + "/merge_tmp_file-" + std::to_string(n + 2) + ".ts");
    EXPECT_EQ(s_tmp_file_index.load(), n + 3);
}

TEST_F(MergeTmpPath, RefusedNamesTakeNoNumber)
{
    const int32_t n = s_tmp_file_index.load();
    char name[MAX_PATH] = {0};
    EXPECT_EQ(get_tmp_file_name(nullptr, "ts", name), 0);
    // The concatenation names its inputs "concat:a|b": a '|' would split a name.
    EXPECT_EQ(get_tmp_file_name("/out|put/", "ts", name), 0);
    EXPECT_EQ(log_.count("strchr(dir, '|') != NULL"), 1);
    EXPECT_EQ(name[0], '\0');
    EXPECT_EQ(s_tmp_file_index.load(), n);
}

TEST_F(MergeTmpPath, DirectoryIsCreatedAndGetsOneSeparator)
{
    const std::string made = dir_.file("made");
    ASSERT_EQ(set_tmp_path(made.c_str()), 1);  // the last level is created
    EXPECT_TRUE(tt::file_exists(made));
    EXPECT_EQ(std::string(s_tmp_path), made + "/");
    ASSERT_EQ(set_tmp_path((dir_.path() + "/").c_str()), 1);
    EXPECT_EQ(std::string(s_tmp_path), dir_.path() + "/");
    // A backslash is an ordinary character of a POSIX name, not a separator.
    ASSERT_EQ(set_tmp_path((dir_.path() + "/b\\").c_str()), 1);
    EXPECT_EQ(std::string(s_tmp_path), dir_.path() + "/b\\/");
    EXPECT_TRUE(tt::file_exists(dir_.path() + "/b\\"));
}

TEST_F(MergeTmpPath, RefusedDirectoriesKeepTheEarlierOne)
{
    std::string long_path = dir_.path() + "/";
    long_path += std::string(259 - long_path.size(), 'x');  // no room for the separator and the terminator
    const struct {
        std::string path;
        const char *message;
    } cases[] = {
        {"", "len == 0 || len >= MAX_PATH"},
        {long_path, "strlen(tmp_path) >= MAX_PATH"},
        {dir_.file("no/such"), "_mkdir(tmp_path) != 0"},  // a missing parent
    };
    ASSERT_EQ(set_tmp_path(dir_.path().c_str()), 1);
    for (const auto &c : cases) {
        EXPECT_EQ(set_tmp_path(c.path.c_str()), 0) << c.message;
        EXPECT_EQ(log_.count(c.message), 1);
        EXPECT_EQ(std::string(s_tmp_path), dir_.path() + "/");
    }
    EXPECT_FALSE(tt::file_exists(dir_.file("no")));
}

TEST_F(MergeTmpPath, ExportChecksLength)
{
    EXPECT_EQ(tarsa_sdk_merge_set_tmp_path(std::string(260, 'a').c_str()), 0);
    EXPECT_EQ(log_.count("strlen(path) >= MAX_PATH)"), 1);
    EXPECT_STREQ(s_tmp_path, "");
    EXPECT_EQ(tarsa_sdk_merge_set_tmp_path(dir_.path().c_str()), 1);
    EXPECT_EQ(std::string(s_tmp_path), dir_.path() + "/");
}

}  // namespace
