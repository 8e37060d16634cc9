// Builders, finders, the server layout and the small option helpers.
#include <gtest/gtest.h>

#include "config/config.h"
#include "config_test_util.h"

using namespace cvx::test;

namespace {

const char* const kOneForeignDevice = R"(Section "Device"
    Identifier "Builtin"
    Driver "cvx"
    VendorName "Corvex"
    BoardName "C400"
    Chipset "c4"
    BusID "PCI:3:0:0"
    VideoRam 16384
    Option "NoHal"
EndSection
Section "Monitor"
    Identifier "Mon"
    VendorName "ACME"
    ModelName "M17"
    DisplaySize 340 270
    HorizSync 30-50, 60-80
    VertRefresh 56-75
    Gamma 1.1 1.2 1.3
    ModeLine "800x600" 40.0 800 840 968 1056 600 601 605 628
EndSection
Section "Screen"
    Identifier "Scr"
    Device "Builtin"
    Monitor "Mon"
    DefaultDepth 16
    Option "MergedFB"
    SubSection "Display"
        Depth 16
        Modes "800x600"
    EndSubSection
EndSection
Section "ServerLayout"
    Identifier "L"
    Screen "Scr"
EndSection
)";

}  // namespace

TEST(Builders, NullTreeGivesMessageAndNull)
{
    testing::internal::CaptureStdout();
    EXPECT_EQ(MakeDevice(nullptr, 0), nullptr);
    EXPECT_EQ(MakeMonitor(nullptr, 0), nullptr);
    EXPECT_EQ(MakeScreen(nullptr, 0, nullptr, nullptr), nullptr);
    EXPECT_EQ(FindScreen(nullptr, 0), nullptr);
    EXPECT_EQ(FindMonitor(nullptr, 1), nullptr);
    EXPECT_EQ(confSetLayout(nullptr, 1), nullptr);   // silent
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(count_of(out, "Corvex Twinscape: Configuration problem encountered.\n"), 5u) << out;
}

TEST(Builders, ForeignDeviceIsAdoptedThenCopiedForTheSecondOutput)
{
    auto tree = parse(kOneForeignDevice);
    ASSERT_TRUE(tree);
    XF86ConfDevicePtr d0 = MakeDevice(tree.get(), 0);
    ASSERT_NE(d0, nullptr);
    EXPECT_EQ(d0->identifier, "CORVEX CARD 1");
    EXPECT_EQ(d0->board, "C400");
    EXPECT_EQ(d0->screen, 0);
    ASSERT_EQ(d0->options.size(), 1u);            // content kept
    // The Screen section that referred to the old name follows the rename.
    EXPECT_EQ(xf86screens(tree.get())[0]->device_name, "CORVEX CARD 1");

    XF86ConfDevicePtr d1 = MakeDevice(tree.get(), 1);
    ASSERT_NE(d1, nullptr);
    ASSERT_EQ(xf86devices(tree.get()).size(), 2u);
    EXPECT_EQ(d1->identifier, "CORVEX CARD 2");
    EXPECT_EQ(d1->screen, 1);
    EXPECT_EQ(d1->busid, "PCI:3:0:0");
    EXPECT_EQ(d1->chipset, "c4");
    EXPECT_EQ(d1->videoram, 16384);
    EXPECT_EQ(d1->driver, "cvx");
    EXPECT_TRUE(d1->options.empty());             // a copy gets no options
    // The same call again finds the section instead of making another.
    EXPECT_EQ(MakeDevice(tree.get(), 1), d1);
    EXPECT_EQ(xf86devices(tree.get()).size(), 2u);
}

TEST(Builders, ExistingOwnSectionIsTakenAndForeignOneLeftAlone)
{
    auto tree = parse(R"(Section "Device"
    Identifier "CORVEX CARD 2"
    Driver "cvx"
    Screen 1
EndSection
Section "Device"
    Identifier "Other"
    Driver "vesa"
EndSection
)");
    ASSERT_TRUE(tree);
    XF86ConfDevicePtr d1 = MakeDevice(tree.get(), 1);
    EXPECT_EQ(d1, xf86devices(tree.get())[0]);
    EXPECT_EQ(xf86devices(tree.get())[1]->identifier, "Other");
    EXPECT_EQ(xf86devices(tree.get())[1]->driver, "vesa");
}

