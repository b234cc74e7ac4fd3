#include "job/merge_fmt.h"

#include <cstring>

#include "media/fmt_table.h"
#include "job/job_records.h"

namespace {

constexpr size_t kNameSize = 30;

typedef const char *(*name_field)(const probe_result &);
typedef int (*id_of_name)(const char *);

int common_id(adt_dlist *list, name_field field, id_of_name lookup)
{
    if (!list) {
        LOG_INFO("%s", "");
        return -1;
    }
    char fmt[kNameSize] = {0};
    bool differ = false;
    adt_dlist_lock(list);
    for (adt_dlist_node *node = adt_dlist_head(list); node; node = adt_dlist_next(node)) {
        const file_info *source = *static_cast<file_info **>(adt_dlist_getdata(node));
        const char *name = field(source->result);
        if (fmt[0] == '\0') {
            std::strncpy(fmt, name, sizeof fmt - 1);
            continue;
        }
        if (std::strncmp(name, fmt, sizeof fmt) != 0) {
            differ = true;
            break;
        }
    }
    adt_dlist_unlock(list);
    return differ ? FMT_ID_DEFAULT : lookup(fmt);
}

const char *f_fmt_of(const probe_result &r) { return r.f_fmt; }
const char *v_fmt_of(const probe_result &r) { return r.v_fmt; }
const char *a_fmt_of(const probe_result &r) { return r.a_fmt; }

}  // namespace

bool get_merge_fit_size(adt_dlist *ls_src_file, uint32_t *width, uint32_t *height)
{
    if (!ls_src_file) return false;
    int32_t first_w = 0, first_h = 0;
    bool differ = false;
    adt_dlist_lock(ls_src_file);
    for (adt_dlist_node *node = adt_dlist_head(ls_src_file); node; node = adt_dlist_next(node)) {
        const probe_result &r = (*static_cast<file_info **>(adt_dlist_getdata(node)))->result;
        if (node == adt_dlist_head(ls_src_file)) {
            first_w = r.width;
            first_h = r.height;
        } else if (r.width > 0 && r.height > 0 && (r.width != first_w || r.height != first_h)) {
            differ = true;
        }
    }
    adt_dlist_unlock(ls_src_file);
    if (!differ || first_w <= 0 || first_h <= 0) return false;
    *width = static_cast<uint32_t>(first_w);
    *height = static_cast<uint32_t>(first_h);
    return true;
}

int get_merge_f_fmt_id(adt_dlist *ls_src_file) { return common_id(ls_src_file, f_fmt_of, get_f_fmt_id); }
int get_merge_v_fmt_id(adt_dlist *ls_src_file) { return common_id(ls_src_file, v_fmt_of, get_v_fmt_id); }
int get_merge_a_fmt_id(adt_dlist *ls_src_file) { return common_id(ls_src_file, a_fmt_of, get_a_fmt_id); }
