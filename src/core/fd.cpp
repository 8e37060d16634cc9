// Owned file descriptors and whole-buffer writes.
#include "core/fd.h"

#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace cvx {

namespace {

int above_stdio(int fd) noexcept
{
    if (fd < 0 || fd > 2)
        return fd;
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    const int saved = errno;
    ::close(fd);
    errno = saved;
    return moved;
}

}  // namespace

Fd::Fd(int fd) noexcept : m_fd(above_stdio(fd)) {}

Fd::~Fd()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

Fd::Fd(Fd&& other) noexcept : m_fd(other.release()) {}

Fd& Fd::operator=(Fd&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = other.release();
    }
    return *this;
}

int Fd::release() noexcept
{
    return std::exchange(m_fd, -1);
}

bool Fd::close() noexcept
{
    const int fd = release();
    return fd < 0 || ::close(fd) == 0;
}

Fd open_fd(const char* path, int flags, mode_t mode) noexcept
{
    return Fd(::open(path, flags | O_CLOEXEC, mode));
}

bool write_all(int fd, std::string_view data) noexcept
{
    const char* p = data.data();
    size_t left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return false;
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

bool read_all(int fd, std::string& out)
{
    char chunk[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return true;
        out.append(chunk, static_cast<size_t>(n));
    }
}

bool write_synced(int fd, std::string_view data) noexcept
{
    return write_all(fd, data) && ::fsync(fd) == 0;
}

}  // namespace cvx
