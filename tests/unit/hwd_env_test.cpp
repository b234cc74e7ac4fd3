// Per-kind environment and driver-file test of hardware detection.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "media/hwd.h"
#include "platform/platform.h"
#include "hwd_fixture.h"
#include "log_capture.h"
#include "test_util.h"

namespace {

class HwdEnv : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (const char *name : {"TARSA_HWD_TEST_A", "TARSA_HWD_TEST_B", "TARSA_HWD_TEST_C"}) os_setenv(name, nullptr);
    }
    // The record of `kind` with these assignments.
    hwd_env &record(int kind, std::initializer_list<const char *> env)
    {
        hwd_env &rec = s_hwd_env[kind];
        rec.env_num = 0;
        for (const char *e : env) std::strcpy(rec.env[rec.env_num++], e);
        return rec;
    }
    std::string value(const char *name) const
    {
        const char *v = std::getenv(name);
        return v ? v : "(unset)";
    }
    tt::HwdStateGuard guard_;
    tt::LogCapture log_;
};

// The shipped records are empty: each kind reports failure, which is the
// caller's to log; kinds outside the table are refused.
TEST_F(HwdEnv, EmptyRecordsAndUnknownKindsFail)
{
    for (int t = 0; t < 4; t++) EXPECT_EQ(set_hwd_env(t), 0) << t;
    EXPECT_TRUE(log_.lines().empty());
    EXPECT_EQ(set_hwd_env(4), 0);
    EXPECT_EQ(set_hwd_env(-1), 0);
    EXPECT_EQ(log_.messages(), (std::vector<std::string>{"set_hwd_env type:4", "set_hwd_env type:-1"}));
}

TEST_F(HwdEnv, AssignmentsAreAppliedInOrderUntilABadOne)
{
    os_setenv("TARSA_HWD_TEST_C", "x");
    record(HWD_TYPE_INTEL, {"TARSA_HWD_TEST_A=one", "TARSA_HWD_TEST_B=two=2", "TARSA_HWD_TEST_C="});
    EXPECT_EQ(set_hwd_env(HWD_TYPE_INTEL), 1);
    EXPECT_EQ(value("TARSA_HWD_TEST_A"), "one");
    EXPECT_EQ(value("TARSA_HWD_TEST_B"), "two=2");
    EXPECT_EQ(value("TARSA_HWD_TEST_C"), "(unset)");  // an empty value removes the variable

    record(HWD_TYPE_NVIDIA, {"TARSA_HWD_TEST_A=1", "NO_EQUALS_SIGN", "TARSA_HWD_TEST_C=3"});
    EXPECT_EQ(set_hwd_env(HWD_TYPE_NVIDIA), 1);  // one assignment was made
    EXPECT_EQ(log_.count("type:0 putenv:NO_EQUALS_SIGN err"), 1);
    EXPECT_EQ(value("TARSA_HWD_TEST_A"), "1");
    EXPECT_EQ(value("TARSA_HWD_TEST_C"), "(unset)");
    record(HWD_TYPE_NVIDIA, {"=value"});
    EXPECT_EQ(set_hwd_env(HWD_TYPE_NVIDIA), 0);
    EXPECT_EQ(log_.count("type:0 putenv:=value err"), 1);
}

TEST_F(HwdEnv, RequiredDriverFileGuardsTheAssignments)
{
    tt::TempDir dir;
    hwd_env &rec = record(HWD_TYPE_INTEL, {"TARSA_HWD_TEST_A=on"});
    rec.is_check_driver = 1;
    rec.driver_type = HWD_TYPE_VAAPI;
    EXPECT_EQ(find_driver_exist(HWD_TYPE_VAAPI), 0);  // an empty path is never openable
    std::snprintf(s_hwd_env[HWD_TYPE_VAAPI].driver_path, sizeof s_hwd_env[2].driver_path, "%s",
                  dir.file("renderD128").c_str());
    EXPECT_EQ(find_driver_exist(HWD_TYPE_VAAPI), 0);
    EXPECT_EQ(set_hwd_env(HWD_TYPE_INTEL), 0);
    EXPECT_EQ(log_.count("find_driver_exist type:1"), 1);
    EXPECT_EQ(value("TARSA_HWD_TEST_A"), "(unset)");

    ASSERT_TRUE(tt::write_file(dir.file("renderD128"), ""));
    EXPECT_EQ(find_driver_exist(HWD_TYPE_VAAPI), 1);
    EXPECT_EQ(set_hwd_env(HWD_TYPE_INTEL), 1);
    EXPECT_EQ(value("TARSA_HWD_TEST_A"), "on");

    // Kinds without driver records are refused.
    EXPECT_EQ(find_driver_exist(3), 0);
    EXPECT_EQ(find_driver_exist(9), 0);
    EXPECT_EQ(log_.count("find_driver_exist type:3 not support"), 1);
    EXPECT_EQ(log_.count("find_driver_exist type:9 not support"), 1);
}

}  // namespace
