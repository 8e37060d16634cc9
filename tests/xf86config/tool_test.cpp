// The command-line tool: exit codes and output.
#include "capture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct ToolRun { int status; std::string out, err; };

ToolRun run(const std::string& args, const fs::path& dir, const std::string& env = "")
{
    const fs::path out = dir / "out.txt", err = dir / "err.txt";
    const std::string cmd = env + " '" + std::string(CVX_XF86CONF) + "' " + args + " >'" + out.string() + "' 2>'" +
                            err.string() + "'";
    int rc = std::system(cmd.c_str());
    return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, cvx::test::read_file(out), cvx::test::read_file(err)};
}

}  // namespace

TEST(Tool, ChecksWritesAndFinds)
{
    char tmpl[] = "/tmp/cvx-xf86conf-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const fs::path dir = tmpl;
    const fs::path samples = CVX_XF86CONFIG_SAMPLES;

    const fs::path good = samples / "screens-layouts.conf";
    ToolRun r = run("check '" + good.string() + "'", dir);
    EXPECT_EQ(r.status, 0) << r.err;
    r = run("write '" + good.string() + "'", dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, cvx::test::read_file(good));

    // A file the server logs a finding for is accepted, with a warning.
    r = run("check '" + (samples / "quirks.conf").string() + "'", dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("warning: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Ignoring obsolete keyword \"RgbPath\"."), std::string::npos) << r.err;

    r = run("check '" + (samples / "rejected" / "device-unknown-keyword.conf").string() + "'", dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Parse error on line 4 of section Device"), std::string::npos) << r.err;
    r = run("check '" + dir.string() + "'", dir);
    EXPECT_EQ(r.status, 1);

    EXPECT_EQ(run("", dir).status, 2);
    EXPECT_EQ(run("check", dir).status, 2);
    r = run("frobnicate x", dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("usage: xf86conf"), std::string::npos);

    // find: the default search under a private root.
    const std::string env = "CVXSCAPE_ROOT='" + dir.string() + "' XORGCONFIG=";
    EXPECT_EQ(run("find", dir, env).status, 1);
    fs::create_directories(dir / "etc" / "X11");
    std::ofstream(dir / "etc" / "X11" / "xorg.conf") << "";
    r = run("find", dir, env);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, (dir / "etc" / "X11" / "xorg.conf").string() + "\n");
    fs::remove_all(dir);
}
