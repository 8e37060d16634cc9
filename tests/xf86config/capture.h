// Diagnostics of the library, captured for the tests.
#pragma once

#include <string>

namespace cvx::test {
// Everything ErrorF printed since the last call; clears it.
std::string take_diagnostics();
// Reads a whole file; throws std::runtime_error when it cannot.
std::string read_file(const std::string& path);
}  // namespace cvx::test
