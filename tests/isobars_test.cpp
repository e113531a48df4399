// Isobars, the weather-chart saver, through its built bundle as the host
// runs it: the picture's structure at a fixed seed (bands from the map,
// isobars between them, the whole window shown each frame), its options
// through the sheet, two screens at once, a resize, and a long run.
#include "tests/support/test_support.h"

#include "framework/sheet/somnel_config_sheet.h"
#include "platform/bundle.h"
#include "platform/clock.h"
#include "platform/event.h"
#include "platform/geometry.h"
#include "platform/preferences.h"
#include "platform/view.h"
#include "somnel/yarandom.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <malloc.h>
#include <memory>
#include <set>
#include <string>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ISOBARS_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(ISOBARS_ASAN)
// The address sanitizer's count of bytes in use (declared here: the
// compiler's header for it is not installed with every compiler).
extern "C" size_t __sanitizer_get_current_allocated_bytes(void);
#endif

namespace {

double fakeNow = 3e9;
const QRgb kBlack = 0xFF000000u;

// Bytes the allocator holds for the program.
size_t heapInUse() {
#if defined(__SANITIZE_ADDRESS__) || defined(ISOBARS_ASAN)
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

// Colours of pixels inside a patch of one colour (their four neighbours
// alike): the bands' own colours, free of the antialiased edges.
std::set<QRgb> interiorColours(const QImage &img) {
    std::set<QRgb> out;
    for (int y = 1; y + 1 < img.height(); y++)
        for (int x = 1; x + 1 < img.width(); x++) {
            const QRgb c = img.pixel(x, y);
            if (img.pixel(x - 1, y) == c && img.pixel(x + 1, y) == c && img.pixel(x, y - 1) == c &&
                img.pixel(x, y + 1) == c)
                out.insert(c);
        }
    return out;
}

long count(const QImage &img, QRgb c) {
    long n = 0;
    for (int y = 0; y < img.height(); y++)
        for (int x = 0; x < img.width(); x++) n += img.pixel(x, y) == c;
    return n;
}

class Isobars : public ::testing::Test {
protected:
    void SetUp() override {
        static testsupport::TempDir config;
        setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
        prefs_ = platform::ScreenSaverDefaults::defaultsForModuleWithName("org.somnel.savers.Isobars");
        for (const char *key : {"chart", "labels", "ncolors", "count", "delay", "speed", "spacing"})
            prefs_->removeObjectForKey(key);
        // Bands alone and no marks unless a case asks: every pixel is then
        // a band's colour or an edge between two.
        prefs_->setObject("chart", platform::Value(std::string("bands")));
        prefs_->setObject("labels", platform::Value(false));
        std::string error;
        bundle_ = platform::Bundle::open(std::string(SOMNEL_SAVER_DIR_PATH) + "/Isobars.saver", &error);
        ASSERT_TRUE(bundle_) << error;
        create_ = reinterpret_cast<platform::ViewCreateFunction>(
            bundle_->dataPointerForName(bundle_->principalClass() + "_create"));
        ASSERT_TRUE(create_);
        platform::setClockSource([] { return fakeNow; });
    }
    void TearDown() override { platform::setClockSource({}); }

    std::unique_ptr<platform::ScreenSaverView> view(int w = 320, int h = 180, bool preview = false) {
        platform::ViewCreateArgs args;
        args.frame = platform::Rect::make(0, 0, w, h);
        args.isPreview = preview;
        args.randomSeed = 20;
        return std::unique_ptr<platform::ScreenSaverView>(create_(&args));
    }
    // n frames, each when the one before asked for it; the last one shown.
    static QImage frames(platform::ScreenSaverView *v, int n) {
        for (int i = 0; i < n; i++) {
            v->animateOneFrame();
            fakeNow = v->timeOfNextFrame();
        }
        return v->grabFrame();
    }

    std::shared_ptr<platform::ScreenSaverDefaults> prefs_;
    std::shared_ptr<platform::Bundle> bundle_;
    platform::ViewCreateFunction create_ = nullptr;
};

TEST_F(Isobars, TheBandsComeFromTheMapAndFillTheWindowEveryFrame) {
    prefs_->setObject("ncolors", platform::Value(6LL));
    auto v = view();
    ASSERT_TRUE(v);
    v->startAnimation();
    for (int i = 0; i < 4; i++) {
        // Each frame reaches the window whole: nothing of the black the
        // window starts with, nor a part of the frame left unpainted.
        const QImage img = frames(v.get(), 15);
        EXPECT_EQ(count(img, kBlack), 0) << "frame " << i;
        const std::set<QRgb> bands = interiorColours(img);
        EXPECT_GE(bands.size(), 2u);
        EXPECT_LE(bands.size(), 6u) << "a band's colour from outside the six of the map";
    }
    v->stopAnimation();
}

TEST_F(Isobars, TheIsobarsRunBetweenTheBandsAndTheCentresAreMarked) {
    // The same weather twice, rendered by the program at one seed: bands
    // alone, then bands with isobars and marks. (The bundle keeps its own
    // generator, which a view in this program would carry from run to run.)
    testsupport::TempDir out;
    auto render = [&](const char *name) {
        ASSERT_TRUE(prefs_->synchronize());
        const std::string png = out.file(name);
        const testsupport::ProgramRun r =
            testsupport::somnel("render Isobars --frames 30 --size 320x180 --seed 5 --out '" + png + "'");
        ASSERT_EQ(r.status, 0) << r.err;
    };
    render("bands.png");
    prefs_->setObject("chart", platform::Value(std::string("shaded")));
    prefs_->setObject("labels", platform::Value(true));
    render("chart.png");
    const QImage bands(QString::fromStdString(out.file("bands.png"))), chart(QString::fromStdString(out.file("chart.png")));
    ASSERT_EQ(bands.size(), QSize(320, 180));
    ASSERT_EQ(chart.size(), bands.size());

    // Every pixel the isobars changed lies on or beside an edge between two
    // bands; the marks (white, shadowed) are the one exception.
    auto near = [](const QImage &img, int x, int y, int r, auto &&pred) {
        for (int b = std::max(0, y - r); b <= std::min(img.height() - 2, y + r); b++)
            for (int a = std::max(0, x - r); a <= std::min(img.width() - 2, x + r); a++)
                if (pred(img, a, b)) return true;
        return false;
    };
    auto edge = [](const QImage &img, int a, int b) {
        return img.pixel(a, b) != img.pixel(a + 1, b) || img.pixel(a, b) != img.pixel(a, b + 1);
    };
    // (The bands are toned down: nothing of theirs is this light.)
    auto white = [](const QImage &img, int a, int b) { return qGray(img.pixel(a, b)) > 225; };
    long changed = 0, astray = 0;
    for (int y = 0; y < chart.height(); y++)
        for (int x = 0; x < chart.width(); x++) {
            if (chart.pixel(x, y) == bands.pixel(x, y) || near(chart, x, y, 3, white)) continue;
            ++changed;
            astray += !near(bands, x, y, 2, edge);
        }
    EXPECT_GT(changed, chart.width()) << "no isobars";
    EXPECT_EQ(astray, 0);
    // The marks: white, well inside the window.
    const testsupport::Box marks = testsupport::find(chart, [](QRgb c) { return c == 0xFFFFFFFFu; });
    ASSERT_FALSE(marks.empty()) << "no centre marked";
    EXPECT_GT(marks.x0, 0);
    EXPECT_GT(marks.y0, 0);
    EXPECT_LT(marks.x1, chart.width() - 1);
    EXPECT_LT(marks.y1, chart.height() - 1);
}

TEST_F(Isobars, OptionsChangedInTheSheetReachTheNextRun) {
    auto v = view(320, 180, true);
    prefs_->removeObjectForKey("chart");
    prefs_->removeObjectForKey("labels");
    std::unique_ptr<QWidget> w(v->configureSheet());
    auto *sheet = dynamic_cast<SomnelConfigSheet *>(w.get());
    ASSERT_TRUE(sheet) << "no sheet: isobars.xml and the options disagree";
    auto *chart = dynamic_cast<QComboBox *>(sheet->controlForKey("chart"));
    auto *labels = dynamic_cast<QCheckBox *>(sheet->controlForKey("labels"));
    ASSERT_TRUE(chart && labels && sheet->controlForKey("speed") && sheet->controlForKey("ncolors") &&
                sheet->controlForKey("count") && sheet->controlForKey("spacing") && sheet->controlForKey("delay"));
    EXPECT_EQ(chart->currentIndex(), 0);
    EXPECT_TRUE(labels->isChecked());

    sheet->show();
    ASSERT_TRUE(testsupport::waitExposed(sheet));
    QTest::mouseClick(labels, Qt::LeftButton);
    chart->setFocus();
    QTest::keyClick(chart, Qt::Key_Down);
    EXPECT_EQ(chart->currentText(), "Isobars alone");
    QTest::mouseClick(sheet->okButton(), Qt::LeftButton);
    EXPECT_EQ(platform::stringValue(prefs_->objectForKey("chart")), "lines");
    EXPECT_EQ(prefs_->objectForKey("labels"), platform::Value(false));

    // Isobars alone: thin lines on black.
    v->startAnimation();
    const QImage img = frames(v.get(), 5);
    v->stopAnimation();
    const long black = count(img, kBlack), all = long(img.width()) * img.height();
    EXPECT_GT(black, all * 3 / 4);
    EXPECT_LT(black, all);
}

TEST_F(Isobars, TwoScreensShowTheirOwnWeatherAndOneEndingLeavesTheOther) {
    auto left = view(), right = view();
    left->startAnimation();
    right->startAnimation();
    const QImage a = frames(left.get(), 3), b = frames(right.get(), 3);
    EXPECT_NE(a, b);
    left->stopAnimation();
    // The right one keeps its chart and goes on drawing all of it.
    const QImage b2 = frames(right.get(), 3);
    EXPECT_EQ(count(b2, kBlack), 0);
    EXPECT_NE(b2, b);
    left->startAnimation();
    EXPECT_EQ(count(frames(left.get(), 3), kBlack), 0);
    left->stopAnimation();
    right->stopAnimation();
}

TEST_F(Isobars, AResizedWindowIsFilledToItsNewSizeAndTheSpaceBarBringsNewWeather) {
    auto v = view(200, 120, true);
    v->startAnimation();
    frames(v.get(), 2);
    v->setFrameSize(platform::Size{300, 170});
    const QImage big = frames(v.get(), 2);
    ASSERT_EQ(big.size(), QSize(300, 170));
    EXPECT_EQ(count(big, kBlack), 0);

    const QImage before = frames(v.get(), 1);
    platform::Event key;
    key.type = platform::Event::KeyDown;
    key.characters = key.charactersIgnoringModifiers = " ";
    v->handleEvent(key);
    const QImage after = frames(v.get(), 1);
    long moved = 0;
    for (int y = 0; y < after.height(); y++)
        for (int x = 0; x < after.width(); x++) moved += after.pixel(x, y) != before.pixel(x, y);
    EXPECT_GT(moved, long(after.width()) * after.height() / 4) << "the same weather after the space bar";
    v->stopAnimation();
}

TEST_F(Isobars, AnHourOfWeatherAndManyRestartsHoldNoMoreMemory) {
    // Two seconds of weather a frame: an hour, through several seasons.
    prefs_->setObject("delay", platform::Value(2000000LL));
    auto v = view(160, 90);
    v->startAnimation();
    frames(v.get(), 300);
    const size_t settled = heapInUse();
    const QImage last = frames(v.get(), 1500);
    EXPECT_LT(heapInUse(), settled + 256 * 1024);
    EXPECT_EQ(count(last, kBlack), 0);
    EXPECT_GE(interiorColours(last).size(), 2u);
    v->stopAnimation();

    // Each run's chart (a 160x90 pixmap, the grid and its scratch lists,
    // the colours: some 400 KB) goes when the run ends, not at the next.
    const size_t stopped = heapInUse();
    for (int i = 0; i < 40; i++) {
        v->startAnimation();
        frames(v.get(), 2);
        v->stopAnimation();
    }
    EXPECT_LT(heapInUse(), stopped + 32 * 1024);
    v->startAnimation();
    frames(v.get(), 2);
    EXPECT_GT(heapInUse(), stopped + 128 * 1024);
    v->stopAnimation();
    EXPECT_LT(heapInUse(), stopped + 32 * 1024);
}

}  // namespace
