// The configuration library's diagnostics for test binaries without the
// program's start-up: copied to standard error and kept, so that a test can
// look at what the library said (take_diagnostics).
#include <cstdarg>
#include <cstdio>
#include <string>

#include "diagnostics.h"

namespace {
std::string g_said;
bool g_silent = false;
}

void VErrorF(const char* format, va_list args)
{
    if (g_silent)
        return;
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n <= 0)
        return;
    std::string text(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.pop_back();
    g_said += text;
    std::fputs(text.c_str(), stderr);
}

void ErrorF(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    VErrorF(format, args);
    va_end(args);
}

void cvx::test::silence_diagnostics() { g_silent = true; }

std::string cvx::test::take_diagnostics()
{
    std::string said;
    said.swap(g_said);
    return said;
}
