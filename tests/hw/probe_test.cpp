// The probe's scan, register handling and messages over emulated boards.
#include "hw/probe.h"

#include <cctype>
#include <cstring>

#include "hw/board.h"
#include "hw_test_util.h"
#include "core/exit_release.h"
#include "core/globals.h"

namespace cvx::hw::test {
namespace {

// Records the port traffic; slots read as empty.
class RecordingPlatform : public Platform {
public:
    std::vector<std::pair<uint16_t, uint32_t>> writes;
    bool acquire_io() override { return true; }
    void release_io() override {}
    uint32_t in32(uint16_t) override { return 0xFFFFFFFFu; }
    void out32(uint16_t port, uint32_t value) override { writes.emplace_back(port, value); }
    MemoryWindow read_memory(uint64_t, size_t) override { return {}; }
};

class ProbeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        device_info[1] = 0;
        device_info[2] = 0;
        cvx::set_exit_release(nullptr);
    }
    void TearDown() override
    {
        iopl(0);
        set_platform_override(nullptr);
        cvx::set_exit_release(nullptr);
    }

    struct Found {
        int ret = -1, device = -7, bus = -7;
        uint32_t id = 0xDEAD;
        unsigned char rev = 0xEE;
    };
    static Found probe()
    {
        Found f;
        f.ret = getCorvexPci(&f.device, &f.bus, &f.id, &f.rev);
        return f;
    }
};

std::string board_slot(unsigned bus, unsigned dev, unsigned fn, unsigned vendor, unsigned id, unsigned rev = 0)
{
    char s[160];
    std::snprintf(s, sizeof s, "slot %u %u %u\n id 0x%X 0x%X\n class 0x030000\n revision 0x%X\n", bus, dev, fn,
                  vendor, id, rev);
    return s;
}

TEST_F(ProbeTest, ConfigurationAddressesMaskTheRegisterAndLeaveFunctionZero)
{
    auto rec = std::make_unique<RecordingPlatform>();
    RecordingPlatform& r = *rec;
    set_platform_override(std::move(rec));
    uint32_t v = 0;
    ASSERT_EQ(iopl(3), 0);
    EXPECT_EQ(pciReadConfig(1, 2, 0x30, &v), 1);
    EXPECT_EQ(pciReadConfig(0, 0, 0x41, &v), 1);
    EXPECT_EQ(pciReadConfig(15, 31, 0xFF, &v), 1);
    EXPECT_EQ(pciWriteConfig(0, 0, 0x41, 0x1234), 1);
    EXPECT_EQ(pciWriteConfig(1, 2, 0x33, 0x5678), 1);
    using W = std::pair<uint16_t, uint32_t>;
    EXPECT_EQ(r.writes, (std::vector<W>{{0xCF8, 0x80011030}, {0xCF8, 0x80000040}, {0xCF8, 0x800FF8FC},
                                       {0xCF8, 0x80000040}, {0xCFD, 0x1234},
                                       {0xCF8, 0x80011030}, {0xCFF, 0x5678}}));
}

TEST_F(ProbeTest, PortsAreNotTouchedWithoutPrivilege)
{
    EmulatedBoard& b = install_board(board_slot(0, 0, 0, 0x102B, 0x0525));
    uint32_t v = 0;
    EXPECT_EQ(pciReadConfig(0, 0, 0, &v), 0);
    EXPECT_EQ(v, 0xFFFFFFFFu);
    EXPECT_EQ(pciWriteConfig(0, 0, 0x40, 1), 0);
    EXPECT_EQ(b.unprivileged_accesses(), 0);
    EXPECT_EQ(b.config(0, 0, 0x40), 0u);
}

TEST_F(ProbeTest, PrivilegeIsTakenOnceAndReleaseAlwaysSucceeds)
{
    EmulatedBoard& b = install_board(board_slot(0, 0, 0, 0x102B, 0x0525));
    EXPECT_EQ(iopl(0), 0);   // release while not held
    EXPECT_EQ(b.io_releases(), 0);
    EXPECT_EQ(iopl(3), 0);
    EXPECT_EQ(iopl(1), 0);   // already held: no second acquisition
    EXPECT_EQ(b.io_acquisitions(), 1);
    EXPECT_EQ(iopl(0), 0);
    EXPECT_EQ(iopl(0), 0);
    EXPECT_EQ(b.io_releases(), 1);
    EXPECT_FALSE(b.io_held());

    EmulatedBoard& denied = install_board("fail io-privilege\n");
    EXPECT_EQ(iopl(3), 1);
    EXPECT_EQ(iopl(3), 1);   // a refusal is not remembered as held
    EXPECT_EQ(denied.io_acquisitions(), 2);
}

