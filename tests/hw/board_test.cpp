// The board description files and the emulated ports and memory under them.
#include <dirent.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "hw/board.h"
#include "hw_test_util.h"

namespace cvx::hw::test {

ChildResult run_in_child(const std::function<void()>& body)
{
    int fds[2];
    if (::pipe(fds) != 0)
        throw std::runtime_error("pipe failed");
    std::fflush(stdout);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        ::dup2(fds[1], 1);
        body();
        std::fflush(stdout);
        ::_exit(42);
    }
    ::close(fds[1]);
    ChildResult r;
    char buf[256];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0)
        r.out.append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    int st = 0;
    ::waitpid(pid, &st, 0);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

namespace {

class BoardFileTest : public ::testing::Test {
protected:
    void TearDown() override { set_platform_override(nullptr); }
};

TEST_F(BoardFileTest, StatementsFillConfigurationSpaceAndRom)
{
    BoardParse r = parse_board(R"(# comment line
slot 2 31 5   # trailing comment
  id 0x102B 0x0525
  class 0x030000
  revision 0x80
  reg 0x40 4096
  rom 0x0000 55 aa "AB#" 01
  rom 0x0010 FF
  rom-gate 0x40 0x40000000
slot 0 0
)", "");
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.board.functions.size(), 2u);
    const PciFunction& f = r.board.functions[0];
    EXPECT_EQ(f.bus, 2u);
    EXPECT_EQ(f.device, 31u);
    EXPECT_EQ(f.function, 5u);
    EXPECT_EQ(f.config[0], 0x0525102Bu);
    EXPECT_EQ(f.config[2], 0x03000080u);   // class and revision share the register
    EXPECT_EQ(f.config[0x10], 4096u);
    std::vector<uint8_t> expect_rom = {0x55, 0xAA, 'A', 'B', '#', 0x01};
    expect_rom.resize(0x10, 0xFF);          // the gap reads as erased ROM
    expect_rom.push_back(0xFF);
    EXPECT_EQ(f.rom, expect_rom);
    EXPECT_EQ(f.rom_gate_reg, 0x40u);
    EXPECT_EQ(f.rom_gate_mask, 0x40000000u);
    EXPECT_EQ(r.board.functions[1].function, 0u);
    EXPECT_FALSE(r.board.deny_io);
}

TEST_F(BoardFileTest, MistakesAreReportedWithTheirLine)
{
    struct Case {
        const char* text;
        const char* error_start;
    } cases[] = {
        {"slot 0 0\nbogus 1\n", "2: unknown statement \"bogus\""},
        {"id 0x102B 0x0525\n", "1: \"id\" before the first slot"},
        {"slot 0 32\n", "1: expected: slot"},
        {"slot 256 0\n", "1: expected: slot"},
        {"slot 0 0 8\n", "1: expected: slot"},
        {"slot 0 0\nslot 0 0 0\n", "2: slot described twice"},
        {"slot 0 0\nreg 0x41 1\n", "2: expected: reg"},
        {"slot 0 0\nreg 0x100 1\n", "2: expected: reg"},
        {"slot 0 0\nreg 0x40 0x100000000\n", "2: expected: reg"},
        {"slot 0 0\nid 0x10000 0\n", "2: expected: id"},
        {"slot 0 0\nid -1 0\n", "2: expected: id"},
        {"slot 0 0\nrom 0 5G\n", "2: ROM byte \"5G\""},
        {"slot 0 0\nrom 0 123\n", "2: ROM byte \"123\""},
        {"slot 0 0\nrom 0 \"open\n", "2: unterminated text"},
        {"slot 0 0\nrom 0x1000000 00\n", "2: ROM image larger than 16 MB"},
        {"slot 0 0\nrom-size 0x1000001\n", "2: expected: rom-size"},
        {"slot 0 0\nrom-gate 0x42 1\n", "2: expected: rom-gate"},
        {"slot 0 0\nrom-file /nonexistent/x.rom\n", "2: cannot read ROM image /nonexistent/x.rom"},
        {"fail everything\n", "1: unknown failure"},
        {"\n\ninclude /nonexistent/x.board\n", "3: cannot read /nonexistent/x.board"},
    };
    for (const Case& c : cases) {
        BoardParse r = parse_board(c.text, "");
        EXPECT_FALSE(r.ok) << c.text;
        EXPECT_EQ(r.error.rfind(c.error_start, 0), 0u) << c.text << " gave: " << r.error;
    }
}

TEST_F(BoardFileTest, IncludesAndRomFilesResolveBesideTheFile)
{
    TempDir dir("cvxhw-test");
    dir.write("image.rom", std::string("\x55\xAA\x01\x02", 4));
    dir.write("base.inc", "slot 0 3\n  id 0x1234 0x5678\n");
    std::string main = dir.write("main.board", "include base.inc\nslot 1 0\n  rom-file image.rom\n  rom-size 2\nfail mem-map\n");
    BoardParse r = load_board_file(main);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.board.functions.size(), 2u);
    EXPECT_EQ(r.board.functions[0].config[0], 0x56781234u);
    EXPECT_EQ(r.board.functions[1].rom, (std::vector<uint8_t>{0x55, 0xAA}));
    EXPECT_TRUE(r.board.fail_mem_map);

    // A statement right after an include belongs to no slot, and a file
    // including itself stops instead of recursing for ever.
    std::string stray = dir.write("stray.board", "include base.inc\n  revision 1\n");
    EXPECT_EQ(load_board_file(stray).error, stray + ":2: \"revision\" before the first slot");
    std::string loop = dir.write("loop.board", "include loop.board\n");
    BoardParse l = load_board_file(loop);
    EXPECT_FALSE(l.ok);
    EXPECT_NE(l.error.find("includes nested too deeply"), std::string::npos) << l.error;
    EXPECT_EQ(load_board_file(dir.path() + "/missing.board").error,
              dir.path() + "/missing.board: cannot read the board file");
}

