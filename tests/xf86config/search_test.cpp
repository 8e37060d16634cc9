// Finding and opening the file: the "%A" template and the default search.
#include "support/diagnostics.h"
#include "support/files.h"
#include "xf86config/xf86config.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class Search : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = tmp.path();
        xf86setConfigRoot(root + "/");
        unsetenv("XORGCONFIG");
    }
    void TearDown() override
    {
        xf86closeConfigFile();
        unsetenv("XORGCONFIG");
    }
    std::string put(const std::string& rel, const std::string& text = "Section \"Device\"\n Identifier \"d\"\nEndSection\n")
    {
        fs::path p = fs::path(root) / rel;
        fs::create_directories(p.parent_path());
        std::ofstream(p) << text;
        return p.string();
    }
    cvx::test::TempDir tmp{"cvx-search"};
    std::string root;
};

}  // namespace

TEST_F(Search, TemplateATriesExactlyAnAbsolutePath)
{
    const std::string file = put("conf/my.conf");
    const char* opened = xf86openConfigFile("%A", file.c_str(), "/usr/X11R6");
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(std::string(opened), file);
    XF86ConfigHolder tree(xf86readConfigFile());
    ASSERT_TRUE(tree);
    EXPECT_EQ(xf86devices(tree.get()).size(), 1u);
    xf86closeConfigFile();
    EXPECT_EQ(xf86readConfigFile(), nullptr);

    ASSERT_EQ(chdir(root.c_str()), 0);
    EXPECT_EQ(xf86openConfigFile("%A", "conf/my.conf", "/usr/X11R6"), nullptr);   // relative
    EXPECT_EQ(xf86openConfigFile("%A", (root + "/conf/none.conf").c_str(), "/usr/X11R6"), nullptr);
    EXPECT_EQ(xf86openConfigFile("%A", (root + "/conf").c_str(), "/usr/X11R6"), nullptr);   // a directory
    EXPECT_EQ(xf86openConfigFile("%A", nullptr, "/usr/X11R6"), nullptr);
    EXPECT_NE(xf86openConfigFile("%R", "conf/my.conf", "/usr/X11R6"), nullptr);
}

TEST_F(Search, DefaultSearchFollowsTheServersListUnderTheRoot)
{
    EXPECT_EQ(xf86openConfigFile(nullptr, nullptr, "/usr/X11R6"), nullptr);
    const std::string low = put("usr/X11R6/lib/X11/xorg.conf");
    const char* opened = xf86openConfigFile(nullptr, nullptr, "/usr/X11R6");
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(std::string(opened), low);
    const std::string etc = put("etc/X11/xorg.conf");
    opened = xf86openConfigFile(nullptr, nullptr, "/usr/X11R6");
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(std::string(opened), etc);
    // XORGCONFIG comes before the fixed names: absolute, or relative to /etc/X11.
    const std::string env_abs = put("srv/custom.conf");
    setenv("XORGCONFIG", "/srv/custom.conf", 1);
    opened = xf86openConfigFile("", nullptr, "/usr/X11R6");
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(std::string(opened), env_abs);
    const std::string env_rel = put("etc/X11/rel.conf");
    setenv("XORGCONFIG", "rel.conf", 1);
    opened = xf86openConfigFile(nullptr, nullptr, "/usr/X11R6");
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(std::string(opened), env_rel);
    // Only the templates that use a given command-line file are tried.
    EXPECT_EQ(xf86openConfigFile(nullptr, "/nonexistent/x.conf", "/usr/X11R6"), nullptr);
}

TEST_F(Search, TemplatesExpandEscapes)
{
    const std::string f = put("a%b/xorg.conf");
    const std::string tmpl = root + "/a%%b/%X";
    const char* opened = xf86openConfigFile(tmpl.c_str(), nullptr, nullptr);
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(std::string(opened), f);
    cvx::test::take_diagnostics();
    const std::string first = opened;
    opened = xf86openConfigFile((root + "/%Q," + tmpl).c_str(), nullptr, nullptr);
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(std::string(opened), first);
    EXPECT_NE(cvx::test::take_diagnostics().find("invalid escape %Q found in path template"), std::string::npos);
}
