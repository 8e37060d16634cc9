// Choosing the platform: an emulated board when CVXSCAPE_BOARD names a board
// file (builds with the test seams only), the machine's own ports and memory
// otherwise.
#include "hw/platform_select.h"

#include <cstdio>
#include <cstdlib>

#include "hw/board.h"

namespace cvx::hw {

namespace {

struct Current {
    std::string key;
    std::unique_ptr<Platform> chosen;
    std::unique_ptr<Platform> override_;
    unsigned generation = 0;
};

Current& current()
{
    static Current c;
    return c;
}

}  // namespace

Platform& platform()
{
    Current& c = current();
    if (c.override_)
        return *c.override_;
    // A test seam: an installed build always drives the machine's own ports.
#if CVX_TEST_HOOKS
    const char* env = std::getenv("CVXSCAPE_BOARD");
#else
    const char* env = nullptr;
#endif
    std::string key = env ? env : "";
    if (!c.chosen || key != c.key) {
        c.key = key;
        ++c.generation;
        if (key.empty()) {
            c.chosen = make_native_platform();
        } else {
            BoardParse r = load_board_file(key);
            if (!r.ok) {
                // A broken board file must not pass for a board: say why and
                // show an empty bus, which the program reports as no board.
                std::fprintf(stderr, "cvxscape: %s; emulating a bus without devices\n", r.error.c_str());
                r.board = BoardDescription{};
            }
            c.chosen = std::make_unique<EmulatedBoard>(std::move(r.board));
        }
    }
    return *c.chosen;
}

unsigned platform_generation()
{
    platform();
    return current().generation;
}

void set_platform_override(std::unique_ptr<Platform> p)
{
    Current& c = current();
    c.override_ = std::move(p);
    ++c.generation;
}

}  // namespace cvx::hw
