/* Probes a media file and prints what tarsasdk found.
 *   probe FILE
 * Build: cc probe.c $(pkg-config --cflags --libs tarsasdk) -o probe */
#define _DEFAULT_SOURCE /* realpath */
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <tarsasdk.h>

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    /* The tools run in the library's directory: pass an absolute name. */
    char path[PATH_MAX];
    if (!realpath(argv[1], path)) {
        perror(argv[1]);
        return 1;
    }

    tarsa_sdk_startup();
    probe_result_ex r;
    memset(&r, 0, sizeof r); /* the library fills, never clears */
    int ok = tarsa_sdk_probe_ex2(path, &r);
    tarsa_sdk_cleanup();
    if (!ok) {
        fprintf(stderr, "%s: not a media file\n", argv[1]);
        return 1;
    }
    printf("container: %s\n", r.result.f_fmt);
    printf("video:     %s %dx%d\n", r.result.v_fmt, r.result.width, r.result.height);
    printf("audio:     %s\n", r.result.a_fmt);
    printf("duration:  %d s\n", r.result.duration);
    return 0;
}
