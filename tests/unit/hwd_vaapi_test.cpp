// VA-API detection gets past its driver check only where a render node and a
// VA driver exist; both are faked here, since the test machine has neither.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "hwd_fixture.h"
#include "log_capture.h"
#include "media/hwd.h"
#include "test_util.h"

namespace {

TEST(HwdVaapi, DriverCheckFollowsRenderNodeAndDriverDirectory)
{
    tt::TempDir dir;
    const std::string node = dir.file("renderD128"), drivers = dir.file("dri"), empty = dir.file("empty");
    ASSERT_TRUE(tt::write_file(node, ""));
    std::filesystem::create_directories(drivers);
    std::filesystem::create_directories(empty);
    ASSERT_TRUE(tt::write_file(drivers + "/fake_drv_video.so", ""));
    const struct {
        std::string node, drivers;
        int found;
    } cases[] = {
        {node, drivers, 1},
        {dir.file("renderD129"), drivers, 0},  // no render node
        {node, empty, 0},                      // no VA driver
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.node + " " + c.drivers);
        tt::HwdStateGuard guard;
        tt::ScopedEnv device("TARSASDK_VAAPI_DEVICE", c.node), path("LIBVA_DRIVERS_PATH", c.drivers);
        tt::LogCapture log;
        EXPECT_EQ(set_hwd_env(HWD_TYPE_VAAPI), c.found);
        EXPECT_EQ(find_driver_exist(HWD_TYPE_VAAPI), c.found);
        EXPECT_EQ(std::string(s_hwd_env[HWD_TYPE_VAAPI].driver_path), c.found ? c.node : "");
        hwd_dev dev = tt::make_hwd_dev(-1, 0, 0, 0, 0);
        // A fake node opens no codec, so the log is the only sign the codec tests ran.
        EXPECT_EQ(try_open_hwd(HWD_TYPE_VAAPI, &dev), 0);
        EXPECT_EQ(log.contains("try hwd vaapi support"), c.found == 1);
        EXPECT_EQ(log.contains("not find driver path:"), c.found == 0);
    }
}

}  // namespace
