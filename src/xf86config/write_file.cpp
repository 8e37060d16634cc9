// Writing the tree to a file. The library sits below the project's core, so
// it keeps its own whole-file write: every byte (after short writes and
// EINTR), then fsync, so that a reported success means the file is on disk.
#include "xf86config/write.h"

#include <cerrno>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool write_whole(int fd, std::string_view data) noexcept
{
    const char* p = data.data();
    std::size_t left = data.size();
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
        left -= static_cast<std::size_t>(n);
    }
    return ::fsync(fd) == 0;
}

}  // namespace

int xf86writeConfigFile(const char* filename, XF86ConfigPtr tree)
{
    if (!filename || !tree)
        return 0;
    std::string out;
    if (!cvx::xf86config::detail::write::render(tree, out))
        return 0;
    // No symbolic links, only plain files of our own: the file may sit in a
    // world-writable directory. Truncate only after those checks.
    int fd = ::open(filename, O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
    if (fd < 0) {
        ErrorF("Unable to open %s for writing.\n", filename);
        return 0;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid() || ftruncate(fd, 0) != 0) {
        ErrorF("Refusing to write %s: not a plain file of this user.\n", filename);
        ::close(fd);
        return 0;
    }
    bool ok = write_whole(fd, out);
    if (::close(fd) != 0)
        ok = false;
    if (!ok)
        ErrorF("Writing %s failed.\n", filename);
    return ok ? 1 : 0;
}