TEST_F(ProbeTest, LowestBusThenLowestDeviceWins)
{
    struct Case {
        std::string board;
        int ret, bus, device;
        uint32_t id;
    } cases[] = {
        {board_slot(1, 0, 0, 0x102B, 0x0525) + board_slot(0, 31, 0, 0x102B, 0x0520), 1, 0, 31, 0x0520},
        {board_slot(2, 5, 0, 0x102B, 0x0525) + board_slot(2, 3, 0, 0x102B, 0x2527), 1, 2, 3, 0x2527},
        {board_slot(0, 0, 0, 0x102B, 0x1000), 1, 0, 0, 0x1000},
        {board_slot(15, 31, 0, 0x102B, 0x0521), 1, 15, 31, 0x0521},
        // Past the scanned buses.
        {board_slot(16, 0, 0, 0x102B, 0x0525), 0, -7, -7, 0},
        // Only function 0 is examined, whatever sits behind it.
        {board_slot(0, 4, 0, 0x8086, 0x7110) + board_slot(0, 4, 1, 0x102B, 0x0525), 0, -7, -7, 0},
        {board_slot(0, 4, 2, 0x102B, 0x0525), 0, -7, -7, 0},
        // The vendor is the low half: 0x102B as a device ID is not a match.
        {board_slot(0, 6, 0, 0x1002, 0x102B), 0, -7, -7, 0},
        {board_slot(0, 6, 0, 0x1002, 0x102B) + board_slot(3, 1, 0, 0x102B, 0x0525), 1, 3, 1, 0x0525},
        {"", 0, -7, -7, 0},
    };
    for (const Case& c : cases) {
        EmulatedBoard& b = install_board(c.board);
        Found f = probe();
        EXPECT_EQ(f.ret, c.ret) << c.board;
        EXPECT_EQ(f.bus, c.bus) << c.board;
        EXPECT_EQ(f.device, c.device) << c.board;
        EXPECT_EQ(f.id, c.id) << c.board;
        EXPECT_FALSE(b.io_held());
        EXPECT_EQ(b.io_acquisitions(), 1);
        EXPECT_EQ(b.unprivileged_accesses(), 0);
    }
}

TEST_F(ProbeTest, RevisionIsTheLowByteAndNoBoardClearsIt)
{
    for (unsigned rev : {0x00u, 0x7Fu, 0x80u, 0xFFu}) {
        install_board(board_slot(1, 0, 0, 0x102B, 0x0525, rev));
        Found f = probe();
        EXPECT_EQ(f.ret, 1);
        EXPECT_EQ(f.rev, rev);
    }
    install_board(board_slot(1, 0, 0, 0x10DE, 0x0525, 0x80));
    Found none = probe();
    EXPECT_EQ(none.ret, 0);
    EXPECT_EQ(none.id, 0u);
    EXPECT_EQ(none.rev, 0);
    EXPECT_EQ(none.bus, -7);   // left as they were
    EXPECT_EQ(none.device, -7);

    // The way the configuration window's OK handler calls it.
    install_board_file("corvex-0525-r80.board");
    int dev = 0, bus = 0;
    EXPECT_EQ(getCorvexPci(&dev, &bus, &device_info[1], reinterpret_cast<unsigned char*>(&device_info[2])), 1);
    EXPECT_EQ(device_info[1], 0x0525u);
    EXPECT_EQ(device_info[2], 0x80u);
    EXPECT_EQ(bus, 1);
    EXPECT_EQ(dev, 0);
}

struct RomCase {
    const char* file;
    uint32_t version;
    const char* text;   // null: DisplayBiosVersion writes nothing
};

class ShippedBoardTest : public ProbeTest, public ::testing::WithParamInterface<RomCase> {};

