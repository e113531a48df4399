// The configuration sheet as a person uses it: controls show the stored
// values, clicks, typing and drags edit the buffer, OK stores, Cancel and
// Escape drop, Reset shows the defaults; the file picker; the window
// growing; and the whole Drizzle sheet and its next run.
#include "tests/support/sheet_fixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "framework/sheet/somnel_config_sheet.h"
#include "framework/sheet/sheet_widgets.h"
#include "framework/sheet/view_frame.h"

#include "framework/prefs_reader.h"
#include "framework/somnel_gl_view.h"
#include "framework/somnel_subclass.h"
#include "platform/clock.h"
#include "platform/log.h"
#include "savers/drizzle/drizzle.h"

#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <string>

// Widget input, sent the way QTest sends it.
namespace {
namespace sheetui {

void click(QWidget *w) { QTest::mouseClick(w, Qt::LeftButton); }
void clickAt(QWidget *w, QPoint at) { QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, at); }
void keyClick(QWidget *w, int key) { QTest::keyClick(w, Qt::Key(key)); }
void keyClicks(QWidget *w, const QString &text) { QTest::keyClicks(w, text); }

// Where the slider's knob is drawn.
QPoint knobCentre(QSlider *slider) {
    QStyleOptionSlider opt;
    opt.initFrom(slider);
    opt.orientation = slider->orientation();
    opt.minimum = slider->minimum();
    opt.maximum = slider->maximum();
    opt.sliderPosition = slider->sliderPosition();
    opt.sliderValue = slider->value();
    opt.tickPosition = slider->tickPosition();
    opt.tickInterval = slider->tickInterval();
    opt.singleStep = slider->singleStep();
    opt.pageStep = slider->pageStep();
    opt.subControls = QStyle::SC_All;
    return slider->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, slider).center();
}

// Presses the slider's knob, moves it dx pixels in four steps and lets go.
void drag(QSlider *slider, int dx) {
    const QPoint from = knobCentre(slider);
    QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, from);
    for (int i = 1; i <= 4; ++i) QTest::mouseMove(slider, from + QPoint(dx * i / 4, 0));
    QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier, from + QPoint(dx, 0));
}

}  // namespace sheetui
}  // namespace

SOMNEL_SUBCLASS(SheetDrizzleView, SomnelGLView);

namespace {

using platform::Rect;
using platform::Value;
using testsupport::captureStderr;

const char kSheetXML[] = R"(<?xml version="1.0"?>
<screensaver name="t" _label="Test Saver">
  <boolean id="fps" _label="Show frame rate" arg-set="-fps"/>
  <number id="dps" type="slider" arg="-dps %" _label="Rain" _low-label="Less" _high-label="More"
          low="0" high="200" default="16"/>
  <number id="speed" type="spinbutton" arg="-speed %" _label="Speed" low="1" high="100" default="4"/>
  <string id="name" _label="Name" arg="-name %"/>
  <select id="simres">
    <option _label="Small" arg-set="-simres 0"/>
    <option _label="Medium"/>
    <option _label="Large" arg-set="-simres 2"/>
  </select>
  <somnel-text/>
  <somnel-image/>
  <_description>
A saver for tests, with one of every control.
  </_description>
</screensaver>
)";

// A sheet with one of every control, shown on screen.
class SheetTest : public testsupport::SheetFixture {
protected:
    void SetUp() override {
        SheetFixture::SetUp();
        xml_ = write(kSheetXML);
    }

    std::unique_ptr<SomnelConfigSheet> open() {
        auto sheet = create(xml_);
        sheet->show();
        EXPECT_TRUE(testsupport::waitExposed(sheet.get()));
        return sheet;
    }

    template <class T>
    T *control(SomnelConfigSheet *sheet, const char *key) {
        auto *c = dynamic_cast<T *>(sheet->controlForKey(key));
        EXPECT_TRUE(c) << key;
        return c;
    }

    QByteArray fileBytes() {
        QFile f(QString::fromStdString(reader_->userDefaults()->filePath()));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
    }

    // The stored values, each as its one-entry {kind: value} object.
    QJsonObject stored() { return QJsonDocument::fromJson(fileBytes()).object().value("values").toObject(); }

    std::string xml_;
};

// A stored value: its {kind: value} entry's value.
QJsonValue at(const QJsonObject &values, const char *key, const char *kind) {
    return values.value(key).toObject().value(kind);
}

