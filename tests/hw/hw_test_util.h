// Shared helpers of the probe tests: emulated boards from text, and running
// a probe call in a child to see how it ends.
#pragma once

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "hw/board.h"
#include "hw/platform_select.h"
#include "support/files.h"

namespace cvx::hw::test {

inline std::string boards_dir() { return CVX_BOARDS_DIR; }

// A fresh emulated board from board-file text, installed as the platform.
inline EmulatedBoard& install_board(const std::string& text)
{
    BoardParse r = parse_board(text, boards_dir());
    EXPECT_TRUE(r.ok) << r.error;
    auto board = std::make_unique<EmulatedBoard>(std::move(r.board));
    EmulatedBoard& ref = *board;
    set_platform_override(std::move(board));
    return ref;
}

// A fresh copy of a shipped board file, installed as the platform.
inline EmulatedBoard& install_board_file(const std::string& name)
{
    BoardParse r = load_board_file(boards_dir() + "/" + name);
    EXPECT_TRUE(r.ok) << r.error;
    auto board = std::make_unique<EmulatedBoard>(std::move(r.board));
    EmulatedBoard& ref = *board;
    set_platform_override(std::move(board));
    return ref;
}

using cvx::test::TempDir;

struct ChildResult {
    int status = -1;        // exit status, or -1 when it did not exit normally
    std::string out;        // what it wrote to standard output
};
// Runs `body` in a forked child with standard output captured; a body that
// returns ends the child with status 42.
ChildResult run_in_child(const std::function<void()>& body);

}  // namespace cvx::hw::test
