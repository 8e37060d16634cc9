// MetaModes generation: the pairing walk, the desktop size, the union Modes
// list, the copied mode lines and the second monitor's ranges.
#include <gtest/gtest.h>

#include "config/config.h"
#include "config_test_util.h"

using namespace cvx::test;

namespace {

using Names = std::vector<std::string>;

void set_modes(XF86ConfigPtr tree, int display, const Names& names)
{
    std::vector<const char*> ptrs;
    for (const auto& n : names)
        ptrs.push_back(n.c_str());
    ASSERT_EQ(confSetResolutions(tree, display, static_cast<int>(ptrs.size()), ptrs.data(), 24), tree);
}

struct Result {
    std::string metamodes;
    int vx = -1, vy = -1;
    Names modes;
    std::string console;
};

// Runs the generation on the merged sample with these lists and placement.
Result generate(const Names& a, const Names& b, const char* position = "RightOf")
{
    Result r;
    auto tree = parse(kMergedConf);
    EXPECT_TRUE(tree);
    if (!tree)
        return r;
    set_modes(tree.get(), 0, a);
    set_modes(tree.get(), 1, b);
    XF86ConfScreenPtr merged = FindScreen(tree.get(), 2);
    confSetOption(merged->options, "Monitor2Position", position);
    testing::internal::CaptureStdout();
    EXPECT_EQ(confGenerateMetaModes(tree.get()), tree.get());
    r.console = testing::internal::GetCapturedStdout();
    const char* value = xf86findOptionValue(merged->options, "MetaModes");
    r.metamodes = value ? value : "(none)";
    r.vx = merged->displays.at(0).virtual_x;
    r.vy = merged->displays.at(0).virtual_y;
    r.modes = merged->displays.at(0).modes;
    return r;
}

}  // namespace

TEST(FitDesk, PlacementDecidesHowSizesAdd)
{
    const struct { int where, w1, h1, w2, h2, W, H; } table[] = {
        {1, 1280, 1024, 1024, 768, 2304, 1024},
        {2, 800, 600, 1024, 768, 1824, 768},
        {3, 1280, 1024, 1024, 768, 1280, 1792},
        {4, 640, 480, 800, 600, 800, 1080},
        {0, 640, 480, 800, 600, 800, 600},
        {5, 640, 480, 800, 600, 800, 600},
        {-1, 640, 900, 800, 600, 800, 900},
    };
    for (auto row : table) {
        int W = 0, H = 0;
        FitDesk(&W, &H, row.where, row.w1, row.h1, row.w2, row.h2);
        EXPECT_EQ(W, row.W) << "where " << row.where;
        EXPECT_EQ(H, row.H) << "where " << row.where;
    }
    int W = 3000, H = 100;
    FitDesk(&W, &H, 2, 800, 600, 800, 600);   // only ever grows
    EXPECT_EQ(W, 3000);
    EXPECT_EQ(H, 600);
    FitDesk(&W, &H, 1, 2000000000, 1, 2000000000, 1);   // no overflow
    EXPECT_EQ(W, 2147483647);
}

TEST(MetaModes, WorkedExampleSideBySide)
{
    Result r = generate({"1280x1024", "1024x768", "800x600"}, {"1024x768", "800x600"});
    EXPECT_EQ(r.metamodes, "1280x1024-1024x768 1024x768-1024x768 800x600-800x600 1024x768 800x600 ");
    EXPECT_EQ(r.vx, 2304);
    EXPECT_EQ(r.vy, 1024);
    EXPECT_EQ(r.modes, (Names{"1280x1024", "1024x768", "800x600"}));
    EXPECT_EQ(r.console, "Metamodes: " + r.metamodes + " \n");
}

TEST(MetaModes, WorkedExampleShortFirstList)
{
    Result r = generate({"800x600"}, {"1024x768", "800x600", "640x480"});
    EXPECT_EQ(r.metamodes, "800x600-1024x768 800x600-800x600 800x600-640x480 800x600 ");
    EXPECT_EQ(r.modes, (Names{"800x600", "1024x768", "640x480"}));
    EXPECT_EQ(r.vx, 1824);
    EXPECT_EQ(r.vy, 768);
}

