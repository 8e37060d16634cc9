// The two diagnostic functions the configuration library calls: formatted
// text to standard error, nothing else.
#include <cstdarg>
#include <cstdio>

#include "xf86config/xf86config.h"

void VErrorF(const char* format, va_list args)
{
    std::vfprintf(stderr, format, args);
}

void ErrorF(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    VErrorF(format, args);
    va_end(args);
}
