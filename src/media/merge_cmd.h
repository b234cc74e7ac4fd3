// The commands of a merge: one per source that turns it into its temporary
// transport stream, and the one that joins the temporaries.
#ifndef TARSA_MEDIA_MERGE_CMD_H
#define TARSA_MEDIA_MERGE_CMD_H

#include <string>
#include <vector>

#include "media/job_desc.h"

// The transcode of d.src_file into its temporary d.dst_file, program first.
// d.dst is the merge's choice after merge_codecs. No format is named: the
// tool takes it from the temporary's ".ts". A re-encoded picture is fitted
// into d.fit_width x d.fit_height when those are set.
std::vector<std::string> get_merge_tmp_cmd(const job_desc &d);
// The join of `tmp_files`, in their order, into d.dst_file through the
// tool's concat input, program first. d.dst as for the temporaries.
std::vector<std::string> get_merge_cmd(const job_desc &d, const std::vector<std::string> &tmp_files);

#endif
