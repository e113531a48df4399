// The worked example of docs/WRITING-A-SAVER.md (examples/bands), tested as
// a saver's author tests a saver: the built bundle draws what its
// preferences say, its options sheet is built from its description over its
// own switches, and the guide quotes its files as they are.
#include "tests/support/test_support.h"

#include "platform/bundle.h"
#include "platform/clock.h"
#include "platform/event.h"
#include "platform/geometry.h"
#include "platform/preferences.h"
#include "platform/view.h"

#include <QComboBox>
#include <QFile>
#include <QRegularExpression>
#include <QWidget>

#include <cstdlib>
#include <memory>
#include <set>
#include <string>

namespace {

double fakeNow = 2e9;

// The colours down one column, top to bottom, with each row checked to be
// one colour across.
std::vector<QRgb> column(const QImage &img) {
    std::vector<QRgb> out;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 1; x < img.width(); ++x) EXPECT_EQ(img.pixel(x, y), img.pixel(0, y)) << "row " << y;
        out.push_back(img.pixel(0, y));
    }
    return out;
}

class Bands : public ::testing::Test {
protected:
    void SetUp() override {
        // The saver's preferences, in a folder of this program's own.
        static testsupport::TempDir config;
        setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
        prefs_ = platform::ScreenSaverDefaults::defaultsForModuleWithName("org.somnel.savers.Bands");
        for (const char *key : {"count", "grey", "direction"}) prefs_->removeObjectForKey(key);

        std::string error;
        bundle_ = platform::Bundle::open(BANDS_BUNDLE, &error);
        ASSERT_TRUE(bundle_) << error;
        create_ = reinterpret_cast<platform::ViewCreateFunction>(
            bundle_->dataPointerForName(bundle_->principalClass() + "_create"));
        ASSERT_TRUE(create_);
        platform::setClockSource([] { return fakeNow; });
    }
    void TearDown() override { platform::setClockSource({}); }

    std::unique_ptr<platform::ScreenSaverView> view(bool preview) {
        platform::ViewCreateArgs args;
        args.frame = platform::Rect::make(0, 0, 60, 60);
        args.isPreview = preview;
        return std::unique_ptr<platform::ScreenSaverView>(create_(&args));
    }
    // The next frame, drawn once the default delay (30 ms) has passed.
    static QImage nextFrame(platform::ScreenSaverView *v) {
        fakeNow += 0.031;
        v->animateOneFrame();
        return v->grabFrame();
    }

    std::shared_ptr<platform::ScreenSaverDefaults> prefs_;
    std::shared_ptr<platform::Bundle> bundle_;
    platform::ViewCreateFunction create_ = nullptr;
};

TEST_F(Bands, DrawsItsBandsAndFollowsItsPreferences) {
    auto v = view(false);
    ASSERT_TRUE(v);
    v->startAnimation();
    std::vector<QRgb> rows = column(nextFrame(v.get()));
    // Six bands of ten rows, the first red, each its own colour.
    EXPECT_EQ(std::set<QRgb>(rows.begin(), rows.end()).size(), 6u);
    EXPECT_EQ(rows[0], 0xFFFF0000u);
    EXPECT_EQ(rows[9], rows[0]);
    EXPECT_NE(rows[10], rows[0]);
    // They drift down by the speed, 2 rows a frame.
    std::vector<QRgb> moved = column(nextFrame(v.get()));
    EXPECT_EQ(moved[11], rows[0]);
    EXPECT_EQ(moved[12], rows[10]);
    v->stopAnimation();

    // The stored preferences, in the domain named after the class, reach
    // the next run.
    prefs_->setObject("count", platform::Value(3LL));
    prefs_->setObject("grey", platform::Value(true));
    v->startAnimation();
    rows = column(nextFrame(v.get()));
    const std::set<QRgb> greys(rows.begin(), rows.end());
    EXPECT_EQ(greys.size(), 3u);
    for (QRgb c : greys) EXPECT_TRUE(qRed(c) == qGreen(c) && qGreen(c) == qBlue(c)) << std::hex << c;
    v->stopAnimation();
}

TEST_F(Bands, AKeyInThePreviewTurnsTheBandsRound) {
    auto v = view(true);
    ASSERT_TRUE(v);
    v->startAnimation();
    const std::vector<QRgb> first = column(nextFrame(v.get()));
    platform::Event key;
    key.type = platform::Event::KeyDown;
    key.characters = key.charactersIgnoringModifiers = "x";
    v->handleEvent(key);
    // The second frame shows the bands 2 rows down, as the first frame
    // left them; from there they go back up.
    column(nextFrame(v.get()));
    EXPECT_EQ(column(nextFrame(v.get())), first);
    v->stopAnimation();
}

TEST_F(Bands, ItsSheetIsBuiltFromItsDescriptionAndShowsTheStoredValues) {
    prefs_->setObject("direction", platform::Value(std::string("up")));
    auto v = view(true);
    ASSERT_TRUE(v);
    std::unique_ptr<QWidget> sheet(v->configureSheet());
    ASSERT_TRUE(sheet) << "no sheet: the class name and bands.xml disagree";
    EXPECT_EQ(sheet->windowTitle(), "Bands");
    auto *menu = sheet->findChild<QComboBox *>();
    ASSERT_TRUE(menu);
    EXPECT_EQ(menu->count(), 2);
    EXPECT_EQ(menu->currentText(), "Drift up");
}

// Every block the guide marks as quoted from a file appears in that file
// word for word, so that the guide cannot drift from the code it teaches.
TEST(WritingASaverGuide, QuotesTheExampleAsItIs) {
    auto slurp = [](const QString &path) {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
        return QString::fromUtf8(f.readAll());
    };
    const QString guide = slurp(SOMNEL_SOURCE_DIR "/docs/WRITING-A-SAVER.md");
    static const QRegularExpression quoted(
        "<!-- quoted from ([^ ]+) -->\\n```[a-z]*\\n(.*?)```", QRegularExpression::DotMatchesEverythingOption);
    int blocks = 0;
    for (auto it = quoted.globalMatch(guide); it.hasNext(); ++blocks) {
        const QRegularExpressionMatch m = it.next();
        const QString file = slurp(SOMNEL_SOURCE_DIR "/" + m.captured(1));
        EXPECT_TRUE(file.contains(m.captured(2))) << "not in " << m.captured(1).toStdString() << ":\n"
                                                  << m.captured(2).toStdString();
    }
    EXPECT_GE(blocks, 5);
}

}  // namespace
