/* Converts a media file, showing progress; Ctrl-C stops the job.
 *   convert SRC DST        (the container follows DST's extension)
 * Build: cc convert.c $(pkg-config --cflags --libs tarsasdk) -o convert */
#define _DEFAULT_SOURCE /* realpath, usleep */
#include <limits.h>
#include <signal.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <tarsasdk.h>

static atomic_int g_pos;
static atomic_int g_failed;
static atomic_int g_done;
static volatile sig_atomic_t g_interrupted;

static void on_sigint(int sig)
{
    (void)sig;
    g_interrupted = 1;
}

/* Runs on the job's thread: only record, the main thread prints. */
static int32_t on_event(void *job, uint32_t code, intptr_t p1, uint32_t p2, void *user)
{
    (void)job, (void)p1, (void)user;
    if (code == TARSA_EVENT_CVT_POS) {
        atomic_store(&g_pos, (int)p2);
        if (p2 == 100) atomic_store(&g_done, 1); /* the last event, also after a failure */
    } else if (code == TARSA_EVENT_CVT_FAIL) {
        atomic_store(&g_failed, 1);
    }
    return 0;
}

/* The tools run in the library's directory: names must be absolute. */
static int absolute(const char *name, char *out, size_t size)
{
    if (name[0] == '/') return snprintf(out, size, "%s", name) < (int)size;
    char cwd[PATH_MAX];
    if (!getcwd(cwd, sizeof cwd)) return 0;
    return snprintf(out, size, "%s/%s", cwd, name) < (int)size;
}

int main(int argc, char **argv)
{
    char src[PATH_MAX], dst[PATH_MAX];
    if (argc != 3) {
        fprintf(stderr, "usage: %s SRC DST\n", argv[0]);
        return 2;
    }
    if (!realpath(argv[1], src) || !absolute(argv[2], dst, sizeof dst)) {
        fprintf(stderr, "%s: bad file name\n", argv[0]);
        return 2;
    }

    tarsa_sdk_startup();
    tarsa_sdk_set_mess_callback(on_event, NULL);

    cvt_param param;
    memset(&param, 0, sizeof param);
    param.dst_file_type = 0; /* choose the container from DST's name */
    param.audio_enable = 1;
    param.quality = 5;
    void *job = tarsa_sdk_create(src, dst, &param);
    if (job == TARSA_INVALID_HANDLE) {
        fprintf(stderr, "%s: cannot convert this source\n", argv[1]);
        return 1;
    }
    signal(SIGINT, on_sigint);
    int status = 0;
    if (!tarsa_sdk_start(job)) {
        fprintf(stderr, "the conversion did not start\n");
        status = 1;
    } else {
        int shown = -1;
        while (!atomic_load(&g_done) && !g_interrupted) {
            int pos = atomic_load(&g_pos);
            if (pos != shown) printf("progress %d%%\n", shown = pos);
            fflush(stdout);
            usleep(100 * 1000);
        }
        if (g_interrupted) {
            printf("stopped\n");
            status = 130;
        } else if (atomic_load(&g_failed)) {
            fprintf(stderr, "conversion failed\n");
            status = 1;
        } else {
            printf("progress 100%%\ndone: %s\n", dst);
        }
    }
    /* Every started job is stopped by the host, also after its last event. */
    tarsa_sdk_stop(job);
    tarsa_sdk_destroy(job);
    tarsa_sdk_cleanup();
    return status;
}
