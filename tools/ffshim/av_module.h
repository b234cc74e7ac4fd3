// Loads the tool layer's FFmpeg-backed module on demand (and asks the stock
// program where the module's libraries are not the stock build's own).
#ifndef TARSA_FFSHIM_AV_MODULE_H
#define TARSA_FFSHIM_AV_MODULE_H

#include <string>

namespace ffshim {

// 1 / 0 as the stock build at `program` has the encoder; -1 when that
// cannot be told.
int stock_has_encoder(const std::string &program, const char *name);
// 1 length-prefixed, 0 not, -1 when the module is missing.
int input_is_length_prefixed(const std::string &path);

}  // namespace ffshim

#endif
