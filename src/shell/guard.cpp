// Logging and ending for cvx::guarded.
#include "shell/guard.h"

#include <cstdlib>

#include <glib.h>

#include "core/exit_release.h"

namespace cvx {

void log_failure(const char* where, const char* what) noexcept
{
    g_warning("%s: %s", where, what);
}

void fatal_failure(const char* where, const char* what) noexcept
{
    g_critical("%s: %s", where, what);
    run_exit_release();
    std::_Exit(2);
}

}  // namespace cvx
