/*
 * tarsasdk — probe media files and run conversion, cut and merge jobs
 * through the FFmpeg programs.
 *
 * What the library does
 * ---------------------
 * tarsasdk does no transcoding itself. It composes command lines for the
 * programs `ffmpeg` and `ffprobe` that lie in the library's own directory,
 * runs them as child processes (never through a shell), reads their output
 * line by line and turns it into probe results, positions and events.
 *
 * Life of the library
 *   tarsa_sdk_startup() once, from one thread, before any probe or job;
 *   tarsa_sdk_cleanup() only clears the started flag.
 *   Register the event callback (tarsa_sdk_set_mess_callback) and, if wanted,
 *   run hardware detection (tarsa_register_hwd) before starting jobs.
 *
 * Life of a job (conversion, cut and merge alike)
 *   create -> options (tarsa_sdk_set_option_param) -> start
 *          -> events on the callback and/or polling of the position
 *          -> stop -> destroy.
 *   The job's own thread never ends the job: every started job must be
 *   stopped (or destroyed, which stops it) by the host, also after its final
 *   event. A stopped job may be started again.
 *   A merge that keeps the size (width, height 0) of sources with pictures of
 *   different sizes gives one size throughout, the first source's: the others
 *   are re-encoded into it, aspect kept, centred between black bars.
 *
 * Events and threads
 *   The callback runs on the job's monitor thread (for merges: the merge
 *   worker thread), never on the thread that called into the library.
 *   Several jobs may call it at the same time. Codes:
 *     100 conversion position (p2 = percent); the last event of every
 *         conversion is 100 with p2 = 100, also after a failure or a stop.
 *     101 conversion failed (p1 = destination name, p2 = its length);
 *         followed by 100/100.
 *     200 cut position; 100 only on success.
 *     201 cut failed (p1/p2 = destination name/length); nothing after it.
 *     300 merge overall position; 100 on success or a stop while joining.
 *     301 one merge source could not be transcoded (p1/p2 = its name/length);
 *         return -1 from the callback to abort the merge, anything else to
 *         go on without that source. A source without a video stream (audio
 *         only) gets 301 too: the joined result would silently lack it.
 *     302 merge failed (p1/p2 = destination name/length).
 *   A stopped cut, and a merge stopped before joining, end with no event.
 *   Before a final success event is delivered, the library probes the
 *   destination and logs the verdict.
 *   A tool that exits non-zero or is killed while the job runs fails the
 *   job (101 then 100/100, 201, 301 for that source, 302), even when it
 *   reported progress; a tool that exits 0 is judged by its progress lines.
 *   A job's final events follow its tool's end at once (no wait for the
 *   destination's size to settle).
 *
 * Ownership
 *   Job handles belong to the host from create to destroy. Nothing that the
 *   library returns has to be freed by the host. Strings passed in are copied.
 *   Create functions return TARSA_INVALID_HANDLE (all bits set), never NULL,
 *   on failure.
 *
 * File names
 *   UTF-8. Input that is not valid UTF-8 is taken as GB18030 and converted.
 *   Names must fit 259 bytes; a double quote is an ordinary character.
 *   The tools run with the library's directory as working directory, so
 *   pass absolute names: a relative name is looked up there.
 *   Names holding a control character (a byte below 0x20: line breaks, tabs,
 *   escapes) are refused by the probes, every create and merge add, with a
 *   log line: the tools print names as they are.
 *   A job never writes over its source: create (all kinds) and merge add
 *   refuse a destination that is the same file as a source (same device and
 *   file when both exist, same resolved name otherwise; "./x", "a/../x" and
 *   symbolic links included), with a log line.
 *   A watermark text's line break reaches the tool as backslash, backslash,
 *   "n"; FFmpeg's drawtext draws that as the letter n, not as a break.
 *
 * What the probe trusts
 *   The probe reads ffprobe's human-readable report, in which a file's
 *   metadata (titles, comments, handler names, chapter titles) appears as
 *   written, line breaks included. Each field is taken only from the line
 *   the tool itself writes for it, at its exact indentation and prefix
 *   ("Input #0", "  Duration: ", "  Stream #N:M...: Video: "/"Audio: "),
 *   never from inside a metadata block; job progress is taken only from the
 *   tool's status lines ("frame=... time=... bitrate=..."). A file whose
 *   stream language holds a line break yields no stream fields at all
 *   rather than forged ones.
 *
 * Log
 *   One line per message: "YYYY-MM-DD HH:MM:SS.mmm [info] file: F line: N msg".
 *   Destination: the file named by the environment variable TARSASDK_LOG
 *   (appended), "off" for none, standard error when unset.
 *   On memory exhaustion the library logs a "[fatal]" line and aborts.
 *
 * Child processes
 *   The `ffmpeg` and `ffprobe` beside the library are its tool layer; each
 *   runs the stock FFmpeg program of its name: on Linux the one in the
 *   directory fixed when the library was built (/usr/bin by default), on
 *   Windows (`ffmpeg.exe`, `ffprobe.exe`) the one in the folder `stock`
 *   beside the tool; the environment variable TARSASDK_FFMPEG_DIR names
 *   another directory. On Windows the stock program runs in a job object
 *   that ends it with its tool.
 *   Every tool the library starts carries TARSASDK_HOST=<pid>:<start time>
 *   in its environment; tarsa_sdk_startup kills tools whose host is gone.
 *   The library kills what it starts when a job ends or is stopped.
 *   The tools watch the process that started them and end themselves (and
 *   the stock program under them) within a second of its death, for every
 *   probe and job, so a killed host leaves no tool running.
 *   Probes and the library's own reads of a source (stream inspection,
 *   trial decodes) give up after TARSASDK_PROBE_TIMEOUT seconds (default
 *   15, 0 = no limit) on a source that delivers nothing; names that exist
 *   but are not regular files (FIFOs, devices) are not read in-process.
 *   Stop and destroy kill the job's tool first and return within about a
 *   second, also when the tool is silent or stopped (SIGSTOP).
 *   tarsa_sdk_get_ffmpeg_pid answers at once and takes no output from the
 *   job: the pid the tool printed on its first line, else the pid of the
 *   process the library started; -1 when the job is not running.
 *   A handle of another job kind (e.g. a cut's handle passed to
 *   tarsa_sdk_stop) is refused like NULL, with a log line.
 *
 * Thread safety
 *   Lifecycle, callback registration, hardware detection and the merge
 *   temporary directory are set from one thread before jobs run. Probes and
 *   the exports of different jobs may be called from several threads; the
 *   exports of one job are called from one thread at a time.
 */
