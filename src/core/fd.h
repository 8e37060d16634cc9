// Owned file descriptors and whole-buffer writes: the one way the program
// holds and writes files.
#pragma once

#include <string>
#include <string_view>

#include <sys/types.h>

namespace cvx {

// Owns one descriptor and closes it once. A descriptor taken over that is one
// of 0-2 (the process may start with a standard stream closed) is first moved
// above 2, so that a stray write to standard output never lands in our file;
// -1 when that move fails.
class Fd {
public:
    Fd() noexcept = default;
    explicit Fd(int fd) noexcept;
    ~Fd();
    Fd(Fd&& other) noexcept;
    Fd& operator=(Fd&& other) noexcept;
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int get() const noexcept { return m_fd; }
    explicit operator bool() const noexcept { return m_fd >= 0; }
    // Gives the descriptor up without closing it.
    int release() noexcept;
    // Closes now; false when close reports an error (written data may be lost).
    bool close() noexcept;

private:
    int m_fd = -1;
};

// open(2) with O_CLOEXEC added.
Fd open_fd(const char* path, int flags, mode_t mode = 0) noexcept;

// Writes all of `data`, going on after short writes and EINTR.
// Async-signal-safe.
bool write_all(int fd, std::string_view data) noexcept;

// Appends everything left to read from `fd` to `out`, going on after EINTR.
bool read_all(int fd, std::string& out);

// A whole file's content: write_all, then fsync, so that the bytes are on
// the disk when it returns true.
bool write_synced(int fd, std::string_view data) noexcept;

}  // namespace cvx
