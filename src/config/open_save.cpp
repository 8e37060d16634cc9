// Opening the configuration file into the tree, the adjustments made right
// after the board is found, writing, and the save sequence.
//
// The save sequence never leaves the administrator without a working file:
// the new text goes to a temporary beside the file (mode 0600, then the old
// file's mode and owner), is flushed to disk, the old bytes are copied to the
// backup path the same way, and only then does one rename put the new file in
// place. At every instant the configuration path holds the complete old or
// the complete new file; a failure before the last rename changes nothing
// there.
//
// It runs as root on names in directories others may own, so it never looks
// a name up from the root again: the directories are held open from the
// moment the file is parsed, every step works relative to them without
// following links, and the file must still be the one that was parsed.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include "config/config.h"
#include "config/internal.h"
#include "config/save.h"
#include "core/fd.h"

namespace cvx::config {
SaveStepHook save_step_hook = nullptr;
std::string board_busid;
}

ConfOpenedFile confOpenedFile;

namespace {

// An earlier run may have left a layout under the name the edited one gets:
// the server would start the first of the two and the next open might edit
// the other. The namesakes get a name of their own.
void rename_namesakes(XF86ConfigPtr tree, XF86ConfLayoutPtr edited)
{
    const std::vector<XF86ConfLayoutPtr> layouts = xf86layouts(tree);
    auto taken = [&](const std::string& name) {
        for (XF86ConfLayoutPtr layout : layouts)
            if (xf86nameCompare(layout->identifier, name) == 0)
                return true;
        return false;
    };
    for (XF86ConfLayoutPtr other : layouts) {
        if (other == edited || xf86nameCompare(other->identifier, edited->identifier) != 0)
            continue;
        std::string name = edited->identifier + " (earlier)";
        for (int n = 2; taken(name); ++n)
            name = edited->identifier + " (earlier " + std::to_string(n) + ")";
        other->identifier = name;
    }
}

}  // namespace

using namespace cvx::config;

// ---------------------------------------------------------------- opening

XF86ConfigPtr getConfigPtr(const char* path)
{
    confOpenedFile = ConfOpenedFile{};
    if (!path)
        return nullptr;
    // The library decides which paths count (absolute ones only); the bytes
    // are read once, through the directory the save will work in, and that
    // very text is parsed.
    const char* found = xf86openConfigFile("%A", path, "/usr/X11R6");
    const std::string opened = found ? found : "";
    xf86closeConfigFile();
    ConfOpenedFile file;
    if (!found || !confAdoptOpenedFile(opened.c_str(), file)) {
        std::fputs("Corvex Twinscape: Couldn't open configuration file.\n", stdout);
        return nullptr;
    }
    std::printf("Corvex Twinscape: Configuration file (%s) opened.\n", opened.c_str());
    std::fflush(stdout);
    XF86ConfigPtr tree = xf86parseConfigText(file.text, opened.c_str());
    if (!tree) {
        std::fputs("Corvex Twinscape: Couldn't parse the configuration file.\n", stderr);
        return nullptr;
    }
    std::fputs("Corvex Twinscape: Configuration file parsed.\n", stderr);
    confOpenedFile = std::move(file);
    return confPrepareTree(tree);
}

XF86ConfigPtr confPrepareTree(XF86ConfigPtr tree)
{
    if (!tree)
        return nullptr;
    // Minimal modern files (only a Device, only InputClass sections, nothing
    // at all) are completed rather than refused.
    confCompleteTree(tree);
    XF86ConfLayoutPtr layout = first_layout(tree);
    bool named = layout == default_layout(tree);
    layout->identifier = "Corvex Twinscape configured.";
    rename_namesakes(tree, layout);
    // Keep DefaultServerLayout pointing at the renamed layout, or the server
    // would find no layout of that name.
    if (named)
        xf86addNewOption(xf86serverFlags(tree)->options, "DefaultServerLayout", layout->identifier);
    return tree;
}

