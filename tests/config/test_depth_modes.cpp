// Default depth (with 32 as 24 at 32 bpp), the Modes list per depth, and the
// user mode lines with their names and rounded refresh rates.
#include <gtest/gtest.h>

#include "config/modeline.h"
#include "config/refresh.h"
#include "config_test_util.h"

using namespace cvx::test;

namespace {

XF86VidModeModeLine mode(int hd, int hss, int hse, int ht, int vd, int vss, int vse, int vt, unsigned flags = 0,
                         int hskew = 0)
{
    XF86VidModeModeLine m{};
    m.hdisplay = hd;
    m.hsyncstart = hss;
    m.hsyncend = hse;
    m.htotal = ht;
    m.hskew = hskew;
    m.vdisplay = vd;
    m.vsyncstart = vss;
    m.vsyncend = vse;
    m.vtotal = vt;
    m.flags = flags;
    return m;
}

std::vector<std::string> modes_of(XF86ConfigPtr tree, int display, int depth, int max = 50)
{
    std::vector<const char*> out(static_cast<size_t>(max), nullptr);
    int n = confGetResolutions(tree, display, depth, out.data(), max);
    return {out.begin(), out.begin() + n};
}

}  // namespace

TEST(Depth, ThirtyTwoIsTwentyFourAtThirtyTwoBpp)
{
    auto tree = parse(kSingleConf);
    ASSERT_TRUE(tree);
    EXPECT_EQ(confGetDefaultDepth(tree.get(), 0), 24);
    confSetDefaultDepth(tree.get(), 0, 32);
    EXPECT_EQ(confGetDefaultDepth(tree.get(), 0), 32);
    auto again = reparse(tree.get());
    ASSERT_TRUE(again);
    EXPECT_EQ(confGetDefaultDepth(again.get(), 0), 32);
    std::string text = text_of(tree.get());
    EXPECT_NE(text.find("DefaultDepth"), std::string::npos);
    EXPECT_NE(text.find("DefaultFbBPP"), std::string::npos);
    EXPECT_EQ(FindScreen(again.get(), 0)->defaultdepth, 24);
    EXPECT_EQ(FindScreen(again.get(), 0)->defaultfbbpp, 32);

    confSetDefaultDepth(tree.get(), 0, 16);
    EXPECT_EQ(confGetDefaultDepth(tree.get(), 0), 16);
    EXPECT_EQ(text_of(tree.get()).find("DefaultFbBPP"), std::string::npos);

    FindScreen(tree.get(), 0)->defaultdepth = 24;
    FindScreen(tree.get(), 0)->defaultfbbpp = 24;
    EXPECT_EQ(confGetDefaultDepth(tree.get(), 0), 24);
}

