// Time-interval parsing and the time and colour resources.
// NOTE: gtest before the Xlib-style headers, whose None/True/False macros
// would rewrite gtest's own identifiers.
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include "somnel/resources.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

// The saver view defines these for real; this program stands in for it so
// that the getters here see exactly the strings a test gives them.
const char *progname = "test";
const char *progclass = "Test";
namespace {
std::map<std::string, std::string> g_strings;
}
extern "C" char *get_string_resource(Display *, const char *name, const char *) {
    auto it = g_strings.find(name);
    return it == g_strings.end() ? nullptr : strdup(it->second.c_str());
}

namespace {

using testsupport::captureStderr;

struct Parsed {
    unsigned int value;
    std::string err;
};
Parsed parse(const char *text, bool secondsDefault, bool silent = false) {
    Parsed p{};
    p.err = captureStderr([&] { p.value = parse_time(text, secondsDefault, silent); });
    return p;
}

TEST(ParseTime, AcceptedForms) {
    struct Case {
        const char *text;
        bool secondsDefault;
        unsigned int want;
    } cases[] = {
        {"1:02:03", true, 3723}, {" 1 : 02 : 03 ", false, 3723}, {"0:00:00", true, 0},
        {":30", true, 30},       {":30", false, 30},             {":01:30", true, 90},
        {"5:30", true, 330},     {"5:30", false, 330},           {"90", true, 90},
        {"90", false, 5400},     {"0:75", true, 75},             {":75", true, 75},
        {"120:00", true, 7200},  {"  7\t", true, 7},             {"0:99:00", true, 5940},
    };
    for (const Case &c : cases) {
        Parsed p = parse(c.text, c.secondsDefault);
        EXPECT_EQ(p.value, c.want) << '"' << c.text << '"' << " seconds_default=" << c.secondsDefault;
        EXPECT_EQ(p.err, "") << c.text;
    }
}

TEST(ParseTime, RejectedFormsExplainWhy) {
    struct Case {
        const char *text;
        const char *message;
    } cases[] = {
        {"1:75", "test: seconds > 59 in \"1:75\".\n"},
        {"1:00:60", "test: seconds > 59 in \"1:00:60\".\n"},
        {":01:60", "test: seconds > 59 in \":01:60\".\n"},
        {"2:60:00", "test: minutes > 59 in \"2:60:00\".\n"},
        {"12x", "test: invalid time interval specification \"12x\".\n"},
        {"1:234", "test: invalid time interval specification \"1:234\".\n"},
        {"", "test: invalid time interval specification \"\".\n"},
        {"abc", "test: invalid time interval specification \"abc\".\n"},
        {"1:2:3:4", "test: invalid time interval specification \"1:2:3:4\".\n"},
    };
    for (const Case &c : cases) {
        Parsed p = parse(c.text, true);
        EXPECT_EQ(p.value, (unsigned int)-1) << c.text;
        EXPECT_EQ(p.err, c.message);
        Parsed quiet = parse(c.text, true, true);
        EXPECT_EQ(quiet.value, (unsigned int)-1) << c.text;
        EXPECT_EQ(quiet.err, "") << c.text;
    }
}

TEST(ParseTime, BareMinutesSkipTheSecondsRule) {
    EXPECT_EQ(parse("75", false).value, 4500u);
    EXPECT_EQ(parse("75", true).value, 75u);
}

TEST(ParseTime, MessagesUseTheProgramName) {
    const char *saved = progname;
    progname = "drizzle";
    Parsed p = parse("x", true);
    progname = saved;
    EXPECT_EQ(p.err, "drizzle: invalid time interval specification \"x\".\n");
}

TEST(TimeResource, ReadsTheStringResourceAsSecondsOrMinutes) {
    Display *dpy = nullptr;
    g_strings = {{"cycleTime", "1:30"}, {"lockTime", "5"}, {"bad", "soon"}, {"wrapped", "2:60:00"}};
    EXPECT_EQ(get_seconds_resource(dpy, "cycleTime", "Time"), 90u);
    EXPECT_EQ(get_minutes_resource(dpy, "cycleTime", "Time"), 90u);
    EXPECT_EQ(get_seconds_resource(dpy, "lockTime", "Time"), 5u);
    EXPECT_EQ(get_minutes_resource(dpy, "lockTime", "Time"), 300u);
    EXPECT_EQ(get_time_resource(dpy, "lockTime", "Time", True), 5u);
    EXPECT_EQ(get_seconds_resource(dpy, "missing", "Time"), 0u);

    std::string err = captureStderr([&] { EXPECT_EQ(get_seconds_resource(dpy, "bad", "Time"), 0u); });
    EXPECT_EQ(err, "test: invalid time interval specification \"soon\".\n");
    err = captureStderr([&] { EXPECT_EQ(get_seconds_resource(dpy, "wrapped", "Time"), 0u); });
    EXPECT_EQ(err, "test: minutes > 59 in \"2:60:00\".\n");
    g_strings.clear();
}

TEST(PixelResource, ParsesTheResourceOrFallsBackByClass) {
    Display *dpy = nullptr;
    g_strings = {{"fg", "red"}, {"hex", "#336699 \t "}, {"bg", "no-such-colour"}, {"blank", " "}};
    std::string err = captureStderr([&] {
        EXPECT_EQ(get_pixel_resource(dpy, 0, "fg", "Foreground"), 0xFFFF0000UL);
        EXPECT_EQ(get_pixel_resource(dpy, 0, "hex", "Foreground"), 0xFF336699UL);
        EXPECT_EQ(get_pixel_resource(dpy, 0, "missing", "Foreground"), 0xFFFFFFFFUL);
        EXPECT_EQ(get_pixel_resource(dpy, 0, "missing", "Background"), 0xFF000000UL);
        EXPECT_EQ(get_pixel_resource(dpy, 0, "missing", "windowBACKGROUND"), 0xFF000000UL);
        EXPECT_EQ(get_pixel_resource(dpy, 0, "missing", "ackground"), 0xFFFFFFFFUL);
        EXPECT_EQ(get_pixel_resource(dpy, 0, "missing", "BackgroundColor"), 0xFFFFFFFFUL);
        EXPECT_EQ(get_pixel_resource(dpy, 0, "missing", nullptr), 0xFFFFFFFFUL);
    });
    EXPECT_EQ(err, "") << "a missing resource falls back silently";

    err = captureStderr([&] { EXPECT_EQ(get_pixel_resource(dpy, 0, "bg", "Background"), 0xFF000000UL); });
    EXPECT_EQ(err, "test: can't parse color no-such-colour: using black.\n");
    err = captureStderr([&] { EXPECT_EQ(get_pixel_resource(dpy, 0, "bg", "Foreground"), 0xFFFFFFFFUL); });
    EXPECT_EQ(err, "test: can't parse color no-such-colour: using white.\n");
    // Only trailing blanks go, never the first character.
    err = captureStderr([&] { get_pixel_resource(dpy, 0, "blank", "Foreground"); });
    EXPECT_EQ(err, "test: can't parse color  : using white.\n");
    g_strings.clear();
}

}  // namespace
