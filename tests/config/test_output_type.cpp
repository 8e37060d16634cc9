// Output type: TV (standard and cable) and digital screen options of the
// Device section a display's Screen refers to.
#include <gtest/gtest.h>

#include "config/config.h"
#include "config_test_util.h"

using namespace cvx::test;

namespace {

XF86OptionList& options_of(XF86ConfigPtr tree, int display)
{
    return FindScreen(tree, display)->device->options;
}

}  // namespace

TEST(TVOut, EnableAppendsInOrderAndReplacesOnRepeat)
{
    auto tree = parse(kPairViewConf);
    ASSERT_TRUE(tree);
    EXPECT_EQ(confTVIsActive(tree.get(), 1), 0);
    EXPECT_EQ(confGetTVStandard(tree.get(), 1), nullptr);
    ASSERT_EQ(confEnableTVout(tree.get(), 1, "NTSC", "YC_COMPOSITE"), tree.get());
    XF86OptionList& opts = options_of(tree.get(), 1);
    ASSERT_EQ(opts.size(), 3u);
    EXPECT_EQ(opts[0].name, "TV");
    EXPECT_EQ(opts[1].name, "CableType");
    EXPECT_EQ(opts[2].name, "TVStandard");
    confEnableTVout(tree.get(), 1, "PAL", "SCART_RGB");
    ASSERT_EQ(opts.size(), 3u);
    EXPECT_STREQ(confGetTVStandard(tree.get(), 1), "PAL");
    EXPECT_STREQ(confGetCableType(tree.get(), 1), "SCART_RGB");
    EXPECT_EQ(confTVIsActive(tree.get(), 1), 1);
    EXPECT_EQ(confTVIsActive(tree.get(), 0), 0);       // the other display is untouched

    confDisableTVout(tree.get(), 1);
    EXPECT_EQ(confTVIsActive(tree.get(), 1), 0);
    auto again = reparse(tree.get());
    ASSERT_TRUE(again);
    std::string text = text_of(again.get());
    EXPECT_NE(text.find("\"TV\" \"no\""), std::string::npos) << text;
    EXPECT_STREQ(confGetTVStandard(again.get(), 1), "PAL");
    EXPECT_STREQ(confGetCableType(again.get(), 1), "SCART_RGB");
}

TEST(TVOut, ValuesAreExactNamesUseTheLibraryLookup)
{
    auto tree = parse(R"(Section "Device"
    Identifier "CORVEX CARD 1"
    Driver "cvx"
    Option "t_v" "Yes"
    Option "TV Standard" ""
EndSection
Section "Screen"
    Identifier "Display 1"
    Device "CORVEX CARD 1"
EndSection
)");
    ASSERT_TRUE(tree);
    EXPECT_EQ(confTVIsActive(tree.get(), 0), 0);         // "Yes" is not "yes"
    EXPECT_STREQ(confGetTVStandard(tree.get(), 0), "");  // empty, not null
    confDisableTVout(tree.get(), 0);
    EXPECT_EQ(options_of(tree.get(), 0)[0].value, "Yes");
    confEnableTVout(tree.get(), 0, "NTSC", "SCART_TYPE2");
    XF86OptionList& opts = options_of(tree.get(), 0);
    ASSERT_EQ(opts.size(), 3u);
    EXPECT_EQ(opts[0].name, "t_v");                      // name as written
    EXPECT_EQ(opts[0].value, "yes");
    EXPECT_EQ(opts[1].name, "TV Standard");
    EXPECT_EQ(opts[1].value, "NTSC");
    EXPECT_EQ(opts[2].name, "CableType");
}

TEST(DigitalScreen, OnOffWithoutDuplicates)
{
    auto tree = parse(R"(Section "Device"
    Identifier "CORVEX CARD 1"
    Driver "cvx"
    Option "DigitalScreen" "no"
    Option "TV" "yes"
EndSection
Section "Device"
    Identifier "CORVEX CARD 2"
    Driver "cvx"
    Screen 1
    Option "DigitalScreen"
EndSection
Section "Screen"
    Identifier "Display 1"
    Device "CORVEX CARD 1"
EndSection
Section "Screen"
    Identifier "Display 2"
    Device "CORVEX CARD 2"
EndSection
)");
    ASSERT_TRUE(tree);
    // The dialog's digital choice: TV off, then digital on.
    confDisableTVout(tree.get(), 0);
    confEnableDigitalScreen(tree.get(), 0);
    XF86OptionList& opts = options_of(tree.get(), 0);
    ASSERT_EQ(opts.size(), 2u);
    EXPECT_EQ(opts[0].value, "yes");
    EXPECT_EQ(opts[1].value, "no");
    EXPECT_EQ(confDigitalScreenIsActive(tree.get(), 0), 1);
    EXPECT_EQ(confTVIsActive(tree.get(), 0), 0);
    confDisableDigitalScreen(tree.get(), 0);
    EXPECT_EQ(opts[0].value, "no");
    EXPECT_EQ(opts.size(), 2u);

    // A value-less option reads as off and is left alone by disabling.
    EXPECT_EQ(confDigitalScreenIsActive(tree.get(), 1), 0);
    confDisableDigitalScreen(tree.get(), 1);
    EXPECT_FALSE(options_of(tree.get(), 1)[0].value.has_value());
    confEnableDigitalScreen(tree.get(), 1);
    EXPECT_EQ(options_of(tree.get(), 1)[0].value, "yes");
    EXPECT_EQ(options_of(tree.get(), 1).size(), 1u);
}

TEST(OutputType, MissingSectionsChangeNothing)
{
    auto tree = parse(kSingleConf);
    ASSERT_TRUE(tree);
    std::string before = text_of(tree.get());
    testing::internal::CaptureStdout();
    EXPECT_EQ(confEnableTVout(tree.get(), 1, "PAL", "SCART_RGB"), nullptr);
    EXPECT_EQ(confDisableTVout(tree.get(), 1), tree.get());
    EXPECT_EQ(confTVIsActive(tree.get(), 2), 0);
    EXPECT_EQ(confGetTVStandard(tree.get(), 1), nullptr);
    EXPECT_EQ(confGetCableType(tree.get(), 1), nullptr);
    EXPECT_EQ(confEnableDigitalScreen(tree.get(), 1), nullptr);
    EXPECT_EQ(confDisableDigitalScreen(tree.get(), 1), tree.get());
    EXPECT_EQ(confDigitalScreenIsActive(tree.get(), 1), 0);
    EXPECT_EQ(count_of(testing::internal::GetCapturedStdout(), "getScreenFromIndex failed\n"), 8u);
    EXPECT_EQ(text_of(tree.get()), before);

    testing::internal::CaptureStdout();
    EXPECT_EQ(confEnableTVout(nullptr, 0, "PAL", "SCART_RGB"), nullptr);
    EXPECT_EQ(confTVIsActive(nullptr, 0), 0);
    EXPECT_EQ(confGetCableType(nullptr, 0), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    // A Screen section that names no Device: nothing to read or change.
    auto bare = parse("Section \"Screen\"\n Identifier \"Display 1\"\nEndSection\n");
    ASSERT_TRUE(bare);
    EXPECT_EQ(confEnableTVout(bare.get(), 0, "PAL", "SCART_RGB"), nullptr);
    EXPECT_EQ(confEnableDigitalScreen(bare.get(), 0), nullptr);
    EXPECT_EQ(confTVIsActive(bare.get(), 0), 0);
}
