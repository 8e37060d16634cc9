// The round-trip checks the fuzz target makes on every input: the text is
// parsed; when it parses, the unchanged tree must be written back byte for
// byte, and an edited tree must be written so that it reads back as itself.
#pragma once

#include <string_view>

// Null when every check holds, else what failed.
const char* xf86config_roundtrip_failure(std::string_view text);
