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
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
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
    if (!path)
        return nullptr;
    const char* opened = xf86openConfigFile("%A", path, "/usr/X11R6");
    if (!opened) {
        std::fputs("Corvex Twinscape: Couldn't open configuration file.\n", stdout);
        return nullptr;
    }
    std::printf("Corvex Twinscape: Configuration file (%s) opened.\n", opened);
    std::fflush(stdout);
    XF86ConfigPtr tree = xf86readConfigFile();
    if (!tree) {
        std::fputs("Corvex Twinscape: Couldn't parse the configuration file.\n", stderr);
        xf86closeConfigFile();
        return nullptr;
    }
    std::fputs("Corvex Twinscape: Configuration file parsed.\n", stderr);
    xf86closeConfigFile();
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
const char* const kSaved =
    "Changes have been saved to your configuration file. The previous file has been backed up.\n\n"
    "For changes to take effect, you must restart your X server.";

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

bool sync_dir(const std::string& dir)
{
    cvx::Fd fd = cvx::open_fd(dir.c_str(), O_RDONLY | O_DIRECTORY);
    return fd && ::fsync(fd.get()) == 0;
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

// Writes `data` to a new temporary beside `target`, flushed, with the mode
// and owner of `like`. On success `temp` names it; on failure nothing is left.
bool write_temp_beside(const std::string& target, const std::string& data, const struct stat& like,
                       std::string& temp)
{
    std::string pattern = dir_of(target) + "/." + base_of(target) + ".cvx-XXXXXX";
    cvx::Fd fd(::mkostemp(pattern.data(), O_CLOEXEC));
    if (!fd)
        return false;
    bool ok = cvx::write_synced(fd.get(), data) && ::fchmod(fd.get(), like.st_mode & 07777) == 0;
    if (ok && (like.st_uid != ::geteuid() || like.st_gid != ::getegid()))
        ok = ::fchown(fd.get(), like.st_uid, like.st_gid) == 0;
    ok = fd.close() && ok;
    if (!ok) {
        int saved = errno;
        ::unlink(pattern.c_str());
        errno = saved;
        return false;
    }
    temp = pattern;
    return true;
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

bool confSaveConfiguration(const char* configPath, const char* backupPath, XF86ConfigPtr tree,
                           std::string& message)
{
    if (!configPath || !tree || !*configPath || (backupPath && !*backupPath)) {
        message = kWriteError;
        return false;
    }
    const std::string config(configPath), backup(backupPath ? backupPath : "");

    std::string oldText;
    struct stat oldStat {};
    if (!read_file(config, oldText, oldStat))
        return backup_failed(backup, std::strerror(errno), message);
    struct stat backupStat {};
    if (backupPath && (config == backup || (::stat(backup.c_str(), &backupStat) == 0 &&
                                            backupStat.st_dev == oldStat.st_dev && backupStat.st_ino == oldStat.st_ino)))
        return backup_failed(backup, "it is the configuration file itself", message);

    // The library gives no text for a tree it cannot write faithfully (a
    // quote inside a name, say): that is a failed write, never an empty file.
    const std::string newText = confConfigText(tree);
    std::string newTemp;
    if (newText.empty() || !write_temp_beside(config, newText, oldStat, newTemp)) {
        message = kWriteError;
        return false;
    }
    reach(SAVE_NEW_FILE_WRITTEN);

    std::string backupTemp;
    if (!backupPath) {
        // No copy asked for: only the atomic replace below.
    } else if (!write_temp_beside(backup, oldText, oldStat, backupTemp)) {
        int saved = errno;
        ::unlink(newTemp.c_str());
        return backup_failed(backup, std::strerror(saved), message);
    }
    if (backupPath) {
        reach(SAVE_BACKUP_WRITTEN);
        if (::rename(backupTemp.c_str(), backup.c_str()) != 0) {
            int saved = errno;
            ::unlink(backupTemp.c_str());
            ::unlink(newTemp.c_str());
            return backup_failed(backup, std::strerror(saved), message);
        }
        sync_dir(dir_of(backup));
        reach(SAVE_BACKUP_IN_PLACE);
    }

    if (::rename(newTemp.c_str(), config.c_str()) != 0) {
        ::unlink(newTemp.c_str());
        message = kWriteError;
        return false;
    }
    sync_dir(dir_of(config));
    reach(SAVE_NEW_FILE_IN_PLACE);
    message = kSaved;
    return true;
}
