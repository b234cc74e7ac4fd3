// The library's core services: lists with their own lock, the log and
// bounded string copies. The platform services (threads, sleep, name
// conversion, files, processes) come with it through platform/platform.h.
#ifndef TARSA_SUPPORT_RTKIT_H
#define TARSA_SUPPORT_RTKIT_H

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

// ---------------------------------------------------------------- lists
// A doubly linked list of fixed-size elements (callers store one pointer
// each). The list does not lock by itself: callers hold adt_dlist_lock
// around walks and changes that another thread can meet.
struct adt_dlist;
struct adt_dlist_node;

adt_dlist *adt_dlist_create(size_t elem_size);
// Copies elem_size bytes from elem into a new node at the tail. `where` is
// always 0. Returns 1, or 0 when no memory.
int adt_dlist_add(adt_dlist *list, int where, const void *elem);
adt_dlist_node *adt_dlist_head(adt_dlist *list);
adt_dlist_node *adt_dlist_next(adt_dlist_node *node);
void *adt_dlist_getdata(adt_dlist_node *node);
int adt_dlist_size(adt_dlist *list);
// Frees the node, not what its element points to.
void adt_dlist_delete(adt_dlist *list, adt_dlist_node *node);
// As adt_dlist_delete; returns the node that followed.
adt_dlist_node *adt_dlist_delete_ex(adt_dlist *list, adt_dlist_node *node);
// Frees an emptied list (remaining nodes are freed too).
void adt_dlist_destroy(adt_dlist *list);
void adt_dlist_lock(adt_dlist *list);
void adt_dlist_unlock(adt_dlist *list);

// ---------------------------------------------------------------- log
// One line is built in steps under the log lock: lock, date stamp, pieces,
// last piece + emit + unlock. Lines of different threads never interleave.
void log_buf_lock(void);
void log_buf_date(void);
void log_buf_msg(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
void log_buf_msg_unlock(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
// End a line with msg, emit and flush it, then abort the process.
[[noreturn]] void log_buf_quit_unlock(const char *msg);
[[noreturn]] void err_buf_quit_unlock(const char *msg);
// A whole line without level or source position.
void log_msg(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
void log_debug_ex(int level, const char *file, int line, const char *fmt, ...)
    __attribute__((format(printf, 4, 5)));

// Receives every emitted line (with its stamp, without the line break) in
// addition to the log destination. For tests; NULL removes it.
typedef void (*log_sink_fn)(const char *line, void *ctx);
void log_set_sink(log_sink_fn sink, void *ctx);

#define TARSA_FILE_BASE \
    (__builtin_strrchr(__FILE__, '/') ? __builtin_strrchr(__FILE__, '/') + 1 : __FILE__)

// "[info] file: <base name> line: <n> <message>"
#define LOG_INFO(...)                                                               \
    do {                                                                            \
        log_buf_lock();                                                             \
        log_buf_date();                                                             \
        log_buf_msg("[info] file: %s line: %d ", TARSA_FILE_BASE, __LINE__);        \
        log_buf_msg_unlock(__VA_ARGS__);                                            \
    } while (0)

// "[fatal] file: <base name> line: <n> <message>", then the process ends.
#define LOG_FATAL(msg)                                                              \
    do {                                                                            \
        log_buf_lock();                                                             \
        log_buf_date();                                                             \
        log_buf_msg("[fatal] file: %s line: %d ", TARSA_FILE_BASE, __LINE__);       \
        log_buf_quit_unlock(msg);                                                   \
    } while (0)

#define ERR_FATAL(msg)                                                              \
    do {                                                                            \
        log_buf_lock();                                                             \
        log_buf_date();                                                             \
        log_buf_msg("[fatal] file: %s line: %d ", TARSA_FILE_BASE, __LINE__);       \
        err_buf_quit_unlock(msg);                                                   \
    } while (0)

#define LOG_DEBUG(level, ...) log_debug_ex((level), TARSA_FILE_BASE, __LINE__, __VA_ARGS__)

// Bounded copy that always terminates (dst_size > 0). Returns the bytes copied.
size_t str_copy(char *dst, size_t dst_size, const char *src);

#endif
