// The settings window: the saver list, the preview as the X server shows
// it, the stored settings, the options sheet, the idle watcher's status
// and the children it starts; and `somnel settings` as a user runs it.
#include "tests/support/test_support.h"
#include "tests/onscreen/xserver.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QWindow>

#include "host/settings.h"
#include "platform/preferences.h"
#include "platform/view.h"

#include <signal.h>
#include <sys/stat.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace {

using somnel::host::SettingsOptions;
using somnel::host::SettingsWindow;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::waitFor;

constexpr unsigned kRed = 0xFF0000, kBlue = 0x0000FF, kWhite = 0xFFFFFF;

void writeFile(const std::string &path, const std::string &text) {
    QDir().mkpath(QFileInfo(QString::fromStdString(path)).absolutePath());
    QFile f(QString::fromStdString(path));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text.data(), qint64(text.size()));
}

// What the X server shows in the saver's window of the preview.
QImage shown(QWindow *window) {
    int w = 0, h = 0;
    if (!window || !xs_size(window->winId(), &w, &h)) return {};
    QImage img(w, h, QImage::Format_RGB32);
    if (!xs_get_image(window->winId(), 0, 0, w, h, reinterpret_cast<unsigned *>(img.bits()))) return {};
    return img;
}

// "2d" or "gl" when the picture shows the test savers' halves (red left,
// blue right; the 2D one with a white column at its left edge), else "".
std::string halves(const QImage &img) {
    if (img.width() < 8 || img.height() < 8) return "";
    auto at = [&](int x, int y) { return img.pixel(x, y) & 0xFFFFFF; };
    const int w = img.width(), y = img.height() / 2;
    if (at(2, y) != kRed || at(w / 2 - 2, y) != kRed || at(w / 2 + 2, y) != kBlue || at(w - 2, y) != kBlue)
        return "";
    return at(0, y) == kWhite ? "2d" : "gl";
}

class Settings : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("XDG_CONFIG_HOME", config_.path().c_str(), 1);
        // The idle watcher's session lock and status, of this test's own.
        chmod(runtime_.path().c_str(), 0700);
        setenv("XDG_RUNTIME_DIR", runtime_.path().c_str(), 1);
        setenv("SOMNEL_TEST_LOG", log().c_str(), 1);
        const char *savers = getenv("SOMNEL_SAVER_DIR");
        const char *testSavers = getenv("SOMNEL_TEST_SAVER_DIR");
        ASSERT_TRUE(savers && testSavers);
        setenv("SOMNEL_SAVER_PATH", (std::string(testSavers) + ":" + savers).c_str(), 1);
        platform::ScreenSaverDefaults::forgetDomains();
        xs_close();
        ASSERT_TRUE(xs_open(nullptr)) << "no X display";
    }
    void TearDown() override {
        xs_close();
        platform::ScreenSaverDefaults::forgetDomains();
    }

    std::string settingsFile() const { return config_.file("somnel/org.somnel.Somnel.json"); }
    std::string log() const { return config_.file("free.log"); }
    void store(const std::string &values) {
        writeFile(settingsFile(), "{\"version\": 1, \"values\": {" + values + "}}");
    }
    // The value the file holds for key, as JSON ("" when it holds none).
    std::string stored(const char *key) const {
        const QJsonObject values = QJsonDocument::fromJson(QByteArray::fromStdString(readFile(settingsFile())))
                                       .object()["values"].toObject();
        if (!values.contains(key)) return "";
        return QJsonDocument(values[key].toObject()).toJson(QJsonDocument::Compact).toStdString();
    }

    std::unique_ptr<SettingsWindow> open(SettingsOptions options = {}) {
        if (options.program.empty()) options.program = "/bin/false";
        auto w = std::make_unique<SettingsWindow>(options);
        w->show();
        EXPECT_TRUE(testsupport::waitExposed(w.get()));
        // Its shortcuts work in the active window.
        w->activateWindow();
        EXPECT_TRUE(waitFor([&] { return w->isActiveWindow(); }));
        return w;
    }
    static QListWidget *list(QWidget *w) { return w->findChild<QListWidget *>("savers"); }
    static void click(QWidget *w, const char *name) {
        auto *button = w->findChild<QPushButton *>(name);
        ASSERT_TRUE(button) << name;
        QTest::mouseClick(button, Qt::LeftButton);
    }
    static void choose(QWidget *w, const QString &name) {
        QListWidget *l = list(w);
        const auto items = l->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1) << name.toStdString();
        QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, l->visualItemRect(items.front()).center());
    }

    TempDir config_, runtime_;
};

