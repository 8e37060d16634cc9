// Start-up logic that needs no X server: the extension version test, the
// single-instance lock, the record of locked screens, path buffers, number
// formatting and the XPM decoder.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
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
#include "core/c_ptr.h"
#include "shell/images.h"
#include "shell/support.h"
#include "shell/xpm.h"
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

// ------------------------------------------------------------------ XPM

using Pixbuf = cvx::CPtr<GdkPixbuf, g_object_unref>;

// Warnings logged through GLib since the first call (the toolkit's XPM
// reader warns about arrays it cannot read).
int& warnings()
{
    static int count = 0;
    static bool installed = false;
    if (!installed) {
        g_log_set_writer_func(
            [](GLogLevelFlags level, const GLogField* fields, gsize n, gpointer) noexcept {
                if (level & (G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING))
                    ++count;
                return g_log_writer_standard_streams(level, fields, n, nullptr);
            },
            nullptr, nullptr);
        installed = true;
    }
    return count;
}

// Same size, channels and pixels (the padding at the end of a row aside).
void expect_same_pixels(GdkPixbuf* ours, GdkPixbuf* theirs, const std::string& what)
{
    ASSERT_NE(ours, nullptr) << what;
    ASSERT_NE(theirs, nullptr) << what;
    ASSERT_EQ(gdk_pixbuf_get_width(ours), gdk_pixbuf_get_width(theirs)) << what;
    ASSERT_EQ(gdk_pixbuf_get_height(ours), gdk_pixbuf_get_height(theirs)) << what;
    ASSERT_EQ(gdk_pixbuf_get_has_alpha(ours), gdk_pixbuf_get_has_alpha(theirs)) << what;
    ASSERT_EQ(gdk_pixbuf_get_n_channels(ours), gdk_pixbuf_get_n_channels(theirs)) << what;
    const size_t row = size_t(gdk_pixbuf_get_width(ours)) * size_t(gdk_pixbuf_get_n_channels(ours));
    for (int y = 0; y < gdk_pixbuf_get_height(ours); ++y) {
        const guchar* a = gdk_pixbuf_read_pixels(ours) + y * gdk_pixbuf_get_rowstride(ours);
        const guchar* b = gdk_pixbuf_read_pixels(theirs) + y * gdk_pixbuf_get_rowstride(theirs);
        ASSERT_EQ(std::memcmp(a, b, row), 0) << what << ", row " << y;
    }
}

// The strings of `source` as a NUL-terminated array (kept in `store`).
std::vector<const char*> lines_of(const std::string& source, std::vector<std::string>& store)
{
    store.clear();
    for (std::string_view s : xpm_source_strings(source))
        store.emplace_back(s);
    std::vector<const char*> lines;
    for (const std::string& s : store)
        lines.push_back(s.c_str());
    return lines;
}

Pixbuf toolkit_decode(std::vector<const char*> lines)
{
    return Pixbuf(gdk_pixbuf_new_from_xpm_data(lines.data()));
}

TEST(XpmDecoder, GivesThePixelsOfTheToolkitsReaders)
{
    warnings();
    const int before = warnings();
    // The repository's pictures, against the toolkit's file reader.
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(cvx::test::source_dir() + "/pixmaps")) {
        if (entry.path().extension() != ".xpm")
            continue;
        ++files;
        std::stringstream text;
        text << std::ifstream(entry.path()).rdbuf();
        std::vector<std::string> store;
        const auto lines = lines_of(text.str(), store);
        ASSERT_FALSE(lines.empty()) << entry.path();
        Pixbuf ours(xpm_decode(lines.data(), lines.size()));
        Pixbuf theirs(gdk_pixbuf_new_from_file(entry.path().c_str(), nullptr));
        expect_same_pixels(ours.get(), theirs.get(), entry.path().string());
    }
    EXPECT_GE(files, 19);

    // The compiled-in pictures, against the toolkit's array reader.
    const std::pair<const char* const*, size_t> embedded[] = {
        {cvx_placeholder_xpm, cvx_placeholder_xpm_lines},
        {cvx_backdrop_xpm, cvx_backdrop_xpm_lines},
        {cvx_icon_xpm, cvx_icon_xpm_lines},
        {cvx_identify_backdrop_xpm, cvx_identify_backdrop_xpm_lines},
    };
    for (const auto& [xpm, count] : embedded) {
        Pixbuf ours(xpm_decode(xpm, count));
        Pixbuf theirs(gdk_pixbuf_new_from_xpm_data(const_cast<const char**>(xpm)));
        expect_same_pixels(ours.get(), theirs.get(), xpm[0]);
    }

    // The corners of the format: a colour given twice (the later one wins),
    // characters without a colour (the first colour), lower-case digits,
    // transparency, a hot spot; and forms the toolkit decodes itself (other
    // colour keys, named colours, three characters a pixel).
    const std::vector<std::vector<const char*>> cases = {
        {"4 2 3 1", "a c #102030", "b c None", "a c #a0b0c0", "abzb", "zzab"},
        {"3 1 2 2 0 0", ".. c #FFFFFF", "x. c #00ff00", "..x.!!"},
        {"2 1 2 1", "a c #FF0000", "b c #00F", "ab"},
        {"2 1 2 1", "a s edge c #FF0000", "b c red", "ab"},
        {"2 1 2 1", "a c none", "b m black", "ab"},
        {"2 2 2 3", "aaa c #123456", "bbb c None", "aaabbb", "bbbaaa"},
        {"2 1 1 1", "a c #FF0000", "aaaa"},   // a row longer than its width
    };
    for (const auto& c : cases) {
        Pixbuf ours(xpm_decode(c.data(), c.size()));
        expect_same_pixels(ours.get(), toolkit_decode(c).get(), c[0] + std::string(" ") + c[1]);
    }
    EXPECT_EQ(warnings(), before);
}

