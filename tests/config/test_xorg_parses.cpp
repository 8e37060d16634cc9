// The real X server reads every file the model writes: each sample and corpus
// file is switched into each display mode, written, and handed to Xorg, whose
// log must show the file read without a parse or validation error. The board
// driver is not installed, so the server stops right after reading.
#include "config_test_util.h"
#include "support/xorg_check.h"

using namespace cvx::test;

TEST(XorgReads, EveryWrittenFileInEveryMode)
{
    if (!have_xorg())
        GTEST_SKIP() << "no Xorg here";
    TempDir dir;
    std::vector<std::string> sources;
    for (const char* name : kSampleNames)
        sources.push_back(fixture_path(name));
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
            std::string log;
            EXPECT_TRUE(xorg_accepts(out, dir.path(), log)) << log << read_file(out);
            EXPECT_EQ(log.find("Parse error"), std::string::npos) << log;
            EXPECT_NE(log.find("(==) ServerLayout \"Corvex Twinscape configured.\""), std::string::npos) << log;
        }
    }
    // The samples were checked; say that the corpus files were not.
    CVX_SKIP_WITHOUT_CORPUS(CVX_CORPUS_DIR);
}
