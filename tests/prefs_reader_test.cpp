// The preference reader: typing of the defaults text, lookup by resource
// name, typed queries with their warnings, and stored values taking
// precedence over the built-in defaults.
#include "tests/support/test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "framework/prefs_reader.h"
#include "platform/log.h"
#include "platform/value.h"

#include <QDir>
#include <QFileInfo>

#include <climits>
#include <cstdlib>
#include <string>

namespace {

using platform::Value;
using testsupport::abortReason;
using testsupport::captureStderr;
using ::testing::MatchesRegex;

const XrmOptionDescRec kNoOptions[] = {{nullptr, nullptr, 0, nullptr}};

// The lines a rain saver hands the reader: host lines, then its own.
const char *const kDrizzleDefaults[] = {
    ".doFPS:              False",
    ".background: black",
    ".foreground: white",
    "*delay:\t10000  ",
    "*count:\t30  ",
    "*showFPS:\tFalse  ",
    "*wireframe:\tFalse  ",
    "*dps: 16",
    "*colortime: 15",
    "*ripheight: 0.5",
    nullptr,
};

const XrmOptionDescRec kDrizzleOptions[] = {
    {"-dps", ".drizzle.dps", XrmoptionSepArg, nullptr},
    {"-colortime", ".drizzle.colortime", XrmoptionSepArg, nullptr},
    {"-delay", ".delay", XrmoptionSepArg, nullptr},
    {"-fps", ".doFPS", XrmoptionNoArg, "True"},
    {nullptr, nullptr, 0, nullptr},
};

// Each test gets its own configuration folder and its own domain, so
// stored values never leak between tests or into the user's settings.
class PrefsReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedConfig_ = getenv("XDG_CONFIG_HOME") ? getenv("XDG_CONFIG_HOME") : "";
        setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
        platform::setLogProgramName("test");
        domain_ = std::string("org.somnel.test.") +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name();
    }
    void TearDown() override { setenv("XDG_CONFIG_HOME", savedConfig_.c_str(), 1); }

    std::unique_ptr<PrefsReader> drizzle() {
        std::unique_ptr<PrefsReader> r;
        captureStderr([&] { r = PrefsReader::create(domain_, kDrizzleOptions, kDrizzleDefaults); });
        return r;
    }

    std::string str(PrefsReader &r, const char *name) {
        char *s = r.getStringResource(name);
        std::string out = s ? s : "<null>";
        free(s);
        return out;
    }

    testsupport::TempDir dir_;
    std::string savedConfig_;
    std::string domain_;
};

// ------------------------------------------------------------ defaults text

TEST(DefaultsText, ValuesAreTypedBooleanIntegerDoubleOrString) {
    const char *const lines[] = {
        "*delay:\t10000  ",     "*showFPS:\tFalse  ", ".background: black",  "*ripheight: 0.5",
        "*dps: 16",             "*on: YES",           "*yes: true",          "*off: no",
        "*neg:  -12 \t",        "*exp: 1e3",          "*empty:",             "*words: 12 monkeys",
        "  *padded:   two words \t", "*url: http://host:80/x", "**.nested.name: 3",
        "*huge: 4294967296",   "*repeat: 1",         "*repeat: second",
        nullptr,
    };
    platform::ValueMap d = PrefsReader::defaultsToDict(lines);
    EXPECT_EQ(d.at("delay"), Value(10000LL));
    EXPECT_EQ(d.at("showFPS"), Value(false));
    EXPECT_EQ(d.at("background"), Value(std::string("black")));
    EXPECT_EQ(d.at("ripheight"), Value(0.5));
    EXPECT_EQ(d.at("dps"), Value(16LL));
    EXPECT_EQ(d.at("on"), Value(true));
    EXPECT_EQ(d.at("yes"), Value(true));
    EXPECT_EQ(d.at("off"), Value(false));
    EXPECT_EQ(d.at("neg"), Value(-12LL));
    EXPECT_EQ(d.at("exp"), Value(1000.0));
    EXPECT_EQ(d.at("empty"), Value(std::string()));
    EXPECT_EQ(d.at("words"), Value(std::string("12 monkeys")));
    EXPECT_EQ(d.at("padded"), Value(std::string("two words")));
    EXPECT_EQ(d.at("url"), Value(std::string("http://host:80/x")));
    EXPECT_EQ(d.at("nested.name"), Value(3LL));
    // Too big for an int: kept exactly rather than wrapped.
    EXPECT_EQ(d.at("huge"), Value(4294967296.0));
    EXPECT_EQ(d.at("repeat"), Value(std::string("second")));
    EXPECT_EQ(d.size(), 17u);
    EXPECT_TRUE(PrefsReader::defaultsToDict(nullptr).empty());
}

TEST(DefaultsText, LineWithoutColonIsFatal) {
    const char *const lines[] = {"*delay: 10", "*count 30", nullptr};
    EXPECT_THAT(abortReason([&] { PrefsReader::defaultsToDict(lines); }),
                MatchesRegex("abort in -\\[PrefsReader defaultsToDict:\\]:[0-9]+"));
}

// ------------------------------------------------------------ construction