#ifndef TARSASDK_H
#define TARSASDK_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#  if defined(TARSA_BUILDING_LIBRARY)
#    define TARSA_API __declspec(dllexport)
#  else
#    define TARSA_API __declspec(dllimport)
#  endif
#else
#  define TARSA_API __attribute__((visibility("default")))
#endif

/* Value returned by the create functions on failure (all bits set). */
#define TARSA_INVALID_HANDLE ((void *)(intptr_t)-1)

/* ---------------------------------------------------------------------------
 * Event codes (see the opening section)
 * ------------------------------------------------------------------------- */
enum tarsa_event {
    TARSA_EVENT_CVT_POS = 100,
    TARSA_EVENT_CVT_FAIL = 101,
    TARSA_EVENT_CUT_POS = 200,
    TARSA_EVENT_CUT_FAIL = 201,
    TARSA_EVENT_MERGE_POS = 300,
    TARSA_EVENT_MERGE_SRC_FAIL = 301,
    TARSA_EVENT_MERGE_FAIL = 302
};

/* Job kind tag: the first 32-bit field of every job record. */
enum tarsa_job_kind {
    TARSA_JOB_CONVERT = 0,
    TARSA_JOB_CUT = 1,
    TARSA_JOB_MERGE = 2
};

/*
 * Event callback. `handle` is the job, `code` an event code, `p1` 0 or a
 * pointer to a zero-terminated name valid only during the call, `p2` a
 * position or that name's length, `user` the value given at registration.
 * The result matters only for event 301 (-1 aborts the merge).
 */
typedef int32_t (*tarsa_mess_callback)(void *handle, uint32_t code, intptr_t p1,
                                       uint32_t p2, void *user);

/* ---------------------------------------------------------------------------
 * Identifiers
 * ------------------------------------------------------------------------- */

/* Container formats (f_fmt). */
enum tarsa_f_fmt {
    F_FMT_SDV = 0, F_FMT_HIK = 1, F_FMT_DH = 2, F_FMT_H264 = 3, F_FMT_MP4 = 4,
    F_FMT_ASF = 5, F_FMT_MPEGTS = 6, F_FMT_FLV = 7, F_FMT_AVI = 8, F_FMT_MP4_2 = 9,
    FMT_DEFAULT = 255
};

