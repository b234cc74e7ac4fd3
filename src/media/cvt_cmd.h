// The conversion command: the tool, hardware set-up and decoder, the input,
// an option block from the job's parameters, options and encoders, and the
// output.
#ifndef TARSA_MEDIA_CVT_CMD_H
#define TARSA_MEDIA_CVT_CMD_H

#include <string>
#include <vector>

#include "media/job_desc.h"

// The argument list, program first. Empty only when the watermark grid is
// too large to pass (logged).
std::vector<std::string> get_cvt_cmd(const job_desc &d);

#endif