TEST(Builders, MonitorCopyTakesRangesButNoModeLines)
{
    auto tree = parse(kOneForeignDevice);
    ASSERT_TRUE(tree);
    XF86ConfMonitorPtr m0 = MakeMonitor(tree.get(), 0);
    EXPECT_EQ(m0->identifier, "Display 1");
    EXPECT_EQ(m0->modelines.size(), 1u);
    EXPECT_EQ(xf86screens(tree.get())[0]->monitor_name, "Display 1");
    XF86ConfMonitorPtr m1 = MakeMonitor(tree.get(), 1);
    EXPECT_EQ(m1->identifier, "Display 2");
    EXPECT_EQ(m1->model, "M17");
    EXPECT_EQ(m1->width, 340);
    ASSERT_EQ(m1->hsync.size(), 2u);
    EXPECT_FLOAT_EQ(m1->hsync[1].hi, 80.0f);
    EXPECT_FLOAT_EQ(m1->gamma_blue, 1.3f);
    EXPECT_TRUE(m1->modelines.empty());
}

TEST(Builders, ScreenAdoptionRenamesLayoutAndNewSecondScreenNotifiesOnce)
{
    MessageRecorder messages;
    auto tree = parse(kOneForeignDevice);
    ASSERT_TRUE(tree);
    XF86ConfDevicePtr d0 = MakeDevice(tree.get(), 0);
    XF86ConfScreenPtr s0 = MakeScreen(tree.get(), 0, d0, MakeMonitor(tree.get(), 0));
    EXPECT_EQ(s0->identifier, "Display 1");
    EXPECT_EQ(xf86findOption(s0->options, "MergedFB"), nullptr);  // removed by the builder
    EXPECT_EQ(line(tree.get(), 0)->screen_name, "Display 1");
    EXPECT_TRUE(messages.messages().empty());

    XF86ConfDevicePtr d1 = MakeDevice(tree.get(), 1);
    XF86ConfScreenPtr s1 = MakeScreen(tree.get(), 1, d1, MakeMonitor(tree.get(), 1));
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0].title, "Corvex Twinscape");
    EXPECT_EQ(messages.messages()[0].text,
              "Your secondary display has been enabled. Its resolution has been set to 640 x 480.\n\n"
              "To change its resolution, click the button for the secondary display (display 2).");
    EXPECT_EQ(messages.messages()[0].mustExit, 0);
    EXPECT_EQ(s1->defaultdepth, 16);
    ASSERT_EQ(s1->displays.size(), 1u);
    EXPECT_EQ(s1->displays[0].depth, 16);
    EXPECT_EQ(s1->displays[0].modes, std::vector<std::string>{"640x480"});
    EXPECT_EQ(s1->device_name, "CORVEX CARD 2");
    EXPECT_EQ(s1->device, d1);
    EXPECT_EQ(s1->monitor_name, "Display 2");

    EXPECT_EQ(MakeScreen(tree.get(), 1, d1, MakeMonitor(tree.get(), 1)), s1);
    EXPECT_EQ(messages.messages().size(), 1u);
    // Everything the builders did still parses and resolves.
    EXPECT_TRUE(reparse(tree.get()));
}

TEST(Builders, IdentifierInAnotherCaseIsForeign)
{
    auto tree = parse(R"(Section "Screen"
    Identifier "display 1"
EndSection
Section "Screen"
    Identifier "Display 1"
EndSection
)");
    ASSERT_TRUE(tree);
    EXPECT_EQ(FindScreen(tree.get(), 0), xf86screens(tree.get())[1]);
    // For Display 2 the first foreign section is the lower-case one.
    XF86ConfScreenPtr s1 = MakeScreen(tree.get(), 1, nullptr, nullptr);
    EXPECT_EQ(s1, xf86screens(tree.get())[0]);
    EXPECT_EQ(s1->identifier, "Display 2");
}

