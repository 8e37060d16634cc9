// Diagnostics of the library, captured for the tests.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace cvx::test {
// Everything ErrorF printed since the last call; clears it.
std::string take_diagnostics();
// Reads a whole file; throws std::runtime_error when it cannot.
std::string read_file(const std::string& path);
// The .conf files directly in `dir`, sorted.
std::vector<std::filesystem::path> conf_files(const std::filesystem::path& dir);
}  // namespace cvx::test
