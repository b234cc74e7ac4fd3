// Per-kind environment and driver-file test of hardware detection.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "cvt/hwd.h"
#include "hwd_fixture.h"
#include "log_capture.h"
#include "test_util.h"

namespace {

class HwdEnv : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (const char *name : {"TARSA_HWD_TEST_A", "TARSA_HWD_TEST_B", "TARSA_HWD_TEST_C"}) unsetenv(name);
    }
    tt::HwdStateGuard guard_;
};

TEST_F(HwdEnv, TheShippedTableIsEmpty)
{
    for (int t = 0; t < 4; t++) {
        EXPECT_EQ(s_hwd_env[t].is_check_driver, 0) << t;
        EXPECT_EQ(s_hwd_env[t].driver_type, 0) << t;
        EXPECT_STREQ(s_hwd_env[t].driver_path, "") << t;
        EXPECT_EQ(s_hwd_env[t].env_num, 0) << t;
    }
}

TEST_F(HwdEnv, EmptyRecordsReportFailureForEveryKind)
{
    tt::LogCapture log;
    for (int t = 0; t < 4; t++) EXPECT_EQ(set_hwd_env(t), 0) << t;
    EXPECT_TRUE(log.lines().empty());  // failure of an empty record is the caller's to report
}

TEST_F(HwdEnv, KindsOutsideTheTableAreRefused)
{
    tt::LogCapture log;
    EXPECT_EQ(set_hwd_env(4), 0);
    EXPECT_EQ(set_hwd_env(-1), 0);
    EXPECT_EQ(log.count("set_hwd_env type:4"), 1);
    EXPECT_EQ(log.count("set_hwd_env type:-1"), 1);
}

TEST_F(HwdEnv, AssignmentsAreAppliedInOrder)
{
    hwd_env &rec = s_hwd_env[HWD_TYPE_INTEL];
    rec.env_num = 2;
    std::strcpy(rec.env[0], "TARSA_HWD_TEST_A=one");
    std::strcpy(rec.env[1], "TARSA_HWD_TEST_B=two=2");
    EXPECT_EQ(set_hwd_env(HWD_TYPE_INTEL), 1);
    ASSERT_NE(std::getenv("TARSA_HWD_TEST_A"), nullptr);
    EXPECT_STREQ(std::getenv("TARSA_HWD_TEST_A"), "one");
    ASSERT_NE(std::getenv("TARSA_HWD_TEST_B"), nullptr);
    EXPECT_STREQ(std::getenv("TARSA_HWD_TEST_B"), "two=2");
}

TEST_F(HwdEnv, ABadAssignmentStopsTheRest)
{
    hwd_env &rec = s_hwd_env[HWD_TYPE_NVIDIA];
    rec.env_num = 3;
    std::strcpy(rec.env[0], "TARSA_HWD_TEST_A=1");
    std::strcpy(rec.env[1], "NO_EQUALS_SIGN");
    std::strcpy(rec.env[2], "TARSA_HWD_TEST_C=3");
    tt::LogCapture log;
    EXPECT_EQ(set_hwd_env(HWD_TYPE_NVIDIA), 1);  // one assignment was made
    EXPECT_EQ(log.count("type:0 putenv:NO_EQUALS_SIGN err"), 1);
    EXPECT_EQ(std::getenv("TARSA_HWD_TEST_C"), nullptr);

    rec.env_num = 1;
    std::strcpy(rec.env[0], "=value");
    EXPECT_EQ(set_hwd_env(HWD_TYPE_NVIDIA), 0);
    EXPECT_EQ(log.count("type:0 putenv:=value err"), 1);
}

TEST_F(HwdEnv, AnEmptyValueRemovesTheVariable)
{
    setenv("TARSA_HWD_TEST_A", "x", 1);
    hwd_env &rec = s_hwd_env[HWD_TYPE_NVIDIA];
    rec.env_num = 1;
    std::strcpy(rec.env[0], "TARSA_HWD_TEST_A=");
    EXPECT_EQ(set_hwd_env(HWD_TYPE_NVIDIA), 1);
    EXPECT_EQ(std::getenv("TARSA_HWD_TEST_A"), nullptr);
}

TEST_F(HwdEnv, RequiredDriverFileGuardsTheAssignments)
{
    tt::TempDir dir;
    hwd_env &rec = s_hwd_env[HWD_TYPE_INTEL];
    rec.is_check_driver = 1;
    rec.driver_type = HWD_TYPE_VAAPI;
    rec.env_num = 1;
    std::strcpy(rec.env[0], "TARSA_HWD_TEST_A=on");
    std::snprintf(s_hwd_env[HWD_TYPE_VAAPI].driver_path, sizeof s_hwd_env[2].driver_path, "%s",
                  dir.file("renderD128").c_str());

    tt::LogCapture log;
    EXPECT_EQ(find_driver_exist(HWD_TYPE_VAAPI), 0);
    EXPECT_EQ(set_hwd_env(HWD_TYPE_INTEL), 0);
    EXPECT_EQ(log.count("find_driver_exist type:1"), 1);
    EXPECT_EQ(std::getenv("TARSA_HWD_TEST_A"), nullptr);

    ASSERT_TRUE(tt::write_file(dir.file("renderD128"), ""));
    EXPECT_EQ(find_driver_exist(HWD_TYPE_VAAPI), 1);
    EXPECT_EQ(set_hwd_env(HWD_TYPE_INTEL), 1);
    EXPECT_STREQ(std::getenv("TARSA_HWD_TEST_A"), "on");
}

TEST_F(HwdEnv, DriverTestOfKindsWithoutRecordsIsRefused)
{
    tt::LogCapture log;
    EXPECT_EQ(find_driver_exist(3), 0);
    EXPECT_EQ(find_driver_exist(9), 0);
    EXPECT_EQ(log.count("find_driver_exist type:3 not support"), 1);
    EXPECT_EQ(log.count("find_driver_exist type:9 not support"), 1);
    // An empty path is never openable.
    EXPECT_EQ(find_driver_exist(HWD_TYPE_VAAPI), 0);
}

}  // namespace
