// Start-up logic that needs no X server: the extension version test, the
// single-instance lock, the record of locked screens, path buffers and
// number formatting.
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "xf86config/xf86config.h"
#include "core/globals.h"
#include "core/locked_screens.h"
#include "core/paths.h"
#include "app/startup.h"
#include "shell/support.h"
#include "support/xserver.h"
#include "windows/win_open.h"

namespace {

TEST(VidModeVersion, OlderThanSixTenthsIsRefused)
{
    EXPECT_FALSE(cvx_vidmode_version_ok(0, 5));
    EXPECT_FALSE(cvx_vidmode_version_ok(0, 0));
    EXPECT_FALSE(cvx_vidmode_version_ok(-1, 9));
    EXPECT_TRUE(cvx_vidmode_version_ok(0, 6));
    EXPECT_TRUE(cvx_vidmode_version_ok(0, 8));
    EXPECT_TRUE(cvx_vidmode_version_ok(1, 0));
    EXPECT_TRUE(cvx_vidmode_version_ok(2, 0));
    EXPECT_TRUE(cvx_vidmode_version_ok(2, 2));
}

TEST(LockedScreens, TheRecordKeepsEachScreenAndRefusesNumbersOutsideIt)
{
    const int last = cvx::kMaxLockedScreens - 1;
    for (int outside : {-1, cvx::kMaxLockedScreens, 1 << 20}) {
        EXPECT_FALSE(cvx::mark_screen_locked(outside, true)) << outside;
        EXPECT_FALSE(cvx::screen_locked(outside)) << outside;
    }
    ASSERT_TRUE(cvx::mark_screen_locked(1, true));
    ASSERT_TRUE(cvx::mark_screen_locked(last, true));
    EXPECT_FALSE(cvx::screen_locked(0));
    EXPECT_TRUE(cvx::screen_locked(1));
    EXPECT_TRUE(cvx::screen_locked(last));
    ASSERT_TRUE(cvx::mark_screen_locked(1, false));
    EXPECT_FALSE(cvx::screen_locked(1));
    EXPECT_TRUE(cvx::screen_locked(last));
    cvx::mark_screen_locked(last, false);
}

class InstanceLock : public ::testing::Test {
protected:
    cvx::test::TempRoot root;
    std::string path = cvx::paths::lock_file();
};

TEST_F(InstanceLock, CreatesPrivateFileAndKeepsItOffStandardDescriptors)
{
    ASSERT_EQ(path, root.file("tmp/cvxscape.lock"));
    int fd = cvx_take_instance_lock(path.c_str());
    ASSERT_GE(fd, 3);
    struct stat st = {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(st.st_size, 0);
    EXPECT_TRUE(fcntl(fd, F_GETFD) & FD_CLOEXEC);
    close(fd);
}

TEST_F(InstanceLock, RepairsTheModeOfAnOwnFile)
{
    int pre = open(path.c_str(), O_CREAT | O_WRONLY, 0666);
    ASSERT_GE(pre, 0);
    fchmod(pre, 0666);
    close(pre);
    int fd = cvx_take_instance_lock(path.c_str());
    ASSERT_GE(fd, 3);
    struct stat st = {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    close(fd);
}

// Another process holds the lock: the lock is per process, so the holder is
// a child and the test process asks.
TEST_F(InstanceLock, SecondProcessIsToldItIsHeld)
{
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    int release[2];
    ASSERT_EQ(pipe(release), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int fd = cvx_take_instance_lock(path.c_str());
        char c = fd >= 3 ? 'y' : 'n';
        (void)!write(ready[1], &c, 1);
        (void)!read(release[0], &c, 1);
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, 'y');
    EXPECT_EQ(cvx_take_instance_lock(path.c_str()), -2);
    (void)!write(release[1], "x", 1);
    int status = 0;
    waitpid(child, &status, 0);
    // Released with the process: the next copy gets it.
    int fd = cvx_take_instance_lock(path.c_str());
    EXPECT_GE(fd, 3);
    close(fd);
    for (int f : {ready[0], ready[1], release[0], release[1]})
        close(f);
}

TEST_F(InstanceLock, RefusesLinksForeignFilesAndSpecialFiles)
{
    // A symbolic link planted at the name, pointing at a file root would
    // otherwise create or lock.
    std::string target = root.file("target");
    ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
    EXPECT_EQ(cvx_take_instance_lock(path.c_str()), -1);
    EXPECT_NE(access(target.c_str(), F_OK), 0) << "the link's target was created";
    unlink(path.c_str());

    // A file of another user.
    int pre = open(path.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(pre, 0);
    ASSERT_EQ(fchown(pre, 65534, 65534), 0);
    close(pre);
    EXPECT_EQ(cvx_take_instance_lock(path.c_str()), -1);
    unlink(path.c_str());

    // A second hard link to a file elsewhere.
    pre = open(target.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(pre, 0);
    close(pre);
    ASSERT_EQ(link(target.c_str(), path.c_str()), 0);
    EXPECT_EQ(cvx_take_instance_lock(path.c_str()), -1);
    unlink(path.c_str());

    // A FIFO must not hang the start.
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    EXPECT_EQ(cvx_take_instance_lock(path.c_str()), -1);
    unlink(path.c_str());

    // A directory that does not exist.
    std::string missing = root.file("no/such/dir/cvxscape.lock");
    EXPECT_EQ(cvx_take_instance_lock(missing.c_str()), -1);
}

TEST(PathBuffer, TakesUpTo254CharactersAndRefusesLongerWhole)
{
    char buffer[CVX_PATH_BUFFER];
    std::memset(buffer, 'x', sizeof buffer);
    const std::string fits(254, 'a');
    ASSERT_TRUE(cvx::open::copy_path(buffer, fits.c_str()));
    EXPECT_EQ(std::string(buffer), fits);

    const std::string previous = buffer;
    const std::string too_long(255, 'b');
    EXPECT_FALSE(cvx::open::copy_path(buffer, too_long.c_str()));
    EXPECT_EQ(std::string(buffer), previous) << "a refused path must leave the buffer as it was";
    EXPECT_FALSE(cvx::open::copy_path(buffer, nullptr));
    ASSERT_TRUE(cvx::open::copy_path(buffer, ""));
    EXPECT_EQ(buffer[0], '\0');
}

TEST(NumberText, FormatsAndRefusesNullBuffers)
{
    char buffer[CVX_FTOA_BUFFER];
    EXPECT_EQ(itoa(buffer, -5), 2);
    EXPECT_STREQ(buffer, "-5");
    EXPECT_EQ(itoa(buffer, 2147483647), 10);
    EXPECT_EQ(itoa(buffer, -2147483647 - 1), 11);
    EXPECT_STREQ(buffer, "-2147483648");
    EXPECT_EQ(ftoa(buffer, 2.5f), 5);
    EXPECT_STREQ(buffer, "2.500");
    EXPECT_EQ(ftoa(buffer, -0.0005f), 6);
    // The widest float still fits the documented buffer.
    EXPECT_EQ(ftoa(buffer, -3.4028235e38f), 44);
    EXPECT_LT(44, CVX_FTOA_BUFFER);
    EXPECT_EQ(itoa(nullptr, 1), -1);
    EXPECT_EQ(ftoa(nullptr, 1.0f), -1);
}

TEST(FixedPaths, AllFollowTheRedirectedRoot)
{
    cvx::test::TempRoot root;
    const std::string r = root.path();
    EXPECT_EQ(cvx::paths::lock_file(), r + "/tmp/cvxscape.lock");
    EXPECT_EQ(cvx::paths::driver_in(), r + "/tmp/cvxDriverIn");
    EXPECT_EQ(cvx::paths::driver_out(), r + "/tmp/cvxDriverOut");
    EXPECT_EQ(cvx::paths::hal_module(), r + "/usr/X11R6/lib/modules/drivers/cvx_hal_drv.o");
    const auto dirs = cvx::paths::pixmap_dirs();
    ASSERT_GE(dirs.size(), 3u);
    // Registered in this order, so the ports directory is searched first.
    EXPECT_EQ(dirs[dirs.size() - 1], r + "/tmp/a/ports/x11/cvxscape/work/cvxscape/pixmaps");
    EXPECT_EQ(dirs[dirs.size() - 2], r + "/usr/X11R6/share/cvxscape/pixmaps");
    // This test binary lives in the build tree: it also finds the repository's pictures.
    EXPECT_EQ(dirs.front(), cvx::test::source_dir() + "/pixmaps");
    // Root trusts the owner of the program's own directories: never the
    // historical ones, one of which lies under /tmp.
    EXPECT_EQ(cvx::paths::own_pixmap_dirs(), std::vector<std::string>(dirs.begin(), dirs.end() - 2));
}

}  // namespace
