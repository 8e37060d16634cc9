// The machine's own memory path, over a plain file standing in for the
// memory device under a private root (the ports are never touched here).
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "hw/platform.h"
#include "hw_test_util.h"

namespace cvx::hw::test {
namespace {

class NativeMemoryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::setenv("CVXSCAPE_ROOT", dir.path().c_str(), 1);
        ASSERT_EQ(::mkdir((dir.path() + "/dev").c_str(), 0755), 0);
    }
    void TearDown() override { ::unsetenv("CVXSCAPE_ROOT"); }

    // A sparse file whose bytes at `at` are `bytes`, `size` long in all.
    void make_mem(uint64_t size, uint64_t at, const std::string& bytes)
    {
        int fd = ::open((dir.path() + "/dev/mem").c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);
        ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(at)),
                  static_cast<ssize_t>(bytes.size()));
        ::close(fd);
    }

    TempDir dir{"cvxhw-test"};
};

TEST_F(NativeMemoryTest, WindowIsCopiedFromTheDevice)
{
    const uint64_t rom = 0xD8000000;
    make_mem(rom + 0x8000, rom, std::string("\x55\xAA\x40", 3));
    auto p = make_native_platform();
    MemoryWindow w = p->read_memory(rom, 0x8000);
    ASSERT_EQ(w.status, MemoryStatus::ok);
    ASSERT_EQ(w.bytes.size(), 0x8000u);
    EXPECT_EQ(w.bytes[0], 0x55);
    EXPECT_EQ(w.bytes[1], 0xAA);
    EXPECT_EQ(w.bytes[2], 0x40);
    EXPECT_EQ(w.bytes[3], 0x00);
    // An address inside a page.
    MemoryWindow inner = p->read_memory(rom + 1, 2);
    ASSERT_EQ(inner.status, MemoryStatus::ok);
    EXPECT_EQ(inner.bytes, (std::vector<uint8_t>{0xAA, 0x40}));
}

TEST_F(NativeMemoryTest, FailuresAreReportedNotFaulted)
{
    auto p = make_native_platform();
    MemoryWindow missing = p->read_memory(0xD8000000, 0x8000);
    EXPECT_EQ(missing.status, MemoryStatus::open_failed);
    EXPECT_EQ(missing.error, ENOENT);
    EXPECT_TRUE(missing.bytes.empty());

    // A window reaching past the end of the file would fault when read.
    make_mem(0xD8000000 + 0x4000, 0xD8000000, "\x55");
    MemoryWindow short_file = p->read_memory(0xD8000000, 0x8000);
    EXPECT_EQ(short_file.status, MemoryStatus::map_failed);
    MemoryWindow beyond = p->read_memory(0xE0000000, 0x8000);
    EXPECT_EQ(beyond.status, MemoryStatus::map_failed);
}

}  // namespace
}  // namespace cvx::hw::test
