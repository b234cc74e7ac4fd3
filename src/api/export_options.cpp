// Options of a job of any kind, and the event callback.
#include "api/export_guard.h"
#include "api/job_handle.h"
#include "job/event.h"

extern "C" {

TARSA_API int tarsa_sdk_set_option_param(void *handle, uint32_t id, const void *data, int32_t size)
{
    return tarsa_guarded("tarsa_sdk_set_option_param", 0, [&] {
        job *j = job_of(handle, TARSA_JOB_ANY, "handle == NULL");
        return j ? job_set_option(j, id, data, size) : 0;
    });
}

TARSA_API int tarsa_sdk_set_mess_callback(tarsa_mess_callback callback, void *user)
{
    set_event_callback(callback, user);
    return 1;
}

}  // extern "C"
