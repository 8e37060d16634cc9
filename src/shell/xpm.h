// XPM pictures without the toolkit's file loader (which copies its input
// into a temporary file before parsing it): the quoted strings of the C
// source, and a decoder for the string array that gives the same pixels as
// gdk_pixbuf_new_from_xpm_data.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include <gdk-pixbuf/gdk-pixbuf.h>

// The quoted strings of XPM C source, in order: a leading "/* XPM */", a
// declaration up to "{", strings separated by commas, "}" and an optional
// ";", with comments and white space between. Empty on anything else: a
// string over a line end or with a backslash, a NUL anywhere, an
// unterminated comment, or text where none belongs.
std::vector<std::string_view> xpm_source_strings(std::string_view text);

// The picture the array of `count` NUL-terminated strings describes, or null
// (silently) when the header is not one, or there are fewer colours or rows
// than it announces, or a row is narrower than it says. Pictures with up to
// two characters a pixel and colours given as "c #RRGGBB" or "c None" are
// decoded here; others by the toolkit, from the same strings.
GdkPixbuf* xpm_decode(const char* const* lines, size_t count);
