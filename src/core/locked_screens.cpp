// The record of locked screens.
#include "core/locked_screens.h"

#include <csignal>

namespace cvx {

namespace {

volatile sig_atomic_t s_locked[kMaxLockedScreens] = {};

bool in_record(int screen) noexcept
{
    return screen >= 0 && screen < kMaxLockedScreens;
}

}  // namespace

bool mark_screen_locked(int screen, bool locked) noexcept
{
    if (!in_record(screen))
        return false;
    s_locked[screen] = locked ? 1 : 0;
    return true;
}

bool screen_locked(int screen) noexcept
{
    return in_record(screen) && s_locked[screen] != 0;
}

}  // namespace cvx
