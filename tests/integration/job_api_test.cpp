// Public job functions: bad handles, arguments and names refused, the symbol table.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <set>
#include <sstream>
#include <string>

#include "jobs.h"
#include "processes.h"

namespace {

class JobApi : public tt::FakeJobTest {};

// Every job function refuses NULL, the failed create's value and a handle of
// another kind with its failure value; the job behind a foreign handle is
// left as it was.
TEST_F(JobApi, MissingAndForeignHandlesAreRefused)
{
    void *conv = conversion(), *cutj = cut(), *mrg = merge_of();  // made: each is destroyed at the end
    struct Call {
        const char *name;
        std::function<int(void *)> call;
        int failure;
        void *own;  // a handle of the kind the function takes (NULL: any kind)
    } calls[] = {
        {"get_pos", tarsa_sdk_get_pos, -1, conv},
        {"start", tarsa_sdk_start, 0, conv},
        {"start_ex", [](void *h) { dst_info d = {}; return tarsa_sdk_start_ex(h, &d); }, 0, conv},
        {"stop", tarsa_sdk_stop, 0, conv},
        {"destroy", tarsa_sdk_destroy, 0, conv},
        {"get_ffmpeg_pid", tarsa_sdk_get_ffmpeg_pid, -1, conv},
        {"cut_get_pos", tarsa_sdk_cut_get_pos, -1, cutj},
        {"cut_start", tarsa_sdk_cut_start, 0, cutj},
        {"cut_stop", tarsa_sdk_cut_stop, 0, cutj},
        {"cut_destroy", tarsa_sdk_cut_destroy, 0, cutj},
        {"merge_get_pos", tarsa_sdk_merge_get_pos, -1, mrg},
        {"merge_start", tarsa_sdk_merge_start, 0, mrg},
        {"merge_start_ex", [](void *h) { dst_info d = {}; return tarsa_sdk_merge_start_ex(h, &d); }, 0, mrg},
        {"merge_stop", tarsa_sdk_merge_stop, 0, mrg},
        {"merge_destroy", tarsa_sdk_merge_destroy, 0, mrg},
        {"merge_add_file", [](void *h) { return tarsa_sdk_merge_add_file(h, "/x.mp4"); }, 0, mrg},
        {"merge_del_file", [](void *h) { return tarsa_sdk_merge_del_file(h, "/x.mp4"); }, 0, mrg},
        {"set_option_param", [](void *h) { int32_t v = 1; return tarsa_sdk_set_option_param(h, 1, &v, 4); }, 0, nullptr},
    };
    for (const Call &c : calls) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.call(nullptr), c.failure);
        EXPECT_EQ(c.call(TARSA_INVALID_HANDLE), c.failure);
        for (void *other : {conv, cutj, mrg}) {
            if (c.own && other != c.own) {
                EXPECT_EQ(c.call(other), c.failure);
            }
        }
    }
    // Nothing was started or destroyed through a foreign handle.
    EXPECT_EQ(tarsa_sdk_get_ffmpeg_pid(conv), -1);
    EXPECT_TRUE(tt::child_pids().empty());
    EXPECT_EQ(tarsa_sdk_destroy(conv), 1);
    EXPECT_EQ(tarsa_sdk_cut_destroy(cutj), 1);
    EXPECT_EQ(tarsa_sdk_merge_destroy(mrg), 1);
}

