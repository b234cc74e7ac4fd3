// The command lines of a merge: one per source that turns it into its
// temporary transport stream, and the one that joins the temporaries.
#ifndef TARSA_CVT_MERGE_CMD_H
#define TARSA_CVT_MERGE_CMD_H

#include "core/rtkit.h"

struct merge_info;
struct file_info;

// The line that transcodes one source into its temporary, into cmd
// (CMD_BUF_SIZE bytes). 1 built, 0 not. Rewrites the job's quality for an
// NVIDIA encoder, and an A-law audio choice to AAC (transport streams of
// the job then never carry A-law, nor does the joined destination).
int get_merge_tmp_cmd(merge_info *info, file_info *source, char *cmd);
// The line that joins the temporaries of `ls_file_list` (elements:
// file_info *), in list order, into the job's destination. 1 built, 0 not.
int get_merge_cmd(merge_info *info, adt_dlist *ls_file_list, char *cmd);

#endif
