// xf86conf show and set as an administrator scripts them: exit statuses,
// what is written and what is not, read-back through show, a second run that
// changes nothing, and the dry run's diff against what set writes, on the
// project's own files and on every file of the real-world corpus.
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "config_test_util.h"

namespace fs = std::filesystem;
using namespace cvx::test;

namespace {

// The tool with `args` (already quoted where needed), outputs captured.
CommandRun tool(const std::string& args)
{
    return run_captured("ASAN_OPTIONS=detect_leaks=0 " + shell_quote(CVX_XF86CONF) + " " + args);
}

// The project's own sample files, then (when the corpus is here) every file
// of the corpus: name and text.
std::vector<std::pair<std::string, std::string>> own_files()
{
    return {{"single", kSingleConf},
            {"foreign", kForeignConf},
            {"pairview", kPairViewConf},
            {"merged", kMergedConf},
            {"demo.conf", read_file(std::string(CVX_TEST_SOURCE_DIR) + "/scripts/demo.conf")},
            {"minimal.conf", read_file(std::string(CVX_TEST_SOURCE_DIR) + "/tests/shell/data/minimal.conf")}};
}

std::vector<std::string> corpus_files()
{
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(CVX_CORPUS_DIR, ec))
        if (e.is_regular_file() && e.path().extension() == ".conf")
            out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

constexpr const char* kModes[] = {"single", "multi", "clone", "merged"};

// A PairView file with a TV on display 2, a digital display 1 and a mode line.
const char* const kRichConf = R"(Section "ServerLayout"
    Identifier "Corvex Twinscape configured."
    Screen "Display 2" RightOf "Display 1"
    Screen "Display 1" 0 0
EndSection
Section "Device"
    Identifier "CORVEX CARD 1"
    Driver "cvx"
    Option "DigitalScreen" "yes"
EndSection
Section "Device"
    Identifier "CORVEX CARD 2"
    Driver "cvx"
    Screen 1
    Option "TV" "yes"
    Option "TVStandard" "PAL"
    Option "CableType" "SCART_RGB"
EndSection
Section "Monitor"
    Identifier "Display 1"
    ModeLine "1024x768@75Hz:0" 78.8 1024 1040 1136 1312 768 769 772 800 +hsync +vsync
EndSection
Section "Monitor"
    Identifier "Display 2"
EndSection
Section "Screen"
    Identifier "Display 1"
    Device "CORVEX CARD 1"
    Monitor "Display 1"
    DefaultDepth 24
    DefaultFbBPP 32
    SubSection "Display"
        Depth 24
        Modes "1280x1024" "1024x768@75Hz:0"
    EndSubSection
EndSection
Section "Screen"
    Identifier "Display 2"
    Device "CORVEX CARD 2"
    Monitor "Display 2"
    DefaultDepth 16
    SubSection "Display"
        Depth 16
        Modes "800x600"
    EndSubSection
EndSection
)";

class XfConf : public ::testing::Test {
protected:
    TempDir dir;
    std::string file = dir.file("xorg.conf");
};

}  // namespace

TEST_F(XfConf, ShowTellsWhatTheWindowsShow)
{
    write_file(file, kRichConf);
    CommandRun r = tool("show " + shell_quote(file) + " --json");
    ASSERT_EQ(r.status, 0) << r.err;
    // Display 2 RightOf Display 1 is display 1 left of display 2.
    EXPECT_EQ(r.out, "{\"mode\": \"multi\", \"relation\": \"leftof\", \"xinerama\": true, \"hw_cursor\": true, "
                     "\"displays\": [{\"display\": 1, \"depth\": 32, \"modes\": [\"1280x1024\", \"1024x768@75Hz:0\"], "
                     "\"output\": \"digital\", \"cable\": null, \"modelines\": [\"1024x768@75Hz:0\"]}, "
                     "{\"display\": 2, \"depth\": 16, \"modes\": [\"800x600\"], \"output\": \"tv-pal\", "
                     "\"cable\": \"SCART_RGB\", \"modelines\": []}]}\n");
    r = tool("show " + shell_quote(file));
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* line : {"mode: multi\n", "relation: display 1 leftof display 2\n", "xinerama: on\n",
                             "  modes: 1280x1024 1024x768@75Hz:0\n", "  output: tv-pal, SCART_RGB\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << r.out;
    // show never writes.
    EXPECT_EQ(read_file(file), kRichConf);

    write_file(file, kSingleConf);
    r = tool("show " + shell_quote(file) + " --json");
    EXPECT_EQ(r.out.rfind("{\"mode\": \"single\", \"relation\": null, ", 0), 0u) << r.out;
    EXPECT_EQ(tool("show").status, 2);
    EXPECT_EQ(tool("show " + shell_quote(file) + " --yaml").status, 2);
    EXPECT_EQ(tool("show " + shell_quote(dir.file("missing"))).status, 1);
}

TEST_F(XfConf, EditsReadBackThroughShowAndSecondRunChangesNothing)
{
    write_file(file, kPairViewConf);
    const std::string edits = " --mode merged --relation above --hw-cursor off --depth 1=16 --modes 1=1280x1024,800x600 "
                              "--output 2=tv-ntsc,SCART_TYPE2 --busid PCI:2:3:0";
    CommandRun r = tool("set " + shell_quote(file) + edits);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, file + ": changed (previous file kept at " + file + "_CVX-BACKUP)\n");
    EXPECT_EQ(read_file(file + "_CVX-BACKUP"), kPairViewConf);
    r = tool("show " + shell_quote(file) + " --json");
    EXPECT_NE(r.out.find("{\"mode\": \"merged\", \"relation\": \"above\", \"xinerama\": false, \"hw_cursor\": false"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("{\"display\": 1, \"depth\": 16, \"modes\": [\"1280x1024\", \"800x600\"]"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\"output\": \"tv-ntsc\", \"cable\": \"SCART_TYPE2\""), std::string::npos) << r.out;
    EXPECT_EQ(count_of(read_file(file), "\"PCI:2:3:0\""), 2u);

    const Stamp before = stamp(file);
    r = tool("set " + shell_quote(file) + edits);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, file + ": unchanged\n");
    EXPECT_TRUE(same(before, stamp(file)));
    r = tool("set " + shell_quote(file) + edits + " --dry-run");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, file + ": unchanged\n");
}

