/* A plain C host of tarsasdk.dll: links only the import library and the
 * public header, starts the library, reads the codec compatibility tables
 * and prints them. Exit 0 when the library started and MP4 takes H.264 and
 * AAC (the combination every host relies on). */
#include <stdio.h>

#include "tarsasdk.h"

int main(void)
{
    static const char *const v_names[] = {"mpeg2video", "h264", "h264 baseline", "h264 high", "h264 main",
                                          "mpeg4", "hevc", "traw", "tdaw"};
    static const char *const a_names[] = {"mp2", "mp3", "aac", "pcm_alaw"};
    int failures = 0;
    int type, id;

    if (tarsa_sdk_startup() != 1 || tarsa_sdk_is_startup() != 1) {
        printf("startup failed\n");
        return 1;
    }
    for (type = 1; type <= 6; type++) {
        printf("type %d: video", type);
        for (id = V_FMT_MPEG2VIDEO; id <= V_FMT_TDAW; id++)
            if (tarsa_sdk_get_vcodec_id_compatible(type, id)) printf(" [%s]", v_names[id]);
        printf(", audio");
        for (id = A_FMT_MP2; id <= A_FMT_PCM_ALAW; id++)
            if (tarsa_sdk_get_acodec_id_compatible(type, id)) printf(" [%s]", a_names[id]);
        printf("\n");
    }
    if (!tarsa_sdk_get_vcodec_id_compatible(F_FMT_MP4, V_FMT_H264)) failures++;
    if (!tarsa_sdk_get_acodec_id_compatible(F_FMT_MP4, A_FMT_AAC)) failures++;
    if (tarsa_sdk_cleanup() != 1 || tarsa_sdk_is_startup() != 0) failures++;
    printf("dll_host: %s\n", failures ? "FAILED" : "ok");
    return failures ? 1 : 0;
}
