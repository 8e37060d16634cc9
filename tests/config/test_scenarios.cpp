// Scenarios from whole files: open as the program does, switch through every
// display mode and back through the main window's own mode switch, write,
// and open the written file again as the next run would.
#include <gtest/gtest.h>

#include "config/config.h"
#include "config_test_util.h"

using namespace cvx::test;

namespace {

// Writes the tree the way the program does and opens the result again.
XF86ConfigHolder write_and_open(XF86ConfigPtr tree, const TempDir& dir, const std::string& name)
{
    std::string path = dir.file(name);
    testing::internal::CaptureStdout();
    unsigned char ok = confWriteConfigFile(path.c_str(), tree);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(ok, 1);
    XF86ConfigHolder again = open_silently(path);
    EXPECT_TRUE(again) << "the written file does not open:\n" << read_file(path);
    return again;
}

void run_all_modes(const std::string& path, bool layoutIsValid)
{
    MessageRecorder messages;
    TempDir dir;
    XF86ConfigHolder tree = open_silently(path);
    ASSERT_TRUE(tree) << path;
    where = 0;
    const ConfDisplayMode start = confOpenDisplayMode(tree.get());
    ConfDisplayMode current = start;
    const ConfDisplayMode order[] = {CONF_MODE_MULTI,  CONF_MODE_CLONE,  CONF_MODE_MERGED,
                                     CONF_MODE_SINGLE, CONF_MODE_MERGED, CONF_MODE_MULTI,
                                     CONF_MODE_SINGLE, CONF_MODE_CLONE,  start};
    int round = 0;
    for (ConfDisplayMode next : order) {
        SCOPED_TRACE(std::string("round ") + std::to_string(round) + ": " + kModeNames[current] + " -> " +
                     kModeNames[next]);
        confSwitchDisplayMode(tree.get(), current, next);
        current = next;
        if (layoutIsValid) {
            EXPECT_EQ(confGetDisplayMode(tree.get()), next);
        }
        XF86ConfigHolder again = write_and_open(tree.get(), dir, "round" + std::to_string(round++) + ".conf");
        ASSERT_TRUE(again);
        if (layoutIsValid) {
            EXPECT_EQ(confGetDisplayMode(again.get()), next);
            if (next == CONF_MODE_MULTI || next == CONF_MODE_MERGED) {
                int w = -1;
                confGetServerLayout(again.get(), nullptr, &w, nullptr);
                EXPECT_EQ(w, where ? where : CONF_ADJ_LEFTOF);
            }
        }
        if (next == CONF_MODE_MERGED) {
            XF86ConfScreenPtr merged = FindScreen(again.get(), 2);
            ASSERT_NE(merged, nullptr);
            EXPECT_NE(xf86findOption(merged->options, "MetaModes"), nullptr);
        }
    }
    // The second display was created at most once.
    EXPECT_LE(messages.messages().size(), 1u);

    // Xinerama and the cursor switch back and forth through a write. A file
    // that has Xinerama on already keeps its Module entries.
    bool hadXinerama = confXineramaIsActive(tree.get());
    bool hadDri = confIsModuleActive(tree.get(), "dri");
    confEnableXinerama(tree.get());
    confDisableHWCursor(tree.get());
    XF86ConfigHolder on = write_and_open(tree.get(), dir, "flags-on.conf");
    ASSERT_TRUE(on);
    EXPECT_EQ(confXineramaIsActive(on.get()), 1);
    EXPECT_EQ(confIsModuleActive(on.get(), "dri"), hadXinerama && hadDri);
    EXPECT_EQ(confHWCursorIsActive(on.get()), 0);
    confDisableXinerama(on.get());
    confEnableHWCursor(on.get());
    XF86ConfigHolder off = write_and_open(on.get(), dir, "flags-off.conf");
    ASSERT_TRUE(off);
    EXPECT_EQ(confXineramaIsActive(off.get()), 0);
    EXPECT_EQ(confIsModuleActive(off.get(), "dri"), 1);
    EXPECT_EQ(confHWCursorIsActive(off.get()), 1);
}

}  // namespace

TEST(Scenarios, SampleFilesThroughEveryMode)
{
    for (const char* name : kSampleNames) {
        SCOPED_TRACE(name);
        run_all_modes(fixture_path(name), true);
    }
}

TEST(Scenarios, ForeignIdentifiersAreAdoptedNotDuplicated)
{
    XF86ConfigHolder tree = open_silently(fixture_path("foreign.conf"));
    ASSERT_TRUE(tree);
    ASSERT_EQ(confGetDisplayMode(tree.get()), CONF_MODE_MULTI);
    int w = 0, first = -2, second = -2;
    confGetServerLayout(tree.get(), &first, &w, &second);
    EXPECT_EQ(w, CONF_ADJ_RIGHTOF);
    EXPECT_EQ(first, -1);                   // foreign names are no display of ours
    confEnablePairView(tree.get(), w);
    EXPECT_EQ(xf86devices(tree.get()).size(), 2u);
    EXPECT_EQ(xf86monitors(tree.get()).size(), 2u);
    EXPECT_EQ(xf86screens(tree.get()).size(), 2u);
    EXPECT_EQ(FindMonitor(tree.get(), 1)->hsync.at(0).hi, 60.0f);   // Mon1 became Display 2
    EXPECT_EQ(FindScreen(tree.get(), 1)->device_name, "CORVEX CARD 2");
    confGetServerLayout(tree.get(), &first, &w, &second);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);
    std::string text = text_of(tree.get());
    EXPECT_EQ(text.find("Screen0"), std::string::npos) << text;
    EXPECT_EQ(text.find("Card1"), std::string::npos) << text;
}

