// The descriptor table: the platform interface hands out ints, Win32 has
// HANDLEs. Descriptors start at 3 so that none looks like a standard stream.
#include "platform/win32/handles.h"

#include <mutex>
#include <vector>

#include "platform/platform.h"

namespace {

constexpr int k_first_fd = 3;
constexpr size_t k_max_handles = 4096;

std::mutex s_lock;
std::vector<HANDLE> s_handles;  // index + k_first_fd is the descriptor

}  // namespace

int handle_add(HANDLE h)
{
    std::lock_guard<std::mutex> hold(s_lock);
    for (size_t i = 0; i < s_handles.size(); i++) {
        if (s_handles[i] == INVALID_HANDLE_VALUE) {
            s_handles[i] = h;
            return static_cast<int>(i) + k_first_fd;
        }
    }
    if (s_handles.size() >= k_max_handles) {
        SetLastError(ERROR_TOO_MANY_OPEN_FILES);
        return -1;
    }
    try {
        s_handles.push_back(h);
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return -1;
    }
    return static_cast<int>(s_handles.size()) - 1 + k_first_fd;
}

HANDLE handle_get(int fd)
{
    if (fd == 2) return GetStdHandle(STD_ERROR_HANDLE);
    std::lock_guard<std::mutex> hold(s_lock);
    size_t i = static_cast<size_t>(fd - k_first_fd);
    if (fd < k_first_fd || i >= s_handles.size()) return INVALID_HANDLE_VALUE;
    return s_handles[i];
}

HANDLE handle_take(int fd)
{
    std::lock_guard<std::mutex> hold(s_lock);
    size_t i = static_cast<size_t>(fd - k_first_fd);
    if (fd < k_first_fd || i >= s_handles.size()) return INVALID_HANDLE_VALUE;
    HANDLE h = s_handles[i];
    s_handles[i] = INVALID_HANDLE_VALUE;
    return h;
}

bool utf8_to_wide(const std::string &in, std::wstring *out)
{
    out->clear();
    if (in.empty()) return true;
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, in.data(), static_cast<int>(in.size()), nullptr, 0);
    if (n <= 0) return false;
    out->resize(static_cast<size_t>(n));
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, in.data(), static_cast<int>(in.size()), &(*out)[0], n) == n;
}

std::string wide_to_utf8(const std::wstring &in)
{
    if (in.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, in.data(), static_cast<int>(in.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, in.data(), static_cast<int>(in.size()), &out[0], n, nullptr, nullptr);
    return out;
}