TEST_F(XfConf, UsageErrorsAndBadValuesWriteNothing)
{
    write_file(file, kPairViewConf);
    const Stamp before = stamp(file);
    const char* const bad[] = {
        "--frobnicate on", "--depth 1=12", "--depth 3=24", "--depth 24", "--modes 1=1024x768,", "--modes 1=big",
        "--modes \"1=1024x768 x\"", "--mode dual", "--xinerama yes", "--output 1=analog,SCART_RGB",
        "--output 2=tv-pal,HDMI", "--busid 1:0:0", "--busid PCI:1:0", "--mode", "",
        "--mode single --relation above", "--mode clone --xinerama off", "--mode merged --xinerama on",
        "--mode merged --hw-cursor on", "--mode single --depth 2=16", "--mode multi --backup x --no-backup",
    };
    for (const char* args : bad) {
        const CommandRun r = tool("set " + shell_quote(file) + " " + args);
        EXPECT_EQ(r.status, 2) << args << "\n" << r.err;
        EXPECT_FALSE(r.err.empty()) << args;
        EXPECT_TRUE(same(before, stamp(file))) << args;
    }
    EXPECT_EQ(tool("set --mode multi").status, 2);
    EXPECT_FALSE(fs::exists(file + "_CVX-BACKUP"));

    const CommandRun help = tool("--help");
    EXPECT_EQ(help.status, 0);
    for (const char* text : {"Exit status:", "  3  --dry-run: something would change", "--no-backup"})
        EXPECT_NE(help.out.find(text), std::string::npos) << text;
}

TEST_F(XfConf, FilesThatCannotBeReadParsedOrWritten)
{
    CommandRun r = tool("set " + shell_quote(dir.file("missing")) + " --mode multi");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot read"), std::string::npos) << r.err;

    write_file(file, "Section \"Device\"\n    Identifier \"x\"\n    Frobnicate 3\nEndSection\n");
    r = tool("set " + shell_quote(file) + " --mode multi");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("line 3"), std::string::npos) << r.err;

    // A backup that cannot be made: the save sequence refuses, nothing changes.
    write_file(file, kSingleConf);
    r = tool("set " + shell_quote(file) + " --mode multi --backup " + shell_quote(dir.file("no/such/dir/b")));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("ERROR: "), std::string::npos) << r.err;
    EXPECT_EQ(read_file(file), kSingleConf);
}

TEST_F(XfConf, BackupWhereAskedOrNone)
{
    write_file(file, kSingleConf);
    CommandRun r = tool("set " + shell_quote(file) + " --mode clone --backup " + shell_quote(dir.file("kept")));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(dir.file("kept")), kSingleConf);
    EXPECT_FALSE(fs::exists(file + "_CVX-BACKUP"));
    const std::string clone = read_file(file);
    r = tool("set " + shell_quote(file) + " --mode single --no-backup");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, file + ": changed\n");
    EXPECT_EQ(read_file(dir.file("kept")), kSingleConf);
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path()))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"kept", "xorg.conf"}));
}

