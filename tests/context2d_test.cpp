// The 2D context's y-up rule and the emulation's pixel checks.
#include "tests/support/test_support.h"
#include "xshim/xshim_private.h"
#include "platform/geometry.h"
#include "platform/context2d.h"

TEST(Context2D, FillRectIsYUp) {
    platform::Context2D cg(4, 4);
    cg.setFillColor(Qt::red);
    cg.fillRect(platform::Rect::make(0, 0, 4, 1));  // bottom row in y-up terms
    EXPECT_EQ(cg.image().pixel(0, 3), 0xFFFF0000u);
    EXPECT_EQ(cg.image().pixel(0, 0), 0xFF000000u);
}

TEST(Xshim, AbortTexts) {
    using testsupport::abortReason;
    EXPECT_EQ(abortReason([] { validate_pixel(0x00FF0000, 32, false); }), "bogus color pixel");
    EXPECT_EQ(abortReason([] { validate_pixel(2, 1, false); }), "bogus mono pixel");
    EXPECT_EQ(abortReason([] { validate_pixel(0xFFFF0000, 32, false); }), "<no exception>");
    EXPECT_EQ(abortReason([] { xshim_abort("%s", ""); }), "");
    EXPECT_EQ(abortReason([] { xshim_abort(nullptr); }), "abort");
}