TEST_P(ShippedBoardTest, VersionTextAndRestoredRegisters)
{
    const RomCase& c = GetParam();
    EmulatedBoard& b = install_board_file(c.file);
    Found f = probe();
    ASSERT_EQ(f.ret, 1);
    device_info[1] = f.id;
    const uint32_t before_30 = b.config(static_cast<unsigned>(f.bus), static_cast<unsigned>(f.device), 0x30);
    const uint32_t before_40 = b.config(static_cast<unsigned>(f.bus), static_cast<unsigned>(f.device), 0x40);

    EXPECT_EQ(getBiosVersion(), c.version);
    char buf[50];
    std::memset(buf, '#', sizeof buf);
    buf[sizeof buf - 1] = '\0';
    int n = DisplayBiosVersion(buf, sizeof buf);
    if (c.text) {
        EXPECT_STREQ(buf, c.text);
        EXPECT_EQ(n, static_cast<int>(std::strlen(c.text)));
    } else {
        EXPECT_EQ(n, 0);
        EXPECT_EQ(buf[0], '#');   // untouched: the caller's text stands
    }

    // Every board of the vendor that was tried has its ROM decoder and the
    // board register back as found, and keeps memory decoding on.
    for (unsigned bus = 0; bus < 16; ++bus)
        for (unsigned dev = 0; dev < 32; ++dev) {
            const PciFunction* fn = b.find(bus, dev);
            if (!fn || (fn->config[0] & 0xFFFF) != 0x102B)
                continue;
            if (bus == static_cast<unsigned>(f.bus) && dev == static_cast<unsigned>(f.device)) {
                EXPECT_EQ(fn->config[0x30 / 4], before_30);
                EXPECT_EQ(fn->config[0x40 / 4], before_40);
            }
            EXPECT_EQ(fn->config[0x30 / 4] & 1, 0u) << bus << ":" << dev;
            EXPECT_EQ(fn->config[0x40 / 4] & 0x40000000u, 0u) << bus << ":" << dev;
            EXPECT_EQ(fn->config[0x04 / 4] & 2, 2u) << bus << ":" << dev;
        }
    EXPECT_FALSE(b.io_held());
    EXPECT_EQ(b.unprivileged_accesses(), 0);
}

INSTANTIATE_TEST_SUITE_P(Boards, ShippedBoardTest,
                         ::testing::Values(RomCase{"corvex-0525-r80.board", 0x42007, "4.2 - 7"},
                                           RomCase{"corvex-0525-r7f.board", 0x31000, "3.1 - 0"},
                                           RomCase{"corvex-2527.board", 0, nullptr},
                                           RomCase{"corvex-0520.board", 0, nullptr},
                                           RomCase{"corvex-unknown-id.board", 0, nullptr},
                                           RomCase{"two-boards.board", 0x42007, "4.2 - 7"}),
                         [](const ::testing::TestParamInfo<RomCase>& param_info) {
                             std::string name = param_info.param.file;
                             name = name.substr(0, name.find('.'));
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             return name;
                         });

TEST_F(ProbeTest, MemoryDecodingIsSwitchedOnForTheReadAndStaysOn)
{
    EmulatedBoard& b = install_board(R"(slot 0 3
  id 0x102B 0x0525
  reg 0x04 0x02B00004
  reg 0x10 0xC4FFF008
  rom 0 55 AA 40 00 00 52
  rom 0x18 00 00
)");
    EXPECT_EQ(getBiosVersion(), 0x52000u);
    EXPECT_EQ(b.last_memory_address(), 0xC4000000u);
    EXPECT_EQ(b.config(0, 3, 0x04), 0x02B00006u);
}

TEST_F(ProbeTest, RomIsReadAtTheTopByteOfTheFirstBaseAddress)
{
    EmulatedBoard& b = install_board_file("corvex-0525-r80.board");
    EXPECT_EQ(getBiosVersion(), 0x42007u);
    EXPECT_EQ(b.last_memory_address(), 0xD8000000u);
    EXPECT_EQ(b.memory_reads(), 1);
    // Read anew on every call.
    EXPECT_EQ(getBiosVersion(), 0x42007u);
    EXPECT_EQ(b.memory_reads(), 2);

    EmulatedBoard& two = install_board_file("two-boards.board");
    EXPECT_EQ(getBiosVersion(), 0x42007u);
    EXPECT_EQ(two.memory_reads(), 2);   // the first board's window had no ROM
}

TEST_F(ProbeTest, NoBoardIsUnknownWithoutReadingMemory)
{
    EmulatedBoard& b = install_board_file("no-board.board");
    Found f = probe();
    EXPECT_EQ(f.ret, 0);
    device_info[1] = f.id;
    EXPECT_EQ(getBiosVersion(), 0u);
    char buf[50];
    EXPECT_EQ(DisplayBiosVersion(buf, sizeof buf), 7);
    EXPECT_STREQ(buf, "Unknown");
    EXPECT_EQ(b.memory_reads(), 0);
}