class CorpusScenario : public testing::TestWithParam<const char*> {};

TEST_P(CorpusScenario, ThroughEveryModeAndBack)
{
    CVX_SKIP_WITHOUT_CORPUS(CVX_CORPUS_DIR);
    std::string path = corpus_file(GetParam());
    XF86ConfigHolder probe = open_silently(path);
    ASSERT_TRUE(probe);
    testing::internal::CaptureStdout();
    bool valid = confValidateLayout(probe.get());
    testing::internal::GetCapturedStdout();
    run_all_modes(path, valid);
}

INSTANTIATE_TEST_SUITE_P(
    Files, CorpusScenario,
    testing::Values("01-xf86config4-dexconf-chips-usefbdev.conf", "03-xorg-nvidia-radeon-twinview-metamodes-dri.conf",
                    "07-xorg-nouveau-dualhead-xinerama-rightof.conf", "12-xorg-configure-vesa-plain.conf",
                    "15-xorg-nvidia-two-gpus-leftof-rightof.conf", "18-xorg-nvidia-twinview-xinerama-above-leftof.conf",
                    "25-xorg-parallels-prlvideo-modelines.conf", "27-xorg-fbturbo-single-device.conf",
                    "40-xorgd-intel-device-noeol.conf", "42-sample-cvx-two-boards-fourneighbour.conf",
                    "43-cvx-dualhead-mixedcase-keywords.conf", "44-cvx-dualhead-lowercase-sections.conf"),
    [](const testing::TestParamInfo<const char*>& param) {
        std::string name(param.param, 2);
        return "file" + name;
    });

namespace {

bool is_display(const std::string& name, int index)
{
    return xf86nameCompare(name, edi2str[index]) == 0;
}

// Every relation of Display 1 to Display 2 that a Screen line of the layout
// states, as seen from Display 1; -1 for a form that places one against the
// other without a plain relation (Relative, the four-neighbour form).
std::vector<int> stated_relations(XF86ConfigPtr tree)
{
    std::vector<int> found;
    for (size_t n = 0; n < line_count(tree); ++n) {
        const XF86ConfAdjacencyRec& l = *line(tree, n);
        const int self = is_display(l.screen_name, 0) ? 0 : is_display(l.screen_name, 1) ? 1 : -1;
        if (self < 0)
            continue;
        const char* other = edi2str[1 - self];
        if (l.where == CONF_ADJ_OBSOLETE) {
            for (const auto* n2 : {&l.top, &l.bottom, &l.left, &l.right})
                if (*n2 && xf86nameCompare(**n2, other) == 0)
                    found.push_back(-1);
            continue;
        }
        if (l.where == CONF_ADJ_ABSOLUTE || !l.refscreen || xf86nameCompare(*l.refscreen, other) != 0)
            continue;
        if (l.where == CONF_ADJ_RELATIVE)
            found.push_back(-1);
        else
            found.push_back(self == 0 ? l.where : confOppositeRelation(l.where));
    }
    return found;
}

// The written file as the server reads it: in PairView Multi-Display every
// line that relates the two displays says `where`, in the other modes none.
void expect_agreeing_lines(XF86ConfigPtr tree, ConfDisplayMode mode)
{
    XF86ConfigHolder again = reparse(tree);
    ASSERT_TRUE(again);
    EXPECT_EQ(confGetDisplayMode(again.get()), mode);
    const std::vector<int> relations = stated_relations(again.get());
    if (mode == CONF_MODE_MULTI) {
        EXPECT_FALSE(relations.empty());
        for (int r : relations)
            EXPECT_EQ(r, where) << text_of(again.get());
        EXPECT_EQ(confGetDisplayRelation(again.get()), where);
    } else {
        EXPECT_TRUE(relations.empty()) << text_of(again.get());
    }
}

}  // namespace

// Real files often carry the relation on the second Screen line. Opened as
// the main window opens them, every mode and every turn of the invert button
// must leave no line that contradicts the relation the program wrote.
TEST(Scenarios, RelationOnTheSecondLineNeverContradictsTheWrittenOne)
{
    MessageRecorder messages;
    XF86ConfigHolder tree = open_silently(fixture_path("foreign.conf"));
    ASSERT_TRUE(tree);
    where = 0;
    ConfDisplayMode current = confOpenDisplayMode(tree.get());
    ASSERT_EQ(current, CONF_MODE_MULTI);
    // "Screen1" RightOf "Screen0": display 1 is left of display 2.
    EXPECT_EQ(where, CONF_ADJ_LEFTOF);
    expect_agreeing_lines(tree.get(), current);
    for (int turn = 1; turn <= 4; ++turn) {
        SCOPED_TRACE("invert " + std::to_string(turn));
        confInvertLayout(tree.get());
        expect_agreeing_lines(tree.get(), current);
    }
    EXPECT_EQ(where, CONF_ADJ_LEFTOF);
    for (ConfDisplayMode next : {CONF_MODE_CLONE, CONF_MODE_MULTI, CONF_MODE_MERGED, CONF_MODE_SINGLE,
                                 CONF_MODE_MULTI}) {
        SCOPED_TRACE(std::string(kModeNames[current]) + " -> " + kModeNames[next]);
        confSwitchDisplayMode(tree.get(), current, next);
        current = next;
        expect_agreeing_lines(tree.get(), current);
    }
}
