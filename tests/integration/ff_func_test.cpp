// The rules behind facts read from sources: the NAL framing of a key packet
// and the length of raw H.264 (on real files: the probe tests).
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "ff/ff_func.h"

namespace {

// A key packet starts with a start code unless its first four bytes read as
// the length of the rest; the length of raw H.264 is whole packets over the
// whole-number frame rate.
TEST(KeyPacketFraming, StartCodeOrLengthPrefixAndRawLength)
{
    const struct { std::vector<uint8_t> head; int size, expected; } rows[] = {
        {{0, 0, 1, 0}, 260, 1}, {{0, 0, 1, 0}, 300, 0}, {{0, 0, 1, 0x65}, 361, 1}, {{0, 0, 0, 1}, 100, 0},
        {{0, 0, 0, 1}, 5, 1}, {{0, 0, 0x0f, 0xa0}, 100, 1}, {{1, 2, 3, 4}, 100, 1},
        {{0, 0, 2, 0x10}, 4, 0}};  // the last too short to decide
    for (const auto &row : rows) {
        std::vector<uint8_t> packet(static_cast<size_t>(std::max(row.size, 8)), 0xAB);
        std::copy(row.head.begin(), row.head.end(), packet.begin());
        EXPECT_EQ(h2645_packet_is_length_prefixed(packet.data(), row.size), row.expected) << row.size;
    }
    EXPECT_EQ(h2645_packet_is_length_prefixed(nullptr, 260), 0);
    const double lengths[][4] = {{1500, 25, 1, 60}, {1500, 30000, 1001, 51}, {1499, 25, 1, 59}, {24, 25, 1, 0},
                                 {100, 0, 0, 0},    {100, 1, 2, 0},          {0, 25, 1, 0}};
    for (const auto &r : lengths)
        EXPECT_EQ(h264_duration_of(int64_t(r[0]), int(r[1]), int(r[2])), r[3]) << r[0] << " at " << r[1] << "/" << r[2];
}

}  // namespace
