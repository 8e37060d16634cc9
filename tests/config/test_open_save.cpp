// Opening (messages, completion of minimal files), the adjustments after the
// board probe, writing, and the save sequence under injected faults.
#include <csignal>
#include <filesystem>
#include <functional>

#include <fcntl.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "config/config.h"
#include "config/save.h"
#include "config_test_util.h"

using namespace cvx::test;
namespace fs = std::filesystem;

namespace {

const char* const kSaved =
    "Changes have been saved to your configuration file. The previous file has been backed up.\n\n"
    "For changes to take effect, you must restart your X server.";
const char* const kWriteError =
    "ERROR: The configuration file couldn't be written to. Settings haven't been changed.";
const char* const kChanged =
    "ERROR: The configuration file has been changed by another program since it was opened. "
    "Settings haven't been changed.";

// Files other than the two the test names: leftovers of the save.
std::vector<std::string> strays(const std::string& dir, std::initializer_list<std::string> known)
{
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(dir)) {
        std::string name = entry.path().filename();
        if (std::find(known.begin(), known.end(), name) == known.end())
            found.push_back(name);
    }
    return found;
}

class SaveSequence : public testing::Test {
protected:
    void SetUp() override
    {
        config = dir.file("XF86Config");
        backup = dir.file("XF86Config_CVX-BACKUP");
        write_file(config, kSingleConf);
        oldText = kSingleConf;
        open_and_edit();
    }
    // Opens the file as it is now (the save keeps what it records) and
    // switches PairView on.
    void open_and_edit()
    {
        tree = open_silently(config);
        ASSERT_TRUE(tree);
        confEnablePairView(tree.get(), CONF_ADJ_LEFTOF);
        newText = text_of(tree.get());
        ASSERT_NE(newText, oldText);
    }
    // Runs the save in a child stopped by `prepare` (limits, hooks); returns
    // the child's wait status.
    int save_in_child(void (*prepare)())
    {
        pid_t pid = fork();
        if (pid == 0) {
            prepare();
            std::string message;
            bool ok = save_opened(tree.get(), backup.c_str(), message);
            _exit(ok ? 0 : (message == kWriteError ? 3 : 4));
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return status;
    }
    MessageRecorder messages;
    TempDir dir;
    std::string config, backup, oldText, newText;
    XF86ConfigHolder tree;
};

int g_kill_at = 0;
void kill_at_step(int step)
{
    if (step == g_kill_at)
        raise(SIGKILL);
}

}  // namespace

TEST(Open, PathsThatCannotBeOpened)
{
    EXPECT_EQ(getConfigPtr(nullptr), nullptr);
    std::string out;
    EXPECT_FALSE(open_silently("relative/XF86Config", &out));
    EXPECT_EQ(out, "Corvex Twinscape: Couldn't open configuration file.\n");
    TempDir dir;
    EXPECT_FALSE(open_silently(dir.file("missing.conf"), &out));
    EXPECT_EQ(out, "Corvex Twinscape: Couldn't open configuration file.\n");
}

TEST(Open, MessagesAndTheLayoutIdentifier)
{
    TempDir dir;
    write_file(dir.file("ok.conf"), kForeignConf);
    std::string out, err;
    auto tree = open_silently(dir.file("ok.conf"), &out, &err);
    ASSERT_TRUE(tree);
    EXPECT_EQ(out, "Corvex Twinscape: Configuration file (" + dir.file("ok.conf") + ") opened.\n");
    EXPECT_NE(err.find("Corvex Twinscape: Configuration file parsed.\n"), std::string::npos) << err;
    EXPECT_EQ(xf86layouts(tree.get())[0]->identifier, "Corvex Twinscape configured.");
    EXPECT_NE(text_of(tree.get()).find("\"Corvex Twinscape configured.\""), std::string::npos);

    write_file(dir.file("bad.conf"), "Section \"Device\"\n Identifer \"x\"\nEndSection\n");
    EXPECT_FALSE(open_silently(dir.file("bad.conf"), &out, &err));
    EXPECT_NE(out.find("opened."), std::string::npos);
    EXPECT_NE(err.find("Corvex Twinscape: Couldn't parse the configuration file.\n"), std::string::npos) << err;
    // The library's open file was closed: the next open works.
    EXPECT_TRUE(open_silently(dir.file("ok.conf")));
}