// Missing arguments, half sizes and a cut past the source's end are refused; so are names with a control character (which could
// forge a line of the tools' reports) though the file exists, while the same file under a clean name is
// taken; the names a merge deletes.
TEST_F(JobApi, CreateRefusesMissingArgumentsHalfSizesControlCharactersAndTheSource)
{
    const std::string src = source("src.flv"), dst = dir_.file("d.flv"), odd = source("a\nb.flv");
    const cvt_param_v1 cvt = tt::cvt_params({6, 0, 0, 1, 23}), half_cvt = tt::cvt_params({6, 640, 0, 1, 23});
    cut_param_v1 cutp = tt::cut_params(6, 0, 10), half_cut = cutp;
    half_cut.cut_param.height = 480;
    const merge_param mp = tt::merge_params(3), half_mp = tt::merge_params(3, 640, 0);
    // The source lasts 10 s: a cut may start in its last second, not after it.
    const cut_param_v1 past_end = tt::cut_params(6, 11, 5), last_second = tt::cut_params(6, 10, 5);
    EXPECT_EQ(tarsa_sdk_cut_destroy(tarsa_sdk_cut_create_v1(src.c_str(), dst.c_str(), &last_second)), 1);
    int row = 0;
    for (void *refused : {tarsa_sdk_create(nullptr, dst.c_str(), &cvt.cvt_param), tarsa_sdk_create(src.c_str(), dst.c_str(), nullptr),
                          tarsa_sdk_create_v1(src.c_str(), dst.c_str(), &half_cvt), tarsa_sdk_cut_create(src.c_str(), nullptr, &cutp.cut_param),
                          tarsa_sdk_cut_create_v1(src.c_str(), dst.c_str(), &half_cut), tarsa_sdk_merge_create(nullptr, &mp),
                          tarsa_sdk_merge_create(dst.c_str(), &half_mp), tarsa_sdk_merge_create_v1(dst.c_str(), nullptr),
                          tarsa_sdk_create_v1(odd.c_str(), dst.c_str(), &cvt), tarsa_sdk_create_v1(src.c_str(), dir_.file("d\r.flv").c_str(), &cvt),
                          tarsa_sdk_merge_create(dir_.file("m\t.mp4").c_str(), &mp),
                          tarsa_sdk_cut_create_v1(src.c_str(), dst.c_str(), &past_end)})
        EXPECT_EQ(refused, TARSA_INVALID_HANDLE) << "row " << row++;
    // A job never writes over its own source: the source under any name (the same, through "." or "..",
    // a symbolic link) is refused as destination, and keeps its bytes.
    ASSERT_EQ(symlink(src.c_str(), dir_.file("link.flv").c_str()), 0);
    ASSERT_EQ(::mkdir(dir_.file("sub").c_str(), 0755), 0);
    for (const std::string &same : {src, dir_.path() + "/./src.flv", dir_.file("sub") + "/../src.flv", dir_.file("link.flv")}) {
        SCOPED_TRACE(same);
        EXPECT_EQ(tarsa_sdk_create_v1(src.c_str(), same.c_str(), &cvt), TARSA_INVALID_HANDLE);
        void *merge = tarsa_sdk_merge_create(same.c_str(), &mp);
        EXPECT_EQ(tarsa_sdk_merge_add_file(merge, src.c_str()), 0);
        EXPECT_EQ(tarsa_sdk_merge_destroy(merge), 1);
    }
    EXPECT_EQ(tt::read_file(src), "not media");
    // Another file, even one not made yet, is a destination like any other.
    void *merge = tarsa_sdk_merge_create(dir_.file("sub/m.mp4").c_str(), &mp);
    EXPECT_EQ(tarsa_sdk_merge_add_file(merge, odd.c_str()), 0);
    EXPECT_EQ(tarsa_sdk_merge_add_file(merge, src.c_str()), 1);
    // Deleting a source takes any name that fits, also one never added; a missing or over-long one is refused.
    EXPECT_EQ(tarsa_sdk_merge_del_file(merge, std::string(260, 'a').c_str()), 0);  // 259 bytes fit, 260 do not
    EXPECT_EQ(tarsa_sdk_merge_del_file(merge, std::string(259, 'a').c_str()), 1);
    EXPECT_EQ(tarsa_sdk_merge_del_file(merge, nullptr), 0);
    EXPECT_EQ(tarsa_sdk_merge_del_file(merge, dir_.file("b.flv").c_str()), 1);
    EXPECT_EQ(tarsa_sdk_merge_del_file(merge, src.c_str()), 1);
    EXPECT_EQ(tarsa_sdk_merge_destroy(merge), 1);
}

// The shared library's dynamic symbol table holds the 37 public functions
// and nothing else.
TEST(SharedLibrary, ExportsOnlyThePublicFunctions)
{
    std::set<std::string> declared;
    std::istringstream header(tt::read_file(TARSA_HEADER));
    for (std::string line; std::getline(header, line);) {
        if (line.compare(0, 10, "TARSA_API ") != 0) continue;
        const size_t end = line.find('('), begin = line.find_last_of(" *", end) + 1;
        declared.insert(line.substr(begin, end - begin));
    }
    ASSERT_EQ(declared.size(), 37u);
    const tt::Finished r = tt::run({TARSA_NM, "-D", "--defined-only", TARSA_SHARED_LIB});
    ASSERT_EQ(r.exit_code, 0) << r.output;
    std::set<std::string> present;
    std::istringstream lines(r.output);
    for (std::string address, type, name; lines >> address >> type >> name;) {
        EXPECT_EQ(type, "T") << name;
        EXPECT_TRUE(present.insert(name).second) << name;
    }
    EXPECT_EQ(present, declared);
}

}  // namespace
