// Identifier tables: container formats, video codecs, audio codecs.
// Filled at start-up, read afterwards from any thread without a lock.
#include "media/fmt_table.h"

#include <cstring>

#include "core/rtkit.h"

namespace {

struct fmt_table {
    fmt_info rows[FMT_TABLE_SIZE];
    int32_t count;
};

fmt_table s_fmt_tables[3];

fmt_table *table_of(int kind)
{
    if (kind < FMT_KIND_F || kind > FMT_KIND_A) return nullptr;
    return &s_fmt_tables[kind];
}

int id_by_name(int kind, const char *name)
{
    if (!name) {
        LOG_INFO("fmt == NULL");
        return -1;
    }
    const fmt_table *t = table_of(kind);
    for (int i = 0; i < t->count; i++)
        if (std::strcmp(t->rows[i].name, name) == 0) return t->rows[i].id;
    return FMT_ID_DEFAULT;
}

// The row of `id`, else the "default" row. Never NULL once the table is
// filled; an empty table (before start-up) yields a static empty row.
const fmt_info *row_by_id(int kind, int id)
{
    static const fmt_info empty_row = {FMT_ID_DEFAULT, "", ""};
    const fmt_table *t = table_of(kind);
    for (int i = 0; i < t->count; i++)
        if (t->rows[i].id == id) return &t->rows[i];
    if (id != FMT_ID_DEFAULT) return row_by_id(kind, FMT_ID_DEFAULT);
    return &empty_row;
}

}  // namespace

void add_fmt(int kind, int id, const char *name, const char *cmd_name)
{
    if (!name) {
        LOG_INFO("fmt == NULL");
        return;
    }
    fmt_table *t = table_of(kind);
    if (!t || t->count >= FMT_TABLE_SIZE) return;  // a full table takes no more rows
    fmt_info *row = &t->rows[t->count];
    std::memset(row, 0, sizeof *row);
    row->id = id;
    str_copy(row->name, sizeof row->name, name);
    str_copy(row->cmd_name, sizeof row->cmd_name, cmd_name ? cmd_name : name);
    t->count++;
}

int fmt_table_count(int kind)
{
    const fmt_table *t = table_of(kind);
    return t ? t->count : 0;
}

void init_fmt_table(void)
{
    static const char *const formats[] = {"sdv", "hik", "dh", "h264", "mp4", "asf", "mpegts", "flv", "avi", "mp4"};
    for (int id = 0; id < 10; id++) add_fmt(FMT_KIND_F, id, formats[id], nullptr);
    add_fmt(FMT_KIND_F, FMT_ID_DEFAULT, "default", nullptr);

    add_fmt(FMT_KIND_V, 0, "mpeg2video", "mpeg2video");
    add_fmt(FMT_KIND_V, 1, "h264", "libx264");
    add_fmt(FMT_KIND_V, 2, "h264 (Baseline)", "libx264 -profile:v baseline");
    add_fmt(FMT_KIND_V, 3, "h264 (High)", "libx264 -profile:v high");
    add_fmt(FMT_KIND_V, 4, "h264 (Main)", "libx264 -profile:v main");
    add_fmt(FMT_KIND_V, 5, "mpeg4", "mpeg4");
    add_fmt(FMT_KIND_V, 6, "hevc", "libx265");
    add_fmt(FMT_KIND_V, 7, "traw", "traw");
    add_fmt(FMT_KIND_V, 8, "tdaw", "tdaw");
    add_fmt(FMT_KIND_V, FMT_ID_DEFAULT, "default", "libx264");

    add_fmt(FMT_KIND_A, 0, "mp2", "mp2");
    add_fmt(FMT_KIND_A, 1, "mp3", "mp3");
    add_fmt(FMT_KIND_A, 2, "aac", "libfdk_aac");
    add_fmt(FMT_KIND_A, 3, "pcm_alaw", "pcm_alaw");
    add_fmt(FMT_KIND_A, FMT_ID_DEFAULT, "default", "libfdk_aac");
}

int get_f_fmt_id(const char *name) { return id_by_name(FMT_KIND_F, name); }
int get_v_fmt_id(const char *name) { return id_by_name(FMT_KIND_V, name); }
int get_a_fmt_id(const char *name) { return id_by_name(FMT_KIND_A, name); }
const char *get_f_fmt_name(int id) { return row_by_id(FMT_KIND_F, id)->name; }
const char *get_v_fmt_name(int id) { return row_by_id(FMT_KIND_V, id)->name; }
const char *get_a_fmt_name(int id) { return row_by_id(FMT_KIND_A, id)->name; }
const char *get_f_fmt_cmd(int id) { return row_by_id(FMT_KIND_F, id)->cmd_name; }
const char *get_v_fmt_cmd(int id) { return row_by_id(FMT_KIND_V, id)->cmd_name; }
const char *get_a_fmt_cmd(int id) { return row_by_id(FMT_KIND_A, id)->cmd_name; }
