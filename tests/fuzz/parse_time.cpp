// Time intervals as users type them: "H:MM:SS", ":MM:SS", "M:SS", ":SS" or a
// bare number.
#include "tests/fuzz/fuzz_support.h"
#include "somnel/resources.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    const Bool secondsDefault = data[0] & 1;
    const std::string text(reinterpret_cast<const char *>(data + 1), size - 1);
    const unsigned t = parse_time(text.c_str(), secondsDefault, True);
    // The same text reads the same every time.
    FUZZ_CHECK(parse_time(text.c_str(), secondsDefault, True) == t);
    // A bare number in minutes is 60 times the same number in seconds.
    const unsigned s = parse_time(text.c_str(), True, True);
    const unsigned m = parse_time(text.c_str(), False, True);
    if (s != unsigned(-1) && text.find(':') == std::string::npos && s < 1000000u) FUZZ_CHECK(m == s * 60u);
    return 0;
}