TEST_F(BoardFileTest, EveryShippedBoardFileLoads)
{
    DIR* d = ::opendir(boards_dir().c_str());
    ASSERT_NE(d, nullptr);
    int count = 0;
    while (dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name.size() < 6 || name.substr(name.size() - 6) != ".board")
            continue;
        ++count;
        BoardParse r = load_board_file(boards_dir() + "/" + name);
        EXPECT_TRUE(r.ok) << r.error;
    }
    ::closedir(d);
    EXPECT_GE(count, 10);
}

TEST_F(BoardFileTest, ConfigurationPortsFollowMechanismOne)
{
    EmulatedBoard& b = install_board("slot 1 2\n id 0x102B 0x0525\n revision 0x80\n reg 0x40 0x11223344\n");
    // Without the privilege a real machine would fault; the emulation
    // answers like an empty slot and counts the access.
    EXPECT_EQ(b.in32(kPciConfigData), 0xFFFFFFFFu);
    EXPECT_EQ(b.unprivileged_accesses(), 1);
    ASSERT_TRUE(b.acquire_io());

    b.out32(kPciConfigAddress, 0x80011000);
    EXPECT_EQ(b.in32(kPciConfigAddress), 0x80011000u);
    EXPECT_EQ(b.in32(kPciConfigData), 0x0525102Bu);
    b.out32(kPciConfigAddress, 0x00011000);   // enable bit clear
    EXPECT_EQ(b.in32(kPciConfigData), 0xFFFFFFFFu);
    b.out32(kPciConfigAddress, 0x80011100);   // function 1: not there
    EXPECT_EQ(b.in32(kPciConfigData), 0xFFFFFFFFu);

    // Identity and revision are read-only; other registers take writes, a
    // write at 0xCFC + k landing from byte k on.
    b.out32(kPciConfigAddress, 0x80011000);
    b.out32(kPciConfigData, 0);
    b.out32(kPciConfigAddress, 0x80011008);
    b.out32(kPciConfigData, 0);
    EXPECT_EQ(b.config(1, 2, 0x00), 0x0525102Bu);
    EXPECT_EQ(b.config(1, 2, 0x08), 0x80u);
    b.out32(kPciConfigAddress, 0x80011040);
    b.out32(kPciConfigData + 1, 0xAABBCCDD);
    EXPECT_EQ(b.config(1, 2, 0x40), 0xBBCCDD44u);
    EXPECT_EQ(b.in32(kPciConfigData + 2), 0xFFFFBBCCu);
    EXPECT_EQ(b.unprivileged_accesses(), 1);
}

TEST_F(BoardFileTest, RomAnswersOnlyWhileDecoded)
{
    EmulatedBoard& b = install_board(R"(slot 0 4
  id 0x102B 0x0525
  reg 0x04 0x0
  reg 0x30 0xD8000001
  reg 0x40 0x40000000
  rom-gate 0x40 0x40000000
  rom 0 55 AA 07
)");
    auto window_start = [&] {
        MemoryWindow w = b.read_memory(0xD7FFFFFE, 8);
        EXPECT_EQ(w.status, MemoryStatus::ok);
        return w.bytes;
    };
    auto set = [&](uint32_t reg, uint32_t value) {
        b.out32(kPciConfigAddress, 0x80002000 | reg);
        b.out32(kPciConfigData, value);
    };
    const std::vector<uint8_t> nothing(8, 0xFF);
    const std::vector<uint8_t> rom = {0xFF, 0xFF, 0x55, 0xAA, 0x07, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(window_start(), nothing);   // memory decoding off
    ASSERT_TRUE(b.acquire_io());
    set(0x04, 0x2);
    EXPECT_EQ(window_start(), rom);
    set(0x40, 0);                          // the board's own gate closed
    EXPECT_EQ(window_start(), nothing);
    set(0x40, 0x40000000);
    set(0x30, 0xD8000000);                 // ROM enable bit clear
    EXPECT_EQ(window_start(), nothing);
    set(0x30, 0xE0000001);                 // elsewhere now
    EXPECT_EQ(window_start(), nothing);
    EXPECT_EQ(b.read_memory(0xE0000000, 2).bytes, (std::vector<uint8_t>{0x55, 0xAA}));
}

TEST_F(BoardFileTest, EnvironmentChoosesTheBoardAndABrokenFileIsAnEmptyBus)
{
    TempDir dir("cvxhw-test");
    std::string good = dir.write("good.board", "slot 3 4\n id 0x102B 0x2527\n");
    std::string bad = dir.write("bad.board", "slot 3 4\n nonsense\n");
    ::setenv("CVXSCAPE_BOARD", good.c_str(), 1);
    auto* g = dynamic_cast<EmulatedBoard*>(&platform());
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->config(3, 4, 0), 0x2527102Bu);
    EXPECT_EQ(&platform(), g);   // same variable, same state

    ::setenv("CVXSCAPE_BOARD", bad.c_str(), 1);
    ::testing::internal::CaptureStderr();
    auto* e = dynamic_cast<EmulatedBoard*>(&platform());
    std::string err = ::testing::internal::GetCapturedStderr();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->find(3, 4), nullptr);
    EXPECT_EQ(err, "cvxscape: " + bad + ":2: unknown statement \"nonsense\"; emulating a bus without devices\n");

    ::setenv("CVXSCAPE_BOARD", "", 1);
    EXPECT_EQ(dynamic_cast<EmulatedBoard*>(&platform()), nullptr);   // the machine's own
    ::unsetenv("CVXSCAPE_BOARD");
}

}  // namespace
}  // namespace cvx::hw::test