using sheetui::click;
using sheetui::drag;
using sheetui::keyClick;
using sheetui::keyClicks;

// ------------------------------------------------------------ bindings

TEST_F(SheetTest, ControlsShowStoredValuesElseDefaultsAndEditsStayInTheBuffer) {
    reader_->userDefaults()->setObject("dps", Value(40LL));
    reader_->userDefaults()->setObject("textMode", Value(3LL));
    ASSERT_TRUE(reader_->userDefaults()->synchronize());
    const QByteArray before = fileBytes();
    auto sheet = open();

    EXPECT_FALSE(control<QCheckBox>(sheet.get(), "doFPS")->isChecked());
    EXPECT_EQ(control<InvertedSlider>(sheet.get(), "dps")->doubleValue(), 40);
    EXPECT_EQ(control<QComboBox>(sheet.get(), "simres")->currentText(), "Medium");
    EXPECT_EQ(control<somnel::sheet::RadioMatrix>(sheet.get(), "textMode")->selectedIndex(), 3);
    EXPECT_EQ(control<QCheckBox>(sheet.get(), "grabDesktopImages")->isChecked(), true);
    EXPECT_EQ(control<QLineEdit>(sheet.get(), "imageDirectory")->text(), "~/Pictures");
    QLineEdit *name = control<QLineEdit>(sheet.get(), "name");
    EXPECT_EQ(name->text(), "none");

    auto ctl = reader_->userDefaultsController();
    click(control<QCheckBox>(sheet.get(), "doFPS"));
    EXPECT_EQ(ctl->value("doFPS"), Value(true));
    name->selectAll();
    keyClicks(name, "rain");
    EXPECT_EQ(ctl->value("name"), Value(std::string("rain")));
    auto *matrix = control<somnel::sheet::RadioMatrix>(sheet.get(), "textMode");
    sheetui::clickAt(matrix->cell(1), QPoint(6, matrix->cell(1)->height() / 2));  // on the round button
    EXPECT_EQ(ctl->value("textMode"), Value(1LL));
    QComboBox *menu = control<QComboBox>(sheet.get(), "simres");
    menu->setFocus();
    keyClick(menu, Qt::Key_Down);  // the next item, chosen as a person would
    EXPECT_EQ(ctl->value("simres"), Value(std::string("2")));
    // Nothing is stored yet.
    EXPECT_EQ(fileBytes(), before);
    EXPECT_EQ(reader_->getBooleanResource("doFPS"), false);

    // Escape is Cancel: the edits go, the controls show the stored values again.
    QSignalSpy finished(sheet.get(), &QDialog::finished);
    keyClick(sheet.get(), Qt::Key_Escape);
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished.at(0).at(0).toInt(), 0);
    EXPECT_EQ(fileBytes(), before);
    EXPECT_EQ(ctl->value("doFPS"), Value(false));
    EXPECT_FALSE(ctl->hasUnappliedChanges());
}

TEST_F(SheetTest, ReturnIsOKAndStoresWhatWasEdited) {
    auto sheet = open();
    click(control<QCheckBox>(sheet.get(), "doFPS"));
    QLineEdit *name = control<QLineEdit>(sheet.get(), "name");
    name->setFocus();
    name->selectAll();
    keyClicks(name, "drops");
    QSignalSpy finished(sheet.get(), &QDialog::finished);
    keyClick(name, Qt::Key_Return);  // in a field, Return still means OK
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished.at(0).at(0).toInt(), 1);
    EXPECT_FALSE(sheet->isVisible());
    QJsonObject o = stored();
    EXPECT_EQ(at(o, "doFPS", "bool").toBool(), true);
    EXPECT_EQ(at(o, "name", "string").toString(), "drops");
    EXPECT_FALSE(o.contains("dps"));  // untouched keys are not written
    // What the hack reads next.
    reader_->userDefaults()->reload();
    EXPECT_TRUE(reader_->getBooleanResource("doFPS"));
}

