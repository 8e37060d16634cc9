// libFuzzer target: the round-trip checks on every input; a failed check
// aborts, so that libFuzzer keeps the input.
#include "fuzz/roundtrip_check.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

void VErrorF(const char*, va_list) {}
void ErrorF(const char*, ...) {}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const char* failure = xf86config_roundtrip_failure(text)) {
        std::fprintf(stderr, "xf86config fuzz: %s\n", failure);
        std::abort();
    }
    return 0;
}
