// Any tool output through the probe's report parsing and the job monitors'
// line parsers, in lines as the runner hands them over (at most 4095 bytes).
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "media/parsers.h"
#include "tool/runner.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string out(reinterpret_cast<const char *>(data), size);
    report_state report = {};
    probe_result_ex r = {};
    uint32_t annexb = 0;
    int lines_read = 0;
    for (size_t at = 0; at < out.size();) {
        const size_t brk = out.find('\n', at);
        const size_t end = std::min({brk == std::string::npos ? out.size() : brk + 1, at + 4095});
        char line[4096] = {0}, copy[4096];
        std::memcpy(line, out.data() + at, end - at);
        at = end;
        const int time = get_buf_cur_time(line);
        FUZZ_CHECK(time == -1 || (time >= 0 && is_status_line(line)));
        const int before = lines_read;
        const int pid = get_first_line_pid(line, &lines_read);
        FUZZ_CHECK(lines_read == before + 1 && (pid == -1 || (before == 0 && std::strncmp(line, "PID =", 5) == 0)));
        FUZZ_CHECK(pid == -1 || pid == std::strtoll(line + 5, nullptr, 10));  // the number written, or none
        std::memcpy(copy, line, sizeof copy);
        const int any_pid = get_buf_pid(copy);  // never a number the line does not hold
        FUZZ_CHECK(any_pid < 1 || std::strstr(line, std::to_string(any_pid).c_str()));
        parse_probe_line(line, &report, &r.result, &annexb, &r);
    }
    for (const char *field : {r.result.f_fmt, r.result.v_fmt, r.result.a_fmt})
        FUZZ_CHECK(std::memchr(field, '\0', 30) != nullptr);
    return 0;
}