TEST_F(SheetTest, TheSheetOutlivesTheRowsAndDefaultsItWasGiven) {
    // A view frees the rows it merged when the next view over the saver
    // sets up, and may go before its sheet: the sheet works from copies.
    std::deque<std::string> texts;
    auto copy = [&](const char *t) { return t ? texts.emplace_back(t).c_str() : nullptr; };
    std::vector<XrmOptionDescRec> rows;
    for (const XrmOptionDescRec *r = testsupport::mergedRows(); r->option; ++r)
        rows.push_back({copy(r->option), copy(r->specifier), r->argKind, copy(r->value)});
    rows.push_back({nullptr, nullptr, 0, nullptr});
    auto defaults = std::make_unique<platform::ValueMap>(reader_->defaultOptions());
    auto sheet = SomnelConfigSheet::create(xml_, rows.data(), reader_->userDefaultsController(), defaults.get());
    for (std::string &t : texts) t.assign(t.size(), '?');
    rows.assign(rows.size(), XrmOptionDescRec{"-gone", ".gone", XrmoptionNoArg, "True"});
    defaults.reset();

    sheet->show();
    ASSERT_TRUE(testsupport::waitExposed(sheet.get()));
    click(control<QCheckBox>(sheet.get(), "doFPS"));
    click(sheet->resetButton());
    EXPECT_FALSE(control<QCheckBox>(sheet.get(), "doFPS")->isChecked());
    EXPECT_EQ(control<InvertedSlider>(sheet.get(), "dps")->doubleValue(), 16);
    click(control<QCheckBox>(sheet.get(), "doFPS"));
    click(sheet->okButton());
    EXPECT_EQ(at(stored(), "doFPS", "bool").toBool(), true);
    EXPECT_FALSE(stored().contains("gone"));
}

TEST_F(SheetTest, ResetThenCancelLeavesTheFileAndResetThenOKStoresTheDefaults) {
    {
        auto sheet = open();
        drag(control<InvertedSlider>(sheet.get(), "dps"), 60);
        click(control<QCheckBox>(sheet.get(), "doFPS"));
        click(sheet->okButton());
    }
    const QByteArray edited = fileBytes();
    ASSERT_NE(at(stored(), "dps", "integer").toInt(), 16);
    ASSERT_TRUE(at(stored(), "doFPS", "bool").toBool());

    {
        auto sheet = open();
        click(sheet->resetButton());
        EXPECT_EQ(control<InvertedSlider>(sheet.get(), "dps")->doubleValue(), 16);
        EXPECT_FALSE(control<QCheckBox>(sheet.get(), "doFPS")->isChecked());
        click(sheet->cancelButton());
        EXPECT_EQ(sheet->result(), 0);
    }
    EXPECT_EQ(fileBytes(), edited);

    {
        auto sheet = open();
        click(sheet->resetButton());
        click(sheet->okButton());
        EXPECT_EQ(sheet->result(), 1);
    }
    QJsonObject o = stored();
    EXPECT_EQ(at(o, "dps", "integer").toInt(), 16);
    EXPECT_EQ(at(o, "doFPS", "bool").toBool(true), false);
    EXPECT_EQ(at(o, "speed", "integer").toInt(), 4);
    EXPECT_EQ(at(o, "imageDirectory", "string").toString(), "~/Pictures");
}

TEST_F(SheetTest, TheSpinbuttonFieldAndStepperEditOneValue) {
    auto sheet = open();
    QLineEdit *field = nullptr;
    for (QWidget *w : sheet->controlsForKey("speed"))
        if (auto *f = dynamic_cast<QLineEdit *>(w)) field = f;
    ASSERT_TRUE(field);
    somnel::sheet::Stepper *stepper = nullptr;
    for (QWidget *v : somnel::sheet::subviews(sheet->panel()))
        if (auto *s = dynamic_cast<somnel::sheet::Stepper *>(v)) stepper = s;
    ASSERT_TRUE(stepper);
    EXPECT_EQ(field->text(), "4");
    EXPECT_EQ(stepper->increment(), 1);
    // Tucked against the field and centred on it.
    EXPECT_EQ(somnel::sheet::frame(stepper).origin.x, somnel::sheet::frame(field).origin.x + somnel::sheet::frame(field).size.width);

    click(stepper->findChildren<QToolButton *>().at(0));
    EXPECT_EQ(field->text(), "5");
    EXPECT_EQ(reader_->userDefaultsController()->value("speed"), Value(5LL));

    field->setFocus();
    field->selectAll();
    keyClicks(field, "25");
    click(sheet->okButton());
    EXPECT_EQ(at(stored(), "speed", "integer").toInt(), 25);

    // A number out of range is brought into it when OK takes it.
    auto again = open();
    for (QWidget *w : again->controlsForKey("speed"))
        if (auto *f = dynamic_cast<QLineEdit *>(w)) field = f;
    EXPECT_EQ(field->text(), "25");
    field->setFocus();
    field->selectAll();
    keyClicks(field, "250");
    keyClick(field, Qt::Key_Return);
    EXPECT_EQ(again->result(), 1);
    EXPECT_EQ(at(stored(), "speed", "integer").toInt(), 100);
}

