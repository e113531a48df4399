// The sheet's own widgets: the slider's value transform.
#include "tests/support/test_support.h"

#include "framework/sheet/sheet_widgets.h"
#include "platform/value.h"

using platform::Rect;
using platform::Value;

TEST(SheetSlider, TransformRoundsHalvesAwayFromZeroAndMirrors) {
    InvertedSlider plain(Rect::make(0, 0, 150, 23), false, true);
    EXPECT_EQ(plain.transformValue(2.5), 3);
    EXPECT_EQ(plain.transformValue(-2.5), -3);
    EXPECT_EQ(plain.transformValue(2.49), 2);

    InvertedSlider inv(Rect::make(0, 0, 150, 23), true, true);
    inv.setMaxValue(10);
    inv.setMinValue(0);
    inv.setNumberOfTickMarks(11);
    inv.setAllowsTickMarkValuesOnly(true);
    inv.setValue(2);  // the knob's step: one per whole value
    EXPECT_EQ(inv.positionValue(), 2);
    EXPECT_EQ(inv.doubleValue(), 8);
    inv.setDoubleValue(8);
    EXPECT_EQ(inv.value(), 2);
    inv.setObjectValue(Value(std::string("3")));
    EXPECT_EQ(inv.positionValue(), 7);
    EXPECT_EQ(inv.stringValue(), "3.000000");

    InvertedSlider fine(Rect::make(0, 0, 150, 23));  // inverted, fractional by default
    fine.setMaxValue(8);
    fine.setMinValue(0.5);
    fine.setNumberOfTickMarks(21);
    fine.setDoubleValue(2.25);
    EXPECT_NEAR(fine.doubleValue(), 2.25, 0.0075);
    EXPECT_NEAR(fine.positionValue(), 6.25, 0.0075);
}
