// What has to be given back before the program ends on an error: start-up
// installs the release of the X server's mode-switch hot-keys, so that no
// fatal end (the board probe's, a failed handler's, std::terminate) leaves
// them dead behind the program.
#pragma once

namespace cvx {

using ExitRelease = void (*)();

// Null: nothing to release.
void set_exit_release(ExitRelease release) noexcept;
// Runs the release at most once; later calls do nothing.
void run_exit_release() noexcept;

}  // namespace cvx
