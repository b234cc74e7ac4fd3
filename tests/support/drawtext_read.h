// How FFmpeg reads a one-filter drawtext graph back.
#ifndef TARSA_TEST_DRAWTEXT_READ_H
#define TARSA_TEST_DRAWTEXT_READ_H
#include <string>
namespace tt {
// The text drawtext draws (graph parser, option parser, text expansion), or a
// "<...>" note when the graph is not one drawtext filter or would expand "%".
std::string drawn_text(const std::string &graph);
}  // namespace tt
#endif
