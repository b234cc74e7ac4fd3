// A job never writes over its own source: create and merge add refuse a
// destination that is the source under any name (the same name, a name
// through "." or "..", a symbolic link), and the source keeps its bytes.
#include <unistd.h>

#include <string>

#include "jobs.h"

namespace {

class SameFile : public tt::FakeJobTest {};

TEST_F(SameFile, CreateAndMergeAddRefuseTheSourceAsDestination)
{
    const std::string src = source("src.flv");
    ASSERT_EQ(symlink(src.c_str(), dir_.file("link.flv").c_str()), 0);
    ASSERT_EQ(::mkdir(dir_.file("sub").c_str(), 0755), 0);
    const cvt_param_v1 cvt = tt::cvt_params({6, 0, 0, 1, 23});
    const cut_param_v1 cutp = tt::cut_params(6, 0, 10);
    const merge_param mp = tt::merge_params(6);
    for (const std::string &dst : {src, dir_.path() + "/./src.flv", dir_.file("sub") + "/../src.flv",
                                   dir_.file("link.flv")}) {
        SCOPED_TRACE(dst);
        EXPECT_EQ(tarsa_sdk_create_v1(src.c_str(), dst.c_str(), &cvt), TARSA_INVALID_HANDLE);
        EXPECT_EQ(tarsa_sdk_cut_create_v1(src.c_str(), dst.c_str(), &cutp), TARSA_INVALID_HANDLE);
        void *merge = tarsa_sdk_merge_create(dst.c_str(), &mp);
        ASSERT_NE(merge, TARSA_INVALID_HANDLE);
        EXPECT_EQ(tarsa_sdk_merge_add_file(merge, src.c_str()), 0);
        EXPECT_EQ(tarsa_sdk_merge_destroy(merge), 1);
    }
    EXPECT_EQ(tt::read_file(src), "not media");
    // Another file, even one not made yet, is a destination like any other.
    void *job = tarsa_sdk_create_v1(src.c_str(), dir_.file("sub/out.flv").c_str(), &cvt);
    ASSERT_NE(job, TARSA_INVALID_HANDLE);
    EXPECT_EQ(tarsa_sdk_destroy(job), 1);
    void *merge = tarsa_sdk_merge_create(dir_.file("out.flv").c_str(), &mp);
    EXPECT_EQ(tarsa_sdk_merge_add_file(merge, src.c_str()), 1);
    EXPECT_EQ(tarsa_sdk_merge_destroy(merge), 1);
}

// Deleting a merge source: any name that fits is taken (also one that was
// never added); a missing or over-long name is refused.
TEST_F(SameFile, MergeDeleteRefusesOnlyMissingAndOverlongNames)
{
    const std::string src = source("a.flv");
    const merge_param mp = tt::merge_params(6);
    void *merge = tarsa_sdk_merge_create(dir_.file("all.flv").c_str(), &mp);
    ASSERT_NE(merge, TARSA_INVALID_HANDLE);
    ASSERT_EQ(tarsa_sdk_merge_add_file(merge, src.c_str()), 1);
    EXPECT_EQ(tarsa_sdk_merge_del_file(merge, std::string(300, 'a').c_str()), 0);
    EXPECT_EQ(tarsa_sdk_merge_del_file(merge, nullptr), 0);
    EXPECT_EQ(tarsa_sdk_merge_del_file(merge, dir_.file("b.flv").c_str()), 1);
    EXPECT_EQ(tarsa_sdk_merge_del_file(merge, src.c_str()), 1);
    EXPECT_EQ(tarsa_sdk_merge_destroy(merge), 1);
}

}  // namespace
