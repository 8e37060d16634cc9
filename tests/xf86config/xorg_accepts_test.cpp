// The real X server reads what the library writes: representative corpus
// files are edited the way the program edits them, written, and given to
// Xorg with -config; its log must show the file was used without a parse or
// validation error. (Missing video drivers make the server stop afterwards;
// that is not what is checked.)
#include "support/diagnostics.h"
#include "support/files.h"
#include "support/xorg_check.h"
#include "support/corpus.h"
#include "xf86config/xf86config.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using cvx::test::read_file;

namespace {

void edit_like_the_program(XF86ConfigPtr tree)
{
    for (XF86ConfDevicePtr d : xf86devices(tree)) {
        xf86addNewOption(d->options, "hw cursor", std::string("off"));
        d->busid = "PCI:1:0:0";
    }
    for (XF86ConfMonitorPtr m : xf86monitors(tree)) {
        XF86ConfModeLineRec ml;
        ml.identifier = "1152x864";
        ml.clock = 108880;
        ml.hdisplay = 1152; ml.hsyncstart = 1216; ml.hsyncend = 1344; ml.htotal = 1600;
        ml.vdisplay = 864; ml.vsyncstart = 865; ml.vsyncend = 868; ml.vtotal = 900;
        ml.flags = XF86CONF_PHSYNC | XF86CONF_PVSYNC;
        m->modelines.push_back(ml);
        m->hsync = {{30.5f, 83}};
        m->vrefresh = {{56, 76}, {85, 85}};
    }
    for (XF86ConfScreenPtr s : xf86screens(tree)) {
        s->defaultdepth = 24;
        if (!s->displays.empty())
            s->displays.front().modes = {"1152x864", "1024x768"};
    }
    auto dev = std::make_unique<XF86ConfDeviceRec>();
    dev->identifier = "CORVEX CARD 2";
    dev->driver = "cvx";
    dev->busid = "PCI:1:0:0";
    dev->screen = 1;
    XF86ConfDevicePtr device = xf86addSection(tree, std::move(dev));
    auto mon = std::make_unique<XF86ConfMonitorRec>();
    mon->identifier = "Display 2";
    mon->hsync = {{31.5f, 64.3f}};
    mon->vrefresh = {{50, 90}};
    XF86ConfMonitorPtr monitor = xf86addSection(tree, std::move(mon));
    auto scr = std::make_unique<XF86ConfScreenRec>();
    scr->identifier = "Display 2";
    scr->device_name = device->identifier;
    scr->monitor_name = monitor->identifier;
    scr->defaultdepth = 24;
    XF86ConfDisplayRec disp;
    disp.depth = 24;
    disp.modes = {"640x480"};
    scr->displays.push_back(disp);
    xf86addSection(tree, std::move(scr));
    auto layouts = xf86layouts(tree);
    if (!layouts.empty()) {
        XF86ConfLayoutPtr l = layouts.front();
        l->identifier = "Corvex Twinscape configured.";
        if (!l->adjacencies.empty()) {
            XF86ConfAdjacencyRec a;
            a.screen_name = "Display 2";
            a.where = CONF_ADJ_RIGHTOF;
            a.refscreen = l->adjacencies.front().screen_name;
            l->adjacencies.push_back(a);
        }
    }
    if (XF86ConfFlagsPtr flags = xf86serverFlags(tree))
        xf86addNewOption(flags->options, "Xinerama", std::nullopt);
    else {
        auto f = std::make_unique<XF86ConfFlagsRec>();
        xf86addNewOption(f->options, "Xinerama", std::nullopt);
        xf86addSection(tree, std::move(f));
    }
}

}  // namespace

TEST(Xorg, ReadsTheFilesTheLibraryWrites)
{
    if (!cvx::test::have_xorg())
        GTEST_SKIP() << "Xorg is not installed";
    const cvx::test::TempDir tmp("cvx-xorg-accepts");
    const fs::path dir = tmp.path();
    const char* const corpus_files[] = {
        "03-xorg-nvidia-radeon-twinview-metamodes-dri.conf",
        "05-xorg-openbsd-radeon-ppc-modes-usemodes-dri.conf",
        "18-xorg-nvidia-twinview-xinerama-above-leftof.conf",
        "42-sample-cvx-two-boards-fourneighbour.conf",
        "43-cvx-dualhead-mixedcase-keywords.conf",
        "44-cvx-dualhead-lowercase-sections.conf",
        "45-xorg7-vesa-rgbpath-obsolete-warning.conf",
    };
    std::string log;
    // The check can fail: a unit suffix, which the server refuses, shows in its log.
    {
        const std::string conf =
            tmp.write("refused.conf", "Section \"Monitor\"\n Identifier \"m\"\n HorizSync 30-70 kHz\nEndSection\n");
        EXPECT_FALSE(cvx::test::xorg_reads_cleanly(conf, tmp.path(), log));
        EXPECT_NE(log.find("Problem parsing the config file"), std::string::npos) << log;
    }
    std::vector<fs::path> files = cvx::test::conf_files(CVX_XF86CONFIG_SAMPLES);
    const bool corpus = cvx::test::corpus_present(CVX_XORG_CORPUS);
    if (corpus)
        for (const char* name : corpus_files)
            files.push_back(fs::path(CVX_XORG_CORPUS) / name);
    for (const fs::path& path : files) {
        const std::string name = path.filename().string();
        SCOPED_TRACE(name);
        XF86ConfigHolder tree(xf86parseConfigText(read_file(path), name.c_str()));
        ASSERT_TRUE(tree);
        edit_like_the_program(tree.get());
        const fs::path conf = dir / name;
        ASSERT_EQ(xf86writeConfigFile(conf.c_str(), tree.get()), 1);
        EXPECT_TRUE(cvx::test::xorg_reads_cleanly(conf.string(), tmp.path(), log)) << log;
    }
    // The project's samples were checked; say that the real-world files were not.
    CVX_SKIP_WITHOUT_CORPUS(CVX_XORG_CORPUS);
}
