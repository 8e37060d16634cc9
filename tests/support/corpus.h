// The real-world configuration files are optional data from outside the
// project (the build's CVX_XORG_CORPUS). Tests that read them skip, saying
// why, when the folder is not there.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace cvx::test {
inline bool corpus_present(const std::string& dir)
{
    std::error_code ec;
    return !dir.empty() && std::filesystem::is_directory(dir, ec);
}
}  // namespace cvx::test

// In a test body or SetUp: skips the test when the corpus folder `dir` is absent.
#define CVX_SKIP_WITHOUT_CORPUS(dir)                                                              \
    if (!cvx::test::corpus_present(dir))                                                          \
    GTEST_SKIP() << "the real-world corpus is not there (CVX_XORG_CORPUS is \"" << std::string(dir) \
                 << "\"); set CVX_XORG_CORPUS to its folder to run this test"