/* Video codecs (v_fmt). */
enum tarsa_v_fmt {
    V_FMT_MPEG2VIDEO = 0, V_FMT_H264 = 1, V_FMT_H264_BASELINE = 2, V_FMT_H264_HIGH = 3,
    V_FMT_H264_MAIN = 4, V_FMT_MPEG4 = 5, V_FMT_HEVC = 6, V_FMT_TRAW = 7, V_FMT_TDAW = 8
};

/* Audio codecs (a_fmt). */
enum tarsa_a_fmt {
    A_FMT_MP2 = 0, A_FMT_MP3 = 1, A_FMT_AAC = 2, A_FMT_PCM_ALAW = 3
};

/*
 * Destination file types (dst_file_type): 1 "sdv", 2 raw "h264", 3 and 4
 * "mp4", 5 "avi", 6 "flv"; any other value lets the tool choose the container
 * from the destination's name. The type also selects the allowed codecs
 * (tarsa_sdk_get_vcodec_id_compatible, tarsa_sdk_get_acodec_id_compatible).
 */

/* Hardware kinds (hwd_type). */
enum tarsa_hwd_type {
    HWD_TYPE_NVIDIA = 0,
    HWD_TYPE_INTEL = 1,
    HWD_TYPE_VAAPI = 2
};

/* Hardware mode of a job (usage_mode). */
enum tarsa_usage_mode {
    HWD_USAGE_AUTO = 0,   /* use what tarsa_register_hwd found */
    HWD_USAGE_NONE = 1,   /* software only */
    HWD_USAGE_TYPE = 2    /* use the job's hwd_type */
};

/* Option identifiers for tarsa_sdk_set_option_param. */
enum tarsa_opt_param_type {
    OPT_PARAM_TYPE_A_CODEC_ID = 0,        /* int32: wanted audio codec (a_fmt) */
    OPT_PARAM_TYPE_V_CODEC_ID = 1,        /* int32: wanted video codec (v_fmt) */
    OPT_PARAM_TYPE_OT = 2,                /* ot or ot_ex: text watermark grid */
    OPT_PARAM_TYPE_THREAD_NUM = 3,        /* int32: encoder threads */
    OPT_PARAM_TYPE_PRESET = 4,            /* text, at most 100 bytes with terminator */
    OPT_PARAM_TYPE_FRAME_NUM = 5,         /* int32: key-frame interval in frames */
    OPT_PARAM_TYPE_IAUTO = 6,             /* presence: the tool ends with the host */
    OPT_PARAM_TYPE_MOVFLAGS_FASTSTART = 7 /* int32: 0 disables faststart for mp4 */
};

/* ---------------------------------------------------------------------------
 * Records (field order and sizes are part of the binary interface)
 * ------------------------------------------------------------------------- */

/* What probing a file yields. The library never clears it: zero it first. */
typedef struct probe_result {
    int32_t duration;   /* whole seconds */
    int32_t width;
    int32_t height;
    char f_fmt[30];     /* container, e.g. "mpegts", "mov" */
    char v_fmt[30];     /* e.g. "hevc", "h264 (High)" */
    char a_fmt[30];     /* e.g. "aac" */
} probe_result;

typedef struct probe_result_ex {
    probe_result result;
    char video_detailed_param[256]; /* last video stream line of the tool */
    char audio_detailed_param[256]; /* last audio stream line of the tool */
} probe_result_ex;

/* Text watermark, drawn as a row_num x col_num grid (option 2). */
typedef struct ot {
    int32_t row_num;
    int32_t col_num;
    int32_t font_size;
    int32_t transparency; /* percent */
    int32_t angle;
    char font_color[16];
    char text[1024];
} ot;

typedef struct ot_ex {
    int32_t row_num;
    int32_t col_num;
    int32_t font_size;
    int32_t transparency;
    int32_t angle;
    char font_color[16];
    char text[1024];
    char reserved[260];
    int32_t x_offset;     /* added to every entry's x, pixels */
    int32_t y_offset;     /* added to every entry's y, pixels */
} ot_ex;

typedef struct cvt_param {
    int32_t dst_file_type;
    uint32_t width;        /* 0 and 0 keep the source size */
    uint32_t height;
    uint32_t audio_enable; /* 0 drops the audio */
    int32_t quality;       /* video -q:v */
} cvt_param;

typedef struct cvt_param_v1 {
    cvt_param cvt_param;
    uint32_t usage_mode;   /* tarsa_usage_mode */
    int32_t hwd_type;      /* tarsa_hwd_type, with HWD_USAGE_TYPE */
    char reserved[256];
} cvt_param_v1;

