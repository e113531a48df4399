// The sheet's y-up frames: how autoresizing masks move and size a view.
#include "tests/support/test_support.h"

#include "framework/sheet/view_frame.h"

using platform::Rect;

TEST(SheetPlacement, AutoresizingKeepsFixedMarginsAndSharesTheChangeInProportion) {
    const platform::Size from{400, 300}, to{500, 360};
    // Right and bottom margins flexible: the view keeps its place under the top-left corner.
    Rect r = somnel::sheet::autoresizedFrame(Rect::make(20, 200, 100, 20), somnel::sheet::MaxXMargin | somnel::sheet::MinYMargin,
                                         from, to);
    EXPECT_EQ(r.origin.x, 20);
    EXPECT_EQ(r.origin.y + r.size.height, 220 + 60);
    EXPECT_EQ(r.size.width, 100);
    // Width and right margin flexible: 100 shared as 380 : 20.
    r = somnel::sheet::autoresizedFrame(Rect::make(20, 40, 380, 100), somnel::sheet::WidthSizable | somnel::sheet::MaxXMargin,
                                    {420, 300}, {520, 300});
    EXPECT_DOUBLE_EQ(r.size.width, 380 + 95);
    // Left margin flexible only: the view stays at the right edge.
    r = somnel::sheet::autoresizedFrame(Rect::make(300, 0, 68, 30), somnel::sheet::MinXMargin, from, to);
    EXPECT_EQ(r.origin.x + r.size.width, 468);
    // No flags: the frame stays (bottom-left fixed).
    r = somnel::sheet::autoresizedFrame(Rect::make(5, 6, 7, 8), 0, from, to);
    EXPECT_EQ(r.origin.y, 6);
    EXPECT_EQ(r.size.width, 7);
}