TEST_F(Settings, TheListShowsEverySaverByNameWithTheFirstLineOfItsDescription) {
    // Bundles whose descriptions are hard to read: they list by name.
    TempDir more;
    writeFile(more.file("Garbled.saver/Resources/garbled.xml"), "<screensaver><<<_description>x");
    writeFile(more.file("Entity.saver/Resources/entity.xml"),
              "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><screensaver name=\"e\"><_description>\n\n"
              "   Caf\xE9 &amp; rain,   shown\n  second line</_description><broken");
    QDir().mkpath(QString::fromStdString(more.file("Fifo.saver/Resources")));
    ASSERT_EQ(mkfifo(more.file("Fifo.saver/Resources/fifo.xml").c_str(), 0600), 0);
    setenv("SOMNEL_SAVER_PATH", (std::string(getenv("SOMNEL_SAVER_PATH")) + ":" + more.path()).c_str(), 1);

    auto w = open();
    const struct {
        const char *name, *summary;
    } kRows[] = {
        {"Broken", ""},
        {"Drizzle", "An OpenGL water surface under rain, seen from just above it. Droplets fall"},
        {"Entity", "Café & rain, shown"},
        {"Fifo", ""},
        {"Garbled", ""},
        {"GLHalves", ""},
        {"GLModeTest", ""},
        {"Halves", ""},
        {"Isobars", "Isobars, a weather chart that never settles. Highs and lows drift across"},
        {"Tester", "The framework's own test saver: the window slowly cycles through the hues"},
        {"Unruly", ""},
    };
    QListWidget *l = list(w.get());
    ASSERT_TRUE(l);
    ASSERT_EQ(l->count(), int(std::size(kRows)));
    for (int i = 0; i < l->count(); ++i) {
        EXPECT_EQ(l->item(i)->text().toStdString(), kRows[i].name);
        EXPECT_EQ(l->item(i)->data(SettingsWindow::kSummaryRole).toString().toStdString(), kRows[i].summary)
            << kRows[i].name;
    }
    // Nothing stored: the default saver is chosen, and nothing is written.
    EXPECT_EQ(l->currentItem()->text(), "Drizzle");
    EXPECT_FALSE(QFile::exists(QString::fromStdString(settingsFile())));
}

TEST_F(Settings, ChoosingASaverStoresItAndTheServerShowsItInThePreviewAfterTheOldOneIsFreed) {
    store("\"saver\": {\"string\": \"halves\"}");
    auto w = open();
    std::string seen;
    EXPECT_TRUE(waitFor([&] { return (seen = halves(shown(w->previewWindow()))) == "2d"; })) << seen;
    EXPECT_EQ(list(w.get())->currentItem()->text(), "Halves") << "the stored saver, found without regard to case";

    choose(w.get(), "GLHalves");
    EXPECT_EQ(readFile(log()), "free Halves gl=0\n") << "the old view stopped before the new one starts";
    EXPECT_TRUE(waitFor([&] { return (seen = halves(shown(w->previewWindow()))) == "gl"; })) << seen;
    EXPECT_EQ(stored("saver"), R"({"string":"GLHalves"})");

    choose(w.get(), "Tester");
    EXPECT_EQ(readFile(log()), "free Halves gl=0\nfree GLHalves gl=1\n") << "freed with its context current";
    EXPECT_TRUE(waitFor([&] {
        const QImage img = shown(w->previewWindow());
        return !img.isNull() && halves(img).empty();
    }));
    EXPECT_EQ(stored("saver"), R"({"string":"Tester"})");
    EXPECT_TRUE(w->previewView()->isAnimating());
}

