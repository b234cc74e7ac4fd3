// The cut command: one of nine fixed templates, chosen by the destination
// container (none given / "mp4" with faststart / other) and by how the
// video travels (copied from a "mov" source / copied from another source /
// re-encoded).
#ifndef TARSA_MEDIA_CUT_CMD_H
#define TARSA_MEDIA_CUT_CMD_H

#include <string>
#include <vector>

#include "media/job_desc.h"

// The argument list, program first.
std::vector<std::string> get_cut_cmd(const job_desc &d);

#endif
