// Colour parsing, allocation and queries of the emulated TrueColor visual.
#include "tests/support/test_support.h"
#include "xshim/xshim_private.h"

using testsupport::abortReason;

namespace {
// A record whose every field is set, to see what a call leaves alone.
XColor marked() {
    XColor c;
    c.pixel = 0xDEADBEEF;
    c.red = c.green = c.blue = 0x1111;
    c.flags = 0;
    c.pad = 0;
    return c;
}
bool same(const XColor &a, const XColor &b) {
    return a.pixel == b.pixel && a.red == b.red && a.green == b.green && a.blue == b.blue &&
           a.flags == b.flags;
}
}  // namespace

TEST(XshimColor, ParsesSixDigitHexAndScalesByRepeatingTheByte) {
    XColor c = marked();
    EXPECT_EQ(XParseColor(nullptr, 0, "#FF8000", &c), 1);
    EXPECT_EQ(c.red, 0xFFFF);
    EXPECT_EQ(c.green, 0x8080);
    EXPECT_EQ(c.blue, 0x0000);
    EXPECT_EQ(c.flags, DoRed | DoGreen | DoBlue);
    EXPECT_EQ(c.pixel, 0xDEADBEEFUL);  // parsing leaves the pixel alone
    EXPECT_EQ(XAllocColor(nullptr, 0, &c), 1);
    EXPECT_EQ(c.pixel, 0xFFFF8000UL);

    EXPECT_EQ(XParseColor(nullptr, 0, "#a1B2c3", &c), 1);
    EXPECT_EQ(c.red, 0xA1A1);
    EXPECT_EQ(c.green, 0xB2B2);
    EXPECT_EQ(c.blue, 0xC3C3);
    // Bytes that are not hex digits count as 0.
    EXPECT_EQ(XParseColor(nullptr, 0, "#GG0000", &c), 1);
    EXPECT_EQ(c.red, 0);
    EXPECT_EQ(XParseColor(nullptr, 0, "#1z\xff" "000", &c), 1);
    EXPECT_EQ(c.red, 0x1010);
}

TEST(XshimColor, ParsesTheEightNamesInAnyCase) {
    struct {
        const char *name;
        unsigned short r, g, b;
    } cases[] = {{"black", 0, 0, 0},           {"WHITE", 0xFFFF, 0xFFFF, 0xFFFF},
                 {"Red", 0xFFFF, 0, 0},        {"green", 0, 0xFFFF, 0},
                 {"blue", 0, 0, 0xFFFF},       {"cyan", 0, 0xFFFF, 0xFFFF},
                 {"MaGenta", 0xFFFF, 0, 0xFFFF}, {"yellow", 0xFFFF, 0xFFFF, 0},
                 {"Yellow", 0xFFFF, 0xFFFF, 0}, {"YELLOW", 0xFFFF, 0xFFFF, 0}};
    for (const auto &k : cases) {
        XColor c = marked();
        EXPECT_EQ(XParseColor(nullptr, 0, k.name, &c), 1) << k.name;
        EXPECT_EQ(c.red, k.r) << k.name;
        EXPECT_EQ(c.green, k.g) << k.name;
        EXPECT_EQ(c.blue, k.b) << k.name;
        EXPECT_EQ(c.flags, 7) << k.name;
    }
}

TEST(XshimColor, UnrecognisedSpecsLeaveTheRecordUntouched) {
    for (const char *spec : {"#fff", "#FFFFFFFFFFFF", "gray", "", "#", "#FF80001", " red", "redd", "FF8000"}) {
        XColor c = marked();
        EXPECT_EQ(XParseColor(nullptr, 0, spec, &c), 0) << spec;
        EXPECT_TRUE(same(c, marked())) << spec;
    }
    XColor c = marked();
    EXPECT_EQ(XParseColor(nullptr, 0, nullptr, &c), 0);
    EXPECT_TRUE(same(c, marked()));
}

