// The text watermark of a conversion: a grid of drawtext filters.
#ifndef TARSA_MEDIA_WATERMARK_H
#define TARSA_MEDIA_WATERMARK_H

#include <string>

#include "tarsasdk.h"

// The filter graph of the grid into *filter, the value of one "-vf"
// argument: one drawtext entry per cell, separated by commas; "" when the
// grid has no cell. false (logged, *filter empty) for a grid too large to
// pass as one argument.
bool watermark_filter(const ot_ex &mark, std::string *filter);
// The text as it must stand between the quotes of text='...' in the filter
// graph so that the tool draws exactly this text, line breaks included.
std::string escape_watermark_text(const std::string &text);

#endif
