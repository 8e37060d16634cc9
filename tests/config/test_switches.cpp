// The display-mode switches: each on and off again, the tests that read the
// mode back, Xinerama, the hardware cursor and the Module entries.
#include <gtest/gtest.h>

#include "config/config.h"
#include "config_test_util.h"

using namespace cvx::test;

TEST(ModeTests, ReadTheSampleFiles)
{
    auto single = parse(kSingleConf);
    auto pair = parse(kPairViewConf);
    auto merged = parse(kMergedConf);
    ASSERT_TRUE(single && pair && merged);
    EXPECT_EQ(confPairViewIsActive(single.get()), 0);
    EXPECT_EQ(confCloneIsActive(single.get()), 0);
    EXPECT_EQ(confMergedFBIsActive(single.get()), 0);
    EXPECT_EQ(confPairViewIsActive(pair.get()), 1);
    EXPECT_EQ(confCloneIsActive(pair.get()), 0);
    EXPECT_EQ(confMergedFBIsActive(merged.get()), 1);
    EXPECT_EQ(confPairViewIsActive(merged.get()), 0);

    testing::internal::CaptureStdout();
    EXPECT_EQ(confPairViewIsActive(nullptr), 0);
    EXPECT_EQ(confCloneIsActive(nullptr), 0);
    EXPECT_EQ(confMergedFBIsActive(nullptr), 0);
    EXPECT_EQ(count_of(testing::internal::GetCapturedStdout(),
                       "Corvex Twinscape: Configuration problem encountered.\n"), 3u);

    // A layout naming a missing section reports no mode at all.
    line(pair.get(), 1)->screen_name = "Gone";
    testing::internal::CaptureStdout();
    EXPECT_EQ(confPairViewIsActive(pair.get()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Invalid Layout\n");
}

TEST(PairView, EnableOnSingleDisplayAndDisableAgain)
{
    MessageRecorder messages;
    auto tree = parse(kSingleConf);
    ASSERT_TRUE(tree);
    ASSERT_EQ(confEnablePairView(tree.get(), CONF_ADJ_LEFTOF), tree.get());
    EXPECT_EQ(messages.messages().size(), 1u);          // Display 2 was created
    ASSERT_EQ(line_count(tree.get()), 2u);
    EXPECT_EQ(line(tree.get(), 0)->screen_name, "Display 1");
    EXPECT_EQ(line(tree.get(), 0)->where, CONF_ADJ_LEFTOF);
    EXPECT_EQ(line(tree.get(), 0)->refscreen, "Display 2");
    EXPECT_EQ(line(tree.get(), 1)->screen_name, "Display 2");
    EXPECT_EQ(line(tree.get(), 1)->where, 0);
    EXPECT_EQ(line(tree.get(), 1)->scrnum, -1);
    EXPECT_EQ(xf86findOption(FindScreen(tree.get(), 0)->device->options, "NoHal"), nullptr);
    EXPECT_EQ(confPairViewIsActive(tree.get()), 1);

    auto again = reparse(tree.get());
    ASSERT_TRUE(again);
    EXPECT_EQ(confPairViewIsActive(again.get()), 1);
    int w = 0;
    confGetServerLayout(again.get(), nullptr, &w, nullptr);
    EXPECT_EQ(w, CONF_ADJ_LEFTOF);
    EXPECT_NE(text_of(tree.get()).find("LeftOf \"Display 2\""), std::string::npos) << text_of(tree.get());
    EXPECT_EQ(xf86devices(again.get())[1]->screen, 1);

    confDisablePairView(tree.get());
    EXPECT_EQ(line_count(tree.get()), 1u);
    EXPECT_FALSE(line(tree.get(), 0)->refscreen);
    EXPECT_EQ(line(tree.get(), 0)->where, 0);
    EXPECT_EQ(confPairViewIsActive(tree.get()), 0);
    EXPECT_EQ(confCloneIsActive(tree.get()), 0);
    // Enabling a second time finds Display 2: no second notice.
    confEnablePairView(tree.get(), CONF_ADJ_ABOVE);
    EXPECT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(xf86screens(tree.get()).size(), 2u);
}

TEST(PairView, DisableWhenNotSetChangesNothing)
{
    auto tree = parse(kForeignConf);
    ASSERT_TRUE(tree);
    confDisablePairView(tree.get());        // the foreign RightOf line counts as PairView
    EXPECT_EQ(line_count(tree.get()), 1u);

    auto clone = parse(kPairViewConf);
    ASSERT_TRUE(clone);
    confDisablePairView(clone.get());
    confEnableClone(clone.get());
    std::string before = text_of(clone.get());
    confDisablePairView(clone.get());
    EXPECT_EQ(text_of(clone.get()), before);
    EXPECT_EQ(line_count(clone.get()), 2u);
}

TEST(Clone, EnableFromPairViewAndDisableAlwaysDrops)
{
    auto tree = parse(kPairViewConf);
    ASSERT_TRUE(tree);
    confDisablePairView(tree.get());
    confEnableClone(tree.get());
    ASSERT_EQ(line_count(tree.get()), 2u);
    EXPECT_EQ(line(tree.get(), 0)->where, 0);
    EXPECT_EQ(line(tree.get(), 1)->where, 0);
    EXPECT_EQ(line(tree.get(), 1)->screen_name, "Display 2");
    EXPECT_EQ(confCloneIsActive(tree.get()), 1);
    EXPECT_EQ(confPairViewIsActive(tree.get()), 0);
    auto again = reparse(tree.get());
    ASSERT_TRUE(again);
    EXPECT_EQ(confCloneIsActive(again.get()), 1);
    confDisableClone(tree.get());
    EXPECT_EQ(line_count(tree.get()), 1u);
    EXPECT_EQ(confCloneIsActive(tree.get()), 0);
    confDisableClone(tree.get());
    EXPECT_EQ(line_count(tree.get()), 1u);
}

TEST(Merged, EnableAndDisableKeepTheMergedSections)
{
    auto tree = parse(kPairViewConf);
    ASSERT_TRUE(tree);
    confDisablePairView(tree.get());
    ASSERT_EQ(confEnableMergedFB(tree.get(), CONF_ADJ_ABOVE), tree.get());
    EXPECT_EQ(line_count(tree.get()), 1u);
    EXPECT_EQ(line(tree.get(), 0)->screen_name, "Display Merged");
    EXPECT_FALSE(line(tree.get(), 0)->refscreen);
    XF86ConfScreenPtr merged = FindScreen(tree.get(), 2);
    ASSERT_NE(merged, nullptr);
    EXPECT_EQ(merged->device_name, "CORVEX CARD 1");
    EXPECT_EQ(merged->monitor_name, "Display Merged");
    EXPECT_STREQ(xf86findOptionValue(merged->options, "Monitor2Position"), "Below");
    EXPECT_STREQ(xf86findOptionValue(merged->options, "MergedFB"), "");
    EXPECT_EQ(confMergedFBIsActive(tree.get()), 1);
    int w = 0;
    confGetServerLayout(tree.get(), nullptr, &w, nullptr);
    EXPECT_EQ(w, CONF_ADJ_ABOVE);

    // Enabling again does not add a second MergedFB.
    confEnableMergedFB(tree.get(), CONF_ADJ_ABOVE);
    EXPECT_EQ(count_of(text_of(tree.get()), "MergedFB"), 1u);

    confDisableMergedFB(tree.get());
    EXPECT_EQ(confMergedFBIsActive(tree.get()), 0);
    ASSERT_EQ(line_count(tree.get()), 1u);
    EXPECT_EQ(line(tree.get(), 0)->screen_name, "Display 1");
    ASSERT_NE(FindScreen(tree.get(), 2), nullptr);
    EXPECT_NE(xf86findOption(FindScreen(tree.get(), 2)->options, "MergedFB"), nullptr);
    EXPECT_NE(FindMonitor(tree.get(), 2), nullptr);
    EXPECT_TRUE(reparse(tree.get()));

    EXPECT_EQ(confEnableMergedFB(nullptr, 1), nullptr);
    auto noScreens = parse("Section \"Device\"\n Identifier \"x\"\n Driver \"cvx\"\nEndSection\n");
    ASSERT_TRUE(noScreens);
    EXPECT_EQ(confEnableMergedFB(noScreens.get(), 1), nullptr);
    EXPECT_EQ(confDisableMergedFB(nullptr), nullptr);
}

TEST(Xinerama, OnTwiceOffTwice)
{
    auto tree = parse(kSingleConf);
    ASSERT_TRUE(tree);
    EXPECT_EQ(confXineramaIsActive(tree.get()), 0);
    EXPECT_EQ(confIsModuleActive(tree.get(), "dri"), 1);
    confEnableXinerama(tree.get());
    confEnableXinerama(tree.get());
    EXPECT_EQ(confXineramaIsActive(tree.get()), 1);
    EXPECT_EQ(count_of(text_of(tree.get()), "Xinerama"), 1u);
    EXPECT_EQ(confIsModuleActive(tree.get(), "dri"), 0);
    EXPECT_EQ(confIsModuleActive(tree.get(), "glx"), 1);
    confDisableXinerama(tree.get());
    confDisableXinerama(tree.get());
    EXPECT_EQ(confXineramaIsActive(tree.get()), 0);
    EXPECT_EQ(count_of(text_of(tree.get()), "\"dri\""), 1u);
    EXPECT_EQ(count_of(text_of(tree.get()), "AllowMouseOpenFail"), 1u);   // other flags stay

    // No ServerFlags and no Module section: both are made as needed.
    auto bare = parse(kForeignConf);
    ASSERT_TRUE(bare);
    confEnableXinerama(bare.get());
    ASSERT_NE(xf86serverFlags(bare.get()), nullptr);
    EXPECT_EQ(xf86module(bare.get()), nullptr);
    confDisableXinerama(bare.get());
    ASSERT_NE(xf86module(bare.get()), nullptr);
    EXPECT_EQ(confIsModuleActive(bare.get(), "dri"), 1);
    EXPECT_TRUE(reparse(bare.get()));

}

// The check box must say what the server will do: a false value is off, and
// the first layout's own option overrides ServerFlags.
TEST(Xinerama, FalseValuesAndLayoutOverride)
{
    for (const char* value : {"off", "0", "False", "NO"}) {
        std::string text = std::string("Section \"ServerFlags\"\n Option \"Xinerama\" \"") + value +
                           "\"\nEndSection\n" + kSingleConf;
        auto tree = parse(text.c_str());
        ASSERT_TRUE(tree) << value;
        EXPECT_EQ(confXineramaIsActive(tree.get()), 0) << value;
        confEnableXinerama(tree.get());
        EXPECT_EQ(confXineramaIsActive(tree.get()), 1) << value;
        EXPECT_EQ(xf86findOptionValue(xf86serverFlags(tree.get())->options, "Xinerama"), std::string(""));
        auto back = reparse(tree.get());
        ASSERT_TRUE(back);
        EXPECT_EQ(confXineramaIsActive(back.get()), 1) << value;
    }
    for (const char* value : {"on", "1", "true", "yes"}) {
        std::string text = std::string("Section \"ServerFlags\"\n Option \"Xinerama\" \"") + value +
                           "\"\nEndSection\n";
        auto tree = parse(text.c_str());
        ASSERT_TRUE(tree) << value;
        EXPECT_EQ(confXineramaIsActive(tree.get()), 1) << value;
    }

    // ServerFlags says on, the layout says off: off; enabling removes the layout's veto.
    auto veto = parse("Section \"ServerFlags\"\n Option \"Xinerama\"\nEndSection\n"
                      "Section \"ServerLayout\"\n Identifier \"L\"\n Screen \"S\"\n Option \"Xinerama\" \"0\"\nEndSection\n"
                      "Section \"Screen\"\n Identifier \"S\"\nEndSection\n");
    ASSERT_TRUE(veto);
    EXPECT_EQ(confXineramaIsActive(veto.get()), 0);
    confEnableXinerama(veto.get());
    EXPECT_EQ(confXineramaIsActive(veto.get()), 1);
    EXPECT_EQ(xf86findOption(xf86layouts(veto.get()).front()->options, "Xinerama"), nullptr);

    // Only the layout says on: disabling takes it away too.
    auto layoutOn = parse("Section \"ServerLayout\"\n Identifier \"L\"\n Screen \"S\"\n Option \"Xinerama\" \"on\"\nEndSection\n"
                          "Section \"Screen\"\n Identifier \"S\"\nEndSection\n");
    ASSERT_TRUE(layoutOn);
    EXPECT_EQ(confXineramaIsActive(layoutOn.get()), 1);
    confDisableXinerama(layoutOn.get());
    EXPECT_EQ(confXineramaIsActive(layoutOn.get()), 0);
    EXPECT_EQ(confIsModuleActive(layoutOn.get(), "dri"), 1);
}

TEST(Modules, LoadAndUnloadByExactName)
{
    auto tree = parse(kSingleConf);
    ASSERT_TRUE(tree);
    confLoadModule(tree.get(), "dri");
    EXPECT_EQ(xf86module(tree.get())->loads.size(), 2u);
    confLoadModule(tree.get(), "DRI");     // another name
    EXPECT_EQ(xf86module(tree.get())->loads.size(), 3u);
    confUnloadModule(tree.get(), "dri");
    EXPECT_EQ(confIsModuleActive(tree.get(), "dri"), 0);
    EXPECT_EQ(confIsModuleActive(tree.get(), "DRI"), 1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(confUnloadModule(nullptr, "dri"), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Corvex Twinscape: Configuration problem encountered.\n");
    EXPECT_EQ(confIsModuleActive(nullptr, "dri"), 0);
}

TEST(HWCursor, FirstDecisionWinsAndSwitchesUseLibraryLookup)
{
    auto tree = parse(R"(Section "Device"
    Identifier "A"
    Driver "cvx "
    Option "hw cursor" "off"
EndSection
Section "Device"
    Identifier "B"
    Driver "cvx"
    Option "hw cursor" "maybe"
    Option "hw cursor"
    Option "hw cursor" "off"
EndSection
Section "Device"
    Identifier "C"
    Driver "cvx"
    Option "hw cursor" "on"
EndSection
Section "Device"
    Identifier "D"
    Driver "cvx"
    Option "HWCursor" "on"
EndSection
)");
    ASSERT_TRUE(tree);
    // "A" is not exactly "cvx"; in "B" the odd values and the value-less
    // option are passed over and "off" decides.
    EXPECT_EQ(confHWCursorIsActive(tree.get()), 0);
    confEnableHWCursor(tree.get());
    auto devices = xf86devices(tree.get());
    EXPECT_EQ(devices[0]->options[0].value, "off");      // not a "cvx" section
    EXPECT_EQ(devices[1]->options[0].value, "on");       // the first one found is changed
    EXPECT_EQ(devices[1]->options[2].value, "off");
    EXPECT_EQ(devices[3]->options[0].value, "on");
    EXPECT_EQ(confHWCursorIsActive(tree.get()), 1);      // B now says on first
    EXPECT_EQ(confDisableHWCursor(tree.get()), nullptr);
    EXPECT_EQ(devices[1]->options[0].value, "off");
    EXPECT_EQ(devices[2]->options[0].value, "off");
    EXPECT_EQ(devices[3]->options[0].name, "HWCursor");  // found by the lookup, name kept
    EXPECT_EQ(devices[3]->options[0].value, "off");
    EXPECT_EQ(devices[3]->options.size(), 1u);

    auto plain = parse(kSingleConf);
    ASSERT_TRUE(plain);
    EXPECT_EQ(confHWCursorIsActive(plain.get()), 1);     // absent means on
    confEnableHWCursor(plain.get());
    EXPECT_EQ(count_of(text_of(plain.get()), "hw cursor"), 0u);
    confDisableHWCursor(plain.get());
    EXPECT_EQ(confHWCursorIsActive(plain.get()), 0);
    EXPECT_NE(text_of(plain.get()).find("\"hw cursor\" \"off\""), std::string::npos);
    confEnableHWCursor(plain.get());
    EXPECT_EQ(confHWCursorIsActive(plain.get()), 1);
    EXPECT_EQ(confHWCursorIsActive(nullptr), 0);
}