void confSetBoardBusID(XF86ConfigPtr tree, int bus, int device)
{
    if (!tree)
        return;
    char busid[100];
    std::snprintf(busid, sizeof busid, "PCI:%d:%d:0", bus, device);
    confSetBusID(tree, busid);
}

void confSetBusID(XF86ConfigPtr tree, const char* busid)
{
    if (!tree || !busid)
        return;
    board_busid = busid;
    for (XF86ConfDevicePtr d : xf86devices(tree))
        if (is_cvx_device(*d))
            d->busid = board_busid;
}

unsigned char confSetSingleHeadAtStartup(XF86ConfigPtr tree)
{
    if (confPairViewIsActive(tree))
        wasSingleHeadAtStartup = 0;
    else
        wasSingleHeadAtStartup = confCloneIsActive(tree) ? 0 : 1;
    return wasSingleHeadAtStartup;
}

// ---------------------------------------------------------------- writing

unsigned char confWriteConfigFile(const char* path, XF86ConfigPtr tree)
{
    if (!tree || !path)
        return 0;
    if (confMergedFBIsActive(tree))
        confGenerateMetaModes(tree);
    return xf86writeConfigFile(path, tree) ? 1 : 0;
}

std::string confConfigText(XF86ConfigPtr tree)
{
    if (!tree)
        return {};
    if (confMergedFBIsActive(tree))
        confGenerateMetaModes(tree);
    return xf86writeConfigText(tree);
}

// ---------------------------------------------------------------- the save sequence