TEST_F(PrefsReaderTest, SaverNameIsTheLastComponentWithoutBlanks) {
    EXPECT_EQ(PrefsReader(domain_ + ".Big Rain ", kNoOptions, nullptr).saverName(), "BigRain");
    EXPECT_EQ(PrefsReader("Plain Name", kNoOptions, nullptr).saverName(), "PlainName");
}

TEST_F(PrefsReaderTest, ControllerAndDefaultOptionsHoldTheBuiltInValues) {
    auto r = drizzle();
    platform::ValueMap want = PrefsReader::defaultsToDict(kDrizzleDefaults);
    EXPECT_EQ(r->defaultOptions(), want);
    ASSERT_TRUE(r->userDefaultsController());
    EXPECT_EQ(r->userDefaultsController()->initialValues(), want);
    EXPECT_EQ(r->userDefaults()->registeredDefaults(), want);

    const char *const other[] = {"*speed: 2", nullptr};
    r->registerXrmKeys(kNoOptions, other);
    EXPECT_EQ(r->defaultOptions(), PrefsReader::defaultsToDict(other));
    EXPECT_EQ(r->userDefaultsController()->initialValues(), PrefsReader::defaultsToDict(other));
}

TEST_F(PrefsReaderTest, WarnsAboutSwitchesWithoutDefaultsExceptQuietOnes) {
    const XrmOptionDescRec opts[] = {
        {"-dps", ".drizzle.dps", 1, nullptr},   // found under its tail
        {"-delay", "*delay", 1, nullptr},       // found as is
        {"-speed", ".speed", 1, nullptr},       // missing
        {"-zap", "*.rain.zap", 1, nullptr},     // missing, leading * and . dropped
        {"-font", ".font", 1, nullptr},         // missing, quiet
        {"-tl", ".textLiteral", 1, nullptr},    {"-tf", ".textFile", 1, nullptr},
        {"-tu", ".textURL", 1, nullptr},        {"-tp", ".textProgram", 1, nullptr},
        {"-id", ".imageDirectory", 1, nullptr}, {nullptr, nullptr, 0, nullptr},
    };
    const char *const defaults[] = {"*dps: 16", "*delay: 10", nullptr};
    std::string err = captureStderr([&] { PrefsReader r(domain_, opts, defaults); });
    EXPECT_EQ(err,
              "test: warning: \"speed\" is in options but not defaults\n"
              "test: warning: \"rain.zap\" is in options but not defaults\n");
}

// ------------------------------------------------------------ lookups

TEST_F(PrefsReaderTest, DottedNamesFallBackToEachTail) {
    auto r = drizzle();
    EXPECT_EQ(r->getIntegerResource("drizzle.dps"), 16);
    EXPECT_EQ(r->getIntegerResource("a.b.dps"), 16);
    EXPECT_EQ(platform::stringValue(r->getObjectResource("x.colortime")), "15");
    EXPECT_TRUE(platform::isNil(r->getObjectResource("dps.")));
    EXPECT_TRUE(platform::isNil(r->getObjectResource("drizzle.nothing")));
    EXPECT_TRUE(platform::isNil(r->getObjectResource("")));
}

TEST_F(PrefsReaderTest, StringQueries) {
    auto r = drizzle();
    auto d = r->userDefaults();
    d->setObject("quoted", std::string("'two words'"));
    d->setObject("lone", std::string("'"));
    d->setObject("half", std::string("'open"));
    d->setObject("pics", std::string("~/Pictures/rain"));
    d->setObject("tilde", std::string("~"));
    d->setObject("stranger", std::string("~nosuchuser-somnel/x"));

    EXPECT_EQ(str(*r, "background"), "black");
    EXPECT_EQ(str(*r, "quoted"), "two words");
    EXPECT_EQ(str(*r, "lone"), "'");
    EXPECT_EQ(str(*r, "half"), "'open");
    EXPECT_EQ(str(*r, "pics"), std::string(getenv("HOME")) + "/Pictures/rain");
    EXPECT_EQ(str(*r, "tilde"), "~");
    EXPECT_EQ(str(*r, "stranger"), "~nosuchuser-somnel/x");

    std::string got;
    std::string err = captureStderr([&] { got = str(*r, "delay"); });
    EXPECT_EQ(got, "10000");
    EXPECT_EQ(err, "test: asked for delay as a string, but it is a NSNumber\n");
}

TEST_F(PrefsReaderTest, MissingStringsWarnUnlessQuiet) {
    auto r = drizzle();
    std::string got;
    EXPECT_EQ(captureStderr([&] { got = str(*r, "nothing"); }),
              "test: warning: no preference \"nothing\" [string]\n");
    EXPECT_EQ(got, "<null>");
    for (const char *quiet : {"eraseMode", "right3d", "left3d", "both3d", "none3d", "font", "labelFont",
                              "titleFont", "fpsFont", "textLiteral"})
        EXPECT_EQ(captureStderr([&] { EXPECT_EQ(str(*r, quiet), "<null>"); }), "") << quiet;
    // Present in these defaults, so found rather than quietly missing.
    EXPECT_EQ(str(*r, "foreground"), "white");
}

