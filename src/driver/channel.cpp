// One exchange over the driver command channel.
//
// The two files have fixed names in a world-writable directory and the tool
// runs as root, so neither is opened through a symbolic link: the command
// file is created 0600 or reused only when it is a regular, singly linked file
// of ours; the reply is read only from a regular file of root, of us, or of
// the user the X server runs as. Anything else makes the exchange fail.
#include "driver/channel.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/c_ptr.h"
#include "core/fd.h"
#include "core/globals.h"
#include "core/paths.h"
#include "core/x_error.h"

namespace cvx::driver {

namespace {

// The user the X server runs as, when the connection is a local socket.
bool server_uid(Display* display, uid_t* uid)
{
    struct ucred cred {};
    socklen_t len = sizeof cred;
    if (getsockopt(ConnectionNumber(display), SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || len != sizeof cred)
        return false;
    *uid = cred.uid;
    return true;
}

}  // namespace

bool write_command_file(const std::string& path, const std::string& command)
{
    // O_NONBLOCK: opening a planted FIFO must not hang the tool.
    const int flags = O_WRONLY | O_NOFOLLOW | O_NONBLOCK;
    Fd fd = open_fd(path.c_str(), flags | O_CREAT | O_EXCL, 0600);
    if (!fd && errno == EEXIST)
        fd = open_fd(path.c_str(), flags);
    if (!fd)
        return false;
    struct stat st {};
    // A second link would let the truncation reach another file of ours.
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid() || st.st_nlink != 1)
        return false;
    if ((st.st_mode & 07777) != 0600 && fchmod(fd.get(), 0600) != 0)
        return false;
    // Overwrite, then cut to length: truncating to zero first makes ext4
    // flush the old blocks (its replace-by-truncate heuristic), which costs
    // milliseconds per command.
    if (!write_all(fd.get(), command) || ftruncate(fd.get(), static_cast<off_t>(command.size())) != 0)
        return false;
    return fd.close();
}

void remove_reply_file(const std::string& path)
{
    // unlink removes a link itself, never its target.
    unlink(path.c_str());
}

bool read_reply_file(const std::string& path, char* reply, int size, Display* display)
{
    Fd fd = open_fd(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
    if (!fd)
        return false;
    struct stat st {};
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    uid_t xuid = 0;
    const bool trusted = st.st_uid == 0 || st.st_uid == geteuid() ||
                         (display && server_uid(display, &xuid) && st.st_uid == xuid);
    if (!trusted)
        return false;
    CPtr<FILE, fclose> file(fdopen(fd.get(), "r"));
    if (!file)
        return false;
    fd.release();
    if (!std::fgets(reply, size, file.get()))
        reply[0] = '\0';
    file.reset();
    // Delete what was read, not whatever may have been put at the name since.
    struct stat now {};
    if (lstat(path.c_str(), &now) == 0 && now.st_dev == st.st_dev && now.st_ino == st.st_ino)
        unlink(path.c_str());
    return true;
}

unsigned char exchange(const char* command, char* reply, int reply_size, XF86VidModeModeLine* modeLine,
                       Display* display, int screen)
{
    if (reply_size > 0)
        reply[0] = '\0';
    if (!write_command_file(paths::driver_in(), command))
        return 0;
    modeLine->flags |= CVX_DRIVER_COMMAND_MARKER;
    const std::string out = paths::driver_out();
    // Only a reply written during this request is an answer.
    remove_reply_file(out);

    Bool sent = False;
    {
        XErrorScope scope(display);
        sent = XF86VidModeModModeLine(display, screen, modeLine);
        if (scope.failed())
            return 0;
    }
    if (!read_reply_file(out, reply, reply_size, display))
        return 0;
    return sent ? 1 : 0;
}

}  // namespace cvx::driver

unsigned char SendCVXCmd(const char* command, char* reply, XF86VidModeModeLine* modeLine, Display* display)
{
    return cvx::driver::exchange(command, reply, CVX_DRIVER_REPLY_READ, modeLine, display, CurrentScreen);
}
