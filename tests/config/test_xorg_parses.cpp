// The real X server reads every file the model writes: each sample and corpus
// file is switched into each display mode, written, and handed to Xorg, whose
// log must show the file read without a parse or validation error. The board
// driver is not installed, so the server stops right after reading.
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "config_test_util.h"

using namespace cvx::test;

namespace {

int free_display()
{
    for (int n = 180 + getpid() % 50; n < 400; ++n) {
        std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
        std::string sock = "/tmp/.X11-unix/X" + std::to_string(n);
        if (access(lock.c_str(), F_OK) != 0 && access(sock.c_str(), F_OK) != 0)
            return n;
    }
    return -1;
}

// Runs Xorg on the file; returns its log.
std::string xorg_log(const std::string& file, const TempDir& dir)
{
    std::string log = file + ".log";
    std::string display = ":" + std::to_string(free_display());
    std::string configdir = dir.file("xorg.conf.d");
    mkdir(configdir.c_str(), 0700);
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        execlp("Xorg", "Xorg", display.c_str(), "-config", file.c_str(), "-configdir", configdir.c_str(),
               "-logfile", log.c_str(), "-nolisten", "tcp", "-novtswitch", "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    // Normally gone at once; a server that came up after all is stopped.
    int status = 0;
    for (int k = 0; k < 300 && waitpid(pid, &status, WNOHANG) == 0; ++k)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (waitpid(pid, &status, WNOHANG) == 0) {
        kill(pid, SIGTERM);
        waitpid(pid, &status, 0);
    }
    return read_text(log);
}

bool have_xorg()
{
    return system("command -v Xorg >/dev/null 2>&1") == 0;
}

}  // namespace

TEST(XorgReads, EveryWrittenFileInEveryMode)
{
    if (!have_xorg())
        GTEST_SKIP() << "no Xorg here";
    TempDir dir;
    std::vector<std::string> sources;
    const struct { const char* name; const char* text; } samples[] = {
        {"single.conf", kSingleConf}, {"foreign.conf", kForeignConf},
        {"pairview.conf", kPairViewConf}, {"merged.conf", kMergedConf}};
    for (auto s : samples) {
        write_text(dir.file(s.name), s.text);
        sources.push_back(dir.file(s.name));
    }
    for (const char* name : {"01-xf86config4-dexconf-chips-usefbdev.conf", "07-xorg-nouveau-dualhead-xinerama-rightof.conf",
                             "12-xorg-configure-vesa-plain.conf", "15-xorg-nvidia-two-gpus-leftof-rightof.conf",
                             "25-xorg-parallels-prlvideo-modelines.conf", "35-xorgd-evdev-inputclass.conf",
                             "40-xorgd-intel-device-noeol.conf", "43-cvx-dualhead-mixedcase-keywords.conf",
                             "44-cvx-dualhead-lowercase-sections.conf"})
        if (cvx::test::corpus_present(CVX_CORPUS_DIR))
            sources.push_back(corpus_file(name));

    MessageRecorder quiet;
    int index = 0;
    for (const std::string& source : sources) {
        for (ConfDisplayMode target : {CONF_MODE_SINGLE, CONF_MODE_MULTI, CONF_MODE_CLONE, CONF_MODE_MERGED}) {
            SCOPED_TRACE(source + " as " + kModeNames[target]);
            XF86ConfigHolder tree = open_silently(source);
            ASSERT_TRUE(tree);
            where = 0;
            confSwitchDisplayMode(tree.get(), confOpenDisplayMode(tree.get()), target);
            confEnableXinerama(tree.get());
            confDisableHWCursor(tree.get());
            confSetBoardBusID(tree.get(), 1, 0);
            std::string out = dir.file("out" + std::to_string(index++) + ".conf");
            testing::internal::CaptureStdout();
            ASSERT_EQ(confWriteConfigFile(out.c_str(), tree.get()), 1);
            testing::internal::GetCapturedStdout();
            std::string log = xorg_log(out, dir);
            EXPECT_NE(log.find("Using config file: \"" + out + "\""), std::string::npos) << log;
            EXPECT_EQ(log.find("Problem parsing the config file"), std::string::npos) << log << read_text(out);
            EXPECT_EQ(log.find("Parse error"), std::string::npos) << log;
            EXPECT_NE(log.find("(==) ServerLayout \"Corvex Twinscape configured.\""), std::string::npos) << log;
        }
    }
    // The samples were checked; say that the corpus files were not.
    CVX_SKIP_WITHOUT_CORPUS(CVX_CORPUS_DIR);
}
