// The host's side of the configuration sheet: "somnel configure" as a
// user runs it, and the preview's Options button over a real bundle.
#include "tests/support/test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QDialog>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QScreen>
#include <QWindow>

#include "framework/sheet/somnel_config_sheet.h"
#include "host/host.h"
#include "platform/preferences.h"
#include "platform/log.h"
#include "platform/view.h"
#include "platform/saver_window.h"

#include <sys/wait.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace {

using platform::Rect;
using testsupport::captureStderr;
using ::testing::MatchesRegex;

QPushButton *buttonTitled(QWidget *w, const QString &title) {
    for (QPushButton *b : w->findChildren<QPushButton *>())
        if (b->text() == title) return b;
    return nullptr;
}

// ------------------------------------------------------------ the host

using HostRun = testsupport::ProgramRun;
using testsupport::somnel;

// A copy of the Tester bundle with the given description.
std::string testerWith(const testsupport::TempDir &dir, const std::string &xml) {
    std::string copy = dir.file("Tester.saver");
    std::string cmd = "cp -r '" + testsupport::testSaver("Tester") + "' '" + copy + "'";
    EXPECT_EQ(system(cmd.c_str()), 0);
    QFile f(QString::fromStdString(copy + "/Resources/tester.xml"));
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(xml.data(), qint64(xml.size()));
    return copy;
}