TEST(MetaModes, ExhaustedListsPairWithTheLastName)
{
    Result same = generate({"1024x768", "800x600"}, {"1024x768", "800x600"});
    EXPECT_EQ(same.metamodes, "1024x768-1024x768 800x600-800x600 1024x768 800x600 ");

    Result bShort = generate({"1280x1024", "1024x768", "800x600", "640x480"}, {"1024x768"});
    EXPECT_EQ(bShort.metamodes,
              "1280x1024-1024x768 1024x768-1024x768 800x600-1024x768 640x480-1024x768 1024x768 ");

    // A name listed twice in B is a common mode twice.
    Result twice = generate({"800x600"}, {"800x600", "800x600"});
    EXPECT_EQ(twice.metamodes, "800x600-800x600 800x600-800x600 800x600 800x600 ");
    EXPECT_EQ(twice.modes, (Names{"800x600"}));
}

TEST(MetaModes, StackedPlacementAddsHeights)
{
    Result below = generate({"1280x1024", "1024x768"}, {"1024x768"}, "Below");
    EXPECT_EQ(below.vx, 1280);
    EXPECT_EQ(below.vy, 1024 + 768);
    Result above = generate({"800x600"}, {"1024x768"}, "Above");
    EXPECT_EQ(above.vx, 1024);
    EXPECT_EQ(above.vy, 1368);
}

TEST(MetaModes, UserModeLineNamesAndNamesWithoutSize)
{
    Result user = generate({"1024x768@75Hz:0"}, {"1024x768"});
    // Equal areas: both advance, one pair, no common name.
    EXPECT_EQ(user.metamodes, "1024x768@75Hz:0-1024x768 ");
    EXPECT_EQ(user.vx, 2048);
    EXPECT_EQ(user.vy, 768);

    Result odd = generate({"wide", "800x600"}, {"800x600"});
    EXPECT_EQ(odd.vx, 1600);
    EXPECT_EQ(odd.vy, 600);
    EXPECT_NE(odd.metamodes.find("wide-800x600"), std::string::npos);
}

TEST(MetaModes, EmptyListsDoNotReadOutside)
{
    // Display 2 has nothing at its depth: it takes Display 1's names.
    Result oneEmpty = generate({"1024x768", "800x600"}, {});
    EXPECT_EQ(oneEmpty.metamodes, "1024x768-1024x768 800x600-800x600 1024x768 800x600 ");
    Result bothEmpty = generate({}, {});
    EXPECT_EQ(bothEmpty.metamodes, "");
    EXPECT_TRUE(bothEmpty.modes.empty());
}

TEST(MetaModes, LongListsHaveNoLimit)
{
    Names a, b;
    for (int k = 0; k < 300; ++k) {
        a.push_back(std::to_string(2000 - k) + "x" + std::to_string(1500 - k));
        b.push_back(std::to_string(1999 - k) + "x" + std::to_string(1500 - k));
    }
    Result r = generate(a, b);
    EXPECT_GT(r.metamodes.size(), 1024u);
    EXPECT_EQ(r.modes.size(), 600u);
    EXPECT_EQ(r.modes.back(), b.back());
    EXPECT_NE(r.metamodes.find(a.back() + "-" + b.back()), std::string::npos);
}

TEST(MetaModes, RerunReplacesAndCopiesModeLinesAndRanges)
{
    auto tree = parse(kMergedConf);
    ASSERT_TRUE(tree);
    testing::internal::CaptureStdout();
    confGenerateMetaModes(tree.get());
    std::string first = text_of(tree.get());
    confGenerateMetaModes(tree.get());
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(text_of(tree.get()), first);
    EXPECT_EQ(count_of(first, "MetaModes"), 1u);

    XF86ConfScreenPtr merged = FindScreen(tree.get(), 2);
    EXPECT_STREQ(xf86findOptionValue(merged->options, "Monitor2HSync"), "30.0-60.0 ");
    EXPECT_STREQ(xf86findOptionValue(merged->options, "Monitor2VRefresh"), "50.0-70.0 ");
    const auto& lines = FindMonitor(tree.get(), 2)->modelines;
    ASSERT_EQ(lines.size(), 2u);                           // "stale" is gone
    EXPECT_EQ(lines[0].identifier, "1280x1024@75Hz:0");
    EXPECT_EQ(lines[0].clock, 135000);
    EXPECT_EQ(lines[1].identifier, "1024x768");
    EXPECT_EQ(lines[1].vtotal, 806);
    EXPECT_EQ(lines[1].flags, XF86CONF_NHSYNC | XF86CONF_NVSYNC);
    auto again = reparse(tree.get());
    ASSERT_TRUE(again);
    EXPECT_EQ(confMergedFBIsActive(again.get()), 1);
}

