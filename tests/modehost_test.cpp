// The mode layer: option rows and default lines built from a mode table,
// and the adapters driving a small mode-table hack defined here.
#include "tests/support/test_support.h"

#include "framework/somnel_view.h"
#include "somnel/modehost.h"
#include "platform/geometry.h"
#include "platform/clock.h"
#include "platform/bundle.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using testsupport::abortReason;
using testsupport::captureStderr;

namespace {

struct Row {
    std::string option, specifier;
    int argKind;
    std::string value;  // "<null>" for none
    bool operator==(const Row &o) const {
        return option == o.option && specifier == o.specifier && argKind == o.argKind && value == o.value;
    }
};

std::ostream &operator<<(std::ostream &os, const Row &r) {
    return os << "{" << r.option << ", " << r.specifier << ", " << r.argKind << ", " << r.value << "}";
}

std::vector<Row> rowsOf(const somnel_function_table &t) {
    std::vector<Row> out;
    for (const XrmOptionDescRec *r = t.options; r->option; ++r)
        out.push_back({r->option, r->specifier, r->argKind, r->value ? r->value : "<null>"});
    return out;
}

std::vector<std::string> linesOf(const somnel_function_table &t) {
    std::vector<std::string> out;
    for (const char *const *l = t.defaults; *l; ++l) out.push_back(*l);
    return out;
}

// A mode table under construction: switches, variables and defaults text.
struct TableBuilder {
    std::vector<XrmOptionDescRec> opts;
    std::vector<ModeVar> vars;
    ModeOptions options{};
    modehost_function_table mt{};

    explicit TableBuilder(const char *defaults) {
        mt.progclass = "ModeTest";
        mt.defaults = defaults;
        mt.color_scheme = ModeColorsSmooth;
    }
    modehost_function_table *table() {
        options.opt_count = int(opts.size());
        options.opts = opts.data();
        options.var_count = int(vars.size());
        options.vars = vars.data();
        mt.options = &options;
        return &mt;
    }
    somnel_function_table setup() {
        somnel_function_table t{};
        t.setup_cb = modehost_setup;
        t.setup_arg = table();
        modehost_setup(&t, t.setup_arg);
        return t;
    }
};

int g_dps, g_simres, g_ripheight;
float g_colortime;

void noFps(Display *, Window, struct fps_state *, void *) {}

}  // namespace

// ------------------------------------------------------------------ setup

TEST(ModehostSetup, DrizzleShapedTableGivesItsRowsAndLines) {
    TableBuilder b("*delay:\t10000\n*count:\t30\n*showFPS: False\n*wireframe: False\n");
    b.opts = {{"-dps", ".drizzle.dps", XrmoptionSepArg, nullptr},
              {"-colortime", ".drizzle.colortime", XrmoptionSepArg, nullptr},
              {"-simres", ".drizzle.simres", XrmoptionSepArg, nullptr},
              {"-ripheight", ".drizzle.ripheight", XrmoptionSepArg, nullptr}};
    b.vars = {{&g_dps, "dps", "DPS", "16", ModeVarInt},
              {&g_colortime, "colortime", "ColorTime", "15", ModeVarFloat},
              {&g_simres, "simres", "SimRes", "1", ModeVarInt},
              {&g_ripheight, "ripheight", "RipHeight", "2", ModeVarInt}};
    somnel_function_table t{};
    t.fps_cb = noFps;
    t.setup_arg = b.table();
    modehost_setup(&t, t.setup_arg);

    EXPECT_EQ(rowsOf(t), (std::vector<Row>{{"-dps", ".dps", 1, "<null>"},
                                           {"-colortime", ".colortime", 1, "<null>"},
                                           {"-simres", ".simres", 1, "<null>"},
                                           {"-ripheight", ".ripheight", 1, "<null>"},
                                           {"-count", ".count", 1, "<null>"},
                                           {"-delay", ".delay", 1, "<null>"},
                                           {"-wireframe", ".wireframe", 0, "True"},
                                           {"-no-wireframe", ".wireframe", 0, "False"}}));
    EXPECT_EQ(linesOf(t), (std::vector<std::string>{".background: black", ".foreground: white",
                                                    "*delay:\t10000", "*count:\t30", "*showFPS: False",
                                                    "*wireframe: False", "*dps: 16", "*colortime: 15",
                                                    "*simres: 1", "*ripheight: 2"}));
    EXPECT_STREQ(t.progclass, "ModeTest");
    EXPECT_STREQ(progclass, "ModeTest");
    EXPECT_EQ(t.init_cb, &modehost_init);
    EXPECT_EQ(t.draw_cb, &modehost_draw);
    EXPECT_EQ(t.reshape_cb, &modehost_reshape);
    EXPECT_EQ(t.event_cb, &modehost_event);
    EXPECT_EQ(t.free_cb, &modehost_free);
    EXPECT_EQ(t.fps_cb, &noFps);  // left alone
}

