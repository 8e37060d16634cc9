// XPM source and string arrays decoded without temporary files (see xpm.h).
#include "shell/xpm.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <type_traits>

std::vector<std::string_view> xpm_source_strings(std::string_view text)
{
    constexpr std::string_view kMagic = "/* XPM */";
    constexpr std::string_view kBlank = " \t\r\n";
    size_t pos = text.find_first_not_of(kBlank);
    if (pos == std::string_view::npos || text.compare(pos, kMagic.size(), kMagic) != 0 ||
        text.find('\0') != std::string_view::npos)
        return {};
    pos += kMagic.size();
    // Past white space and comments; false on an unterminated comment.
    auto skip = [&] {
        for (;;) {
            pos = text.find_first_not_of(kBlank, pos);
            if (pos == std::string_view::npos) {
                pos = text.size();
                return true;
            }
            if (text.compare(pos, 2, "/*") != 0)
                return true;
            const size_t end = text.find("*/", pos + 2);
            if (end == std::string_view::npos)
                return false;
            pos = end + 2;
        }
    };
    // The declaration: C tokens up to the brace, no strings or characters.
    for (;;) {
        if (!skip() || pos == text.size())
            return {};
        const char c = text[pos];
        if (c == '{')
            break;
        if (c == '"' || c == '\'' || c == '/')
            return {};
        ++pos;
    }
    ++pos;
    std::vector<std::string_view> strings;
    for (;;) {
        if (!skip() || pos == text.size())
            return {};
        if (text[pos] == '}' && !strings.empty())
            break;
        if (text[pos] != '"')
            return {};
        const size_t end = text.find_first_of("\"\\\n", pos + 1);
        if (end == std::string_view::npos || text[end] != '"')
            return {};
        strings.push_back(text.substr(pos + 1, end - pos - 1));
        pos = end + 1;
        if (!skip() || pos == text.size())
            return {};
        if (text[pos] == ',')
            ++pos;
        else if (text[pos] != '}')
            return {};
    }
    ++pos;
    if (!skip())
        return {};
    if (pos < text.size() && text[pos] == ';') {
        ++pos;
        if (!skip())
            return {};
    }
    if (pos != text.size())
        return {};
    return strings;
}

namespace {

struct Header {
    int width = 0, height = 0, colours = 0, cpp = 0;
};

// The header as the toolkit reads it (four numbers, or six with a hot
// spot) and the limits it enforces, so that what passes here never makes
// it complain.
bool read_header(const char* line, Header& h)
{
    int x = 0, y = 0;
    const int items = std::sscanf(line, "%d %d %d %d %d %d", &h.width, &h.height, &h.colours, &h.cpp, &x, &y);
    // Its colour table entry: a pointer, three 16-bit channels and a flag.
    constexpr int kEntry = 24;
    return (items == 4 || items == 6) && h.width > 0 && h.height > 0 && h.cpp > 0 && h.cpp < 32 &&
           h.colours > 0 && h.colours < INT_MAX / (h.cpp + 1) && h.colours < INT_MAX / kEntry;
}

int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

struct Colour {
    guint8 rgb[3] = {0, 0, 0};
    bool transparent = false;
};

// "c #RRGGBB" or "c None" after the pixel characters, blanks between; false
// for any other form (left to the toolkit).
bool simple_colour(const char* text, Colour& colour)
{
    auto blanks = [&] {
        const char* start = text;
        while (*text == ' ' || *text == '\t')
            ++text;
        return text != start;
    };
    if (!blanks() || *text++ != 'c' || !blanks())
        return false;
    if (std::strcmp(text, "None") == 0) {
        colour.transparent = true;
        return true;
    }
    if (*text != '#' || std::strlen(text) != 7)
        return false;
    for (int i = 0; i < 3; ++i) {
        const int hi = hex_digit(text[1 + 2 * i]), lo = hex_digit(text[2 + 2 * i]);
        if (hi < 0 || lo < 0)
            return false;
        colour.rgb[i] = static_cast<guint8>(hi * 16 + lo);
    }
    return true;
}

// One or two characters a pixel, simple colours; null when the picture is
// of another kind. Like the toolkit: a later colour of the same characters
// wins, characters without a colour take the first one, transparent pixels
// are black with alpha 0, and there is alpha only when some colour is None.
GdkPixbuf* decode_simple(const char* const* lines, const Header& h)
{
    if (h.cpp > 2)
        return nullptr;
    std::vector<Colour> colours(static_cast<size_t>(h.colours));
    bool alpha = false;
    for (int i = 0; i < h.colours; ++i) {
        const char* line = lines[1 + i];
        if (std::strlen(line) < static_cast<size_t>(h.cpp) || !simple_colour(line + h.cpp, colours[size_t(i)]))
            return nullptr;
        alpha = alpha || colours[size_t(i)].transparent;
    }
    auto key = [&](const char* p) {
        const auto first = static_cast<unsigned char>(p[0]);
        return h.cpp == 1 ? first : first | static_cast<unsigned>(static_cast<unsigned char>(p[1])) << 8;
    };
    // The bytes of a pixel for every possible key, in the pixbuf's order.
    auto bytes = [&](const Colour& c) {
        const guint8 b[4] = {c.rgb[0], c.rgb[1], c.rgb[2], guint8(c.transparent ? 0 : 0xFF)};
        uint32_t v;
        std::memcpy(&v, b, sizeof v);
        return v;
    };
    std::vector<uint32_t> pixel(h.cpp == 1 ? 256 : 65536, bytes(colours[0]));
    for (int i = 0; i < h.colours; ++i)
        pixel[key(lines[1 + i])] = bytes(colours[size_t(i)]);
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, alpha, 8, h.width, h.height);
    if (!pixbuf)
        return nullptr;
    const int stride = gdk_pixbuf_get_rowstride(pixbuf);
    guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
    auto fill = [&](auto channels) {
        for (int y = 0; y < h.height; ++y) {
            const char* row = lines[1 + h.colours + y];
            guchar* out = pixels + static_cast<ptrdiff_t>(y) * stride;
            for (int x = 0; x < h.width; ++x, row += h.cpp, out += channels())
                std::memcpy(out, &pixel[key(row)], channels());
        }
    };
    if (alpha)
        fill(std::integral_constant<size_t, 4>());
    else
        fill(std::integral_constant<size_t, 3>());
    return pixbuf;
}

}  // namespace

GdkPixbuf* xpm_decode(const char* const* lines, size_t count)
{
    Header h;
    if (!lines || count == 0 || !read_header(lines[0], h))
        return nullptr;
    const size_t first_row = 1 + static_cast<size_t>(h.colours);
    if (count < first_row + static_cast<size_t>(h.height))
        return nullptr;
    const size_t row_bytes = static_cast<size_t>(h.width) * static_cast<size_t>(h.cpp);
    for (size_t i = first_row; i < first_row + static_cast<size_t>(h.height); ++i)
        if (std::strlen(lines[i]) < row_bytes)
            return nullptr;
    if (GdkPixbuf* pixbuf = decode_simple(lines, h))
        return pixbuf;
    return gdk_pixbuf_new_from_xpm_data(const_cast<const char**>(lines));
}
