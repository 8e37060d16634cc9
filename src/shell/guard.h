// The one policy at the C boundary. GTK calls handlers, timers and callbacks
// from C, where no exception may arrive: each runs its body through
// cvx::guarded. A failure is logged once ("WHERE: WHAT", a warning) and the
// program goes on; running out of memory is fatal: logged, then the exit
// release (the mode-switch hot-keys) runs and the program ends with status 2.
#pragma once

#include <exception>
#include <new>

namespace cvx {

void log_failure(const char* where, const char* what) noexcept;
[[noreturn]] void fatal_failure(const char* where, const char* what) noexcept;

template <typename Fn>
void guarded(const char* where, Fn&& body) noexcept
{
    try {
        body();
    } catch (const std::bad_alloc& e) {
        fatal_failure(where, e.what());
    } catch (const std::exception& e) {
        log_failure(where, e.what());
    } catch (...) {
        log_failure(where, "unexpected exception");
    }
}

}  // namespace cvx
