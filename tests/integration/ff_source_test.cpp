// Facts read from sources: the rules of NAL framing and raw H.264 length (on
// real files: the probe tests); a source that delivers nothing (a FIFO nobody
// writes, a TCP peer that never sends) ends after the probe deadline instead of
// waiting for ever: in-process, through the probe tool and at job creation.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "ff/ff_func.h"
#include "jobs.h"
#include "media/hwd.h"
#include "processes.h"

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

TEST(StalledSource, FailsWithinTheProbeTimeout)
{
    tt::sdk_startup();
    tt::ScopedEnv timeout("TARSASDK_PROBE_TIMEOUT", "1");
    tt::TempDir dir;
    const std::string fifo = dir.file("silent.mp4");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    int listener = socket(AF_INET, SOCK_STREAM, 0);  // takes the connection (in its backlog)
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    ASSERT_EQ(listen(listener, 4), 0);
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr *>(&addr), &len), 0);
    const std::string tcp = "tcp://127.0.0.1:" + std::to_string(ntohs(addr.sin_port));

    const cvt_param_v1 cvt = tt::cvt_params({6, 0, 0, 1, 23});
    const std::string out = dir.file("out.flv");
    const std::function<int(const char *)> in_process[] = {
        [](const char *s) { return static_cast<int>(get_h264_duration(s)); },
        [](const char *s) { return is_use_hwd_decodec(s, 0); },
    }, by_tool[] = {
        [](const char *s) { return tarsa_sdk_probe(s); },
        [](const char *s) { probe_result r = {}; return tarsa_sdk_probe_ex(s, &r); },
        [&](const char *s) { return int(tarsa_sdk_create_v1(s, out.c_str(), &cvt) != TARSA_INVALID_HANDLE); },
    };
    std::vector<std::pair<std::string, std::function<int(const char *)>>> cases;
    for (const auto &read : in_process) cases.insert(cases.end(), {{fifo, read}, {tcp, read}});
    for (const auto &read : by_tool) cases.push_back({fifo, read});
    for (const auto &c : cases) {
        SCOPED_TRACE(c.first + " #" + std::to_string(&c - &cases[0]));
        const auto start = std::chrono::steady_clock::now();
        auto result = std::async(std::launch::async, c.second, c.first.c_str());
        const bool ended = result.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
        EXPECT_TRUE(ended);
        if (!ended && c.first == fifo) close(open(fifo.c_str(), O_WRONLY | O_NONBLOCK));  // lets the open see an end
        if (!ended && c.first == tcp && listener >= 0) close(listener), listener = -1;  // resets the waiting connection
        EXPECT_EQ(result.get(), 0);
        if (ended) { EXPECT_LT(tt::ms_since(start), 4500); }
    }
    if (listener >= 0) close(listener);
    EXPECT_TRUE(tt::child_pids().empty());
}

}  // namespace
