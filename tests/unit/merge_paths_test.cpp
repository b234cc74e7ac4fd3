// Directory parts, names of merge temporaries and the directory they go into.
#include <gtest/gtest.h>

#include <string>

#include "log_capture.h"
#include "sdk/merge_sources.h"
#include "tarsasdk.h"
#include "support/rtkit.h"
#include "test_util.h"

namespace {

TEST(MergeFilePath, DirectoryPartKeepsItsSeparator)
{
    struct Case {
        const char *path;
        const char *dir;
    } cases[] = {
        {"C:/out/all.mp4", "C:/out/"},
        {"D:\\out\\all.mp4", "D:\\out\\"},
        {"/a/b\\c.mp4", "/a/b\\"},
        {"/a\\b/c.mp4", "/a\\b/"},
        {"/x/", "/x/"},
        {"/all.mp4", "/"},
    };
    for (const Case &c : cases) {
        char dir[MAX_PATH] = {0};
        EXPECT_EQ(get_file_path(c.path, dir), 1) << c.path;
        EXPECT_STREQ(dir, c.dir);
    }
}

TEST(MergeFilePath, NameWithoutDirectoryLeavesTheBufferAlone)
{
    char dir[MAX_PATH] = "untouched";
    EXPECT_EQ(get_file_path("all.mp4", dir), 0);
    EXPECT_STREQ(dir, "untouched");
    EXPECT_EQ(get_file_path("", dir), 0);
    EXPECT_STREQ(dir, "untouched");
}

TEST(MergeFilePath, MissingBufferIsLogged)
{
    tt::LogCapture log;
    EXPECT_EQ(get_file_path("/a/b.mp4", nullptr), 0);
    EXPECT_EQ(log.count("path == NULL"), 1);
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

TEST_F(MergeTmpPath, NamesCountUpFromTheSharedCounter)
{
    const int32_t n = s_tmp_file_index.load();
    char first[MAX_PATH] = {0}, second[MAX_PATH] = {0};
    ASSERT_EQ(get_tmp_file_name("/out/", s_merge_tmp_file_ext, first), 1);
    ASSERT_EQ(get_tmp_file_name("/other/", "ts", second), 1);
    EXPECT_EQ(std::string(first), "/out/merge_tmp_file-" + std::to_string(n) + ".ts");
    EXPECT_EQ(std::string(second), "/other/merge_tmp_file-" + std::to_string(n + 1) + ".ts");
    EXPECT_EQ(s_tmp_file_index.load(), n + 2);
}

TEST_F(MergeTmpPath, DirectorySetWinsOverTheDestinationDirectory)
{
    ASSERT_EQ(set_tmp_path(dir_.path().c_str()), 1);
    EXPECT_EQ(std::string(s_tmp_path), dir_.path() + "/");
    const int32_t n = s_tmp_file_index.load();
    char name[MAX_PATH] = {0};
    ASSERT_EQ(get_tmp_file_name("/out/", "ts", name), 1);
    EXPECT_EQ(std::string(name), dir_.path() + "/merge_tmp_file-" + std::to_string(n) + ".ts");
}

TEST_F(MergeTmpPath, MissingArgumentsTakeNoNumber)
{
    const int32_t n = s_tmp_file_index.load();
    char name[MAX_PATH] = {0};
    EXPECT_EQ(get_tmp_file_name(nullptr, "ts", name), 0);
    EXPECT_EQ(get_tmp_file_name("/out/", nullptr, name), 0);
    EXPECT_EQ(get_tmp_file_name("/out/", "ts", nullptr), 0);
    EXPECT_EQ(log_.count("dst_path == NULL || ext == NULL || dst_file == NULL"), 3);
    EXPECT_EQ(s_tmp_file_index.load(), n);
}

TEST_F(MergeTmpPath, DirectoryWithABarIsRefused)
{
    // The concatenation names its inputs "concat:a|b": a '|' would split a name.
    const int32_t n = s_tmp_file_index.load();
    char name[MAX_PATH] = {0};
    EXPECT_EQ(get_tmp_file_name("/out|put/", "ts", name), 0);
    EXPECT_EQ(log_.count("strchr(dir, '|') != NULL"), 1);
    EXPECT_EQ(name[0], '\0');
    EXPECT_EQ(s_tmp_file_index.load(), n);
}

TEST_F(MergeTmpPath, SeparatorIsAddedOnlyWhenMissing)
{
    ASSERT_EQ(set_tmp_path((dir_.path() + "/").c_str()), 1);
    EXPECT_EQ(std::string(s_tmp_path), dir_.path() + "/");
    // A backslash is an ordinary character of a POSIX name, not a separator.
    ASSERT_EQ(set_tmp_path((dir_.path() + "/b\\").c_str()), 1);
    EXPECT_EQ(std::string(s_tmp_path), dir_.path() + "/b\\/");
    EXPECT_TRUE(tt::file_exists(dir_.path() + "/b\\"));
}

TEST_F(MergeTmpPath, LastLevelIsCreated)
{
    const std::string made = dir_.file("made");
    ASSERT_EQ(set_tmp_path(made.c_str()), 1);
    EXPECT_TRUE(tt::file_exists(made));
    EXPECT_EQ(std::string(s_tmp_path), made + "/");
}

TEST_F(MergeTmpPath, MissingParentKeepsTheEarlierDirectory)
{
    ASSERT_EQ(set_tmp_path(dir_.path().c_str()), 1);
    EXPECT_EQ(set_tmp_path(dir_.file("no/such").c_str()), 0);
    EXPECT_EQ(log_.count("_mkdir(tmp_path) != 0"), 1);
    EXPECT_EQ(std::string(s_tmp_path), dir_.path() + "/");
    EXPECT_FALSE(tt::file_exists(dir_.file("no")));
}

TEST_F(MergeTmpPath, EmptyAndOverlongPathsAreRefused)
{
    EXPECT_EQ(set_tmp_path(""), 0);
    EXPECT_EQ(log_.count("len == 0 || len >= MAX_PATH"), 1);
    // 259 bytes leave no room for the separator and the terminator.
    std::string long_path = dir_.path() + "/";
    long_path += std::string(259 - long_path.size(), 'x');
    EXPECT_EQ(set_tmp_path(long_path.c_str()), 0);
    EXPECT_EQ(log_.count("strlen(tmp_path) >= MAX_PATH"), 1);
    EXPECT_STREQ(s_tmp_path, "");
}

TEST_F(MergeTmpPath, ExportChecksNullLengthAndQuote)
{
    EXPECT_EQ(tarsa_sdk_merge_set_tmp_path(nullptr), 0);
    EXPECT_EQ(log_.count("path == NULL"), 1);
    EXPECT_EQ(tarsa_sdk_merge_set_tmp_path(std::string(260, 'a').c_str()), 0);
    EXPECT_EQ(log_.count("strlen(path) >= MAX_PATH)"), 1);
    EXPECT_EQ(tarsa_sdk_merge_set_tmp_path(dir_.file("a\"b").c_str()), 0);
    EXPECT_EQ(log_.count("strchr(path, '\"') != NULL"), 1);
    EXPECT_FALSE(tt::file_exists(dir_.file("a\"b")));
    EXPECT_STREQ(s_tmp_path, "");
    EXPECT_EQ(tarsa_sdk_merge_set_tmp_path(dir_.path().c_str()), 1);
    EXPECT_EQ(std::string(s_tmp_path), dir_.path() + "/");
}

}  // namespace
