// What every fuzz harness shares. A harness is one function,
// LLVMFuzzerTestOneInput; built with -fsanitize=fuzzer it is a fuzzer, and
// built with the normal compiler under another name it is replayed over its
// corpus by fuzz_corpus_test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// A property the code must keep for every input: a violation is a finding,
// and ends the process so that the fuzzer keeps the input.
#define FUZZ_CHECK(cond)                                                                   \
    do {                                                                                   \
        if (!(cond)) {                                                                     \
            std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                  \
        }                                                                                  \
    } while (0)

namespace fuzzsupport {

// Makes sure a Qt (widget) application object exists (fonts, files and the
// sheet need one);
// without a display Qt's offscreen platform stands in.
void ensureApplication();

// A private scratch folder for this process, made on first use; it is also
// the configuration folder (XDG_CONFIG_HOME) of the harnesses that read
// preferences.
const std::string &scratchFolder();

// Writes bytes to the file, replacing it.
void writeFile(const std::string &path, const uint8_t *data, size_t size);

}  // namespace fuzzsupport