TEST_F(SheetTest, AFolderChosenUnderHomeIsStoredWithATilde) {
    const QString home = QDir::homePath();
    const QString folder = home + "/Pictures/holiday";
    ASSERT_TRUE(QDir().mkpath(folder));
    auto sheet = open();
    QPushButton *choose = nullptr;
    for (QPushButton *b : sheet->findChildren<QPushButton *>())
        if (b->text() == "Choose..." && b->parentWidget() == sheet->controlForKey("imageDirectory")->parentWidget() &&
            somnel::sheet::frame(b).origin.y == somnel::sheet::frame(sheet->controlForKey("imageDirectory")).origin.y +
                                                 (somnel::sheet::frame(sheet->controlForKey("imageDirectory")).size.height -
                                                  somnel::sheet::frame(b).size.height) /
                                                     2)
            choose = b;
    ASSERT_TRUE(choose);

    // The picker opens modal: pick the folder in it as a person would.
    bool picked = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto dialogs = sheet->findChildren<QFileDialog *>();
        QFileDialog *dialog = dialogs.isEmpty() ? nullptr : dialogs.first();
        if (!dialog || !dialog->isVisible() || picked) return;
        picked = true;
        EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
        EXPECT_EQ(QDir(dialog->directory()).absolutePath(), home + "/Pictures");
        dialog->setDirectory(folder);  // into the folder, then Choose
        QMetaObject::invokeMethod(dialog, "accept");
    });
    poll.start(20);
    click(choose);
    poll.stop();
    ASSERT_TRUE(picked);
    EXPECT_EQ(control<QLineEdit>(sheet.get(), "imageDirectory")->text(), "~/Pictures/holiday");
    click(sheet->okButton());
    EXPECT_EQ(at(stored(), "imageDirectory", "string").toString(), "~/Pictures/holiday");
    // The reader hands the hack the whole path.
    reader_->userDefaults()->reload();
    char *path = reader_->getStringResource("imageDirectory");
    EXPECT_EQ(std::string(path), folder.toStdString());
    free(path);
}

TEST_F(SheetTest, TheWindowGrowsButNeverShrinksBelowItsFirstSize) {
    auto sheet = open();
    const QSize first = sheet->size();
    if (const char *dir = getenv("SOMNEL_SHEET_PICTURES")) sheet->grab().save(QString(dir) + "/every-control.png");
    EXPECT_EQ(sheet->minimumSize(), first);
    QWidget *desc = nullptr;
    for (QWidget *v : somnel::sheet::subviews(sheet->panel()))
        if (dynamic_cast<somnel::sheet::DescriptionView *>(v)) desc = v;
    ASSERT_TRUE(desc);
    QWidget *box = sheet->controlForKey("doFPS");
    const QPoint boxAt = box->mapTo(sheet.get(), QPoint(0, 0));
    const QSize descSize = desc->size();
    const int okFromRight = sheet->width() - sheet->okButton()->mapTo(sheet.get(), QPoint(0, 0)).x();
    const int okFromBottom = sheet->height() - sheet->okButton()->mapTo(sheet.get(), QPoint(0, 0)).y();
    const int resetAt = sheet->resetButton()->mapTo(sheet.get(), QPoint(0, 0)).x();

    sheet->resize(first + QSize(120, 90));
    ASSERT_TRUE(testsupport::waitFor([&] { return sheet->size() == first + QSize(120, 90); }));
    EXPECT_EQ(box->mapTo(sheet.get(), QPoint(0, 0)), boxAt);
    EXPECT_GT(desc->width(), descSize.width());
    EXPECT_GT(desc->height(), descSize.height());
    EXPECT_EQ(sheet->width() - sheet->okButton()->mapTo(sheet.get(), QPoint(0, 0)).x(), okFromRight);
    EXPECT_EQ(sheet->height() - sheet->okButton()->mapTo(sheet.get(), QPoint(0, 0)).y(), okFromBottom);
    EXPECT_EQ(sheet->resetButton()->mapTo(sheet.get(), QPoint(0, 0)).x(), resetAt);
}

// ------------------------------------------------------------ Drizzle