namespace {

const char* const kWriteError =
    "ERROR: The configuration file couldn't be written to. Settings haven't been changed.";
const char* const kChanged =
    "ERROR: The configuration file has been changed by another program since it was opened. "
    "Settings haven't been changed.";
const char* const kSaved =
    "Changes have been saved to your configuration file. The previous file has been backed up.\n\n"
    "For changes to take effect, you must restart your X server.";

// Far above any real configuration, as the library's own limit: a wrong path
// (a disk image, a log) must not exhaust memory.
constexpr off_t kMaxFileSize = off_t(256) << 20;

std::string dir_of(const std::string& path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string base_of(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void reach(int step)
{
    if (save_step_hook)
        save_step_hook(step);
}

cvx::Fd hold_dir_of(const std::string& path)
{
    return cvx::open_fd(dir_of(path).c_str(), O_RDONLY | O_DIRECTORY);
}

// Whether `path`'s directory is still the one held in `dir`.
bool leads_to(const std::string& path, const cvx::Fd& dir)
{
    struct stat named {}, held {};
    return ::stat(dir_of(path).c_str(), &named) == 0 && ::fstat(dir.get(), &held) == 0 &&
           named.st_dev == held.st_dev && named.st_ino == held.st_ino;
}

bool read_file(const std::string& path, std::string& out, struct stat& st)
{
    cvx::Fd fd = cvx::open_fd(path.c_str(), O_RDONLY);
    if (!fd || ::fstat(fd.get(), &st) != 0)
        return false;
    if (!S_ISREG(st.st_mode)) {
        errno = EINVAL;
        return false;
    }
    out.clear();
    return cvx::read_all(fd.get(), out);
}

// The regular file `name` in `dir`, never through a link (nor blocking on a
// FIFO planted under the name).
bool read_regular_at(int dir, const std::string& name, std::string& out, struct stat& st)
{
    cvx::Fd fd(::openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd || ::fstat(fd.get(), &st) != 0)
        return false;
    if (!S_ISREG(st.st_mode)) {
        errno = EINVAL;
        return false;
    }
    if (st.st_size > kMaxFileSize) {
        errno = EFBIG;
        return false;
    }
    out.clear();
    return cvx::read_all(fd.get(), out);
}

enum class OnDisk { Same, Changed, Unreadable };

// Whether the path still leads to the file that was parsed, unchanged: the
// same directory, the same file, size and modification time, the same bytes.
OnDisk compare_with_disk(const ConfOpenedFile& opened)
{
    if (!leads_to(opened.path, opened.dir))
        return OnDisk::Changed;
    struct stat st {};
    if (::fstatat(opened.dir.get(), opened.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? OnDisk::Changed : OnDisk::Unreadable;
    if (!S_ISREG(st.st_mode) || st.st_dev != opened.dev || st.st_ino != opened.ino || st.st_size != opened.size ||
        st.st_mtim.tv_sec != opened.mtime.tv_sec || st.st_mtim.tv_nsec != opened.mtime.tv_nsec)
        return OnDisk::Changed;
    std::string now;
    if (!read_regular_at(opened.dir.get(), opened.name, now, st))
        return errno == ENOENT || errno == ELOOP ? OnDisk::Changed : OnDisk::Unreadable;
    if (st.st_dev != opened.dev || st.st_ino != opened.ino || now != opened.text)
        return OnDisk::Changed;
    return OnDisk::Same;
}

std::string random_suffix()
{
    static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[6] = {};
    if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        struct timespec now {};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        unsigned long seed = static_cast<unsigned long>(now.tv_nsec) ^ static_cast<unsigned long>(::getpid());
        for (unsigned char& b : bytes) {
            b = static_cast<unsigned char>(seed);
            seed = seed * 6364136223846793005UL + 1442695040888963407UL;
            seed >>= 3;
        }
    }
    std::string out;
    for (unsigned char b : bytes)
        out += kChars[b % (sizeof kChars - 1)];
    return out;
}

// Writes `data` to a new temporary beside `target` in `dir`, flushed, with
// the recorded owner and mode. On success `temp` names it; on failure
// nothing is left.
bool write_temp_at(int dir, const std::string& target, const std::string& data, const ConfOpenedFile& like,
                   std::string& temp)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = "." + target + ".cvx-" + random_suffix();
        cvx::Fd fd(::openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!fd) {
            if (errno == EEXIST)
                continue;
            return false;
        }
        bool ok = cvx::write_synced(fd.get(), data);
        // The owner first: giving a file away clears its set-id bits.
        if (ok && (like.uid != ::geteuid() || like.gid != ::getegid()))
            ok = ::fchown(fd.get(), like.uid, like.gid) == 0;
        ok = ok && ::fchmod(fd.get(), like.mode & 07777) == 0;
        ok = fd.close() && ok;
        if (!ok) {
            int saved = errno;
            ::unlinkat(dir, name.c_str(), 0);
            errno = saved;
            return false;
        }
        temp = name;
        return true;
    }
    errno = EEXIST;
    return false;
}

bool backup_failed(const std::string& backup, const char* reason, std::string& message)
{
    message = "ERROR: The previous configuration file couldn't be backed up to " + backup + " (" + reason +
              "). Settings haven't been changed.";
    return false;
}

}  // namespace

bool confReadConfigFile(const char* path, std::string& text)
{
    struct stat st {};
    if (!path || !read_file(path, text, st)) {
        text.clear();
        return false;
    }
    return true;
}

bool confAdoptOpenedFile(const char* path, ConfOpenedFile& out)
{
    out = ConfOpenedFile{};
    if (!path || !*path) {
        errno = ENOENT;
        return false;
    }
    ConfOpenedFile file;
    file.path = path;
    file.name = base_of(file.path);
    if (file.name.empty()) {
        errno = EISDIR;
        return false;
    }
    file.dir = hold_dir_of(file.path);
    struct stat st {};
    if (!file.dir || !read_regular_at(file.dir.get(), file.name, file.text, st))
        return false;
    file.dev = st.st_dev;
    file.ino = st.st_ino;
    file.size = st.st_size;
    file.mtime = st.st_mtim;
    file.uid = st.st_uid;
    file.gid = st.st_gid;
    file.mode = st.st_mode;
    out = std::move(file);
    return true;
}

void confAdoptBackupPath(ConfOpenedFile& file, const char* backupPath)
{
    file.backupPath.reset();
    file.backupDir = cvx::Fd();
    file.backupName.clear();
    file.backupError = 0;
    if (!backupPath)
        return;
    file.backupPath = backupPath;
    file.backupName = base_of(backupPath);
    if (!*backupPath)
        file.backupError = ENOENT;
    else if (file.backupName.empty())
        file.backupError = EISDIR;
    else if (!(file.backupDir = hold_dir_of(backupPath)))
        file.backupError = errno;
}

bool confSaveConfiguration(const ConfOpenedFile& opened, XF86ConfigPtr tree, std::string& message)
{
    if (!tree || !opened.dir) {
        message = kWriteError;
        return false;
    }
    const int dir = opened.dir.get();
    const bool keep = opened.backupPath.has_value();
    const std::string backup = opened.backupPath.value_or("");
    const int backupDir = opened.backupDir.get();

    // Someone else's edit since the parse would be lost (and a different
    // file behind the name would be replaced): refuse before writing anything.
    auto refuse_unless_unchanged = [&]() {
        switch (compare_with_disk(opened)) {
        case OnDisk::Same:
            return false;
        case OnDisk::Changed:
            message = kChanged;
            return true;
        case OnDisk::Unreadable:
            backup_failed(backup, std::strerror(errno), message);
            return true;
        }
        return true;
    };
    if (refuse_unless_unchanged())
        return false;
    if (keep) {
        if (opened.backupError)
            return backup_failed(backup, std::strerror(opened.backupError), message);
        if (!leads_to(backup, opened.backupDir))
            return backup_failed(backup, "its folder has been moved or replaced since the file was opened", message);
        struct stat st {};
        if (backup == opened.path ||
            (::fstatat(backupDir, opened.backupName.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
             st.st_dev == opened.dev && st.st_ino == opened.ino))
            return backup_failed(backup, "it is the configuration file itself", message);
    }

    // The library gives no text for a tree it cannot write faithfully (a
    // quote inside a name, say): that is a failed write, never an empty file.
    const std::string newText = confConfigText(tree);
    std::string newTemp;
    if (newText.empty() || !write_temp_at(dir, opened.name, newText, opened, newTemp)) {
        message = kWriteError;
        return false;
    }
    reach(SAVE_NEW_FILE_WRITTEN);

    std::string backupTemp;
    if (keep) {
        if (!write_temp_at(backupDir, opened.backupName, opened.text, opened, backupTemp)) {
            int saved = errno;
            ::unlinkat(dir, newTemp.c_str(), 0);
            return backup_failed(backup, std::strerror(saved), message);
        }
        reach(SAVE_BACKUP_WRITTEN);
    }
    // Once more right before anything is replaced: a change while the
    // temporaries were written still leaves both files as they were.
    if (refuse_unless_unchanged()) {
        if (keep)
            ::unlinkat(backupDir, backupTemp.c_str(), 0);
        ::unlinkat(dir, newTemp.c_str(), 0);
        return false;
    }
    if (keep) {
        if (::renameat(backupDir, backupTemp.c_str(), backupDir, opened.backupName.c_str()) != 0) {
            int saved = errno;
            ::unlinkat(backupDir, backupTemp.c_str(), 0);
            ::unlinkat(dir, newTemp.c_str(), 0);
            return backup_failed(backup, std::strerror(saved), message);
        }
        ::fsync(backupDir);
        reach(SAVE_BACKUP_IN_PLACE);
    }

    if (::renameat(dir, newTemp.c_str(), dir, opened.name.c_str()) != 0) {
        ::unlinkat(dir, newTemp.c_str(), 0);
        message = kWriteError;
        return false;
    }
    ::fsync(dir);
    reach(SAVE_NEW_FILE_IN_PLACE);
    message = kSaved;
    return true;
}
