// Every fixed path of the program, in one place. When the environment
// variable CVXSCAPE_ROOT names a directory, every path is taken under it
// ("/tmp/cvxscape.lock" becomes "$CVXSCAPE_ROOT/tmp/cvxscape.lock"), so tests
// never touch the real names. The root is read on every call. Only builds
// with the test seams (CMake option CVX_TEST_HOOKS) read the variable.
#pragma once

#include <string>
#include <vector>

namespace cvx::paths {

std::string root();                 // "" or the value of CVXSCAPE_ROOT without a trailing '/'
std::string under_root(const std::string& absolute);

std::string lock_file();            // /tmp/cvxscape.lock
std::string driver_in();            // /tmp/cvxDriverIn
std::string driver_out();           // /tmp/cvxDriverOut
std::string temp_dir();             // /tmp (for the preview's temporary file)
std::string hal_module();           // /usr/X11R6/lib/modules/drivers/cvx_hal_drv.o
std::string dev_io();               // /dev/io
std::string dev_mem();              // /dev/mem

// Pixmap directories in the order start-up registers them (each goes to the
// front of the search list, so the last one here is searched first): the
// source tree's pixmaps/ (executables inside the build tree only), the
// configured install directory, the directory beside the running executable
// where `cmake --install` puts the pictures (../share/cvxscape/pixmaps), then
// the two historical ones.
std::vector<std::string> pixmap_dirs();
std::string installed_pixmap_dir();   // beside the running executable
// The program's own pictures among them: all but the two historical ones.
// Root trusts the owner of these (a checkout run with sudo belongs to its
// user) when the path to them is safe.
std::vector<std::string> own_pixmap_dirs();

// The prefix for the configuration library's default search.
std::string config_search_root();

}  // namespace cvx::paths
