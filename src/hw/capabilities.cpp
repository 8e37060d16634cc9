// The board capability table.
#include "hw/capabilities.h"

namespace cvx::hw {

namespace {

struct Row {
    uint32_t device_id;
    uint32_t revision_mask;    // the revision bits the row looks at
    uint32_t revision_value;   // their value
    BoardCapabilities offers;
};

// First match wins.
constexpr Row kBoards[] = {
    {0x2527, 0x00, 0x00, {true, true, true, false}},
    {0x0525, 0x80, 0x80, {true, true, true, false}},
    {0x0525, 0x80, 0x00, {true, true, false, true}},
    {0x1000, 0x00, 0x00, {true, false, false, false}},
    {0x1001, 0x00, 0x00, {true, false, false, false}},
    {0x0520, 0x00, 0x00, {true, false, false, false}},
    {0x0521, 0x00, 0x00, {true, false, false, false}},
};

}  // namespace

BoardCapabilities board_capabilities(uint32_t deviceId, uint32_t revision)
{
    for (const Row& row : kBoards)
        if (row.device_id == deviceId && (revision & row.revision_mask) == row.revision_value)
            return row.offers;
    return {};
}

}  // namespace cvx::hw