TEST(SheetHost, ConfigureWithABrokenDescriptionSaysSoInOneLine) {
    testsupport::TempDir dir;
    HostRun broken = somnel("configure '" + testerWith(dir, "<screensaver name=\"t\" _label=\"T\"><boolean>") + "'");
    EXPECT_NE(broken.status, 0);
    EXPECT_NE(broken.status, 1);  // 1 is Cancel
    EXPECT_THAT(broken.err, MatchesRegex("somnel: XML Error: [^\n]*tester.xml: [^\n]+\n"));

    testsupport::TempDir dir2;
    HostRun bad = somnel("configure '" +
                     testerWith(dir2, "<screensaver name=\"t\" _label=\"T\"><dial/><_description>d</_description>"
                                      "</screensaver>") +
                     "'");
    EXPECT_EQ(bad.status, 70);
    EXPECT_EQ(bad.err, "somnel: unknown tag: dial\n");

    HostRun missing = somnel("configure NoSuchSaver");
    EXPECT_EQ(missing.status, 69);  // not 1, which is Cancel
    EXPECT_THAT(missing.err, MatchesRegex("somnel: [^\n]+\n"));

    HostRun help = somnel("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_THAT(help.err + help.out, ::testing::HasSubstr("configure SAVER"));
}

// The preview's frame, with the host's own code, over the Tester bundle.
TEST(SheetHost, OptionsOpensTheSheetWindowModalAndABrokenOneLeavesThePreviewRunning) {
    for (bool brokenXML : {false, true}) {
        testsupport::TempDir dir;
        setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
        const std::string path = testerWith(
            dir, brokenXML ? "<screensaver name=\"t\" _label=\"T\"><knob/><_description>d</_description></screensaver>"
                           : "<screensaver name=\"t\" _label=\"Tester\"><boolean _label=\"Show frame rate\" "
                             "arg-set=\"-fps\"/><_description>d</_description></screensaver>");
        somnel::host::LoadedSaver saver;
        std::string error;
        platform::ViewCreateArgs args;
        args.frame = Rect::make(0, 0, 160, 120);
        args.isPreview = true;
        ASSERT_TRUE(somnel::host::loadSaver(path, args, &saver, &error)) << error;
        auto *window = new platform::SaverWindow(saver.view.get());
        window->setTitle("Tester");
        std::unique_ptr<QWidget> frame(somnel::host::makePreviewFrame(window, saver.view.get(), 160, 120));
        frame->show();
        ASSERT_TRUE(testsupport::waitExposed(frame.get()));
        saver.view->startAnimation();

        QPushButton *options = buttonTitled(frame.get(), QString::fromUtf8("Options…"));
        ASSERT_TRUE(options);
        // Below the saver, at the right.
        EXPECT_GE(options->geometry().top(), 120);
        EXPECT_GE(options->geometry().right(), frame->width() - 12);
        std::string log = captureStderr([&] { QTest::mouseClick(options, Qt::LeftButton); });
        QWidget *shown = nullptr;
        for (QWidget *w : frame->findChildren<QWidget *>())
            if (w->isWindow() && w->isVisible()) shown = w;
        ASSERT_TRUE(shown);
        EXPECT_EQ(shown->windowModality(), Qt::WindowModal);
        EXPECT_TRUE(saver.view->isAnimating());
        if (brokenXML) {
            auto *box = qobject_cast<QMessageBox *>(shown);
            ASSERT_TRUE(box);
            EXPECT_EQ(box->informativeText(), "unknown tag: knob");
            EXPECT_THAT(log, MatchesRegex("[^:]+: unknown tag: knob\n"));
            box->accept();
        } else {
            auto *sheet = qobject_cast<QDialog *>(shown);
            ASSERT_TRUE(sheet);
            if (const char *dir = getenv("SOMNEL_SHEET_PICTURES")) {
                // What the X server shows: the preview and the sheet over it.
                testsupport::waitExposed(sheet);
                frame->screen()->grabWindow(0).save(QString(dir) + "/preview-options.png");
            }
            EXPECT_EQ(sheet->windowTitle(), "Tester");
            QTest::keyClick(sheet, Qt::Key_Return);
            ASSERT_TRUE(testsupport::waitFor([&] { return !sheet->isVisible() || frame->findChildren<QDialog *>().isEmpty(); }));
        }
        EXPECT_TRUE(saver.view->isAnimating());  // stopped and started again after OK
        saver.view->stopAnimation();
        frame.reset();
        saver.view.reset();
    }
}

// A view that counts its starts and stops and offers a sheet of its own.
class CountingView : public platform::ScreenSaverView {
public:
    CountingView() : platform::ScreenSaverView(Rect::make(0, 0, 200, 120), true) {}
    void startAnimation() override {
        ++starts;
        platform::ScreenSaverView::startAnimation();
    }
    void stopAnimation() override {
        ++stops;
        platform::ScreenSaverView::stopAnimation();
    }
    bool hasConfigureSheet() override { return true; }
    QWidget *configureSheet() override { return makeSheet().release(); }
    std::function<std::unique_ptr<QWidget>()> makeSheet;
    int starts = 0, stops = 0;
};

const XrmOptionDescRec kFpsOptions[] = {{"-fps", ".doFPS", XrmoptionNoArg, "True"}, {nullptr, nullptr, 0, nullptr}};

TEST(SheetHost, OKInTheOptionsSheetRestartsTheSaverAndCancelDoesNot) {
    testsupport::TempDir dir;
    const std::string xml = dir.file("v.xml");
    QFile f(QString::fromStdString(xml));
    f.open(QIODevice::WriteOnly);
    f.write("<screensaver name=\"v\" _label=\"V\"><boolean _label=\"Show frame rate\" arg-set=\"-fps\"/>"
            "<_description>d</_description></screensaver>");
    f.close();
    setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    platform::ValueMap defaults{{"doFPS", false}};
    auto store = platform::ScreenSaverDefaults::defaultsForModuleWithName("org.somnel.test.options");
    store->registerDefaults(defaults);
    auto controller = std::make_shared<platform::UserDefaultsController>(store, defaults);

    CountingView view;
    view.makeSheet = [&] { return SomnelConfigSheet::create(xml, kFpsOptions, controller, &defaults); };
    auto *window = new platform::SaverWindow(&view);
    window->setTitle("V");
    std::unique_ptr<QWidget> frame(somnel::host::makePreviewFrame(window, &view, 200, 120));
    frame->show();
    ASSERT_TRUE(testsupport::waitExposed(frame.get()));
    view.startAnimation();

    QPushButton *options = buttonTitled(frame.get(), QString::fromUtf8("Options…"));
    ASSERT_TRUE(options);
    auto openSheet = [&]() -> QDialog * {
        QTest::mouseClick(options, Qt::LeftButton);
        auto sheets = frame->findChildren<SomnelConfigSheet *>();
        return sheets.isEmpty() ? nullptr : sheets.last();
    };

    QDialog *sheet = openSheet();
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    QTest::keyClick(sheet, Qt::Key_Escape);
    testsupport::waitFor([&] { return frame->findChildren<SomnelConfigSheet *>().isEmpty(); });
    EXPECT_EQ(view.stops, 0);  // Cancel changes nothing
    EXPECT_EQ(view.starts, 1);

    sheet = openSheet();
    ASSERT_TRUE(sheet);
    QTest::keyClick(sheet, Qt::Key_Return);
    EXPECT_EQ(view.stops, 1);  // OK: stopped and started again
    EXPECT_EQ(view.starts, 2);
    EXPECT_TRUE(view.isAnimating());
    view.stopAnimation();
}

}  // namespace
