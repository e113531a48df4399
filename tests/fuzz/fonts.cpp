// Font names (X names, platform names with a size) and the extents of any
// text in the font that loads. Input: the name, a newline, the text.
#include "tests/fuzz/fuzz_support.h"
#include "somnel/xshim.h"

#include <algorithm>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzzsupport::ensureApplication();
    const std::string input(reinterpret_cast<const char *>(data), size);
    const size_t nl = input.find('\n');
    const std::string name = input.substr(0, std::min(nl, size_t(200)));
    const std::string text = nl == std::string::npos ? std::string() : input.substr(nl + 1, 400);
    if (name.find('\0') != std::string::npos) return 0;
    XFontStruct *fs = XLoadQueryFont(nullptr, name.c_str());
    if (!fs) return 0;
    int direction = 0, ascent = 0, descent = 0;
    XCharStruct overall{};
    XTextExtents(fs, text.data(), int(text.size()), &direction, &ascent, &descent, &overall);
    FUZZ_CHECK(ascent == fs->ascent && descent == fs->descent);
    FUZZ_CHECK(overall.width == XTextWidth(fs, text.data(), int(text.size())));
    if (text.empty()) FUZZ_CHECK(overall.width == 0);
    // Text split in two measures the same as whole (advances add up).
    const int half = int(text.size() / 2);
    const int a = XTextWidth(fs, text.data(), half);
    const int b = XTextWidth(fs, text.data() + half, int(text.size()) - half);
    FUZZ_CHECK(a + b == overall.width);
    XFreeFont(nullptr, fs);
    return 0;
}