TEST(Open, MinimalFilesAreCompletedAndCanBeConfigured)
{
    CVX_SKIP_WITHOUT_CORPUS(CVX_CORPUS_DIR);
    TempDir dir;
    write_file(dir.file("empty.conf"), "");
    const std::string files[] = {
        dir.file("empty.conf"),
        corpus_file("40-xorgd-intel-device-noeol.conf"),
        corpus_file("35-xorgd-evdev-inputclass.conf"),
        corpus_file("41-xorgd-extensions-only.conf"),
        corpus_file("34-xorg-fbdev-mtev-inputclass.conf"),
    };
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        auto tree = open_silently(file);
        ASSERT_TRUE(tree);
        ASSERT_FALSE(xf86layouts(tree.get()).empty());
        EXPECT_EQ(xf86layouts(tree.get())[0]->identifier, "Corvex Twinscape configured.");
        ASSERT_GE(line_count(tree.get()), 1u);
        EXPECT_FALSE(xf86devices(tree.get()).empty());
        EXPECT_FALSE(xf86monitors(tree.get()).empty());
        EXPECT_EQ(confPairViewIsActive(tree.get()), 0);
        EXPECT_EQ(confCloneIsActive(tree.get()), 0);
        confMakeSections(tree.get());
        ASSERT_NE(FindScreen(tree.get(), 0), nullptr);
        confEnablePairView(tree.get(), CONF_ADJ_LEFTOF);
        EXPECT_EQ(confPairViewIsActive(tree.get()), 1);
        auto again = reparse(tree.get());
        ASSERT_TRUE(again);
        EXPECT_EQ(confPairViewIsActive(again.get()), 1);
    }
}

TEST(Open, BusIdOnlyForExactDriverAndStartupFlag)
{
    auto tree = parse(R"(Section "Device"
    Identifier "a"
    Driver "CVX"
    BusID "PCI:9:9:9"
EndSection
Section "Device"
    Identifier "b"
    Driver "cvx "
EndSection
Section "Device"
    Identifier "c"
    Driver "cvx"
    BusID "PCI:0:0:0"
EndSection
Section "Device"
    Identifier "d"
    Driver "cvx"
EndSection
)");
    ASSERT_TRUE(tree);
    confSetBoardBusID(tree.get(), 1, 5);
    auto devices = xf86devices(tree.get());
    EXPECT_EQ(devices[0]->busid, "PCI:9:9:9");
    EXPECT_FALSE(devices[1]->busid);
    EXPECT_EQ(devices[2]->busid, "PCI:1:5:0");
    EXPECT_EQ(devices[3]->busid, "PCI:1:5:0");

    auto single = parse(kSingleConf);
    auto pair = parse(kPairViewConf);
    ASSERT_TRUE(single && pair);
    EXPECT_EQ(confSetSingleHeadAtStartup(single.get()), 1);
    EXPECT_EQ(wasSingleHeadAtStartup, 1);
    EXPECT_EQ(confSetSingleHeadAtStartup(pair.get()), 0);
    confDisablePairView(pair.get());
    confEnableClone(pair.get());
    EXPECT_EQ(confSetSingleHeadAtStartup(pair.get()), 0);
    EXPECT_EQ(wasSingleHeadAtStartup, 0);
}