TEST(ModehostSetup, BuiltInSwitchesFollowTheSubstringTest) {
    // Nothing mentioned: no built-in rows; the row array is just its terminator.
    {
        TableBuilder b("*speed: 3\n");
        somnel_function_table t = b.setup();
        EXPECT_TRUE(rowsOf(t).empty());
        EXPECT_EQ(t.options[0].specifier, nullptr);
    }
    // "fontsize" holds both "font" and "size"; the order is the built-in list's.
    {
        TableBuilder b("*fontsize: 12\n");
        EXPECT_EQ(rowsOf(b.setup()), (std::vector<Row>{{"-size", ".size", 1, "<null>"},
                                                      {"-font", ".font", 1, "<null>"}}));
    }
    // Case matters; use3d and useSHM give their short switch pairs.
    {
        TableBuilder b("*Count: 1\n*use3d: False\n*useSHM: True\n*ncolors: 8\n*cycles: 2\n");
        EXPECT_EQ(rowsOf(b.setup()), (std::vector<Row>{{"-cycles", ".cycles", 1, "<null>"},
                                                      {"-ncolors", ".ncolors", 1, "<null>"},
                                                      {"-3d", ".use3d", 0, "True"},
                                                      {"-no-3d", ".use3d", 0, "False"},
                                                      {"-shm", ".useSHM", 0, "True"},
                                                      {"-no-shm", ".useSHM", 0, "False"}}));
    }
}

TEST(ModehostSetup, HackSwitchesAreRewritten) {
    TableBuilder b("");
    b.opts = {{"+wander", ".modetest.wander", XrmoptionNoArg, "False"},
              {"-wander", "*modetest.wander", XrmoptionNoArg, "True"},
              {"-x", ".a.b.c.speed", XrmoptionSepArg, nullptr},
              {"-y", ".", XrmoptionSepArg, nullptr}};
    EXPECT_EQ(rowsOf(b.setup()), (std::vector<Row>{{"-no-wander", ".wander", 0, "False"},
                                                  {"-wander", ".wander", 0, "True"},
                                                  {"-x", ".speed", 1, "<null>"},
                                                  {"-y", ".", 1, "<null>"}}));
}

TEST(ModehostSetup, AZeroedRowOrVariableEndsItsListBeforeTheCount) {
    int v = 0;
    TableBuilder b("");
    b.opts = {{"-speed", ".speed", XrmoptionSepArg, nullptr}, {}, {"-never", ".never", XrmoptionSepArg, nullptr}};
    b.vars = {{&v, "speed", "Speed", "3", ModeVarInt}, {}, {nullptr, "never", "Never", nullptr, ModeVarInt}};
    somnel_function_table t = b.setup();
    EXPECT_EQ(rowsOf(t), (std::vector<Row>{{"-speed", ".speed", 1, "<null>"}}));
    EXPECT_EQ(linesOf(t), (std::vector<std::string>{".background: black", ".foreground: white", "*speed: 3"}));
}

