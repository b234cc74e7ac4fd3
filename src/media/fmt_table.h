// Identifier tables of container formats, video codecs and audio codecs:
// probe names <-> identifiers <-> command-line names.
#ifndef TARSA_CVT_FMT_TABLE_H
#define TARSA_CVT_FMT_TABLE_H

#include <cstdint>

#define FMT_KIND_F 0
#define FMT_KIND_V 1
#define FMT_KIND_A 2
#define FMT_TABLE_SIZE 255
#define FMT_ID_DEFAULT 255

struct fmt_info {
    int32_t id;
    char name[30];
    char cmd_name[102];
};

void init_fmt_table(void);
void add_fmt(int kind, int id, const char *name, const char *cmd_name);
int fmt_table_count(int kind);

int get_f_fmt_id(const char *name);   // 255 for unknown names, -1 for NULL
int get_v_fmt_id(const char *name);
int get_a_fmt_id(const char *name);
const char *get_f_fmt_name(int id);   // never NULL (the "default" row for unknown ids)
const char *get_v_fmt_name(int id);
const char *get_a_fmt_name(int id);
const char *get_f_fmt_cmd(int id);
const char *get_v_fmt_cmd(int id);
const char *get_a_fmt_cmd(int id);

#endif