TEST_F(ProbeTest, FormattedTextStaysInsideTheBuffer)
{
    install_board_file("corvex-0525-r80.board");
    device_info[1] = 0x0525;
    char buf[8] = "xxxxxxx";
    EXPECT_EQ(DisplayBiosVersion(buf, 4), 3);
    EXPECT_STREQ(buf, "4.2");
    EXPECT_EQ(buf[4], 'x');
    EXPECT_EQ(DisplayBiosVersion(buf, 1), 0);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(DisplayBiosVersion(nullptr, 10), 0);
    device_info[1] = 0;
    std::strcpy(buf, "xxxxxxx");
    EXPECT_EQ(DisplayBiosVersion(buf, 4), 3);
    EXPECT_STREQ(buf, "Unk");
    EXPECT_EQ(DisplayBiosVersion(buf, 0), 0);
    EXPECT_STREQ(buf, "Unk");
}

TEST_F(ProbeTest, UnmappableRomIsReportedAndTheRegistersRestored)
{
    EmulatedBoard& b = install_board_file("no-rom-map.board");
    device_info[1] = 0x0525;
    ::testing::internal::CaptureStdout();
    char buf[50] = "before";
    EXPECT_EQ(DisplayBiosVersion(buf, sizeof buf), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Map Unsuccessfull\n");
    EXPECT_STREQ(buf, "before");
    EXPECT_EQ(b.config(1, 0, 0x30), 0u);
    EXPECT_EQ(b.config(1, 0, 0x40), 0x120u);
    EXPECT_FALSE(b.io_held());
}

int g_hook_calls = 0;
void hook_marks_output()
{
    ++g_hook_calls;
    // Unbuffered, so the order against the probe's message is what happened.
    if (::write(1, "HOOK\n", 5) != 5)
        ::_exit(99);
}

TEST_F(ProbeTest, FatalExitsRunTheHookThenPrintAndEnd)
{
    struct Case {
        const char* file;
        std::function<void()> call;
        const char* out;
        int status;
    } cases[] = {
        {"not-root.board", [] { probe(); }, "HOOK\n You must be ROOT! \n\n", 1},
        {"not-root.board", [] { getBiosVersion(); }, "HOOK\n You must be ROOT! \n\n", 1},
        {"not-root.board", [] { device_info[1] = 0x0525; char b[50]; DisplayBiosVersion(b, sizeof b); },
         "HOOK\n You must be ROOT! \n\n", 1},
        {"no-devmem.board", [] { getBiosVersion(); }, "HOOK\nopen Error - Quiting \n", 255},
        // Found boards and readable ROMs end normally.
        {"no-devmem.board", [] { probe(); }, "", 42},
        {"corvex-0525-r80.board", [] { getBiosVersion(); }, "", 42},
    };
    for (const Case& c : cases) {
        install_board_file(c.file);
        ChildResult r = run_in_child([&] {
            cvx::set_exit_release(hook_marks_output);
            c.call();
        });
        EXPECT_EQ(r.out, c.out) << c.file;
        EXPECT_EQ(r.status, c.status) << c.file;
    }

    // Without a hook the exit is the same.
    install_board_file("not-root.board");
    ChildResult bare = run_in_child([] { getBiosVersion(); });
    EXPECT_EQ(bare.out, " You must be ROOT! \n\n");
    EXPECT_EQ(bare.status, 1);
    EXPECT_EQ(g_hook_calls, 0);   // only the children ran it
}

TEST_F(ProbeTest, DevMemFailureLeavesTheRomDecoderOffBeforeExiting)
{
    EmulatedBoard& b = install_board_file("no-devmem.board");
    // The child ends inside the probe; its hook looks at the board state
    // the parent's copy cannot see.
    static EmulatedBoard* seen;
    seen = &b;
    ChildResult r = run_in_child([] {
        cvx::set_exit_release([] {
            std::printf("30=%08X 40=%08X\n", seen->config(1, 0, 0x30), seen->config(1, 0, 0x40));
            std::fflush(stdout);
        });
        getBiosVersion();
    });
    EXPECT_EQ(r.out, "30=00000000 40=00000120\nopen Error - Quiting \n");
    EXPECT_EQ(r.status, 255);
}

}  // namespace
}  // namespace cvx::hw::test
