// The log's escaping of text from outside: what reaches a terminal can
// neither move its cursor nor make a second line.
#include "tests/support/test_support.h"

#include "platform/log.h"

namespace {

TEST(Log, TextFromOutsideIsEscapedForATerminal) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"plain text, \"quoted\"", "plain text, \"quoted\""},
        {"\x1b]0;title\x07\x1b[2J", "\\x1b]0;title\\x07\\x1b[2J"},
        {"two\nlines\r\tand\x7f", "two\\x0alines\\x0d\\x09and\\x7f"},
        {std::string("nul\0cut", 7), "nul\\x00cut"},
        // UTF-8 stays, its C1 controls (U+009B is a terminal's CSI) do not.
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8c\xa7", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8c\xa7"},
        {"\xc2\x9b" "2J", "\\xc2\\x9b2J"},
        // Not UTF-8: a stray byte, an overlong form, a surrogate, cut short.
        {"\xff\xc0\x80\xed\xa0\x80\xe2\x82", "\\xff\\xc0\\x80\\xed\\xa0\\x80\\xe2\\x82"},
    };
    for (const auto &c : cases) EXPECT_EQ(platform::printableText(c.in), c.out) << c.out;
}

}  // namespace
