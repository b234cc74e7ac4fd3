// Probing exports.
#include "tool/probe.h"
#include "api/export_guard.h"
#include "job/host_name.h"
#include "core/rtkit.h"
#include "tarsasdk.h"

extern "C" {

TARSA_API int tarsa_sdk_probe(const char *filename)
{
    return tarsa_guarded("tarsa_sdk_probe", 0, [&] {
        if (!filename) {
            LOG_INFO("filename == NULL");
            return 0;
        }
        char probe_file_name[CONVERTED_NAME_SIZE];
        convert_host_name(filename, probe_file_name);
        return probe_has_format(probe_file_name);
    });
}

TARSA_API int tarsa_sdk_probe_ex(const char *filename, probe_result *result)
{
    return tarsa_guarded("tarsa_sdk_probe_ex", 0, [&] {
        if (!filename || !result) {
            LOG_INFO("filename == NULL || result == NULL");
            return 0;
        }
        char probe_file_name[CONVERTED_NAME_SIZE];
        convert_host_name(filename, probe_file_name);
        return internal_probe(probe_file_name, result, nullptr);
    });
}

TARSA_API int tarsa_sdk_probe_ex2(const char *filename, probe_result_ex *result)
{
    return tarsa_guarded("tarsa_sdk_probe_ex2", 0, [&] {
        if (!filename || !result) {
            LOG_INFO("filename == NULL || result == NULL");
            return 0;
        }
        char probe_file_name[CONVERTED_NAME_SIZE];
        convert_host_name(filename, probe_file_name);
        return internal_probe_ex(probe_file_name, result);
    });
}

}  // extern "C"
