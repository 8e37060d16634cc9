// The configuration library's diagnostics, to standard error, for test
// binaries without the program's start-up.
#include <cstdarg>
#include <cstdio>

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
