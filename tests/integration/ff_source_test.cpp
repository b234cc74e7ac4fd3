// Reading sources in-process: the length of raw H.264 streams of any size,
// and no wait for ever on a source that delivers nothing.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <future>
#include <string>

#include "ff/ff_func.h"
#include "media/hwd.h"
#include "test_util.h"

namespace {

TEST(FfSource, RawH264DurationCountsEveryPacketButTheLast)
{
    tt::TempDir dir;
    // 25 fps: 75 packets -> 74 / 25 = 2; 250 packets -> 249 / 25 = 9.
    for (const auto &c : {std::make_pair(3, 2.0), std::make_pair(10, 9.0)}) {
        const std::string path = dir.file(std::to_string(c.first) + "s.h264");
        ASSERT_TRUE(tt::ffmpeg_generate({"-f", "lavfi", "-i",
                                         "testsrc=size=160x120:rate=25:duration=" + std::to_string(c.first), "-c:v",
                                         "libx264", "-f", "h264", path}));
        EXPECT_EQ(get_h264_duration(path.c_str()), c.second) << c.first << " s";
    }
}

TEST(FfSource, StalledSourceFailsWithinTheProbeTimeout)
{
    tt::ScopedEnv timeout("TARSASDK_PROBE_TIMEOUT", "1");
    tt::TempDir dir;
    const std::string fifo = dir.file("silent.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // A TCP peer that takes the connection (in its backlog) and never sends.
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    ASSERT_EQ(listen(listener, 4), 0);
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr *>(&addr), &len), 0);
    const std::string tcp = "tcp://127.0.0.1:" + std::to_string(ntohs(addr.sin_port));

    const std::function<int(const char *)> reads[] = {
        [](const char *s) { return static_cast<int>(get_h264_duration(s)); },
        [](const char *s) { return is_h2645_mp4toannexb(s); },
        [](const char *s) { return is_use_hwd_decodec(s, 0); },
    };
    for (const std::string &source : {fifo, tcp}) {
        for (const auto &read : reads) {
            SCOPED_TRACE(source);
            const auto start = std::chrono::steady_clock::now();
            auto result = std::async(std::launch::async, read, source.c_str());
            const bool ended = result.wait_for(std::chrono::seconds(3)) == std::future_status::ready;
            EXPECT_TRUE(ended);
            if (!ended && source == fifo) close(open(fifo.c_str(), O_WRONLY | O_NONBLOCK));  // lets the open see an end
            if (!ended && source == tcp && listener >= 0) close(listener), listener = -1;  // resets the waiting connection
            EXPECT_EQ(result.get(), 0);
            if (ended) {
                EXPECT_LT(tt::ms_since(start), 2500);
            }
        }
    }
    if (listener >= 0) close(listener);
}

}  // namespace
