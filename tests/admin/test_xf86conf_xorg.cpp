// The real X server reads what `xf86conf set` writes: every mode on the
// project's own files and on every file of the corpus. The board's driver
// is not installed, so the server stops right after reading the file.
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "config_test_util.h"
#include "support/e2e.h"
#include "support/xserver.h"

namespace fs = std::filesystem;

TEST(XfConfXorg, ReadsWhatSetWritesInEveryMode)
{
    if (std::system("test -x /usr/lib/xorg/Xorg") != 0)
        GTEST_SKIP() << "no Xorg here";
    std::vector<std::pair<std::string, std::string>> files = {
        {"single", cvx::test::kSingleConf}, {"foreign", cvx::test::kForeignConf},
        {"pairview", cvx::test::kPairViewConf}, {"merged", cvx::test::kMergedConf},
        {"demo.conf", cvx::test::read_file(std::string(CVX_TEST_SOURCE_DIR) + "/scripts/demo.conf")}};
    std::error_code ec;
    std::vector<std::string> corpus;
    for (const auto& e : fs::directory_iterator(CVX_CORPUS_DIR, ec))
        if (e.is_regular_file() && e.path().extension() == ".conf")
            corpus.push_back(e.path().string());
    std::sort(corpus.begin(), corpus.end());
    for (const std::string& path : corpus)
        files.emplace_back(fs::path(path).filename().string(), cvx::test::read_file(path));

    cvx::test::TempRoot root;
    const std::string file = root.file("xorg.conf");
    for (const auto& [name, text] : files) {
        for (const char* mode : {"single", "multi", "clone", "merged"}) {
            SCOPED_TRACE(name + " --mode " + mode);
            cvx::test::write_file(file, text);
            const std::string cmd = "ASAN_OPTIONS=detect_leaks=0 '" + std::string(CVX_XF86CONF) + "' set '" + file +
                                    "' --mode " + mode + " --no-backup > /dev/null 2>&1";
            const int rc = std::system(cmd.c_str());
            if (!WIFEXITED(rc) || WEXITSTATUS(rc) == 1)
                continue;   // a file the parser refuses: nothing written
            ASSERT_EQ(WEXITSTATUS(rc), 0);
            std::string log;
            EXPECT_TRUE(cvx::test::xorg_accepts(file, root.file("xorg-check"), log))
                << cvx::test::read_file(file) << "\n" << log;
        }
    }
    if (corpus.empty())
        GTEST_SKIP() << "corpus folder " << CVX_CORPUS_DIR << " absent: only the project's own files were run";
}
