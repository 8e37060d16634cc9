// The board capability table: what each board model offers.
#include "hw/capabilities.h"

#include <gtest/gtest.h>

namespace cvx::hw {
namespace {

TEST(Capabilities, EachBoardModelOffersItsModesAndOutputs)
{
    struct Case {
        uint32_t id, revision;
        bool supported, two_displays, merged, tv_and_digital;
    };
    const Case cases[] = {
        {0x2527, 0x00, true, true, true, false},
        {0x0525, 0x80, true, true, true, false},    // bit 7: the merged revision
        {0x0525, 0xff, true, true, true, false},
        {0x0525, 0x7f, true, true, false, true},    // without it: TV and DVI, no merging
        {0x0525, 0x00, true, true, false, true},
        {0x1000, 0x80, true, false, false, false},  // single display only, whatever the revision
        {0x1001, 0x00, true, false, false, false},
        {0x0520, 0x00, true, false, false, false},
        {0x0521, 0x01, true, false, false, false},
        {0x0526, 0x80, false, false, false, false}, // unknown: nothing
        {0x0000, 0x00, false, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.id << " rev " << c.revision);
        const BoardCapabilities got = board_capabilities(c.id, c.revision);
        EXPECT_EQ(got.supported, c.supported);
        EXPECT_EQ(got.two_displays, c.two_displays);
        EXPECT_EQ(got.merged, c.merged);
        EXPECT_EQ(got.tv_and_digital, c.tv_and_digital);
    }
}

}  // namespace
}  // namespace cvx::hw