TEST(Builders, EmptyTreeGetsFreshSectionsWithoutCrashing)
{
    auto tree = parse("");
    ASSERT_TRUE(tree);
    EXPECT_EQ(FindScreen(tree.get(), 0), nullptr);
    ASSERT_EQ(confMakeSections(tree.get()), tree.get());
    ASSERT_NE(FindScreen(tree.get(), 0), nullptr);
    EXPECT_EQ(line(tree.get(), 0)->screen_name, "Display 1");
    EXPECT_EQ(xf86devices(tree.get())[0]->driver, "cvx");
    EXPECT_TRUE(reparse(tree.get()));
}

TEST(Lookups, IndexRangesAndDisplayNames)
{
    auto tree = parse(kMergedConf);
    ASSERT_TRUE(tree);
    EXPECT_EQ(FindScreen(tree.get(), 2)->identifier, "Display Merged");
    EXPECT_EQ(FindMonitor(tree.get(), 2)->identifier, "Display Merged");
    EXPECT_EQ(FindScreen(tree.get(), 3), nullptr);
    EXPECT_EQ(getScreenFromIndex(tree.get(), 2), nullptr);
    EXPECT_EQ(getScreenFromIndex(tree.get(), -1), nullptr);
    EXPECT_EQ(getScreenFromIndex(tree.get(), 1)->identifier, "Display 2");
    EXPECT_EQ(getScreenFromIndex(nullptr, 0), nullptr);
    EXPECT_EQ(confDisplayIndexFromName("Display 1"), 0);
    EXPECT_EQ(confDisplayIndexFromName("Display 2"), 1);
    EXPECT_EQ(confDisplayIndexFromName("display 2"), -1);
    EXPECT_EQ(confDisplayIndexFromName("Display Merged"), -1);
    EXPECT_EQ(confDisplayIndexFromName(nullptr), -1);
}

TEST(Layout, SetLayoutWritesRelationOrMonitor2Position)
{
    auto tree = parse(kPairViewConf);
    ASSERT_TRUE(tree);
    confSetLayout(tree.get(), CONF_ADJ_BELOW);
    EXPECT_EQ(line(tree.get(), 0)->where, CONF_ADJ_BELOW);
    EXPECT_EQ(line(tree.get(), 0)->refscreen, "Display 2");

    auto merged = parse(kMergedConf);
    ASSERT_TRUE(merged);
    const struct { int where; const char* position; } table[] = {
        {0, "RightOf"}, {1, "LeftOf"}, {2, "RightOf"}, {3, "Below"}, {4, "Above"}, {5, "RightOf"}};
    for (auto row : table) {
        confSetLayout(merged.get(), row.where);
        EXPECT_STREQ(xf86findOptionValue(FindScreen(merged.get(), 2)->options, "Monitor2Position"), row.position)
            << "where " << row.where;
        EXPECT_EQ(line(merged.get(), 0)->where, 0);
        EXPECT_EQ(count_of(text_of(merged.get()), "Monitor2Position"), 1u);
    }
}

TEST(Layout, GetServerLayoutFromRelationAndFromMonitor2Position)
{
    auto tree = parse(kPairViewConf);
    ASSERT_TRUE(tree);
    int first = -9, w = -9, second = -9;
    confGetServerLayout(tree.get(), &first, &w, &second);
    EXPECT_EQ(w, CONF_ADJ_LEFTOF);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);

    auto merged = parse(kMergedConf);
    ASSERT_TRUE(merged);
    XF86ConfScreenPtr ms = FindScreen(merged.get(), 2);
    const struct { const char* value; int where; } table[] = {
        {"Above", 4}, {"hmm", 4}, {"Below", 3}, {"LeftOf", 1}, {"Gauche", 1},
        {"RightOf", 2}, {"Droite", 2}, {"", 2}, {nullptr, 1}};
    for (auto row : table) {
        confRemoveOption(ms->options, "Monitor2Position");
        if (row.value)
            confSetOption(ms->options, "Monitor2Position", row.value);
        first = second = w = -9;
        confGetServerLayout(merged.get(), &first, &w, nullptr);
        EXPECT_EQ(w, row.where) << (row.value ? row.value : "(absent)");
        EXPECT_EQ(first, 0);
    }

    // Single display and Clone: nothing is reported.
    auto single = parse(kSingleConf);
    ASSERT_TRUE(single);
    w = 42;
    confGetServerLayout(single.get(), nullptr, &w, nullptr);
    EXPECT_EQ(w, 42);
}

