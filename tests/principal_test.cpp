// A bundle's principal class, created the way the host does it: open the
// built Tester bundle, call its exported entry point, run frames and read
// the pixels back.
#include "tests/support/test_support.h"

#include "platform/geometry.h"
#include "platform/clock.h"
#include "platform/bundle.h"
#include "platform/view.h"

#include <dlfcn.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace {

double fakeNow = 2e9;

class SubclassTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        bundle = platform::Bundle::open(testsupport::testSaver("Tester"), &error);
        if (!bundle) GTEST_SKIP() << "no Tester bundle: " << error;
        create = reinterpret_cast<platform::ViewCreateFunction>(
            bundle->dataPointerForName(bundle->principalClass() + "_create"));
        ASSERT_TRUE(create);
        fakeNow = 2e9;
        platform::setClockSource([] { return fakeNow; });
    }
    void TearDown() override { platform::setClockSource({}); }

    std::shared_ptr<platform::Bundle> bundle;
    platform::ViewCreateFunction create = nullptr;
};

TEST_F(SubclassTest, EntryPointMakesTheViewOfItsOwnBundle) {
    EXPECT_EQ(bundle->principalClass(), "SomnelTesterView");
    platform::ViewCreateArgs args;
    args.frame = platform::Rect::make(0, 0, 64, 48);
    args.isPreview = true;
    std::unique_ptr<platform::ScreenSaverView> view(create(&args));
    ASSERT_TRUE(view);
    EXPECT_TRUE(view->isPreview());
    EXPECT_EQ(view->bundle(), bundle);
    EXPECT_TRUE(view->hasConfigureSheet());
    EXPECT_EQ(std::string(getenv("SOMNEL_CLASSPATH")), "org.somnel.savers.Tester");
}

TEST_F(SubclassTest, TesterFillsTheWindowWithAColourThatMovesOnEachDrawnFrame) {
    platform::ViewCreateArgs args;
    args.frame = platform::Rect::make(0, 0, 64, 48);
    std::unique_ptr<platform::ScreenSaverView> view(create(&args));
    ASSERT_TRUE(view);
    view->startAnimation();
    view->animateOneFrame();
    QImage first = view->grabFrame();
    ASSERT_EQ(first.size(), QSize(64, 48));
    // Hue 0: red at three quarters.
    EXPECT_EQ(first.pixel(0, 0), 0xFFBF0000u);
    EXPECT_EQ(first.pixel(63, 47), 0xFFBF0000u);

    // The default delay is 20 ms: a tick 10 ms later draws nothing.
    fakeNow += 0.010;
    view->animateOneFrame();
    EXPECT_EQ(view->grabFrame().pixel(10, 10), 0xFFBF0000u);

    // Later ticks move the hue towards yellow: green rises, red stays.
    for (int i = 0; i < 20; ++i) {
        fakeNow += 0.020;
        view->animateOneFrame();
    }
    QRgb later = view->grabFrame().pixel(32, 24);
    EXPECT_EQ(qRed(later), 0xBF);
    EXPECT_GT(qGreen(later), 0);
    EXPECT_EQ(qBlue(later), 0);
    view->stopAnimation();
}

}  // namespace
