// Replays the fuzz target's checks on the regression corpus and on the
// project's own samples: the same result on every machine, and under the
// sanitizers of this build.
#include "fuzz/roundtrip_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdarg>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

// Inputs are hostile; what the parser says about them is not checked here.
void VErrorF(const char*, va_list) {}
void ErrorF(const char*, ...) {}

namespace {

void replay_folder(const fs::path& dir)
{
    std::vector<fs::path> files;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file() && e.path().extension() == ".conf")
            files.push_back(e.path());
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty()) << "no inputs in " << dir;
    for (const fs::path& f : files) {
        std::ifstream in(f, std::ios::binary);
        ASSERT_TRUE(in) << f;
        std::ostringstream text;
        text << in.rdbuf();
        const char* failure = xf86config_roundtrip_failure(text.str());
        EXPECT_EQ(failure, nullptr) << f.filename().string() << ": " << failure;
    }
}

}  // namespace

TEST(FuzzReplay, EveryRegressionInputPassesTheChecks)
{
    replay_folder(CVX_FUZZ_REGRESSIONS);
}

TEST(FuzzReplay, EveryProjectSamplePassesTheChecks)
{
    replay_folder(CVX_XF86CONFIG_SAMPLES);
}
