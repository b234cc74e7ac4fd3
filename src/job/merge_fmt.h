// What the sources of a merge have in common: container format, video codec
// and audio codec identifiers, as the destination choice takes them.
#ifndef TARSA_SDK_MERGE_FMT_H
#define TARSA_SDK_MERGE_FMT_H

#include "core/rtkit.h"

// The identifier of the name that every source (elements: file_info *)
// reports; sources with an empty name before the first named one are
// passed over. 255 when they differ, when no source names one or the name
// is not in the table; -1 for no list.
int get_merge_f_fmt_id(adt_dlist *ls_src_file);
int get_merge_v_fmt_id(adt_dlist *ls_src_file);
int get_merge_a_fmt_id(adt_dlist *ls_src_file);
// The first source's picture size into *width and *height, and true, when
// another source has a picture of another size; false (nothing written)
// when all pictures are alike or the first source has none.
bool get_merge_fit_size(adt_dlist *ls_src_file, uint32_t *width, uint32_t *height);

#endif
