// The shared library's dynamic symbol table holds the public functions and
// nothing else: every defined symbol is one of the 37 functions of
// tarsasdk.h, as the toolchain's nm lists it.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "processes.h"

namespace {

const std::set<std::string> kPublicFunctions = {
    // lifecycle and callback
    "tarsa_sdk_startup", "tarsa_sdk_cleanup", "tarsa_sdk_is_startup", "tarsa_sdk_set_mess_callback",
    // probing and options
    "tarsa_sdk_probe", "tarsa_sdk_probe_ex", "tarsa_sdk_probe_ex2", "tarsa_sdk_set_option_param",
    // conversion
    "tarsa_sdk_create", "tarsa_sdk_create_v1", "tarsa_sdk_get_pos", "tarsa_sdk_start", "tarsa_sdk_start_ex",
    "tarsa_sdk_stop", "tarsa_sdk_destroy",
    // cut
    "tarsa_sdk_cut_create", "tarsa_sdk_cut_create_v1", "tarsa_sdk_cut_get_pos", "tarsa_sdk_cut_start",
    "tarsa_sdk_cut_stop", "tarsa_sdk_cut_destroy",
    // merge
    "tarsa_sdk_merge_create", "tarsa_sdk_merge_create_v1", "tarsa_sdk_merge_add_file", "tarsa_sdk_merge_del_file",
    "tarsa_sdk_merge_set_tmp_path", "tarsa_sdk_merge_get_pos", "tarsa_sdk_merge_start", "tarsa_sdk_merge_start_ex",
    "tarsa_sdk_merge_stop", "tarsa_sdk_merge_destroy",
    // codec compatibility, hardware, processes
    "tarsa_sdk_get_vcodec_id_compatible", "tarsa_sdk_get_acodec_id_compatible", "tarsa_register_hwd",
    "tarsa_sdk_find_usr_hwd", "tarsa_sdk_get_ffmpeg_pid", "tarsa_sdk_kill_pid",
};

TEST(SharedLibrary, ExportsOnlyPublicFunctions)
{
    ASSERT_EQ(kPublicFunctions.size(), 37u);
    const tt::Finished r = tt::run({TARSA_NM, "-D", "--defined-only", TARSA_SHARED_LIB});
    ASSERT_EQ(r.exit_code, 0) << r.output;
    std::set<std::string> present;
    std::istringstream lines(r.output);
    std::string address, type, name;
    while (lines >> address >> type >> name) {
        SCOPED_TRACE(name);
        EXPECT_EQ(type, "T");  // a function in the library's code
        EXPECT_EQ(kPublicFunctions.count(name), 1u) << "exported but not public";
        EXPECT_TRUE(present.insert(name).second) << "exported twice";
    }
    EXPECT_EQ(present, kPublicFunctions);
}

}  // namespace
