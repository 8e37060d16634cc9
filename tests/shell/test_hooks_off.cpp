// An installed-style build: the sources that read the test seams, compiled
// here with CVX_TEST_HOOKS=0, must ignore CVXSCAPE_ROOT and CVXSCAPE_BOARD
// whatever the environment says.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/paths.h"
#include "hw/board.h"
#include "hw/platform_select.h"
#include "support/files.h"
#include "xf86config/xf86config.h"

namespace fs = std::filesystem;

namespace {

class HooksOff : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = tmp.path();
        setenv("CVXSCAPE_ROOT", root.c_str(), 1);
    }
    void TearDown() override
    {
        unsetenv("CVXSCAPE_ROOT");
        unsetenv("CVXSCAPE_BOARD");
        xf86closeConfigFile();
    }
    cvx::test::TempDir tmp{"cvx-hooks-off"};
    std::string root;
};

}  // namespace

TEST_F(HooksOff, FixedPathsStayWhereTheyAre)
{
    EXPECT_EQ(cvx::paths::root(), "");
    EXPECT_EQ(cvx::paths::lock_file(), "/tmp/cvxscape.lock");
    EXPECT_EQ(cvx::paths::driver_in(), "/tmp/cvxDriverIn");
    EXPECT_EQ(cvx::paths::config_search_root(), "");
    for (const std::string& dir : cvx::paths::pixmap_dirs())
        EXPECT_NE(dir.rfind(root, 0), 0u) << dir;
}

TEST_F(HooksOff, DefaultSearchIgnoresThePrivateRoot)
{
    // A file the search would find first under the private root.
    fs::create_directories(root + "/etc/X11");
    std::ofstream(root + "/etc/X11/xorg.conf") << "Section \"Device\"\n Identifier \"d\"\nEndSection\n";
    unsetenv("XORGCONFIG");
    const char* found = xf86openConfigFile(nullptr, nullptr, "/usr/X11R6");
    if (found) {
        EXPECT_NE(std::string(found).rfind(root, 0), 0u) << found;
    }
}

TEST_F(HooksOff, BoardFileIsNotEmulated)
{
    const std::string board = CVX_TEST_BOARD_FILE;
    ASSERT_TRUE(fs::exists(board)) << board;
    setenv("CVXSCAPE_BOARD", board.c_str(), 1);
    EXPECT_EQ(dynamic_cast<cvx::hw::EmulatedBoard*>(&cvx::hw::platform()), nullptr);
}
