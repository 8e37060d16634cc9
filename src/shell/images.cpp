// The pictures compiled into the program, drawn by scripts/artwork.
#include "shell/images.h"

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
