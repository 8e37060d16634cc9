#include "capture.h"
#include "xf86config/xf86config.h"
#include <gtest/gtest.h>