// Malformed source or arrays are refused without a word from the toolkit
// (the caller says the file is broken); what the reader cannot know, the
// length of the array, is checked first.
TEST(XpmDecoder, RefusesMalformedPicturesQuietly)
{
    warnings();
    const int before = warnings();
    const std::string good = "/* XPM */\nstatic const char *p[] = {\n/* size */ \"1 1 1 1\",\n\"a c #FF0000\", \"a\"\n};\n";
    EXPECT_EQ(xpm_source_strings(good), (std::vector<std::string_view>{"1 1 1 1", "a c #FF0000", "a"}));
    EXPECT_EQ(xpm_source_strings("  " + good.substr(0, good.size() - 3) + "}"), xpm_source_strings(good));
    const std::string bad[] = {
        "static const char *p[] = {\"1 1 1 1\", \"a c #FF0000\", \"a\"};",   // not XPM
        "/* XPM */ char *p[] = {\"1 1 1 1\", \"a c #FF0000\", \"a};",         // unterminated
        "/* XPM */ char *p[] = {\"1 1 1 1\", \"a c #FF0000\", \"a\n\"};",    // over a line end
        "/* XPM */ char *p[] = {\"1 1 1 1\", \"a c #FF0000\", \"\\a\"};",    // an escape
        "/* XPM */ char *p[] = {\"1 1 1 1\" \"a c #FF0000\", \"a\"};",        // no comma
        "/* XPM */ char *p[] = {\"1 1 1 1\", \"a c #FF0000\", \"a\"}; x",     // text after
        "/* XPM */ char *p[] = {\"1 1 1 1\", \"a c #FF0000\", \"a\" /* };",   // open comment
        "/* XPM */ char *p = \"x\"; char *q[] = {\"1 1 1 1\", \"a c #F00\", \"a\"};",
        "/* XPM */ char *p[] = {};",
        "/* XPM */ char *p[] = {\"1 1 1 1\", \"a c #FF0000\", \"a\"",          // no brace
        std::string("/* XPM */ char *p[] = {\"1 1 1 1\", \"a c #FF0000\", \"a") + '\0' + "\"};",
    };
    for (const std::string& text : bad)
        EXPECT_TRUE(xpm_source_strings(text).empty()) << text;

    const std::vector<std::vector<const char*>> arrays = {
        {"1 1 1"},                                        // three numbers
        {"1 1 1 1 0", "a c #FF0000", "a"},                // five
        {"0 1 1 1", "a c #FF0000", "a"},                  // no width
        {"1 1 1 32", "a c #FF0000", "a"},                 // too many characters a pixel
        {"1 1 0 1", "a"},                                 // no colour
        {"1 2 1 1", "a c #FF0000", "a"},                  // a row missing
        {"1 1 2 1", "a c #FF0000", "a"},                  // a colour missing
        {"3 1 1 1", "a c #FF0000", "aa"},                 // a row too narrow
        {"1 1 1 2", "aa c #FF0000", "a"},
    };
    for (const auto& a : arrays)
        EXPECT_EQ(Pixbuf(xpm_decode(a.data(), a.size())), nullptr) << a[0];
    EXPECT_EQ(warnings(), before);
}

}  // namespace
