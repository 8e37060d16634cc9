// The release run before a fatal end.
#include "core/exit_release.h"

#include <utility>

namespace cvx {

namespace {

ExitRelease s_release = nullptr;

}  // namespace

void set_exit_release(ExitRelease release) noexcept
{
    s_release = release;
}

void run_exit_release() noexcept
{
    if (ExitRelease release = std::exchange(s_release, nullptr))
        release();
}

}  // namespace cvx