// Run as root on names in folders others may own: a configuration path that
// is a link is refused, a link at the backup path (reached through a linked
// folder) is replaced rather than written through, and the new file and the
// backup keep the file's owner and mode.
TEST_F(XfConf, NoLinkIsFollowedAndOwnerAndModeStay)
{
    write_file(file, kSingleConf);
    fs::create_symlink(file, dir.file("link.conf"));
    const Stamp target = stamp(file);
    CommandRun r = tool("set " + shell_quote(dir.file("link.conf")) + " --mode multi");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot read"), std::string::npos) << r.err;
    EXPECT_TRUE(same(target, stamp(file)));
    EXPECT_TRUE(fs::is_symlink(dir.file("link.conf")));
    EXPECT_FALSE(fs::exists(dir.file("link.conf_CVX-BACKUP")));

    ASSERT_EQ(chmod(file.c_str(), 0640), 0);
    if (geteuid() == 0) {
        ASSERT_EQ(chown(file.c_str(), 4321, 4322), 0);
    }
    const std::string victim = dir.write("victim", "precious\n");
    const Stamp untouched = stamp(victim);
    fs::create_directories(dir.file("backups"));
    fs::create_symlink(dir.file("backups"), dir.file("linked-backups"));
    fs::create_symlink(victim, dir.file("backups/kept"));
    r = tool("set " + shell_quote(file) + " --mode clone --backup " + shell_quote(dir.file("linked-backups/kept")));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(same(untouched, stamp(victim)));
    EXPECT_FALSE(fs::is_symlink(dir.file("backups/kept")));
    EXPECT_EQ(read_file(dir.file("backups/kept")), kSingleConf);
    for (const std::string& path : {file, dir.file("backups/kept")}) {
        struct stat st {};
        ASSERT_EQ(lstat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0640u) << path;
        if (geteuid() == 0) {
            EXPECT_EQ(st.st_uid, 4321u) << path;
            EXPECT_EQ(st.st_gid, 4322u) << path;
        }
    }
}

TEST_F(XfConf, TheSecondDisplaysNoticeGoesToStandardError)
{
    write_file(file, kSingleConf);
    const CommandRun r = tool("set " + shell_quote(file) + " --mode multi");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Your secondary display has been enabled. Its resolution has been set to 640 x 480."),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.out.find("640 x 480"), std::string::npos);
}

// Every mode on every file: set, show reads it back, a second set changes
// nothing, and the dry run's diff applied with patch gives what set wrote.
TEST(XfConfFiles, EveryModeOnEveryFileReadsBackIsStableAndPatchesExactly)
{
    std::vector<std::pair<std::string, std::string>> files = own_files();
    const std::vector<std::string> corpus = corpus_files();
    for (const std::string& name : corpus)
        files.emplace_back(name, read_file(corpus_file(name)));
    ASSERT_GE(files.size(), 6u);
    for (const auto& [name, text] : files) {
        for (const char* mode : kModes) {
            SCOPED_TRACE(name + " --mode " + mode);
            TempDir dir;
            const std::string file = dir.file("xorg.conf"), copy = dir.file("copy.conf");
            write_file(file, text);
            write_file(copy, text);
            CommandRun r = tool("set " + shell_quote(file) + " --mode " + mode);
            if (tool("check " + shell_quote(copy)).status != 0) {
                // The parser refuses it: set says so and writes nothing.
                EXPECT_EQ(r.status, 1);
                EXPECT_EQ(read_file(file), text);
                continue;
            }
            ASSERT_EQ(r.status, 0) << r.err;
            const std::string written = read_file(file);
            EXPECT_EQ(r.out, file + (written == text ? ": unchanged\n"
                                                     : ": changed (previous file kept at " + file + "_CVX-BACKUP)\n"));

            r = tool("show " + shell_quote(file) + " --json");
            EXPECT_EQ(r.out.rfind(std::string("{\"mode\": \"") + mode + "\"", 0), 0u) << r.out;

            const Stamp once = stamp(file);
            r = tool("set " + shell_quote(file) + " --mode " + mode);
            EXPECT_EQ(r.out, file + ": unchanged\n");
            EXPECT_TRUE(same(once, stamp(file))) << "second run rewrote the file";

            r = tool("set " + shell_quote(copy) + " --mode " + mode + " --dry-run");
            EXPECT_EQ(r.status, written == text ? 0 : 3);
            EXPECT_EQ(read_file(copy), text) << "a dry run wrote";
            if (r.status == 3) {
                write_file(dir.file("diff"), r.out);
                EXPECT_EQ(std::system(("patch --quiet --batch " + shell_quote(copy) + " < " + shell_quote(dir.file("diff")) +
                                       " > /dev/null")
                                          .c_str()),
                          0)
                    << r.out;
                EXPECT_EQ(read_file(copy), written);
            }
        }
    }
    if (corpus.empty())
        GTEST_SKIP() << "corpus folder " << CVX_CORPUS_DIR << " absent: only the project's own files were run";
}
