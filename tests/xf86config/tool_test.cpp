// The command-line tool: exit codes and output.
#include "support/diagnostics.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

cvx::test::CommandRun run(const std::string& args, const std::string& env = "")
{
    return cvx::test::run_captured(env + " " + cvx::test::shell_quote(CVX_XF86CONF) + " " + args);
}

}  // namespace

TEST(Tool, ChecksWritesAndFinds)
{
    const cvx::test::TempDir tmp("cvx-xf86conf");
    const fs::path dir = tmp.path();
    const fs::path samples = CVX_XF86CONFIG_SAMPLES;

    const fs::path good = samples / "screens-layouts.conf";
    cvx::test::CommandRun r = run("check '" + good.string() + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    r = run("write '" + good.string() + "'");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, cvx::test::read_file(good));

    // A file the server logs a finding for is accepted, with a warning.
    r = run("check '" + (samples / "quirks.conf").string() + "'");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("warning: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Ignoring obsolete keyword \"RgbPath\"."), std::string::npos) << r.err;

    r = run("check '" + (samples / "rejected" / "device-unknown-keyword.conf").string() + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Parse error on line 4 of section Device"), std::string::npos) << r.err;
    r = run("check '" + dir.string() + "'");
    EXPECT_EQ(r.status, 1);

    EXPECT_EQ(run("").status, 2);
    EXPECT_EQ(run("check").status, 2);
    r = run("frobnicate x");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("usage: xf86conf"), std::string::npos);

    // find: the default search under a private root.
    const std::string env = "CVXSCAPE_ROOT='" + dir.string() + "' XORGCONFIG=";
    EXPECT_EQ(run("find", env).status, 1);
    fs::create_directories(dir / "etc" / "X11");
    std::ofstream(dir / "etc" / "X11" / "xorg.conf") << "";
    r = run("find", env);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, (dir / "etc" / "X11" / "xorg.conf").string() + "\n");
}