/* Filled by the conversion and merge starts: what the job will write. */
typedef struct dst_info {
    uint32_t video_copy;
    uint32_t audio_copy;
    char f_fmt[30];
    char v_fmt[30];
    char a_fmt[30];
} dst_info;

typedef struct cut_param {
    int32_t dst_file_type;
    uint32_t width;
    uint32_t height;
    int32_t start_time;    /* seconds from the start of the source */
    int32_t cut_length;    /* seconds */
    uint32_t force_encode; /* non-zero: re-encode even where copying is possible */
    uint32_t audio_enable;
    int32_t quality;
} cut_param;

typedef struct cut_param_v1 {
    cut_param cut_param;
    uint32_t usage_mode;
    int32_t hwd_type;
    char reserved[256];
} cut_param_v1;

typedef struct merge_param {
    uint32_t dst_file_type;
    uint32_t width;
    uint32_t height;
    uint32_t audio_enable;
    int32_t quality;
} merge_param;

typedef struct merge_param_v1 {
    merge_param merge_param;
    uint32_t usage_mode;
    int32_t hwd_type;
    char reserved[256];
} merge_param_v1;

/* One detected hardware kind. */
typedef struct hwd_dev {
    int32_t hwd_type;
    char reserved[32];
    int32_t decode[2];    /* [0] H.264, [1] HEVC decoder opened */
    int32_t encode[2];    /* [0] H.264, [1] HEVC encoder opened */
} hwd_dev;

typedef struct hwd_dev_info {
    hwd_dev dev[3];
    int32_t hwd_num;      /* filled entries */
} hwd_dev_info;

/* ---------------------------------------------------------------------------
 * Lifecycle
 * ------------------------------------------------------------------------- */

/* Queries the tool version, kills orphaned tools of an earlier host, sets the
 * tool paths and fills the tables. Returns 1 (also when a step failed; see
 * the log). A second call while started does nothing. Blocks while the
 * version query runs. */
TARSA_API int tarsa_sdk_startup(void);

/* Clears the started flag; frees and stops nothing. Returns 1. */
TARSA_API int tarsa_sdk_cleanup(void);

/* 1 after tarsa_sdk_startup, 0 before it and after tarsa_sdk_cleanup. */
TARSA_API int tarsa_sdk_is_startup(void);

/* Registers the one event callback of the library (NULL switches events
 * off). Returns 1. Call it before starting jobs. */
TARSA_API int tarsa_sdk_set_mess_callback(tarsa_mess_callback callback, void *user);

/* ---------------------------------------------------------------------------
 * Probing (blocks the caller while ffprobe runs)
 * ------------------------------------------------------------------------- */

/* 1 when ffprobe reports a container format for the file, else 0. */
TARSA_API int tarsa_sdk_probe(const char *filename);

/* 1 and the filled record, or 0. Zero the record first. */
TARSA_API int tarsa_sdk_probe_ex(const char *filename, probe_result *result);

/* As tarsa_sdk_probe_ex, plus the last video and audio stream lines. */
TARSA_API int tarsa_sdk_probe_ex2(const char *filename, probe_result_ex *result);

/* ---------------------------------------------------------------------------
 * Options of any job (before its start)
 * ------------------------------------------------------------------------- */

/* Stores a copy of `size` bytes under `id` (replacing an earlier value) in
 * the options of a live job of any kind. Returns 1 stored, 0 not stored. */
TARSA_API int tarsa_sdk_set_option_param(void *handle, uint32_t id, const void *data,
                                         int32_t size);

/* ---------------------------------------------------------------------------
 * Conversion
 * ------------------------------------------------------------------------- */

/* Probes the source and creates a job. Returns the handle, or
 * TARSA_INVALID_HANDLE. tarsa_sdk_create uses usage_mode 0, hwd_type -1. */
TARSA_API void *tarsa_sdk_create(const char *src_file, const char *dst_file,
                                 const cvt_param *param);
TARSA_API void *tarsa_sdk_create_v1(const char *src_file, const char *dst_file,
                                    const cvt_param_v1 *param);

/* Position 0..100 (100 once the job has ended, also on failure), -1 for NULL. */
TARSA_API int tarsa_sdk_get_pos(void *handle);

/* Starts the tool and the monitor. Fills `info` (may be NULL; pass it
 * zeroed). Returns 1 started, 0 not started. Stop a started job first
 * before starting it again. */
TARSA_API int tarsa_sdk_start(void *handle);
TARSA_API int tarsa_sdk_start_ex(void *handle, dst_info *info);

/* Stops a job: kills its tool, joins its monitor, closes the pipe. Blocks
 * until the monitor has ended. 1, or 0 for NULL. Safe on a stopped job. */