TEST(Depth, MissingScreensAndIndexesFailWithTheLine)
{
    auto tree = parse(kSingleConf);
    ASSERT_TRUE(tree);
    testing::internal::CaptureStdout();
    EXPECT_EQ(confGetDefaultDepth(tree.get(), 1), 0);
    EXPECT_EQ(confSetDefaultDepth(tree.get(), 2, 8), nullptr);
    EXPECT_EQ(confGetDefaultDepth(nullptr, 0), 0);
    EXPECT_EQ(confSetResolutions(tree.get(), 1, 0, nullptr, 8), nullptr);
    EXPECT_EQ(confGetResolutions(tree.get(), -1, 8, nullptr, 0), 0);
    EXPECT_EQ(confAddModeline(tree.get(), 1, nullptr, 0), nullptr);
    EXPECT_EQ(confGetUserModeLines(tree.get(), 2), nullptr);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(count_of(out, "getScreenFromIndex failed\n"), 7u) << out;
    testing::internal::CaptureStdout();
    EXPECT_EQ(confSetResolutions(nullptr, 0, 0, nullptr, 8), nullptr);   // silent for a null tree
    EXPECT_EQ(confGetResolutions(nullptr, 0, 8, nullptr, 1), 0);
    EXPECT_EQ(confSetDefaultDepthFromScreenPtr(tree.get(), nullptr, 8), nullptr);
    EXPECT_EQ(confGetDefaultDepthFromScreenPtr(tree.get(), nullptr), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(Resolutions, SetFindsOrAppendsTheSubsectionForTheDepth)
{
    auto tree = parse(kSingleConf);
    ASSERT_TRUE(tree);
    const char* names[] = {"1600x1200", "1024x768"};
    confSetResolutions(tree.get(), 0, 2, names, 32);     // takes the Depth 24 subsection
    XF86ConfScreenPtr s = FindScreen(tree.get(), 0);
    ASSERT_EQ(s->displays.size(), 2u);
    EXPECT_EQ(s->displays[0].modes, (std::vector<std::string>{"1600x1200", "1024x768"}));
    EXPECT_EQ(modes_of(tree.get(), 0, 24), (std::vector<std::string>{"1600x1200", "1024x768"}));

    confSetResolutions(tree.get(), 0, 1, names, 8);      // none for 8: appended
    ASSERT_EQ(s->displays.size(), 3u);
    EXPECT_EQ(s->displays[2].depth, 8);
    confSetResolutions(tree.get(), 0, 2, names, 8);      // reused
    ASSERT_EQ(s->displays.size(), 3u);
    EXPECT_EQ(s->displays[2].modes.size(), 2u);
    auto again = reparse(tree.get());
    ASSERT_TRUE(again);
    EXPECT_EQ(modes_of(again.get(), 0, 8), (std::vector<std::string>{"1600x1200", "1024x768"}));
    EXPECT_EQ(modes_of(again.get(), 0, 16), (std::vector<std::string>{"1024x768"}));

    // A subsection written as Depth 32 is the one for 32, and becomes 24.
    s->displays.insert(s->displays.begin(), XF86ConfDisplayRec{});
    s->displays[0].depth = 32;
    confSetResolutions(tree.get(), 0, 1, names, 32);
    EXPECT_EQ(s->displays[0].depth, 24);
    EXPECT_EQ(s->displays[0].modes, (std::vector<std::string>{"1600x1200"}));
    EXPECT_EQ(s->displays.size(), 4u);

    // A depth the dialog never offers: refused, the list it found emptied.
    EXPECT_EQ(confSetResolutions(tree.get(), 0, 1, names, 16 + 1), nullptr);
    ASSERT_EQ(s->displays.size(), 5u);
    EXPECT_EQ(s->displays[4].depth, 0);
    EXPECT_TRUE(s->displays[4].modes.empty());
}

TEST(Resolutions, GetStopsAtMaxAndDepthZeroFindsTheUndepthedSubsection)
{
    auto tree = parse(kSingleConf);
    ASSERT_TRUE(tree);
    EXPECT_EQ(modes_of(tree.get(), 0, 24, 2), (std::vector<std::string>{"1280x1024", "1024x768"}));
    EXPECT_TRUE(modes_of(tree.get(), 0, 8).empty());
    XF86ConfScreenPtr s = FindScreen(tree.get(), 0);
    XF86ConfDisplayRec plain;
    plain.modes = {"720x400"};
    s->displays.push_back(plain);
    EXPECT_EQ(modes_of(tree.get(), 0, 0), (std::vector<std::string>{"720x400"}));
    EXPECT_EQ(confGetResolutionsFromScreenPtr(tree.get(), s, 24, nullptr, 5), 0);
}

TEST(ModeLines, NameRateRoundingAndClashes)
{
    auto tree = parse(kPairViewConf);
    ASSERT_TRUE(tree);
    // 78.75 MHz over 1312 x 800 is 75.03 Hz.
    XF86VidModeModeLine m = mode(1024, 1040, 1136, 1312, 768, 769, 772, 800,
                                 XF86CONF_PHSYNC | XF86CONF_PVSYNC | 0x80000000u, 7);
    for (int k = 0; k < 3; ++k)
        ASSERT_EQ(confAddModeline(tree.get(), 1, &m, 78750), tree.get());
    const auto* lines = confGetUserModeLines(tree.get(), 1);
    ASSERT_NE(lines, nullptr);
    ASSERT_EQ(lines->size(), 3u);
    EXPECT_EQ((*lines)[0].identifier, "1024x768@75Hz:1");
    EXPECT_EQ((*lines)[1].identifier, "1024x768@75Hz:1(1)");
    EXPECT_EQ((*lines)[2].identifier, "1024x768@75Hz:1(2)");
    EXPECT_EQ((*lines)[0].clock, 78750);
    EXPECT_EQ((*lines)[0].vscan, 0);
    EXPECT_EQ((*lines)[0].hskew, 7);
    EXPECT_EQ(static_cast<unsigned>((*lines)[0].flags), XF86CONF_PHSYNC | XF86CONF_PVSYNC | 0x80000000u);
    EXPECT_EQ((*lines)[0].htotal, 1312);
    EXPECT_EQ((*lines)[0].vsyncend, 772);

    // The clash test uses the library's comparison of names.
    auto other = parse(kPairViewConf);
    ASSERT_TRUE(other);
    XF86ConfModeLineRec existing = (*lines)[0];
    existing.identifier = "1024X768@75hz:_0";
    FindMonitor(other.get(), 0)->modelines.push_back(existing);
    confAddModeline(other.get(), 0, &m, 78750);
    EXPECT_EQ(FindMonitor(other.get(), 0)->modelines.back().identifier, "1024x768@75Hz:0(1)");

    // Written and read again, the lines come back in order.
    auto again = reparse(tree.get());
    ASSERT_TRUE(again);
    const auto* back = confGetUserModeLines(again.get(), 1);
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(back->size(), 3u);
    EXPECT_EQ((*back)[2].identifier, "1024x768@75Hz:1(2)");
    EXPECT_EQ(confGetUserModeLines(again.get(), 0), nullptr);   // Display 1 has none
}

TEST(ModeLines, RatesRoundHalfUp)
{
    const struct { int clock, htotal, vtotal, rate; } table[] = {
        {5950, 100, 1000, 60},      // 59.50 Hz
        {5949, 100, 1000, 59},      // 59.49 Hz
        {25175, 800, 525, 60},      // 59.94 Hz
        {135000, 1688, 1066, 75},   // 75.02 Hz
        {3000000, 1000, 1000, 3000},// a clock whose kHz times 1000 passes 2^31
        {1000, 0, 525, 0},          // no frame size: rate 0
    };
    for (auto row : table) {
        auto tree = parse(kSingleConf);
        ASSERT_TRUE(tree);
        XF86VidModeModeLine m = mode(640, 656, 752, row.htotal, 480, 490, 492, row.vtotal);
        confAddModeline(tree.get(), 0, &m, row.clock);
        EXPECT_EQ(FindMonitor(tree.get(), 0)->modelines.back().identifier,
                  "640x480@" + std::to_string(row.rate) + "Hz:0") << row.clock;
    }
}

// The one rounding every figure uses (the windows' summaries, the refresh
// spin button, the mode-line names).
TEST(ModeLines, RefreshRateRoundsToTheNearestHzHalvesUp)
{
    EXPECT_EQ(confRefreshRate(65000, 1344, 806), 60);      // 60.0038 Hz
    EXPECT_EQ(confRefreshRate(78750, 1312, 800), 75);      // 75.03 Hz
    EXPECT_EQ(confRefreshRate(59500, 1000, 1000), 60);     // exactly 59.5 Hz
    EXPECT_EQ(confRefreshRate(59490, 1000, 1000), 59);     // 59.49 Hz
    EXPECT_EQ(confRefreshRate(108000, 1688, 1066), 60);    // 60.02 Hz
    EXPECT_EQ(confRefreshRate(108000, 0, 1066), 0);        // no frame
    EXPECT_EQ(confRefreshRate(400000, 65535, 65535), 0);   // 0.09 Hz, no overflow
    EXPECT_EQ(confRefreshRate(3000000, 1000, 1000), 3000); // kHz x 1000 passes 2^31
}

TEST(ModeLines, ScreenWithoutMonitorGivesNull)
{
    auto tree = parse(R"(Section "Screen"
    Identifier "Display 1"
EndSection
)");
    ASSERT_TRUE(tree);
    XF86VidModeModeLine m = mode(640, 656, 752, 800, 480, 490, 492, 525);
    testing::internal::CaptureStdout();
    EXPECT_EQ(confAddModeline(tree.get(), 0, &m, 25175), nullptr);
    EXPECT_EQ(confGetUserModeLines(tree.get(), 0), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}