TEST(Write, PathsThatCannotBeWritten)
{
    TempDir dir;
    auto tree = parse(kSingleConf);
    ASSERT_TRUE(tree);
    EXPECT_EQ(confWriteConfigFile(dir.file("no/such/dir/XF86Config").c_str(), tree.get()), 0);
    EXPECT_EQ(confWriteConfigFile("/dev/full", tree.get()), 0);
    EXPECT_EQ(confWriteConfigFile(nullptr, tree.get()), 0);
    ASSERT_EQ(confWriteConfigFile(dir.file("fine.conf").c_str(), tree.get()), 1);
    EXPECT_EQ(read_file(dir.file("fine.conf")), text_of(tree.get()));
}

TEST_F(SaveSequence, SuccessKeepsModeOwnerAndReplacesAnOldBackup)
{
    ASSERT_EQ(chmod(config.c_str(), 0640), 0);
    if (geteuid() == 0) {
        ASSERT_EQ(chown(config.c_str(), 4321, 4322), 0);
    }
    open_and_edit();
    write_file(backup, "an older backup\n");
    std::string message;
    ASSERT_TRUE(save_opened(tree.get(), backup.c_str(), message));
    EXPECT_EQ(message, kSaved);
    EXPECT_EQ(read_file(config), newText);
    EXPECT_EQ(read_file(backup), oldText);
    for (const std::string& path : {config, backup}) {
        struct stat st {};
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0640u) << path;
        if (geteuid() == 0) {
            EXPECT_EQ(st.st_uid, 4321u) << path;
            EXPECT_EQ(st.st_gid, 4322u) << path;
        }
    }
    EXPECT_TRUE(strays(dir.path(), {"XF86Config", "XF86Config_CVX-BACKUP"}).empty());
    // The saved file opens again in the mode it was saved in.
    auto again = open_silently(config);
    ASSERT_TRUE(again);
    EXPECT_EQ(confPairViewIsActive(again.get()), 1);
}