TARSA_API int tarsa_sdk_stop(void *handle);

/* Stops and frees the job. 1, or 0 for NULL. The handle is invalid after. */
TARSA_API int tarsa_sdk_destroy(void *handle);

/* ---------------------------------------------------------------------------
 * Cut
 * ------------------------------------------------------------------------- */

/* A start beyond the source's probed length (whole seconds, rounded down)
 * is refused: that part does not exist, and the tool would write an empty
 * file and report success. */
TARSA_API void *tarsa_sdk_cut_create(const char *src_file, const char *dst_file,
                                     const cut_param *param);
TARSA_API void *tarsa_sdk_cut_create_v1(const char *src_file, const char *dst_file,
                                        const cut_param_v1 *param);
/* Position 0..100; stays below 100 after a failed or stopped cut; -1 for NULL. */
TARSA_API int tarsa_sdk_cut_get_pos(void *handle);
TARSA_API int tarsa_sdk_cut_start(void *handle);
TARSA_API int tarsa_sdk_cut_stop(void *handle);
TARSA_API int tarsa_sdk_cut_destroy(void *handle);

/* ---------------------------------------------------------------------------
 * Merge
 * ------------------------------------------------------------------------- */

/* The destination name must contain a directory part. */
TARSA_API void *tarsa_sdk_merge_create(const char *dst_file, const merge_param *param);
TARSA_API void *tarsa_sdk_merge_create_v1(const char *dst_file, const merge_param_v1 *param);

/* Probes and appends a source (at most 64). 1 added, 0 refused. */
TARSA_API int tarsa_sdk_merge_add_file(void *handle, const char *src_file);

/* Removes the first source with that name. 1 (also when none matched),
 * 0 for NULL or an over-long name. */
TARSA_API int tarsa_sdk_merge_del_file(void *handle, const char *src_file);

/* Library-wide directory for the merge temporaries (created if its parent
 * exists). Affects sources added afterwards. 1 done, 0 refused.
 * Without it each temporary lies beside the destination. Temporaries are
 * named "merge_tmp_file-<process id>-<n>.ts", so that hosts merging into one
 * directory at the same time never share one, and a name whose file exists
 * is passed over: a temporary is written over and then removed. */
TARSA_API int tarsa_sdk_merge_set_tmp_path(const char *path);

/* Overall position 0..100, -1 for NULL. */
TARSA_API int tarsa_sdk_merge_get_pos(void *handle);

/* Starts the merge worker (needs at least two sources). 1 or 0. */
TARSA_API int tarsa_sdk_merge_start(void *handle);
TARSA_API int tarsa_sdk_merge_start_ex(void *handle, dst_info *info);

/* Stops the worker, its tools and removes the temporaries; empties the
 * source list. 1, or 0 for NULL. */
TARSA_API int tarsa_sdk_merge_stop(void *handle);
TARSA_API int tarsa_sdk_merge_destroy(void *handle);

/* ---------------------------------------------------------------------------
 * Codec compatibility of destination file types
 * ------------------------------------------------------------------------- */

/* 1 when the destination file type lists the codec, else 0. */
TARSA_API int tarsa_sdk_get_vcodec_id_compatible(int32_t dst_file_type, int32_t v_codec_id);
TARSA_API int tarsa_sdk_get_acodec_id_compatible(int32_t dst_file_type, int32_t a_codec_id);

/* ---------------------------------------------------------------------------
 * Hardware acceleration
 * ------------------------------------------------------------------------- */

/* Detects the first usable kind (NVIDIA, Intel, VA-API) for automatic mode.
 * 1 found (later calls return 1 at once), 0 none (a later call tries again).
 * May take long; call it before starting jobs. */
TARSA_API int tarsa_register_hwd(void);

/* Runs detection into the host's record. 1 found, 0 none or NULL. */
TARSA_API int tarsa_sdk_find_usr_hwd(hwd_dev_info *dev_info);

/* ---------------------------------------------------------------------------
 * Processes
 * ------------------------------------------------------------------------- */

/* Process id of a running conversion's ffmpeg, or -1. Reads (and consumes)
 * lines of the tool's output; blocks for up to about five seconds. */
TARSA_API int tarsa_sdk_get_ffmpeg_pid(void *handle);

/* Kills the process with that id. A pid of 0 or less does nothing. */
TARSA_API void tarsa_sdk_kill_pid(int pid);

#ifdef __cplusplus
}
#endif

#endif /* TARSASDK_H */