TEST(ModehostSetup, DefaultsTextIsCutAtNewlinesUpToTheFirstEmptyLine) {
    auto tail = [](const char *text) {
        TableBuilder b(text);
        std::vector<std::string> l = linesOf(b.setup());
        EXPECT_EQ(l[0], ".background: black");
        EXPECT_EQ(l[1], ".foreground: white");
        return std::vector<std::string>(l.begin() + 2, l.end());
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(tail("*a: 1\n*b: 2\n"), (V{"*a: 1", "*b: 2"}));
    EXPECT_EQ(tail("*a: 1\n*b: 2"), (V{"*a: 1", "*b: 2"}));
    EXPECT_EQ(tail("*a: 1\n\n*b: 2\n"), (V{"*a: 1"}));
    EXPECT_EQ(tail("\n*a: 1\n"), V{});
    EXPECT_EQ(tail(""), V{});
    TableBuilder none(nullptr);
    EXPECT_EQ(linesOf(none.setup()).size(), 2u);
}

TEST(ModehostSetup, VariableDefaultsAreChecked) {
    int v = 0;
    auto withDefault = [&](const char *def) {
        return abortReason([&] {
            TableBuilder b("");
            b.vars = {{&v, "speed", "Speed", def, ModeVarInt}};
            b.setup();
        });
    };
    EXPECT_EQ(withDefault(nullptr), "abort in modehost_setup:189");
    EXPECT_EQ(withDefault(""), "abort in modehost_setup:190");
    std::string limit(1000, '7'), over(1001, '7');
    EXPECT_EQ(withDefault(limit.c_str()), "<no exception>");
    EXPECT_EQ(withDefault(over.c_str()), "abort in modehost_setup:191");

    EXPECT_EQ(abortReason([] {
                  TableBuilder b("");
                  b.opts = {{"-speed", "speed", XrmoptionSepArg, nullptr}};
                  b.setup();
              }),
              "abort in modehost_setup:91");
    EXPECT_EQ(abortReason([] {
                  somnel_function_table t{};
                  modehost_setup(&t, nullptr);
              }),
              "abort in modehost_setup:77");
}

TEST(ModehostSetup, DuplicateResourcesAreReportedAndKept) {
    int a = 0, c = 0;
    const char *savedProgname = progname;
    progname = "modetest";
    TableBuilder b("*Speed: 3\n.modetest.count: 4\n");
    b.vars = {{&a, "speed", "Speed", "5", ModeVarInt},
              {&c, "*modetest.Count", "Count", "6", ModeVarInt},
              {&a, "speed", "Speed", "7", ModeVarInt}};
    somnel_function_table t{};
    std::string err = captureStderr([&] { t = b.setup(); });
    EXPECT_EQ(err,
              "modetest: duplicate resource \"Speed\": set in both DEFAULTS and vars[]\n"
              "modetest: duplicate resource \"count\": set in both DEFAULTS and vars[]\n"
              "modetest: duplicate resource \"Speed\": set in both DEFAULTS and vars[]\n"
              "modetest: duplicate resource \"speed\": set in both DEFAULTS and vars[]\n");
    std::vector<std::string> l = linesOf(t);
    EXPECT_EQ(std::vector<std::string>(l.begin() + 4, l.end()),
              (std::vector<std::string>{"*speed: 5", "**modetest.Count: 6", "*speed: 7"}));

    // Before the view has named the program, the class name starts the line.
    progname = nullptr;
    err = captureStderr([&] { b.setup(); });
    EXPECT_EQ(err.rfind("ModeTest: duplicate resource \"Speed\"", 0), 0u) << err;
    progname = savedProgname;
}

// ------------------------------------------------------------ the adapters

namespace {

// The hack behind the exported table below: it records what its hooks saw.
struct HackTrace {
    std::vector<std::string> calls;
    ModeRecord *lastInit = nullptr;
    int64_t delayInDraw = -1;
    int64_t setDelayOnce = -1;  // a draw writes this into delay once
    int reshapeW = -1, reshapeH = -1;
} trace;

int v_speed = -1, v_flag = -1;
float v_ratio = -1;
char *v_label = nullptr;

void ht_init(ModeRecord *mi) {
    trace.calls.push_back("init");
    trace.lastInit = mi;
}
void ht_draw(ModeRecord *mi) {
    trace.calls.push_back("draw");
    trace.delayInDraw = mi->delay;
    if (trace.setDelayOnce >= 0) {
        mi->delay = trace.setDelayOnce;
        trace.setDelayOnce = -1;
    }
}
void ht_reshape(ModeRecord *, int w, int h) {
    trace.calls.push_back("reshape");
    trace.reshapeW = w;
    trace.reshapeH = h;
}
Bool ht_event(ModeRecord *, XEvent *e) { return e->type == KeyPress; }
void ht_never(ModeRecord *) { trace.calls.push_back("refresh or free"); }

XrmOptionDescRec ht_opts[] = {{"-speed", ".modetest.speed", XrmoptionSepArg, nullptr}};
ModeVar ht_vars[] = {{&v_speed, "speed", "Speed", "7", ModeVarInt},
                     {&v_ratio, "ratio", "Ratio", "0.25", ModeVarFloat},
                     {&v_flag, "flag", "Flag", "True", ModeVarBool},
                     {&v_label, "label", "Label", "hello", ModeVarText}};
ModeOptions ht_options = MODEHOST_OPTIONS(ht_opts, ht_vars, nullptr);

modehost_function_table modetest_table = {
    "ModeTest", "", False, ModeColorsRandom, ht_init, ht_draw, ht_reshape, ht_never, ht_never, ht_event,
    &ht_options};

}  // namespace

extern "C" {
SOMNEL_EXPORT_SYMBOL somnel_function_table modetest_somnel_function_table = {
    nullptr, nullptr, nullptr, modehost_setup, &modetest_table, nullptr, nullptr,
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
}

namespace {

// Runs the test hack in a real saver view: the view's first frame makes the
// display and calls modehost_init, so resources come from the defaults text
// through the preference reader as in a real run.
class ModehostRun : public ::testing::Test {
protected:
    void SetUp() override {
        trace = HackTrace{};
        modetest_table = modehost_function_table{"ModeTest", "", False, ModeColorsRandom, ht_init,
                                                 ht_draw, ht_reshape, ht_never, ht_never, ht_event,
                                                 &ht_options};
        ht_vars[3].type = ModeVarText;
        platform::setClockSource([this] { return now; });
        bundle = testsupport::inProcessBundle(dir, "ModeTest");
    }
    void TearDown() override {
        if (view) {
            view->stopAnimation();
            view->dealloc();
        }
        platform::setClockSource({});
    }

    // A view over the given defaults text, after its first frame.
    ModeRecord *start(const char *defaults) {
        modetest_table.defaults = defaults;
        view = SomnelView::create(platform::Rect::make(0, 0, 640, 480), nullptr, true, bundle);
        EXPECT_TRUE(view);
        if (!view) return nullptr;
        view->startAnimation();
        view->animateOneFrame();
        return static_cast<ModeRecord *>(view->hackState());
    }
    Display *dpy() const { return view->xDisplay(); }
    Window win() const { return view->xWindow(); }

    double now = 1e9;
    testsupport::TempDir dir;
    std::shared_ptr<platform::Bundle> bundle;
    std::unique_ptr<SomnelView> view;
};

TEST_F(ModehostRun, InitFillsTheRecordFromResources) {
    ModeRecord *mi = start("*delay: 20000\n*count: 12\n*cycles: 3\n*size: -4\n*use3d: True\n"
                           "*delta3d: -2.9\n*left3d: #FF0000\n*wireframe: True\n*ncolors: 5\n"
                           "*font: fixed\n");
    ASSERT_TRUE(mi);
    EXPECT_EQ(trace.lastInit, mi);
    EXPECT_EQ(trace.calls, (std::vector<std::string>{"init", "draw"}));
    EXPECT_EQ(mi->table, &modetest_table);
    EXPECT_EQ(mi->display, dpy());
    EXPECT_EQ(mi->window, win());
    EXPECT_EQ(mi->window_attributes.width, 640);
    EXPECT_EQ(mi->window_attributes.height, 480);

    EXPECT_EQ(mi->delay, 20000);
    EXPECT_EQ(mi->count, 12);
    EXPECT_EQ(mi->cycles, 3);
    EXPECT_EQ(mi->size, -4);
    EXPECT_TRUE(mi->use3d);
    EXPECT_EQ(mi->delta3d, -2);
    EXPECT_EQ(mi->left3d_pixel, 0xFFFF0000ul);
    EXPECT_EQ(mi->right3d_pixel, 0xFFFFFFFFul);  // unset colour: white
    EXPECT_TRUE(mi->wireframe);
    EXPECT_FALSE(mi->fps_on);
    EXPECT_EQ(mi->depth, -1.0);
    EXPECT_EQ(mi->polygon_count, 0ul);
    EXPECT_EQ(mi->fps_meter, nullptr);
    EXPECT_EQ(mi->black_pixel, 0xFF000000ul);
    EXPECT_EQ(mi->white_pixel, 0xFFFFFFFFul);
    EXPECT_TRUE(mi->gc);

    ASSERT_EQ(mi->npixels, 5);
    for (int i = 0; i < mi->npixels; ++i) {
        EXPECT_EQ(mi->pixels[i], mi->colors[i].pixel) << i;
        EXPECT_EQ(mi->pixels[i] >> 24, 0xFFul) << i;  // opaque, drawable
    }
    EXPECT_FALSE(mi->writable);

    // The hack's variables, from their vars[] defaults.
    EXPECT_EQ(v_speed, 7);
    EXPECT_FLOAT_EQ(v_ratio, 0.25f);
    EXPECT_EQ(v_flag, 1);
    ASSERT_TRUE(v_label);
    EXPECT_STREQ(v_label, "hello");
}

TEST_F(ModehostRun, DelayAndColourCountAreClamped) {
    ModeRecord *mi = start("*delay: -5\n*ncolors: 0\n");
    ASSERT_TRUE(mi);
    EXPECT_EQ(mi->delay, 0);
    EXPECT_EQ(mi->npixels, 64);
    view->stopAnimation();
    view->dealloc();

    mi = start("*delay: 200000000\n*ncolors: 100000\n");
    ASSERT_TRUE(mi);
    EXPECT_EQ(mi->delay, 100000000);
    EXPECT_EQ(mi->npixels, 8192);
}

TEST_F(ModehostRun, TooFewColoursFallBackToBlackAndWhite) {
    ModeRecord *mi = start("*ncolors: 2\n");
    ASSERT_TRUE(mi);
    ASSERT_EQ(mi->npixels, 2);
    EXPECT_FALSE(mi->writable);
    EXPECT_EQ(mi->pixels[0], 0xFF000000ul);
    EXPECT_EQ(mi->pixels[1], 0xFFFFFFFFul);
    EXPECT_EQ(mi->colors[1].pixel, 0xFFFFFFFFul);
    // The fallback pixels are valid for drawing.
    XSetForeground(dpy(), mi->gc, mi->pixels[0]);
    XSetForeground(dpy(), mi->gc, mi->pixels[1]);
}

TEST_F(ModehostRun, ADrawHookMayShortenOneWait) {
    ModeRecord *mi = start("*delay: 30000\n");
    ASSERT_TRUE(mi);
    trace.setDelayOnce = 0;
    EXPECT_EQ(modehost_draw(dpy(), win(), mi), 0ul);
    EXPECT_EQ(mi->delay, 30000);
    EXPECT_EQ(modehost_draw(dpy(), win(), mi), 30000ul);
    EXPECT_EQ(trace.delayInDraw, 30000);

    // A wait outside the delay range is brought into it.
    trace.setDelayOnce = 500000000;
    EXPECT_EQ(modehost_draw(dpy(), win(), mi), 100000000ul);
}

TEST_F(ModehostRun, ReshapeReadsTheWindowAgainAndEventsReachTheHook) {
    ModeRecord *mi = start("");
    ASSERT_TRUE(mi);
    mi->window_attributes.width = 5;
    modehost_reshape(dpy(), win(), mi, 1, 1);  // the size passed in is not used
    EXPECT_EQ(trace.reshapeW, 640);
    EXPECT_EQ(trace.reshapeH, 480);
    EXPECT_EQ(mi->window_attributes.width, 640);

    XEvent key{};
    key.type = KeyPress;
    XEvent button{};
    button.type = ButtonPress;
    EXPECT_TRUE(modehost_event(dpy(), win(), mi, &key));
    EXPECT_FALSE(modehost_event(dpy(), win(), mi, &button));
    EXPECT_FALSE(modehost_event(dpy(), win(), nullptr, &key));

    // Without the hooks: no call, no re-read, no event taken.
    modetest_table.reshape_hook = nullptr;
    modetest_table.event_hook = nullptr;
    trace.calls.clear();
    mi->window_attributes.width = 5;
    modehost_reshape(dpy(), win(), mi, 1, 1);
    EXPECT_EQ(mi->window_attributes.width, 5);
    EXPECT_FALSE(modehost_event(dpy(), win(), mi, &key));
    modehost_reshape(dpy(), win(), nullptr, 1, 1);
    modehost_free(dpy(), win(), nullptr);
    EXPECT_TRUE(trace.calls.empty());
}

TEST_F(ModehostRun, ScreenNumbersStayBelowTheCountAndComeBackAfterARun) {
    ModeRecord *first = start("");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->screen_number, 0);
    EXPECT_EQ(first->screen_count, 10);

    // Stopping and starting the view again keeps screen 0.
    view->stopAnimation();
    view->startAnimation();
    view->animateOneFrame();
    ModeRecord *again = static_cast<ModeRecord *>(view->hackState());
    ASSERT_TRUE(again);
    EXPECT_EQ(again->screen_number, 0);
    EXPECT_EQ(again->screen_count, 10);

    // Screens running side by side: the tenth gets 9 and a count of 20, and
    // the number never reaches the count.
    std::vector<ModeRecord *> more;
    for (int i = 1; i < 25; ++i) {
        auto *mi = static_cast<ModeRecord *>(modehost_init(dpy(), win(), &modetest_table));
        EXPECT_EQ(mi->screen_number, i);
        EXPECT_EQ(mi->screen_count, i < 9 ? 10 : i < 20 ? 20 : i + 1) << i;
        EXPECT_LT(mi->screen_number, mi->screen_count);
        more.push_back(mi);
    }
    // A freed number is the next one handed out; freeing twice frees once.
    modehost_free(dpy(), win(), more[3]);
    modehost_free(dpy(), win(), more[3]);
    auto *reused = static_cast<ModeRecord *>(modehost_init(dpy(), win(), &modetest_table));
    EXPECT_EQ(reused->screen_number, 4);
    auto *next = static_cast<ModeRecord *>(modehost_init(dpy(), win(), &modetest_table));
    EXPECT_EQ(next->screen_number, 25);
    more.push_back(reused);
    more.push_back(next);
    for (ModeRecord *mi : more) modehost_free(dpy(), win(), mi);
    EXPECT_EQ(std::count(trace.calls.begin(), trace.calls.end(), "refresh or free"), 0);
}

TEST_F(ModehostRun, FatalErrorsNameTheirRoutineAndLine) {
    ASSERT_TRUE(start(""));
    EXPECT_EQ(abortReason([&] { modehost_init(dpy(), win(), nullptr); }), "abort in modehost_init:288");

    modetest_table.color_scheme = 4;
    EXPECT_EQ(abortReason([&] { modehost_init(dpy(), win(), &modetest_table); }),
              "abort in modehost_init:403");
    modetest_table.color_scheme = -1;
    EXPECT_EQ(abortReason([&] { modehost_init(dpy(), win(), &modetest_table); }),
              "abort in modehost_init:403");
    modetest_table.color_scheme = ModeColorsSmooth;

    ht_vars[3].type = 4;
    EXPECT_EQ(abortReason([&] { modehost_init(dpy(), win(), &modetest_table); }),
              "abort in modehost_read_resources:271");
    ht_vars[3].type = ModeVarText;
}

TEST_F(ModehostRun, AnUnknownFontFallsBackWithAWarning) {
    std::string err = captureStderr([&] { start("*font: NoSuchFace 12\n"); });
    EXPECT_NE(err.find("ModeTest: font NoSuchFace 12 does not exist, using "
                       "-*-helvetica-bold-r-normal-*-180-*\n"),
              std::string::npos)
        << err;
    EXPECT_TRUE(view->hackState());
}

}  // namespace
