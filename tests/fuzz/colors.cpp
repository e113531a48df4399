// Colour names and "#RRGGBB" specs, allocated and read back.
#include "tests/fuzz/fuzz_support.h"
#include "somnel/xshim.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string spec(reinterpret_cast<const char *>(data), size);
    XColor parsed{}, screen{}, exact{};
    const Status ok = XParseColor(nullptr, 0, spec.c_str(), &parsed);
    FUZZ_CHECK(XAllocNamedColor(nullptr, 0, spec.c_str(), &screen, &exact) == ok);
    if (!ok) return 0;
    // Eight bits a channel, widened by 257: reading the pixel back gives the
    // same colour.
    FUZZ_CHECK(parsed.red % 257 == 0 && parsed.green % 257 == 0 && parsed.blue % 257 == 0);
    FUZZ_CHECK(exact.red == parsed.red && exact.green == parsed.green && exact.blue == parsed.blue);
    XColor back{};
    back.pixel = screen.pixel;
    XQueryColor(nullptr, 0, &back);
    FUZZ_CHECK(back.red == parsed.red && back.green == parsed.green && back.blue == parsed.blue);
    return 0;
}
