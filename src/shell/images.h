// Pictures compiled into the program (XPM data drawn by scripts/artwork):
// the invisible placeholder, the window backdrop, the window icon and the
// identify windows' backdrop.
#pragma once

#include <cstddef>

extern const char* const cvx_placeholder_xpm[];
extern const char* const cvx_backdrop_xpm[];
extern const char* const cvx_icon_xpm[];
extern const char* const cvx_identify_backdrop_xpm[];
// The number of strings in each.
extern const size_t cvx_placeholder_xpm_lines;
extern const size_t cvx_backdrop_xpm_lines;
extern const size_t cvx_icon_xpm_lines;
extern const size_t cvx_identify_backdrop_xpm_lines;