TEST(XshimColor, AllocationKeepsOnlyTheHighByteOfEachComponent) {
    XColor c = marked();
    c.red = 0x12FF;
    c.green = 0x3400;
    c.blue = 0xFFFF;
    c.flags = 1;
    EXPECT_EQ(XAllocColor(nullptr, 0, &c), 1);
    EXPECT_EQ(c.pixel, 0xFF1234FFUL);
    EXPECT_EQ(c.red, 0x12FF);  // components and flags unchanged
    EXPECT_EQ(c.flags, 1);

    unsigned long pixels[2] = {5, 6}, planes[1] = {7};
    EXPECT_EQ(XAllocColorCells(nullptr, 0, False, planes, 1, pixels, 2), 0);
    EXPECT_EQ(pixels[0], 5UL);
    EXPECT_EQ(planes[0], 7UL);
    EXPECT_EQ(XFreeColors(nullptr, 0, pixels, 2, 0), 0);
}

TEST(XshimColor, AllocNamedColorCopiesBeforeSettingThePixel) {
    XColor screen_def = marked(), exact = marked();
    exact.pixel = 1;
    EXPECT_EQ(XAllocNamedColor(nullptr, 0, "Cyan", &screen_def, &exact), 1);
    EXPECT_EQ(screen_def.pixel, 0xFF00FFFFUL);
    EXPECT_EQ(exact.pixel, 0xDEADBEEFUL);  // the screen definition's old pixel
    EXPECT_EQ(exact.green, 0xFFFF);
    EXPECT_EQ(exact.red, 0);
    EXPECT_EQ(exact.flags, 7);

    screen_def = marked();
    exact = marked();
    exact.pixel = 1;
    XColor exact_before = exact;
    EXPECT_EQ(XAllocNamedColor(nullptr, 0, "chartreuse", &screen_def, &exact), 0);
    EXPECT_TRUE(same(screen_def, marked()));
    EXPECT_TRUE(same(exact, exact_before));
}

TEST(XshimColor, QueryRoundTripsAndRejectsTransparentPixels) {
    XColor c = marked();
    c.pixel = 0xFF102030;
    EXPECT_EQ(XQueryColor(nullptr, 0, &c), 0);
    EXPECT_EQ(c.red, 0x1010);
    EXPECT_EQ(c.green, 0x2020);
    EXPECT_EQ(c.blue, 0x3030);
    EXPECT_EQ(c.flags, 7);
    XAllocColor(nullptr, 0, &c);
    EXPECT_EQ(c.pixel, 0xFF102030UL);

    c.pixel = 0x00102030;
    EXPECT_EQ(abortReason([&] { XQueryColor(nullptr, 0, &c); }), "bogus color pixel");

    XColor many[3];
    many[0].pixel = 0xFFFFFFFF;
    many[1].pixel = 0xFF000080;
    many[2].pixel = 0xFF00FF00;
    EXPECT_EQ(XQueryColors(nullptr, 0, many, 3), 0);
    EXPECT_EQ(many[0].red, 0xFFFF);
    EXPECT_EQ(many[1].blue, 0x8080);
    EXPECT_EQ(many[1].red, 0);
    EXPECT_EQ(many[2].green, 0xFFFF);
    // Records before a bad one are answered; the bad one stops the call.
    many[0].pixel = 0xFF010101;
    many[1].pixel = 0x7F000000;
    EXPECT_EQ(abortReason([&] { XQueryColors(nullptr, 0, many, 3); }), "bogus color pixel");
    EXPECT_EQ(many[0].red, 0x0101);
}

TEST(XshimColor, StoringIntoCellsIsFatal) {
    XColor c = marked();
    EXPECT_EQ(abortReason([&] { XStoreColor(nullptr, 0, &c); }), "XStoreColor called");
    EXPECT_EQ(abortReason([&] { XStoreColors(nullptr, 0, &c, 1); }), "XStoreColors called");
}
