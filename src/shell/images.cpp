// The pictures compiled into the program, drawn by scripts/artwork.
#include "shell/images.h"

#include <iterator>

const char* const cvx_placeholder_xpm[] = {
#include "shell/images/placeholder.inc"
};

const char* const cvx_backdrop_xpm[] = {
#include "shell/images/backdrop.inc"
};

const char* const cvx_icon_xpm[] = {
#include "shell/images/icon.inc"
};

const char* const cvx_identify_backdrop_xpm[] = {
#include "shell/images/identify_backdrop.inc"
};

const size_t cvx_placeholder_xpm_lines = std::size(cvx_placeholder_xpm);
const size_t cvx_backdrop_xpm_lines = std::size(cvx_backdrop_xpm);
const size_t cvx_icon_xpm_lines = std::size(cvx_icon_xpm);
const size_t cvx_identify_backdrop_xpm_lines = std::size(cvx_identify_backdrop_xpm);