TEST_F(SaveSequence, WithoutBackupOnlyTheFileIsReplaced)
{
    ASSERT_EQ(chmod(config.c_str(), 0640), 0);
    open_and_edit();
    std::string message;
    ASSERT_TRUE(save_opened(tree.get(), nullptr, message));
    EXPECT_EQ(message, kSaved);
    EXPECT_EQ(read_file(config), newText);
    struct stat st {};
    ASSERT_EQ(stat(config.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_TRUE(strays(dir.path(), {"XF86Config"}).empty());
    // An empty path is still a mistake, not "no backup".
    EXPECT_FALSE(save_opened(tree.get(), "", message));
}

TEST_F(SaveSequence, FailingWriteChangesNothing)
{
    write_file(backup, "an older backup\n");
    // A file-size limit makes every write of the new text fail, even as root.
    int status = save_in_child([] {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {16, 16};
        setrlimit(RLIMIT_FSIZE, &limit);
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);
    EXPECT_EQ(read_file(config), oldText);
    EXPECT_EQ(read_file(backup), "an older backup\n");
    EXPECT_TRUE(strays(dir.path(), {"XF86Config", "XF86Config_CVX-BACKUP"}).empty());
}

TEST_F(SaveSequence, TreeTheLibraryCannotWriteChangesNothing)
{
    // A quote inside a value cannot be written in this format.
    xf86devices(tree.get()).front()->board = std::string("C450 \"pro\"");
    std::string message;
    EXPECT_FALSE(save_opened(tree.get(), backup.c_str(), message));
    EXPECT_EQ(message, kWriteError);
    EXPECT_EQ(read_file(config), oldText);
    EXPECT_FALSE(fs::exists(backup));
    EXPECT_TRUE(strays(dir.path(), {"XF86Config"}).empty());
}

TEST_F(SaveSequence, FailingBackupChangesNothingAndSaysSo)
{
    std::string message;
    std::string missing = dir.file("no-dir/backup");
    EXPECT_FALSE(save_opened(tree.get(), missing.c_str(), message));
    EXPECT_EQ(message.rfind("ERROR: ", 0), 0u) << message;
    EXPECT_NE(message.find("backed up"), std::string::npos) << message;
    EXPECT_NE(message.find(missing), std::string::npos) << message;
    EXPECT_EQ(read_file(config), oldText);
    EXPECT_TRUE(strays(dir.path(), {"XF86Config"}).empty());

    // The backup path naming the file itself would lose the old file.
    EXPECT_FALSE(save_opened(tree.get(), config.c_str(), message));
    EXPECT_EQ(message.rfind("ERROR: ", 0), 0u);
    fs::create_hard_link(config, dir.file("alias"));
    EXPECT_FALSE(save_opened(tree.get(), dir.file("alias").c_str(), message));
    EXPECT_EQ(read_file(config), oldText);

    // No old file: nothing to back up, nothing written.
    fs::remove(dir.file("alias"));
    fs::remove(config);
    EXPECT_FALSE(save_opened(tree.get(), backup.c_str(), message));
    EXPECT_EQ(message.rfind("ERROR: ", 0), 0u);
    EXPECT_FALSE(fs::exists(config));
    EXPECT_FALSE(fs::exists(backup));

    EXPECT_FALSE(save_opened(nullptr, backup.c_str(), message));
    EXPECT_EQ(message, kWriteError);
}

TEST_F(SaveSequence, KilledAtEachStepLeavesACompleteFile)
{
    for (int step = cvx::config::SAVE_NEW_FILE_WRITTEN; step <= cvx::config::SAVE_NEW_FILE_IN_PLACE; ++step) {
        SCOPED_TRACE("killed at step " + std::to_string(step));
        write_file(config, oldText);
        write_file(backup, "an older backup\n");
        open_and_edit();
        g_kill_at = step;
        int status = save_in_child([] { cvx::config::save_step_hook = kill_at_step; });
        ASSERT_TRUE(WIFSIGNALED(status));
        EXPECT_EQ(WTERMSIG(status), SIGKILL);
        std::string now = read_file(config);
        EXPECT_EQ(now, step < cvx::config::SAVE_NEW_FILE_IN_PLACE ? oldText : newText);
        std::string saved = read_file(backup);
        EXPECT_EQ(saved, step < cvx::config::SAVE_BACKUP_IN_PLACE ? std::string("an older backup\n") : oldText);
        // Temporaries a killed run leaves are hidden names beside the files;
        // clear them for the next round.
        for (const std::string& name : strays(dir.path(), {"XF86Config", "XF86Config_CVX-BACKUP"})) {
            EXPECT_EQ(name.rfind(".XF86Config", 0), 0u) << name;
            fs::remove(dir.file(name));
        }
    }
}

TEST_F(SaveSequence, AFileChangedSinceOpeningIsLeftAsItIs)
{
    struct Change {
        const char* what;
        std::function<void()> apply;
        std::vector<std::string> names;   // what the folder holds afterwards
    };
    const std::vector<std::string> both = {"XF86Config", "XF86Config_CVX-BACKUP"};
    const Change changes[] = {
        {"text added", [&] { write_file(config, oldText + "# edited elsewhere\n"); }, both},
        {"other bytes, same size and modification time",
         [&] {
             struct stat st {};
             ASSERT_EQ(stat(config.c_str(), &st), 0);
             std::string other = oldText;
             other[other.find("Section")] = 's';
             write_file(config, other);
             const timespec times[2] = {st.st_atim, st.st_mtim};
             ASSERT_EQ(utimensat(AT_FDCWD, config.c_str(), times, 0), 0);
         },
         both},
        {"the same bytes in another file renamed over it",
         [&] {
             write_file(dir.file("other"), oldText);
             fs::rename(dir.file("other"), config);
         },
         both},
        {"a link to the same bytes in its place",
         [&] {
             fs::rename(config, dir.file("real"));
             fs::create_symlink(dir.file("real"), config);
         },
         {"XF86Config", "XF86Config_CVX-BACKUP", "real"}},
        {"removed", [&] { fs::remove(config); }, {"XF86Config_CVX-BACKUP"}},
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.what);
        for (const std::string& name : strays(dir.path(), {}))
            fs::remove(dir.file(name));
        write_file(config, oldText);
        write_file(backup, "an older backup\n");
        open_and_edit();
        change.apply();
        const Stamp file = stamp(config), kept = stamp(backup);
        std::string message;
        EXPECT_FALSE(save_opened(tree.get(), backup.c_str(), message));
        EXPECT_EQ(message, kChanged);
        EXPECT_TRUE(same(file, stamp(config)));
        EXPECT_TRUE(same(kept, stamp(backup)));
        std::vector<std::string> names = strays(dir.path(), {});
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, change.names);
    }
}

TEST_F(SaveSequence, TheOwnerAndModeAreThoseOfTheFileThatWasParsed)
{
    ASSERT_EQ(chmod(config.c_str(), 0640), 0);
    if (geteuid() == 0) {
        ASSERT_EQ(chown(config.c_str(), 4321, 4322), 0);
    }
    open_and_edit();
    // Rights changed behind the program's back are no edit of the text; they
    // must not reach the new file or the backup.
    ASSERT_EQ(chmod(config.c_str(), 04777), 0);
    if (geteuid() == 0) {
        ASSERT_EQ(chown(config.c_str(), 0, 0), 0);
    }
    std::string message;
    ASSERT_TRUE(save_opened(tree.get(), backup.c_str(), message)) << message;
    for (const std::string& path : {config, backup}) {
        struct stat st {};
        ASSERT_EQ(lstat(path.c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode)) << path;
        EXPECT_EQ(st.st_mode & 07777, 0640u) << path;
        if (geteuid() == 0) {
            EXPECT_EQ(st.st_uid, 4321u) << path;
            EXPECT_EQ(st.st_gid, 4322u) << path;
        }
    }
}

// Between opening and saving, someone who owns a directory on a path moves it
// away and puts another directory, or a link to one, under its name: the
// save must not back up, replace or give away the file found there now.
TEST(SaveAfterSwap, ADirectoryOnTheConfigurationPath)
{
    for (bool link : {true, false}) {
        SCOPED_TRACE(link ? "a link to another directory" : "another directory");
        MessageRecorder messages;
        TempDir root;
        const Stamp victim = stamp(root.write("etc-X11/XF86Config", kPairViewConf));
        root.write("user/XF86Config", kSingleConf);
        XF86ConfigHolder tree = open_silently(root.file("user/XF86Config"));
        ASSERT_TRUE(tree);
        confEnableClone(tree.get());
        confAdoptBackupPath(confOpenedFile, root.file("user/XF86Config_CVX-BACKUP").c_str());

        fs::rename(root.file("user"), root.file("moved"));
        if (link)
            fs::create_symlink(root.file("etc-X11"), root.file("user"));
        else
            fs::rename(root.file("etc-X11"), root.file("user"));
        const std::string victimDir = root.file(link ? "etc-X11" : "user");

        std::string message;
        EXPECT_FALSE(confSaveConfiguration(confOpenedFile, tree.get(), message));
        EXPECT_EQ(message, kChanged);
        EXPECT_TRUE(same(victim, stamp(victimDir + "/XF86Config")));
        EXPECT_TRUE(strays(victimDir, {"XF86Config"}).empty());
        EXPECT_EQ(read_file(root.file("moved/XF86Config")), kSingleConf);
        EXPECT_TRUE(strays(root.file("moved"), {"XF86Config"}).empty());
    }
}

TEST(SaveAfterSwap, ADirectoryOnTheBackupPath)
{
    MessageRecorder messages;
    TempDir root;
    const Stamp victim = stamp(root.write("etc/passwd", "root:x:0:0::/root:/bin/sh\n"));
    const std::string config = root.write("conf/XF86Config", kSingleConf);
    fs::create_directories(root.file("backups"));
    XF86ConfigHolder tree = open_silently(config);
    ASSERT_TRUE(tree);
    confEnableClone(tree.get());
    const std::string backup = root.file("backups/passwd");
    confAdoptBackupPath(confOpenedFile, backup.c_str());
    const Stamp file = stamp(config);

    fs::rename(root.file("backups"), root.file("backups-moved"));
    fs::create_symlink(root.file("etc"), root.file("backups"));
    std::string message;
    EXPECT_FALSE(confSaveConfiguration(confOpenedFile, tree.get(), message));
    EXPECT_EQ(message.rfind("ERROR: ", 0), 0u) << message;
    EXPECT_NE(message.find(backup), std::string::npos) << message;
    EXPECT_TRUE(same(victim, stamp(root.file("etc/passwd"))));
    EXPECT_TRUE(strays(root.file("etc"), {"passwd"}).empty());
    EXPECT_TRUE(same(file, stamp(config)));
    EXPECT_TRUE(strays(root.file("conf"), {"XF86Config"}).empty());
}

TEST(SaveLinks, NoNameIsFollowed)
{
    MessageRecorder messages;
    TempDir dir;
    const std::string real = dir.write("real.conf", kSingleConf);
    fs::create_symlink(real, dir.file("link.conf"));
    std::string out;
    EXPECT_FALSE(open_silently(dir.file("link.conf"), &out));
    EXPECT_EQ(out, "Corvex Twinscape: Couldn't open configuration file.\n");
    EXPECT_EQ(read_file(real), kSingleConf);

    // A link at the backup path is replaced, never written through.
    const Stamp victim = stamp(dir.write("victim", "precious\n"));
    fs::create_symlink(dir.file("victim"), dir.file("backup"));
    XF86ConfigHolder tree = open_silently(real);
    ASSERT_TRUE(tree);
    confEnableClone(tree.get());
    std::string message;
    ASSERT_TRUE(save_opened(tree.get(), dir.file("backup").c_str(), message)) << message;
    EXPECT_TRUE(same(victim, stamp(dir.file("victim"))));
    EXPECT_FALSE(fs::is_symlink(dir.file("backup")));
    EXPECT_EQ(read_file(dir.file("backup")), kSingleConf);
    EXPECT_TRUE(fs::is_symlink(dir.file("link.conf")));
}

// A file whose ServerFlags pick another layout than the first: the program
// must edit the layout the server starts with, and keep the flag pointing at
// it after the rename.
TEST(Opening, EditsTheLayoutTheServerUses)
{
    CVX_SKIP_WITHOUT_CORPUS(CVX_CORPUS_DIR);
    TempDir dir;
    std::string path = dir.file("xorg.conf");
    write_file(path, read_file(corpus_file("03-xorg-nvidia-radeon-twinview-metamodes-dri.conf")));
    XF86ConfigHolder tree = open_silently(path);
    ASSERT_TRUE(tree);
    std::vector<XF86ConfLayoutPtr> layouts = xf86layouts(tree.get());
    ASSERT_EQ(layouts.size(), 2u);
    EXPECT_EQ(layouts[0]->identifier, "Default Layout");
    EXPECT_EQ(layouts[1]->identifier, "Corvex Twinscape configured.");
    EXPECT_STREQ(xf86findOptionValue(xf86serverFlags(tree.get())->options, "DefaultServerLayout"),
                 "Corvex Twinscape configured.");

    confEnablePairView(tree.get(), CONF_ADJ_RIGHTOF);
    ASSERT_FALSE(layouts[1]->adjacencies.empty());
    EXPECT_EQ(layouts[1]->adjacencies[0].screen_name, "Display 1");
    XF86ConfigHolder back = reparse(tree.get());
    ASSERT_TRUE(back);
    EXPECT_EQ(confPairViewIsActive(back.get()), 1);
}

// Our board beside an on-board card: switching to two displays adopts the
// other card's Device section for display 2. It must drive our board, so it
// takes our bus id, in the file written and in the preview alike.
TEST(Opening, AdoptedDeviceTakesTheBoardsBusId)
{
    MessageRecorder messages;
    TempDir dir;
    const std::string path = dir.file("xorg.conf");
    write_file(path, R"(Section "Device"
    Identifier "Corvex"
    Driver "cvx"
EndSection

Section "Device"
    Identifier "Onboard"
    Driver "modesetting"
    BusID "PCI:0:2:0"
EndSection

Section "Screen"
    Identifier "Screen0"
    Device "Corvex"
EndSection
)");
    XF86ConfigHolder tree = open_silently(path);
    ASSERT_TRUE(tree);
    confSetBoardBusID(tree.get(), 1, 0);
    where = 0;
    confSwitchDisplayMode(tree.get(), confOpenDisplayMode(tree.get()), CONF_MODE_MULTI);
    const std::string out = dir.file("written.conf");
    testing::internal::CaptureStdout();
    ASSERT_EQ(confWriteConfigFile(out.c_str(), tree.get()), 1);
    testing::internal::GetCapturedStdout();
    XF86ConfigHolder written = parse(read_file(out));
    ASSERT_TRUE(written);
    int cvx = 0;
    for (XF86ConfDevicePtr device : xf86devices(written.get())) {
        if (device->driver != "cvx")
            continue;
        ++cvx;
        EXPECT_EQ(device->busid, "PCI:1:0:0") << device->identifier << "\n" << read_file(out);
    }
    EXPECT_EQ(cvx, 2);
}

// An earlier run left a layout named as ours while DefaultServerLayout picks
// another one: the saved file must hold one layout of that name, the one
// edited, and the server must start it.
TEST(Opening, NoSecondLayoutOfOurName)
{
    TempDir dir;
    const std::string path = dir.file("xorg.conf");
    write_file(path, R"(Section "ServerFlags"
    Option "DefaultServerLayout" "Current"
EndSection

Section "ServerLayout"
    Identifier "Corvex Twinscape configured."
    Screen "Old"
EndSection

Section "ServerLayout"
    Identifier "Current"
    Screen "Display 1"
EndSection

Section "Screen"
    Identifier "Old"
EndSection

Section "Screen"
    Identifier "Display 1"
EndSection
)");
    XF86ConfigHolder tree = open_silently(path);
    ASSERT_TRUE(tree);
    confSwitchDisplayMode(tree.get(), CONF_MODE_SINGLE, CONF_MODE_CLONE);
    std::string message;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(save_opened(tree.get(), dir.file("backup").c_str(), message)) << message;
    testing::internal::GetCapturedStdout();

    XF86ConfigHolder saved = open_silently(path);
    ASSERT_TRUE(saved);
    int ours = 0;
    for (XF86ConfLayoutPtr layout : xf86layouts(saved.get()))
        ours += xf86nameCompare(layout->identifier, "Corvex Twinscape configured.") == 0;
    EXPECT_EQ(ours, 1) << read_file(path);
    // The server starts the layout DefaultServerLayout names: the edited one.
    const char* started = xf86findOptionValue(xf86serverFlags(saved.get())->options, "DefaultServerLayout");
    ASSERT_NE(started, nullptr);
    XF86ConfLayoutPtr edited = nullptr;
    for (XF86ConfLayoutPtr layout : xf86layouts(saved.get()))
        if (!edited && xf86nameCompare(layout->identifier, started) == 0)
            edited = layout;
    ASSERT_NE(edited, nullptr);
    ASSERT_EQ(edited->adjacencies.size(), 2u) << read_file(path);
    EXPECT_EQ(edited->adjacencies[0].screen_name, "Display 1");
    EXPECT_EQ(edited->adjacencies[1].screen_name, "Display 2");
    EXPECT_EQ(confGetDisplayMode(saved.get()), CONF_MODE_CLONE);
}
