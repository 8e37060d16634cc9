// Pictures compiled into the program (XPM data drawn by scripts/artwork):
// the invisible placeholder, the window backdrop, the window icon and the
// identify windows' backdrop.
#pragma once

extern const char* const cvx_placeholder_xpm[];
extern const char* const cvx_backdrop_xpm[];
extern const char* const cvx_icon_xpm[];
extern const char* const cvx_identify_backdrop_xpm[];
