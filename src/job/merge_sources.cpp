// Merge sources: added (probed and named for their temporary at once),
// removed, and the directory of the temporaries.
#include "job/merge_sources.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "tool/probe.h"
#include "ff/ff_func.h"
#include "job/host_name.h"
#include "job/job_records.h"
#include "platform/platform.h"
#include "core/rtkit.h"

char s_tmp_path[MAX_PATH];
std::atomic<int32_t> s_tmp_file_index{0};
const char s_merge_tmp_file_ext[] = "ts";

namespace {

#ifdef _WIN32
constexpr char kDirSeparator = '\\';
#else
constexpr char kDirSeparator = '/';
#endif

file_info *entry_of(adt_dlist_node *node) { return *static_cast<file_info **>(adt_dlist_getdata(node)); }

}  // namespace

int merge_add_source(merge_info *info, const char *src_file)
{
    if (!src_file) {
        LOG_INFO("src_file == NULL");
        return 0;
    }
    if (!check_job_file_name(src_file, "src_file") || !check_not_same_file(src_file, info->dst_file)) return 0;
    adt_dlist_lock(info->ls_src_file);
    const int size = adt_dlist_size(info->ls_src_file);
    adt_dlist_unlock(info->ls_src_file);
    if (size >= MAX_MERGE_FILE_NUM) {
        LOG_INFO("size >= MAX_MERGE_FILE_NUM");
        return 0;
    }
    probe_result result;
    std::memset(&result, 0, sizeof result);
    uint32_t h2645_mp4toannexb = 0;
    if (!internal_probe(src_file, &result, &h2645_mp4toannexb)) {
        LOG_INFO("!internal_probe(src_file, &result, &h2645_mp4toannexb)");
        return 0;
    }
    h2645_mp4toannexb = is_h2645_mp4toannexb(src_file) == 1 ? 1 : 0;
    // Named only now: a source the probe refused uses no number.
    char dst_file[MAX_PATH] = {0};
    if (!get_tmp_file_name(info->dst_path, s_merge_tmp_file_ext, dst_file)) {
        LOG_INFO("!get_tmp_file_name(merge_info->dst_path, s_merge_tmp_file_ext, dst_file)");
        return 0;
    }
    file_info *entry = new (std::nothrow) file_info();
    if (!entry) LOG_FATAL("file_info == NULL");
    entry->merge_info = info;
    str_copy(entry->src_file, sizeof entry->src_file, src_file);
    str_copy(entry->dst_file, sizeof entry->dst_file, dst_file);
    entry->result = result;
    entry->status.store(MERGE_STATUS_TYPE_NONE);
    entry->h2645_mp4toannexb = h2645_mp4toannexb;
    adt_dlist_lock(info->ls_src_file);
    const int added = adt_dlist_add(info->ls_src_file, 0, &entry);
    adt_dlist_unlock(info->ls_src_file);
    if (!added) LOG_FATAL("adt_dlist_add(merge_info->ls_src_file, 0, &file_info) == 0");
    return 1;
}

int merge_del_source(merge_info *info, const char *src_file)
{
    if (!src_file) {
        LOG_INFO("src_file == NULL");
        return 0;
    }
    if (std::strlen(src_file) >= MAX_PATH) {
        LOG_INFO("strlen(src_file) >= MAX_PATH");
        return 0;
    }
    adt_dlist *list = info->ls_src_file;
    adt_dlist_lock(list);
    for (adt_dlist_node *node = adt_dlist_head(list); node; node = adt_dlist_next(node)) {
        file_info *entry = entry_of(node);
        if (std::strcmp(entry->src_file, src_file) == 0) {
            adt_dlist_delete(list, node);
            delete entry;
            break;
        }
    }
    adt_dlist_unlock(list);
    return 1;
}


int get_file_path(const char *path, char *dir)
{
    if (!path || !dir) {
        LOG_INFO("path == NULL");
        return 0;
    }
    char copy[MAX_PATH] = {0};
    str_copy(copy, sizeof copy, path);
    for (size_t i = std::strlen(copy); i > 0; i--) {
        if (copy[i - 1] == '\\' || copy[i - 1] == '/') {
            copy[i] = '\0';
            str_copy(dir, MAX_PATH, copy);
            return 1;
        }
    }
    return 0;
}

int get_tmp_file_name(const char *dst_path, const char *ext, char *name)
{
    if (!dst_path || !ext || !name) {
        LOG_INFO("dst_path == NULL || ext == NULL || dst_file == NULL");
        return 0;
    }
    const char *dir = s_tmp_path[0] ? s_tmp_path : dst_path;
    // The temporaries are joined as "concat:a|b|c": a '|' in their
    // directory would split one name in two.
    if (std::strchr(dir, '|')) {
        LOG_INFO("strchr(dir, '|') != NULL");
        return 0;
    }
    // The process id keeps two hosts merging into one directory apart, and a
    // number whose file exists is passed over: a temporary is written over
    // and removed, so it must never be somebody else's file.
    for (int tries = 0; tries < 1000; tries++) {
        const int32_t index = s_tmp_file_index.fetch_add(1);
        const int n = std::snprintf(name, MAX_PATH, "%smerge_tmp_file-%d-%d.%s", dir, os_getpid(), index, ext);
        if (n < 0 || n >= MAX_PATH) {
            LOG_INFO("strlen(dst_file) >= MAX_PATH");
            break;
        }
        if (!os_exists(name)) return 1;
        LOG_INFO("temporary name taken by an existing file: %s", name);
    }
    name[0] = '\0';
    return 0;
}

int set_tmp_path(const char *path)
{
    const size_t len = path ? std::strlen(path) : 0;
    if (len == 0 || len >= MAX_PATH) {
        LOG_INFO("len == 0 || len >= MAX_PATH");
        return 0;
    }
    char tmp_path[MAX_PATH] = {0};
    const int n = path[len - 1] == kDirSeparator
                      ? std::snprintf(tmp_path, sizeof tmp_path, "%s", path)
                      : std::snprintf(tmp_path, sizeof tmp_path, "%s%c", path, kDirSeparator);
    if (n < 0 || n >= MAX_PATH) {
        LOG_INFO("strlen(tmp_path) >= MAX_PATH");
        return 0;
    }
    if (!os_exists(tmp_path) && os_mkdir(tmp_path) != 0) {
        LOG_INFO("_mkdir(tmp_path) != 0");
        return 0;
    }
    str_copy(s_tmp_path, sizeof s_tmp_path, tmp_path);
    return 1;
}
