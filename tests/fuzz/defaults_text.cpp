// The hack's built-in defaults text ("*name: value" lines) typed into
// preference values. Input: lines separated by newlines.
#include "tests/fuzz/fuzz_support.h"
#include "framework/prefs_reader.h"
#include "platform/log.h"
#include "platform/value.h"

#include <climits>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string input(reinterpret_cast<const char *>(data), size);
    if (input.find('\0') != std::string::npos) return 0;
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= input.size() && lines.size() < 64) {
        const size_t nl = input.find('\n', start);
        lines.push_back(input.substr(start, nl == std::string::npos ? std::string::npos : nl - start));
        if (nl == std::string::npos) break;
        start = nl + 1;
    }
    std::vector<const char *> defaults;
    for (const std::string &l : lines) defaults.push_back(l.c_str());
    defaults.push_back(nullptr);
    try {
        const platform::ValueMap dict = PrefsReader::defaultsToDict(defaults.data());
        // Every value has a kind; whole numbers are ints, larger ones
        // are read as doubles so that none wraps.
        for (const auto &[key, value] : dict) {
            FUZZ_CHECK(!platform::isNil(value));
            if (auto i = std::get_if<long long>(&value)) FUZZ_CHECK(*i >= INT_MIN && *i <= INT_MAX);
        }
    } catch (const platform::InternalInconsistencyException &) {
        // A malformed line is a programming error of the hack, reported so.
    }
    return 0;
}
