// Anonymous pipes on POSIX: creation, peeking, waiting and reading.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"

namespace {

// Moves fd above the standard descriptors. A host that closed its stdin or
// stdout would otherwise get a pipe end as 0..2, and the child's set-up
// (dup2 onto 0..2) would then clobber or keep it in the wrong place.
int above_std(int fd)
{
    if (fd > 2) return fd;
    int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    int saved = errno;
    close(fd);
    errno = saved;
    return moved;
}

}  // namespace

int os_pipe_create(int *read_fd, int *write_fd)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return -1;
    fds[0] = above_std(fds[0]);
    fds[1] = above_std(fds[1]);
    if (fds[0] < 0 || fds[1] < 0) {
        int saved = errno;
        if (fds[0] >= 0) close(fds[0]);
        if (fds[1] >= 0) close(fds[1]);
        errno = saved;
        return -1;
    }
    *read_fd = fds[0];
    *write_fd = fds[1];
    return 0;
}

int os_fd_bytes_waiting(int fd)
{
    int count = 0;
    if (ioctl(fd, FIONREAD, &count) != 0) return -1;
    return count;
}

int os_fd_poll(int fd, int timeout_ms)
{
    struct pollfd p = {fd, POLLIN, 0};
    int n;
    while ((n = poll(&p, 1, timeout_ms)) < 0 && errno == EINTR) {
    }
    if (n < 0) return -1;
    if (n == 0) return 0;
    if (p.revents & POLLNVAL) {
        errno = EBADF;
        return -1;
    }
    int bits = 0;
    if (p.revents & POLLIN) bits |= OS_POLL_IN;
    if (p.revents & (POLLHUP | POLLERR)) bits |= OS_POLL_HUP;
    return bits;
}

long os_fd_read(int fd, void *buf, size_t size)
{
    ssize_t n;
    while ((n = read(fd, buf, size)) < 0 && errno == EINTR) {
    }
    return static_cast<long>(n);
}

void os_fd_close(int fd)
{
    // Linux releases the descriptor even when close reports EINTR, so it
    // is never retried.
    if (fd >= 0) close(fd);
}

int os_last_error(void) { return errno; }
