// Looking up the VA-API render node and driver directory, so that detection
// can test the device and the tools find their driver.
#include "ff/hwd_vaapi.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "core/rtkit.h"
#include "media/hwd.h"

namespace fs = std::filesystem;

namespace {

const char *const k_driver_dirs[] = {"/usr/lib/x86_64-linux-gnu/dri", "/usr/lib/aarch64-linux-gnu/dri",
                                     "/usr/lib64/dri", "/usr/lib/dri", "/usr/local/lib/dri"};
constexpr int k_first_render_node = 128;
constexpr int k_render_nodes = 8;

bool exists(const std::string &path)
{
    std::error_code ec;
    return fs::exists(path, ec);
}

std::string render_node()
{
    const char *forced = std::getenv("TARSASDK_VAAPI_DEVICE");
    if (forced && *forced) return exists(forced) ? forced : "";
    for (int n = k_first_render_node; n < k_first_render_node + k_render_nodes; n++) {
        std::string node = "/dev/dri/renderD" + std::to_string(n);
        if (exists(node)) return node;
    }
    return "";
}

bool holds_va_driver(const std::string &dir)
{
    static const std::string suffix = "_drv_video.so";
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            return true;
    }
    return false;
}

std::string driver_dir()
{
    std::vector<std::string> candidates;
    const char *list = std::getenv("LIBVA_DRIVERS_PATH");
    if (list && *list) {
        std::string rest = list;
        for (size_t colon; (colon = rest.find(':')) != std::string::npos; rest.erase(0, colon + 1))
            candidates.push_back(rest.substr(0, colon));
        candidates.push_back(rest);
    } else {
        candidates.assign(std::begin(k_driver_dirs), std::end(k_driver_dirs));
    }
    for (const std::string &dir : candidates)
        if (!dir.empty() && holds_va_driver(dir)) return dir;
    return "";
}

}  // namespace

int hwd_vaapi_locate(void)
{
    hwd_env &rec = s_hwd_env[HWD_TYPE_VAAPI];
    rec = hwd_env{};
    const std::string device = render_node();
    const std::string drivers = driver_dir();
    const std::string assignment = "LIBVA_DRIVERS_PATH=" + drivers;
    if (device.empty() || drivers.empty()) return 0;
    // A cut path would name another file: such a machine counts as without.
    if (device.size() >= sizeof rec.driver_path || assignment.size() >= sizeof rec.env[0]) {
        LOG_INFO("vaapi paths too long: %s %s", device.c_str(), drivers.c_str());
        return 0;
    }
    rec.is_check_driver = 1;
    rec.driver_type = HWD_TYPE_VAAPI;
    str_copy(rec.driver_path, sizeof rec.driver_path, device.c_str());
    rec.env_num = 1;
    str_copy(rec.env[0], sizeof rec.env[0], assignment.c_str());
    return 1;
}