TEST(MetaModes, OnlyInMergedModeAndOnlyWithAllSections)
{
    auto pair = parse(kPairViewConf);
    ASSERT_TRUE(pair);
    std::string before = text_of(pair.get());
    EXPECT_EQ(confGenerateMetaModes(pair.get()), pair.get());
    EXPECT_EQ(text_of(pair.get()), before);

    auto tree = parse(kMergedConf);
    ASSERT_TRUE(tree);
    FindMonitor(tree.get(), 1)->identifier = "Renamed";
    FindScreen(tree.get(), 1)->monitor_name = "Renamed";
    before = text_of(tree.get());
    EXPECT_EQ(confGenerateMetaModes(tree.get()), nullptr);
    EXPECT_EQ(text_of(tree.get()), before);
    EXPECT_EQ(confGenerateMetaModes(nullptr), nullptr);
}

TEST(MetaModes, MergedScreenWithoutDepthKeepsItsModes)
{
    auto tree = parse(kMergedConf);
    ASSERT_TRUE(tree);
    XF86ConfScreenPtr merged = FindScreen(tree.get(), 2);
    merged->defaultdepth = 0;
    merged->displays[0].depth = 0;
    testing::internal::CaptureStdout();
    confGenerateMetaModes(tree.get());
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(merged->displays.size(), 1u);
    EXPECT_EQ(merged->displays[0].modes, (Names{"1280x1024", "1024x768", "800x600"}));
    EXPECT_EQ(merged->displays[0].virtual_x, 2304);
}

TEST(MetaModes, WritingInMergedModeRegenerates)
{
    TempDir dir;
    auto tree = parse(kMergedConf);
    ASSERT_TRUE(tree);
    testing::internal::CaptureStdout();
    ASSERT_EQ(confWriteConfigFile(dir.file("out.conf").c_str(), tree.get()), 1);
    EXPECT_EQ(count_of(testing::internal::GetCapturedStdout(), "Metamodes: "), 1u);
    std::string text = read_file(dir.file("out.conf"));
    EXPECT_NE(text.find("1280x1024-1024x768 1024x768-1024x768 800x600-800x600 1024x768 800x600 "),
              std::string::npos) << text;
    EXPECT_NE(text.find("Monitor2HSync"), std::string::npos);
    EXPECT_EQ(confWriteConfigFile(dir.file("x.conf").c_str(), nullptr), 0);
}

TEST(MetaModes, UnionKeepsRepeatsAndDepthlessListsStandInOnlyForAMissingSubsection)
{
    Result repeated = generate({"800x600", "800x600"}, {"1024x768"});
    EXPECT_EQ(repeated.modes, (Names{"800x600", "800x600", "1024x768"}));

    auto tree = parse(kMergedConf);
    ASSERT_TRUE(tree);
    XF86ConfScreenPtr screen2 = FindScreen(tree.get(), 1);
    XF86ConfDisplayRec any;
    any.modes = {"640x480"};
    screen2->displays.push_back(any);
    screen2->displays[0].modes.clear();
    XF86ConfScreenPtr merged = FindScreen(tree.get(), 2);
    testing::internal::CaptureStdout();
    confGenerateMetaModes(tree.get());
    // Display 2's subsection for its depth exists, empty: Display 1's list stands in.
    EXPECT_STREQ(xf86findOptionValue(merged->options, "MetaModes"),
                 "1280x1024-1280x1024 1024x768-1024x768 800x600-800x600 1280x1024 1024x768 800x600 ");
    screen2->displays.erase(screen2->displays.begin());
    confGenerateMetaModes(tree.get());
    testing::internal::GetCapturedStdout();
    EXPECT_STREQ(xf86findOptionValue(merged->options, "MetaModes"),
                 "1280x1024-640x480 1024x768-640x480 800x600-640x480 ");
}
