// The framework's process state: made by the first view, and a reset that
// ends what the layers left in it and gives function tables their rows back.
#include "tests/support/test_support.h"

#include "framework/somnel_view.h"
#include "platform/bundle.h"
#include "platform/clock.h"
#include "platform/geometry.h"
#include "platform/timer.h"
#include "somnel/modehost.h"
#include "state/framework_state.h"

using somnel::FrameworkState;

namespace {

int fired = 0;
void countFiring(XtPointer, XtIntervalId *) { ++fired; }

char *label = nullptr;
ModeVar stateVars[] = {{&label, "label", "Label", "hello", ModeVarText}};
ModeOptions stateOptions = {0, nullptr, 1, stateVars, nullptr};
modehost_function_table stateModes = {"StateModes", "*delay: 0\n", False, ModeColorsRandom, nullptr, nullptr,
                                      nullptr,      nullptr, nullptr, nullptr, &stateOptions};

const char *const plainDefaults[] = {"*speed: 1", nullptr};
const XrmOptionDescRec plainRows[] = {{"-speed", ".speed", XrmoptionSepArg, nullptr},
                                      {nullptr, nullptr, 0, nullptr}};

}  // namespace

extern "C" {
SOMNEL_EXPORT_SYMBOL somnel_function_table statemodes_somnel_function_table = {
    nullptr, nullptr, nullptr, modehost_setup, &stateModes, nullptr, nullptr,
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
SOMNEL_EXPORT_SYMBOL somnel_function_table stateplain_somnel_function_table = {
    "StatePlain", plainDefaults, plainRows, nullptr, nullptr, nullptr, nullptr,
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
}

namespace {

class FrameworkStateTest : public ::testing::Test {
protected:
    void SetUp() override {
        FrameworkState::reset();
        platform::setClockSource([this] { return now; });
    }
    void TearDown() override { platform::setClockSource({}); }

    std::unique_ptr<SomnelView> view(const char *name) {
        auto v = SomnelView::create(platform::Rect::make(0, 0, 64, 48), name, true,
                                    testsupport::inProcessBundle(dir, name));
        EXPECT_TRUE(v);
        return v;
    }

    double now = 1e9;
    testsupport::TempDir dir;
};

TEST_F(FrameworkStateTest, ResetEndsWhatTheLayersLeftAndTheNextUseStartsAfresh) {
    somnel_function_table &table = statemodes_somnel_function_table;
    auto v = view("StateModes");
    v->startAnimation();
    v->animateOneFrame();  // the view's own record: screen 0
    ASSERT_TRUE(v->hackState());
    // Left behind: a second record with its text variable, and a timeout.
    ModeRecord *extra = static_cast<ModeRecord *>(modehost_init(v->xDisplay(), v->xWindow(), &stateModes));
    EXPECT_EQ(extra->screen_number, 1);
    ASSERT_TRUE(label);
    EXPECT_STREQ(label, "hello");
    XtAppAddTimeOut(v->xDisplay(), 10, countFiring, nullptr);
    v->stopAnimation();
    v->dealloc();
    EXPECT_STREQ(table.options[0].option, "-text-mode");  // the view's merged rows

    fired = 0;
    FrameworkState::reset();
    now += 1;
    platform::RunLoopTimer::fireDueTimersForTesting();
    EXPECT_EQ(fired, 0);
    EXPECT_EQ(label, nullptr);
    // The rows and lines the mode layer built are gone from the table.
    EXPECT_EQ(table.options, nullptr);
    EXPECT_EQ(table.defaults, nullptr);
    FrameworkState &fresh = FrameworkState::instance();
    EXPECT_TRUE(fresh.modeRecords.empty() && fresh.screenOwners.empty() && fresh.timers.empty());
    EXPECT_TRUE(fresh.mergedOptions.empty() && fresh.modeSetups.empty() && fresh.modeTexts.empty());

    // A new view over the table sets it up again and takes screen 0.
    auto again = view("StateModes");
    again->startAnimation();
    again->animateOneFrame();
    EXPECT_EQ(static_cast<ModeRecord *>(again->hackState())->screen_number, 0);
    again->stopAnimation();
    again->dealloc();
}

TEST_F(FrameworkStateTest, APlainTableGetsItsOwnRowsBackAndIsMergedOnceMore) {
    somnel_function_table &table = stateplain_somnel_function_table;
    view("StatePlain")->dealloc();
    ASSERT_NE(table.options, plainRows);
    FrameworkState::reset();
    EXPECT_EQ(table.options, plainRows);

    auto v = view("StatePlain");
    size_t n = 0;
    while (table.options[n].option) ++n;
    EXPECT_EQ(n, 13u);  // the host's twelve rows, then the hack's one
    EXPECT_STREQ(table.options[12].option, "-speed");
    v->dealloc();
}

}  // namespace