TEST(Layout, ValidateReportsMissingScreenOrInactiveDevice)
{
    auto tree = parse(kPairViewConf);
    ASSERT_TRUE(tree);
    EXPECT_EQ(confValidateLayout(tree.get()), 1);
    line(tree.get(), 1)->screen_name = "Nowhere";
    testing::internal::CaptureStdout();
    EXPECT_EQ(confValidateLayout(tree.get()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Invalid Layout\n");
    // The library's comparison: case, blanks and underscores do not count.
    line(tree.get(), 1)->screen_name = "display_2";
    EXPECT_EQ(confValidateLayout(tree.get()), 1);
    EXPECT_EQ(line(tree.get(), 1)->screen, FindScreen(tree.get(), 1));

    XF86ConfInactiveRec inactive;
    inactive.device_name = "Ghost";
    xf86layouts(tree.get())[0]->inactives.push_back(inactive);
    testing::internal::CaptureStdout();
    EXPECT_EQ(confValidateLayout(tree.get()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Bad Layout. Something wrong with device\n");
}

TEST(Layout, RenameScreenAndDeviceFollowReferences)
{
    auto tree = parse(kForeignConf);
    ASSERT_TRUE(tree);
    XF86ConfScreenPtr s0 = xf86screens(tree.get())[0];
    EXPECT_EQ(confRenameScreen(tree.get(), s0, "Left"), 1);
    EXPECT_EQ(line(tree.get(), 0)->screen_name, "Left");
    EXPECT_EQ(line(tree.get(), 1)->refscreen, "Left");
    EXPECT_EQ(s0->identifier, "Left");
    XF86ConfDevicePtr d1 = xf86devices(tree.get())[1];
    EXPECT_EQ(confRenameDevice(tree.get(), d1, "Right card"), 1);
    EXPECT_EQ(xf86screens(tree.get())[1]->device_name, "Right card");
    EXPECT_EQ(confRenameScreen(nullptr, s0, "x"), 0);
    EXPECT_EQ(confRenameDevice(tree.get(), nullptr, "x"), 0);
    EXPECT_TRUE(reparse(tree.get()));
}

TEST(Options, RemoveSetAndReplace)
{
    XF86OptionList list;
    confSetOption(list, "Monitor2Position", "LeftOf");
    confSetOption(list, "monitor_2 position", "Above");   // found by the library's lookup
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].name, "Monitor2Position");
    EXPECT_EQ(list[0].value, "Above");
    confSetOption(list, "NoValue", nullptr);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_FALSE(list[1].value.has_value());
    confSetOption(list, "NoValue", "");                   // "" equals no value: unchanged
    EXPECT_FALSE(list[1].value.has_value());

    XF86OptionList nohal{{"nohal", std::nullopt, std::nullopt, {}}, {"NoHal", std::nullopt, std::nullopt, {}},
                         {"NoHal", std::nullopt, std::nullopt, {}}};
    confRemoveOption(nohal, "NoHal");                     // exact name, first occurrence
    ASSERT_EQ(nohal.size(), 2u);
    EXPECT_EQ(nohal[0].name, "nohal");
    EXPECT_EQ(nohal[1].name, "NoHal");
    XF86OptionList empty;
    EXPECT_TRUE(confRemoveOption(empty, "x").empty());

    std::optional<std::string> field = "old";
    EXPECT_EQ(confReplaceString(field, "new"), 1);
    EXPECT_EQ(field, "new");
    EXPECT_EQ(confReplaceString(field, nullptr), 1);
    EXPECT_FALSE(field.has_value());
}

TEST(Layout, MergedRelationComesFromTheSectionTheFirstLineNames)
{
    auto tree = parse(kMergedConf);
    ASSERT_TRUE(tree);
    XF86ConfLayoutPtr layout = xf86layouts(tree.get()).front();
    XF86ConfAdjacencyRec first;
    first.screen_name = "Display 1";
    layout->adjacencies.insert(layout->adjacencies.begin(), first);
    confSetOption(FindScreen(tree.get(), 0)->options, "Monitor2Position", "Below");
    int w = 0;
    confGetServerLayout(tree.get(), nullptr, &w, nullptr);
    EXPECT_EQ(w, CONF_ADJ_ABOVE);
}