TEST_F(Settings, TheIdleTimeIsReadInRangeAndStoredWhenEnteredOrAtClose) {
    const struct {
        const char *stored;
        int shown;
    } kStored[] = {
        {"", 10},
        {"\"idleMinutes\": {\"double\": 2.5}", 3},
        {"\"idleMinutes\": {\"integer\": 0}", 1},
        {"\"idleMinutes\": {\"integer\": 5000}", 720},
        {"\"idleMinutes\": {\"string\": \"ten\"}", 10},
    };
    for (const auto &c : kStored) {
        store(c.stored);
        platform::ScreenSaverDefaults::forgetDomains();
        SettingsWindow w({"/bin/false"});
        EXPECT_EQ(w.findChild<QSpinBox *>("idleMinutes")->value(), c.shown) << c.stored;
    }

    store("\"saver\": {\"string\": \"Halves\"}");
    platform::ScreenSaverDefaults::forgetDomains();
    auto w = open();
    ASSERT_TRUE(waitFor([&] { return halves(shown(w->previewWindow())) == "2d"; }));
    QSpinBox *minutes = w->findChild<QSpinBox *>("idleMinutes");
    minutes->setFocus();
    minutes->selectAll();
    QTest::keyClicks(minutes, "25");
    EXPECT_EQ(stored("idleMinutes"), "") << "not stored at every digit";
    QTest::keyClick(minutes, Qt::Key_Return);
    EXPECT_EQ(stored("idleMinutes"), R"({"integer":25})");
    EXPECT_EQ(stored("saver"), R"({"string":"Halves"})") << "other keys are kept";

    // Typed, then the window closed with a key: the number counts.
    minutes->selectAll();
    QTest::keyClicks(minutes, "30");
    QTest::keyClick(minutes, Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(stored("idleMinutes"), R"({"integer":30})");
    EXPECT_EQ(w->previewView(), nullptr) << "closing stops the preview";
    EXPECT_EQ(readFile(log()), "free Halves gl=0\n");
}

TEST_F(Settings, OptionsOpensTheChosenSaversSheetAndOKRestartsThePreview) {
    store("\"saver\": {\"string\": \"Tester\"}");
    auto w = open();
    platform::ScreenSaverView *view = w->previewView();
    ASSERT_TRUE(view);
    click(w.get(), "options");
    QDialog *sheet = w->findChild<QDialog *>();
    ASSERT_TRUE(sheet && sheet->isVisible());
    EXPECT_EQ(sheet->windowTitle(), "Tester");
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    QTest::keyClick(sheet, Qt::Key_Return);
    EXPECT_TRUE(waitFor([&] { return w->findChildren<QDialog *>().isEmpty(); }));
    EXPECT_TRUE(view->isAnimating());
    QTest::keyClick(w.get(), Qt::Key_Escape);
    EXPECT_FALSE(w->isVisible()) << "Escape closes the window once the sheet is gone";
}

// A stand-in for the somnel program: `idle --status` answers as a watcher
// would while its state file exists, `idle` makes the file, `run` notes its
// arguments; anything else is an unknown command.
std::string standIn(const TempDir &dir) {
    const std::string path = dir.file("somnel");
    writeFile(path, "#!/bin/sh\n"
                    "state='" + dir.file("state") + "'\n"
                    "case \"$1 $2\" in\n"
                    "'idle --status') if [ -e \"$state\" ]; then echo 'running; held off by Player: video'; exit 0;"
                    " fi; echo 'not running in this session'; exit 3;;\n"
                    "'idle ') : >\"$state\"; exit 0;;\n"
                    "'idle --enable') mkdir -p \"$XDG_CONFIG_HOME/autostart\"; : >\"$XDG_CONFIG_HOME/autostart/somnel-idle.desktop\";"
                    " exit 0;;\n"
                    "'idle --disable') rm -f \"$XDG_CONFIG_HOME/autostart/somnel-idle.desktop\"; exit 0;;\n"
                    "'run '*) echo \"$@\" >'" + dir.file("runs") + "'; exit 0;;\n"
                    "esac\n"
                    "echo \"unknown command\" >&2; exit 2\n");
    chmod(path.c_str(), 0755);
    return path;
}

TEST_F(Settings, TheIdleWatchersStatusFollowsItsCommandAndTheButtonsStartChildren) {
    TempDir dir;
    auto w = open({standIn(dir), 50});
    QLabel *status = w->findChild<QLabel *>("idleStatus");
    QPushButton *start = w->findChild<QPushButton *>("startIdle");
    auto says = [&](const QString &text, bool startable) {
        return waitFor([&] { return status->text() == text && start->isEnabled() == startable; });
    };
    EXPECT_TRUE(says("Idle watcher: not running in this session", true)) << status->text().toStdString();
    click(w.get(), "startIdle");
    EXPECT_TRUE(says("Idle watcher: running; held off by Player: video", false)) << status->text().toStdString();
    QFile::remove(QString::fromStdString(dir.file("state")));
    EXPECT_TRUE(says("Idle watcher: not running in this session", true)) << "it follows the watcher's end";

    // The autostart entry, written and removed by the command, as the box shows it.
    auto *autostart = w->findChild<QCheckBox *>("autostart");
    EXPECT_FALSE(autostart->isChecked());
    for (bool on : {true, false}) {
        QTest::mouseClick(autostart, Qt::LeftButton);
        EXPECT_TRUE(waitFor([&] { return autostart->isEnabled(); }));
        EXPECT_EQ(autostart->isChecked(), on);
        EXPECT_EQ(QFile::exists(QString::fromStdString(config_.file("autostart/somnel-idle.desktop"))), on);
    }

    choose(w.get(), "Halves");
    click(w.get(), "fullScreen");
    EXPECT_TRUE(waitFor([&] { return !readFile(dir.file("runs")).empty(); }));
    EXPECT_EQ(readFile(dir.file("runs")), "run " + testsupport::testSaver("Halves") + "\n");

    // A program that does not know the command, or none at all.
    for (const char *program : {"/bin/false", "/nonexistent/somnel"}) {
        auto other = open({program, 50});
        QLabel *line = other->findChild<QLabel *>("idleStatus");
        EXPECT_TRUE(waitFor([&] { return line->text() == "Idle watcher: not running"; })) << program;
        auto *autostart = other->findChild<QCheckBox *>("autostart");
        QTest::mouseClick(autostart, Qt::LeftButton);
        EXPECT_TRUE(waitFor([&] { return autostart->isEnabled() && !autostart->isChecked(); }))
            << "a command that failed leaves the box as the disk has it";
        QTest::keyClick(other.get(), Qt::Key_Q, Qt::ControlModifier);
        EXPECT_FALSE(other->isVisible());
    }
}

// The real idle watcher, started from the window, follows what the window
// stores without a restart. It stops with `somnel idle --disable` however
// the test ends.
TEST_F(Settings, TheIdleWatcherStartedFromTheWindowFollowsItsChanges) {
    struct Stop {
        ~Stop() { testsupport::somnel("idle --disable"); }
    } stop;
    store("\"saver\": {\"string\": \"Halves\"}, \"idleMinutes\": {\"integer\": 10}");
    auto w = open({testsupport::somnelProgram(), 100});
    QLabel *status = w->findChild<QLabel *>("idleStatus");
    auto says = [&](const char *saver, const char *minutes) {
        return waitFor([&] { return status->text().contains(saver) && status->text().contains(minutes); });
    };
    EXPECT_TRUE(waitFor([&] { return status->text() == "Idle watcher: not running"; })) << status->text().toStdString();
    click(w.get(), "startIdle");
    EXPECT_TRUE(says("Halves", "10 min")) << status->text().toStdString();

    QSpinBox *minutes = w->findChild<QSpinBox *>("idleMinutes");
    minutes->setFocus();
    minutes->selectAll();
    QTest::keyClicks(minutes, "25");
    QTest::keyClick(minutes, Qt::Key_Return);
    choose(w.get(), "Tester");
    EXPECT_TRUE(says("Tester", "25 min")) << status->text().toStdString();
}

// The real program: the window on the server, then a stop signal ends it
// cleanly, its saver freed.
TEST_F(Settings, SomnelSettingsEndsOnAStopSignalWithItsSaverFreed) {
    store("\"saver\": {\"string\": \"Halves\"}");
    QProcess somnel;
    somnel.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    somnel.start(QString::fromStdString(testsupport::somnelProgram()), {"settings"});
    ASSERT_TRUE(somnel.waitForStarted());
    const int pid = int(somnel.processId());
    EXPECT_TRUE(waitFor([&] {
        const unsigned long top = xs_window_of_pid(pid, 400, 300);
        int w = 0, h = 0;
        if (!top || !xs_size(top, &w, &h)) return false;
        QImage img(w, h, QImage::Format_RGB32);
        return xs_get_image(top, 0, 0, w, h, reinterpret_cast<unsigned *>(img.bits())) &&
               !testsupport::find(img, [](QRgb p) { return (p & 0xFFFFFF) == kRed; }).empty();
    })) << "the preview shows on the server";
    kill(pid, SIGTERM);
    EXPECT_TRUE(waitFor([&] { return somnel.state() == QProcess::NotRunning; }));
    EXPECT_EQ(somnel.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(somnel.exitCode(), 0);
    EXPECT_EQ(readFile(log()), "free Halves gl=0\n");
}

}  // namespace