class DrizzleSheet : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
        bundle_ = testsupport::inProcessBundle(dir_, "Drizzle");
        ASSERT_TRUE(QFile::copy(DRIZZLE_XML, QString::fromStdString(dir_.file("Drizzle.saver/Resources/drizzle.xml"))));
        view_ = SheetDrizzleView::create(Rect::make(0, 0, 96, 64), nullptr, true, bundle_);
        ASSERT_TRUE(view_);
    }
    void TearDown() override {
        if (!view_) return;
        if (view_->isAnimating()) view_->stopAnimation();
        view_->dealloc();
        platform::setClockSource({});
    }
    // One run of the hack: start, one drawn frame, stop.
    void run() {
        double t = 1e9;
        platform::setClockSource([&t] { return t; });
        view_->startAnimation();
        view_->animateOneFrame();
        view_->stopAnimation();
        platform::setClockSource({});
    }
    std::unique_ptr<SomnelConfigSheet> sheet() {
        QWidget *w = view_->configureSheet();
        auto *s = dynamic_cast<SomnelConfigSheet *>(w);
        EXPECT_TRUE(s);
        return std::unique_ptr<SomnelConfigSheet>(s);
    }
    testsupport::TempDir dir_;
    std::shared_ptr<platform::Bundle> bundle_;
    std::unique_ptr<SheetDrizzleView> view_;
};

TEST_F(DrizzleSheet, TheWholeSheetBuildsFromTheBundleWithDrizzlesValues) {
    auto s = sheet();
    ASSERT_TRUE(s);
    EXPECT_EQ(s->windowTitle(), "Drizzle");
    auto *rain = dynamic_cast<InvertedSlider *>(s->controlForKey("dps"));
    auto *colour = dynamic_cast<InvertedSlider *>(s->controlForKey("colortime"));
    auto *ripple = dynamic_cast<InvertedSlider *>(s->controlForKey("ripheight"));
    auto *res = dynamic_cast<QComboBox *>(s->controlForKey("simres"));
    auto *fps = dynamic_cast<QCheckBox *>(s->controlForKey("doFPS"));
    ASSERT_TRUE(rain && colour && ripple && res && fps);
    EXPECT_EQ(rain->doubleValue(), 16);
    EXPECT_EQ(colour->doubleValue(), 15);
    EXPECT_NEAR(ripple->doubleValue(), 2, 0.01);
    EXPECT_FALSE(ripple->integers());
    EXPECT_EQ(res->currentText(), "Simulation: 512 x 512");
    EXPECT_EQ(res->count(), 4);
    EXPECT_FALSE(fps->isChecked());
    EXPECT_EQ(fps->text(), "Show frame rate");

    // Look at it: at its first size and enlarged.
    s->show();
    ASSERT_TRUE(testsupport::waitExposed(s.get()));
    QImage first = s->grab().toImage();
    EXPECT_EQ(first.size(), s->size() * s->devicePixelRatio());
    s->resize(s->size() + QSize(200, 120));
    ASSERT_TRUE(testsupport::waitFor([&] { return s->grab().toImage().width() == first.width() + 200; }));
    QImage large = s->grab().toImage();
    if (const char *dir = getenv("SOMNEL_SHEET_PICTURES")) {
        first.save(QString(dir) + "/drizzle-sheet.png");
        large.save(QString(dir) + "/drizzle-sheet-large.png");
    }
}

TEST_F(DrizzleSheet, MovingTheRainSliderAndOKReachesTheNextRun) {
    run();
    EXPECT_EQ(g_nNumDropletsPerSecond, 16);
    auto s = sheet();
    ASSERT_TRUE(s);
    s->show();
    ASSERT_TRUE(testsupport::waitExposed(s.get()));
    auto *rain = dynamic_cast<InvertedSlider *>(s->controlForKey("dps"));
    ASSERT_TRUE(rain);
    drag(rain, 50);
    const int chosen = int(rain->doubleValue());
    EXPECT_GT(chosen, 16);
    click(s->okButton());

    QFile f(QString::fromStdString(view_->prefsReader()->userDefaults()->filePath()));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(at(QJsonDocument::fromJson(f.readAll()).object().value("values").toObject(), "dps", "integer").toInt(), chosen);
    view_->prefsReader()->userDefaults()->reload();
    run();  // the host's restart after OK
    EXPECT_EQ(g_nNumDropletsPerSecond, chosen);
}

}  // namespace
