// The project's own sample files (tests/data/xf86config), which exercise
// every section, keyword and argument form the library reads: they parse with
// exactly the findings the server logs, and the rejected ones fail with the
// server's diagnostic. (Their round trip and edits: tests/fuzz, replay.)
#include "support/diagnostics.h"
#include "support/files.h"
#include "xf86config/xf86config.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <vector>

namespace fs = std::filesystem;
using cvx::test::conf_files;
using cvx::test::read_file;
using cvx::test::take_diagnostics;

TEST(Samples, ParseWithExactlyTheServersFindings)
{
    const std::map<std::string, std::vector<std::string>> findings = {
        {"quirks.conf",
         {"quirks.conf: line 6: Ignoring obsolete keyword \"RgbPath\".",
          "quirks.conf: line 7: Ignoring obsolete keyword \"InputDevices\".",
          "quirks.conf: line 15: \"Frobnicate\" is not a valid keyword in this section.",
          "quirks.conf: line 23: The Option keyword requires 1 or 2 quoted strings to follow it."}},
    };
    const auto files = conf_files(CVX_XF86CONFIG_SAMPLES);
    ASSERT_GE(files.size(), 6u);
    for (const fs::path& f : files) {
        const std::string name = f.filename().string();
        SCOPED_TRACE(name);
        take_diagnostics();
        XF86ConfigHolder tree(xf86parseConfigText(read_file(f), name.c_str()));
        ASSERT_TRUE(tree) << take_diagnostics();
        const auto it = findings.find(name);
        EXPECT_EQ(xf86parseWarnings(), it == findings.end() ? std::vector<std::string>() : it->second);
    }
}

TEST(Samples, RejectedOnesFailWithTheServersDiagnostic)
{
    const std::map<std::string, std::string> expected = {
        {"device-unknown-keyword.conf",
         "Parse error on line 4 of section Device in file device-unknown-keyword.conf\n"
         "\t\"Frobnicate\" is not a valid keyword in this section.\n"},
        {"layout-undefined-screen.conf",
         "Data incomplete on line 8 of section ServerLayout in file layout-undefined-screen.conf\n"
         "\tUndefined Screen \"Nope\" referenced by ServerLayout \"L\".\n"},
    };
    const auto files = conf_files(fs::path(CVX_XF86CONFIG_SAMPLES) / "rejected");
    ASSERT_EQ(files.size(), expected.size());
    for (const fs::path& f : files) {
        const std::string name = f.filename().string();
        SCOPED_TRACE(name);
        take_diagnostics();
        XF86ConfigHolder tree(xf86parseConfigText(read_file(f), name.c_str()));
        EXPECT_FALSE(tree);
        ASSERT_TRUE(expected.count(name));
        EXPECT_EQ(take_diagnostics(), expected.at(name));
    }
}
