/* A plain C host of tarsasdk.dll: links only the import library and the
 * public header. Exit 0 when the library starts, MP4 takes H.264 and AAC
 * (the combination every host relies on) and the clean-up ends it. */
#include <stdio.h>

#include "tarsasdk.h"

int main(void)
{
    int failures = 0;

    if (tarsa_sdk_startup() != 1 || tarsa_sdk_is_startup() != 1) {
        printf("startup failed\n");
        return 1;
    }
    if (!tarsa_sdk_get_vcodec_id_compatible(F_FMT_MP4, V_FMT_H264)) failures++;
    if (!tarsa_sdk_get_acodec_id_compatible(F_FMT_MP4, A_FMT_AAC)) failures++;
    if (tarsa_sdk_cleanup() != 1 || tarsa_sdk_is_startup() != 0) failures++;
    printf("dll_host: %s\n", failures ? "FAILED" : "ok");
    return failures ? 1 : 0;
}
