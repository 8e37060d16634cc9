// The configuration library's diagnostics (ErrorF), as the test binaries'
// one sink (support/errorf.cpp) keeps them.
#pragma once

#include <string>

namespace cvx::test {
// Everything the library printed since the last call; clears it.
std::string take_diagnostics();
// From now on the library's diagnostics are neither shown nor kept
// (benchmarks: their output is their figures).
void silence_diagnostics();
}  // namespace cvx::test
