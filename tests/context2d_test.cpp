// The 2D context's y-up rule.
#include "tests/support/test_support.h"
#include "platform/geometry.h"
#include "platform/context2d.h"

TEST(Context2D, FillRectIsYUp) {
    platform::Context2D cg(4, 4);
    cg.setFillColor(Qt::red);
    cg.fillRect(platform::Rect::make(0, 0, 4, 1));  // bottom row in y-up terms
    EXPECT_EQ(cg.image().pixel(0, 3), 0xFFFF0000u);
    EXPECT_EQ(cg.image().pixel(0, 0), 0xFF000000u);
}