TEST_F(PrefsReaderTest, NumberQueriesAndRounding) {
    auto r = drizzle();
    auto d = r->userDefaults();
    d->setObject("up", 2.5);
    d->setObject("down", -2.5);
    d->setObject("less", 2.49);
    d->setObject("more", -2.51);
    d->setObject("text", std::string("3.25abc"));
    d->setObject("junk", std::string("abc"));
    d->setObject("odd", 16777217.0);  // not representable in single precision
    d->setObject("vast", 1e20);
    d->setObject("flag", true);

    EXPECT_EQ(r->getIntegerResource("delay"), 10000);
    EXPECT_DOUBLE_EQ(r->getFloatResource("ripheight"), 0.5);
    EXPECT_EQ(r->getIntegerResource("ripheight"), 1);
    EXPECT_EQ(r->getIntegerResource("up"), 3);
    EXPECT_EQ(r->getIntegerResource("down"), -3);
    EXPECT_EQ(r->getIntegerResource("less"), 2);
    EXPECT_EQ(r->getIntegerResource("more"), -3);
    EXPECT_DOUBLE_EQ(r->getFloatResource("text"), 3.25);
    EXPECT_EQ(r->getIntegerResource("text"), 3);
    EXPECT_DOUBLE_EQ(r->getFloatResource("junk"), 0.0);
    EXPECT_EQ(r->getIntegerResource("odd"), 16777216);
    EXPECT_EQ(r->getIntegerResource("vast"), INT_MAX);
    EXPECT_DOUBLE_EQ(r->getFloatResource("flag"), 1.0);
}

TEST_F(PrefsReaderTest, MissingNumbersWarnUnlessQuiet) {
    auto r = drizzle();
    double f = -1;
    int i = -1;
    EXPECT_EQ(captureStderr([&] { f = r->getFloatResource("nothing"); }),
              "test: warning: no preference \"nothing\" [float]\n");
    EXPECT_EQ(f, 0.0);
    EXPECT_EQ(captureStderr([&] { i = r->getIntegerResource("nothing"); }),
              "test: warning: no preference \"nothing\" [float]\n");
    EXPECT_EQ(i, 0);
    for (const char *quiet : {"cycles", "size", "use3d", "delta3d", "wireframe", "showFPS", "fpsSolid",
                              "fpsTop", "mono", "count", "ncolors", "doFPS", "eraseSeconds"}) {
        auto q = PrefsReader::create(domain_ + "Empty", kNoOptions, nullptr);
        EXPECT_EQ(captureStderr([&] { EXPECT_EQ(q->getFloatResource(quiet), 0.0); }), "") << quiet;
    }
}

TEST_F(PrefsReaderTest, BooleanQueries) {
    auto r = drizzle();
    auto d = r->userDefaults();
    EXPECT_FALSE(r->getBooleanResource("wireframe"));
    EXPECT_FALSE(r->getBooleanResource("showFPS"));
    EXPECT_EQ(captureStderr([&] { EXPECT_FALSE(r->getBooleanResource("nothing")); }), "");

    struct Case {
        Value v;
        bool want;
    } cases[] = {
        {true, true}, {false, false}, {1LL, true}, {0LL, false}, {1.0, true}, {0.0, false},
        {std::string("true"), true}, {std::string("yes"), true}, {std::string("1"), true},
        {std::string("false"), false}, {std::string("no"), false}, {std::string("0"), false},
        {std::string(""), false},
    };
    for (const Case &c : cases) {
        d->setObject("flag", c.v);
        EXPECT_EQ(r->getBooleanResource("flag"), c.want) << platform::describe(c.v);
    }

    for (Value bad : {Value(std::string("True")), Value(std::string("on")), Value(2LL), Value(0.5)}) {
        d->setObject("flag", bad);
        EXPECT_THAT(abortReason([&] { r->getBooleanResource("flag"); }),
                    MatchesRegex("flag = \".*\" but should have been a boolean"))
            << platform::describe(bad);
    }
}

// ------------------------------------------------------------ stored values

TEST_F(PrefsReaderTest, StoredValuesOverrideDefaultsAndAreReadLive) {
    auto r = drizzle();
    EXPECT_EQ(r->getIntegerResource("dps"), 16);

    // Through the editing controller, as the configuration sheet stores them.
    auto c = r->userDefaultsController();
    c->setValue("dps", 40LL);
    EXPECT_EQ(r->getIntegerResource("drizzle.dps"), 16) << "unsaved edits are not seen";
    ASSERT_TRUE(c->save());
    EXPECT_EQ(r->getIntegerResource("drizzle.dps"), 40);

    // Really on disk, under this test's configuration folder.
    std::string path = r->userDefaults()->filePath();
    EXPECT_EQ(path.rfind(dir_.path(), 0), 0u) << path;
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(path)));
    r->userDefaults()->reload();
    EXPECT_EQ(r->getIntegerResource("dps"), 40);

    // Reset to defaults brings the built-in value back.
    c->revertToInitialValues();
    ASSERT_TRUE(c->save());
    EXPECT_EQ(r->getIntegerResource("dps"), 16);
}

}  // namespace
