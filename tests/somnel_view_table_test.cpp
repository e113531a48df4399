// Finding a hack's function table by the saver's name, and what the view
// puts into the table at creation.
#include "tests/support/test_support.h"

#include "framework/somnel_view.h"
#include "somnel/somnel_function_table.h"
#include "platform/geometry.h"
#include "platform/bundle.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const char *const plain_defaults[] = {"*delay: 5000", "*wild: False", nullptr};
const XrmOptionDescRec plain_options[] = {
    {"-delay", ".delay", XrmoptionSepArg, nullptr},
    {"-wild", ".wild", XrmoptionNoArg, "True"},
    {nullptr, nullptr, 0, nullptr},
};

int setupCalls = 0;
const char *const built_defaults[] = {"*speed: 3", nullptr};
const XrmOptionDescRec built_options[] = {
    {"-speed", ".speed", XrmoptionSepArg, nullptr},
    {nullptr, nullptr, 0, nullptr},
};
void *nop_init(Display *, Window, void *) { return nullptr; }
unsigned long nop_draw(Display *, Window, void *) { return 0; }

// Completes the table the way a mode layer does: class, lists, callbacks.
void fill_table(somnel_function_table *t, void *arg) {
    ++setupCalls;
    EXPECT_EQ(arg, &setupCalls);
    t->progclass = "BigDrizzle";
    t->defaults = built_defaults;
    t->options = built_options;
    t->init_cb = nop_init;
    t->draw_cb = nop_draw;
}

}  // namespace

extern "C" {
SOMNEL_EXPORT_SYMBOL somnel_function_table drizzle_somnel_function_table = {
    "Drizzle", plain_defaults, plain_options, nullptr, nullptr, nop_init, nop_draw,
    nullptr,   nullptr,        nullptr,       nullptr, nullptr, nullptr};
SOMNEL_EXPORT_SYMBOL somnel_function_table bigdrizzle_somnel_function_table = {
    nullptr, nullptr, nullptr, fill_table, &setupCalls, nullptr, nullptr,
    nullptr, nullptr, nullptr, nullptr,    nullptr,     nullptr};
}

namespace {

class FunctionTableTest : public ::testing::Test {
protected:
    std::shared_ptr<platform::Bundle> bundleNamed(const std::string &name) {
        return testsupport::inProcessBundle(dir, name);
    }
    std::unique_ptr<SomnelView> create(const char *saverName, std::shared_ptr<platform::Bundle> b) {
        return SomnelView::create(platform::Rect::make(0, 0, 100, 100), saverName, false, std::move(b));
    }
    static std::vector<std::string> switches(const XrmOptionDescRec *rows) {
        std::vector<std::string> out;
        for (; rows->option; ++rows) out.push_back(rows->option);
        return out;
    }
    testsupport::TempDir dir;
};

const std::vector<std::string> kHostSwitches = {
    "-text-mode",  "-text-literal",          "-text-file",
    "-text-url",   "-text-program",          "-grab-desktop",
    "-no-grab-desktop", "-choose-random-images", "-no-choose-random-images",
    "-image-directory", "-fps",              "-no-fps"};

TEST_F(FunctionTableTest, SaverNameIsLowerCasedWithoutBlanks) {
    auto b = bundleNamed("Elsewhere");
    auto byName = create("Drizzle", b);
    ASSERT_TRUE(byName);
    EXPECT_EQ(byName->functionTable(), &drizzle_somnel_function_table);
    auto lower = create("drizzle", b);
    ASSERT_TRUE(lower);
    EXPECT_EQ(lower->functionTable(), &drizzle_somnel_function_table);
    auto blank = create("Big Drizzle", b);
    ASSERT_TRUE(blank);
    EXPECT_EQ(blank->functionTable(), &bigdrizzle_somnel_function_table);

    // Without a name the bundle's own name is the saver's.
    auto fromBundle = create(nullptr, bundleNamed("Drizzle"));
    ASSERT_TRUE(fromBundle);
    EXPECT_EQ(fromBundle->functionTable(), &drizzle_somnel_function_table);
}

TEST_F(FunctionTableTest, MissingTableLogsAndYieldsNoView) {
    auto b = bundleNamed("Nothing Here");
    std::unique_ptr<SomnelView> v;
    std::string err = testsupport::captureStderr([&] { v = create(nullptr, b); });
    EXPECT_FALSE(v);
    EXPECT_NE(err.find("no symbol \"nothinghere_somnel_function_table\" for \"" + b->bundlePath() + "\""),
              std::string::npos)
        << err;
}

TEST_F(FunctionTableTest, TableWithoutSetupGetsTheHostRowsInFront) {
    auto b = bundleNamed("Drizzle");
    auto v = create(nullptr, b);
    ASSERT_TRUE(v);
    auto want = kHostSwitches;
    want.push_back("-delay");
    want.push_back("-wild");
    const XrmOptionDescRec *rows = drizzle_somnel_function_table.options;
    EXPECT_EQ(switches(rows), want);
    EXPECT_STREQ(rows[5].specifier, ".grabDesktopImages");
    EXPECT_EQ(rows[5].argKind, XrmoptionNoArg);
    EXPECT_STREQ(rows[5].value, "True");
    EXPECT_STREQ(rows[13].value, "True");  // the hack's own -wild row, unchanged
    EXPECT_EQ(rows[14].specifier, nullptr);
    EXPECT_EQ(drizzle_somnel_function_table.defaults, plain_defaults);

    // A second view over the same table does not put the host rows in twice.
    auto second = create(nullptr, b);
    ASSERT_TRUE(second);
    EXPECT_EQ(switches(drizzle_somnel_function_table.options), want);

    // The merged defaults reached the reader: host lines, then the hack's.
    EXPECT_EQ(v->prefsReader()->getIntegerResource("delay"), 5000);
    EXPECT_EQ(v->prefsReader()->getIntegerResource("relaunchDelay"), 2);
}

TEST_F(FunctionTableTest, SetupCompletesTheTableBeforeTheViewMergesIt) {
    setupCalls = 0;
    auto v = create("Big Drizzle", bundleNamed("Any"));
    ASSERT_TRUE(v);
    EXPECT_EQ(setupCalls, 1);
    auto want = kHostSwitches;
    want.push_back("-speed");
    EXPECT_EQ(switches(bigdrizzle_somnel_function_table.options), want);
    EXPECT_EQ(std::string(getenv("SOMNEL_CLASSPATH")), "org.somnel.savers.BigDrizzle");
    EXPECT_EQ(v->prefsReader()->getIntegerResource("speed"), 3);
    EXPECT_STREQ(progclass, "BigDrizzle");

    // Setup runs at every creation and rebuilds the rows: still one host set.
    auto again = create("Big Drizzle", bundleNamed("Other"));
    ASSERT_TRUE(again);
    EXPECT_EQ(setupCalls, 2);
    EXPECT_EQ(switches(bigdrizzle_somnel_function_table.options), want);
}

}  // namespace
