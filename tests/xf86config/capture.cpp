// ErrorF/VErrorF for the library's test binaries: kept for inspection and
// copied to standard error.
#include "capture.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {
std::string g_captured;
}

void VErrorF(const char* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n <= 0)
        return;
    std::string text(static_cast<std::size_t>(n) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.pop_back();
    g_captured += text;
    std::fputs(text.c_str(), stderr);
}

void ErrorF(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    VErrorF(format, args);
    va_end(args);
}

namespace cvx::test {

std::string take_diagnostics()
{
    std::string out;
    out.swap(g_captured);
    return out;
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::vector<std::filesystem::path> conf_files(const std::filesystem::path& dir)
{
    std::vector<std::filesystem::path> out;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.is_regular_file() && e.path().extension() == ".conf")
            out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace cvx::test
