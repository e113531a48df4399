// The somnel program as a user runs it: commands, exit statuses, the
// pictures it writes, and what it says about bad input.
#include "tests/support/test_support.h"

#include <QDir>
#include <QFile>
#include <QImage>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

namespace {

using HostRun = testsupport::ProgramRun;
using testsupport::somnel;
using testsupport::testSaver;

// Before a run that a fault could make endless: the shared limit on waits.
const std::string kTimeout = "timeout " + std::to_string(testsupport::kEventTimeoutMs / 1000);

int lineCount(const std::string &s) {
    int n = 0;
    for (char c : s) n += c == '\n';
    return n;
}

TEST(Host, HelpDescribesEveryCommand) {
    HostRun r = somnel("--help");
    EXPECT_EQ(r.status, 0);
    for (const char *word : {"preview", "render", "list", "--frames", "--size", "--out", "--exact-filtering",
                             "--verbose", "QT_LOGGING_RULES", "idle [SAVER]", "--after", "--status", "--enable"})
        EXPECT_NE(r.out.find(word), std::string::npos) << word;
    // Every exit status, by number.
    for (const char *status : {"\n  0 ", "\n  1 ", "\n  2 ", "\n  3 ", "\n  69 ", "\n  70 ", "\n  75 "})
        EXPECT_NE(r.out.find(status, r.out.find("exit statuses:")), std::string::npos) << status;
    EXPECT_EQ(somnel("").status, 2);
    // An unknown command is named in one line, not answered with the usage.
    HostRun bad = somnel("dance Tester");
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.err.rfind("somnel: unknown command \"dance\"", 0), 0u) << bad.err;
    EXPECT_EQ(lineCount(bad.err), 1) << bad.err;
    HostRun version = somnel("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("somnel ", 0), 0u) << version.out;
    EXPECT_EQ(lineCount(version.out), 1) << version.out;
}

TEST(Host, RenderWritesThePictureTheSaverDrew) {
    testsupport::TempDir tmp;
    std::string png = tmp.file("tester.png");
    HostRun r = somnel("render Tester --frames 3 --size 96x64 --out '" + png + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, png + "\n");
    QImage img(QString::fromStdString(png));
    ASSERT_EQ(img.size(), QSize(96, 64));
    // The Tester fills its window with one saturated colour.
    QRgb c = img.pixel(48, 32);
    EXPECT_EQ(img.pixel(0, 0), c);
    EXPECT_EQ(img.pixel(95, 63), c);
    EXPECT_NE(c & 0xFFFFFF, 0u);
}

TEST(Host, BadInputGivesOneClearLineAndANonZeroStatus) {
    HostRun unknown = somnel("render NoSuchSaver --out /tmp/never.png");
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(lineCount(unknown.err), 1) << unknown.err;
    EXPECT_EQ(unknown.err.rfind("somnel: no saver named \"NoSuchSaver\"", 0), 0u) << unknown.err;

    for (const char *args : {"render Tester --size 0x5 --out x.png", "render Tester --frames -1 --out x.png",
                             "render Tester --frames", "render Tester --bogus", "render"}) {
        HostRun r = somnel(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(lineCount(r.err), 1) << args << ": " << r.err;
    }
    // A picture is PNG data: a name promising another format is refused
    // before anything is drawn.
    testsupport::TempDir tmp;
    HostRun jpeg = somnel("render Tester --frames 1 --out '" + tmp.file("x.jpg") + "'");
    EXPECT_EQ(jpeg.status, 2);
    EXPECT_EQ(lineCount(jpeg.err), 1) << jpeg.err;
    EXPECT_FALSE(QFile::exists(QString::fromStdString(tmp.file("x.jpg"))));
    // A display that cannot be reached is one line naming it, not the
    // toolkit's abort.
    HostRun unreachable = somnel("run Tester", "env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:65000");
    EXPECT_EQ(unreachable.status, 1) << unreachable.err;
    EXPECT_EQ(unreachable.err.rfind("somnel: cannot open a display: cannot reach the X display \":65000\"", 0), 0u)
        << unreachable.err;
    EXPECT_EQ(lineCount(unreachable.err), 1) << unreachable.err;
    HostRun noOut = somnel("render Tester");
    EXPECT_NE(noOut.status, 0);
    EXPECT_NE(noOut.err.find("--out"), std::string::npos);
}

TEST(Host, ABundleWithoutItsTableIsRefused) {
    // A copy of the Tester's library under another name: the view looks for
    // "copied_somnel_function_table" and does not find it.
    testsupport::TempDir tmp;
    QDir().mkpath(QString::fromStdString(tmp.file("Copied.saver/Resources")));
    std::string tester = testSaver("Tester");
    ASSERT_TRUE(QFile::copy(QString::fromStdString(tester + "/Tester.so"),
                            QString::fromStdString(tmp.file("Copied.saver/Tester.so"))));
    ASSERT_TRUE(QFile::copy(QString::fromStdString(tester + "/manifest.json"),
                            QString::fromStdString(tmp.file("Copied.saver/manifest.json"))));
    HostRun r = somnel("render '" + tmp.file("Copied.saver") + "' --out '" + tmp.file("x.png") + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no symbol \"copied_somnel_function_table\""), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("somnel: Copied: the saver could not be created: its library exports no function table "
                         "\"copied_somnel_function_table\""),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(QFile::exists(QString::fromStdString(tmp.file("x.png"))));

    HostRun notABundle = somnel("render '" + tmp.path() + "' --out '" + tmp.file("y.png") + "'");
    EXPECT_EQ(notABundle.status, 1);
    EXPECT_EQ(lineCount(notABundle.err), 1) << notABundle.err;
}

TEST(Host, AMalformedDefaultsLineIsReportedNotACrash) {
    testsupport::TempDir tmp;
    HostRun r = somnel("render '" + testSaver("Broken") + "' --out '" + tmp.file("b.png") + "'");
    EXPECT_EQ(r.status, 70) << r.err;
    EXPECT_NE(r.err.find("somnel: abort in -[PrefsReader defaultsToDict:]:"), std::string::npos) << r.err;
}

TEST(Host, ACorruptPreferencesFileIsKeptAsideAndTheDefaultsUsed) {
    testsupport::TempDir tmp;
    std::string config = tmp.file("config");
    QDir().mkpath(QString::fromStdString(config + "/somnel"));
    std::string prefs = config + "/somnel/org.somnel.savers.Tester.json";
    {
        QFile f(QString::fromStdString(prefs));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("{ this is not json");
    }
    HostRun r = somnel("render Tester --frames 2 --size 32x32 --out '" + tmp.file("t.png") + "'",
                   "XDG_CONFIG_HOME='" + config + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("somnel: "), std::string::npos) << "the damage is reported";
    QStringList aside = QDir(QString::fromStdString(config + "/somnel")).entryList({"*.corrupt-*"});
    ASSERT_EQ(aside.size(), 1);
    QFile kept(QString::fromStdString(config + "/somnel/") + aside.first());
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("{ this is not json"));
}

TEST(Host, TheSameSeedDrawsTheSamePicture) {
    testsupport::TempDir tmp;
    auto render = [&](const char *seed, const char *name) {
        std::string png = tmp.file(name);
        HostRun r = somnel(std::string("render Drizzle --frames 20 --size 96x64 --seed ") + seed + " --out '" +
                           png + "'");
        EXPECT_EQ(r.status, 0) << r.err;
        return QImage(QString::fromStdString(png));
    };
    QImage a = render("7", "a.png"), b = render("7", "b.png"), c = render("8", "c.png");
    ASSERT_FALSE(a.isNull());
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    EXPECT_EQ(somnel("render Drizzle --seed 0 --out x.png").status, 2);
}

// The picture is written through a file whose every write is checked: a
// full disk is an error, not a path printed over a missing picture.
TEST(Host, AFailedPictureWriteIsAnError) {
    HostRun full = somnel("render Tester --frames 2 --size 64x64 --out /dev/full");
    EXPECT_EQ(full.status, 1) << full.err;
    EXPECT_EQ(full.out, "");
    EXPECT_EQ(lineCount(full.err), 1) << full.err;
    EXPECT_EQ(full.err.rfind("somnel: could not write \"/dev/full\"", 0), 0u) << full.err;
    struct stat st;
    ASSERT_EQ(stat("/dev/full", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode)) << "the device itself is never replaced";

    testsupport::TempDir tmp;
    HostRun folder = somnel("render Tester --frames 1 --size 8x8 --out '" + tmp.path() + "'");
    EXPECT_EQ(folder.status, 1);
    EXPECT_EQ(lineCount(folder.err), 1) << folder.err;
    HostRun noFolder = somnel("render Tester --frames 1 --size 8x8 --out '" + tmp.file("none/x.png") + "'");
    EXPECT_EQ(noFolder.status, 1);
    EXPECT_EQ(noFolder.out, "");
}

// A bundle's manifest.json that is a FIFO, a link to a device without end,
// or far too large: one line and status 1, promptly (a FIFO once hung the
// open for good; /dev/zero ended in an uncaught allocation failure).
TEST(Host, AManifestThatIsNoSmallRegularFileIsRefused) {
    const std::string tester = testSaver("Tester");
    struct Case {
        const char *name;
        std::function<void(const std::string &manifest)> make;
        const char *expected;
    };
    const std::vector<Case> cases = {
        {"Fifo", [](const std::string &m) { ASSERT_EQ(mkfifo(m.c_str(), 0600), 0); }, "not a regular file"},
        {"Zero", [](const std::string &m) { ASSERT_EQ(symlink("/dev/zero", m.c_str()), 0); }, "not a regular file"},
        {"Huge",
         [](const std::string &m) {
             QFile f(QString::fromStdString(m));
             ASSERT_TRUE(f.open(QIODevice::WriteOnly));
             f.write("{\"principalClass\": \"SomnelTesterView\", \"library\": \"Tester.so\", \"pad\": \"");
             f.write(QByteArray(1 << 20, 'x'));
             f.write("\"}");
         },
         "invalid manifest"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::TempDir tmp;
        const std::string bundle = tmp.file(std::string(c.name) + ".saver");
        QDir().mkpath(QString::fromStdString(bundle + "/Resources"));
        ASSERT_TRUE(QFile::copy(QString::fromStdString(tester + "/Tester.so"),
                                QString::fromStdString(bundle + "/Tester.so")));
        c.make(bundle + "/manifest.json");
        // timeout: a regression must fail here, not hang the suite.
        HostRun r = somnel("render '" + bundle + "' --frames 1 --out '" + tmp.file("x.png") + "'", kTimeout);
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_EQ(lineCount(r.err), 1) << r.err;
        EXPECT_NE(r.err.find(c.expected), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("manifest.json"), std::string::npos) << r.err;
    }
}

// Preferences linked to a device without end: reported, the defaults used,
// the picture drawn (this once ended with status 70).
TEST(Host, PreferencesThatCannotBeReadLeaveTheDefaults) {
    testsupport::TempDir tmp;
    std::string config = tmp.file("config");
    QDir().mkpath(QString::fromStdString(config + "/somnel"));
    std::string prefs = config + "/somnel/org.somnel.savers.Tester.json";
    ASSERT_EQ(symlink("/dev/zero", prefs.c_str()), 0);
    HostRun r = somnel("render Tester --frames 2 --size 32x32 --out '" + tmp.file("t.png") + "'",
                       kTimeout + " env XDG_CONFIG_HOME='" + config + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("somnel: cannot read preferences " + prefs), std::string::npos) << r.err;
    struct stat st;
    ASSERT_EQ(lstat(prefs.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "left in place";
    EXPECT_TRUE(QFile::exists(QString::fromStdString(tmp.file("t.png"))));
}

// Information (the display, the bundle, the context, the preferences, what
// the saver says) only when asked for: --verbose anywhere on the line, or a
// logging rule for one area. The suite's renderer rasterises on the
// processor, so Drizzle has something to say.
TEST(Host, InformationLinesOnlyWhenAskedFor) {
    testsupport::TempDir tmp;
    const std::string render = "render Drizzle --frames 1 --size 32x24 --out '" + tmp.file("d.png") + "'";
    HostRun quiet = somnel(render);
    EXPECT_EQ(quiet.status, 0) << quiet.err;
    EXPECT_EQ(quiet.err, "");
    for (const std::string &args : {"--verbose " + render, render + " --verbose"}) {
        HostRun verbose = somnel(args);
        EXPECT_EQ(verbose.status, 0) << verbose.err;
        for (const char *line : {"\nsomnel.host: ", "\nsomnel.view: ", "\nsomnel.prefs: ",
                                 "\nsomnel.gl: off screen: OpenGL", "\nsomnel.saver: Drizzle: "})
            EXPECT_NE(("\n" + verbose.err).find(line), std::string::npos) << args << ": " << verbose.err;
    }
    HostRun gl = somnel(render, "QT_LOGGING_RULES='somnel.gl.info=true'");
    EXPECT_EQ(gl.status, 0) << gl.err;
    EXPECT_EQ(gl.err.rfind("somnel.gl: ", 0), 0u) << gl.err;
    EXPECT_EQ(lineCount(gl.err), 1) << gl.err;
    // Threaded dispatch is asked for, and said to be.
    EXPECT_NE(gl.err.find("threaded dispatch requested"), std::string::npos) << gl.err;
}

// --exact-filtering reaches the saver: Drizzle keeps its exact settings
// and has nothing to say about adapting them.
TEST(Host, TheExactFilteringHintReachesTheSaver) {
    testsupport::TempDir tmp;
    const std::string render = "--verbose render Drizzle --frames 1 --size 32x24 --out '" + tmp.file("d.png") + "'";
    const std::string adapting = "rasterises on the processor";
    HostRun adapted = somnel(render);
    EXPECT_NE(adapted.err.find(adapting), std::string::npos) << adapted.err;
    HostRun exact = somnel(render + " --exact-filtering");
    EXPECT_EQ(exact.status, 0) << exact.err;
    EXPECT_EQ(exact.err.find(adapting), std::string::npos) << exact.err;
}

// Whatever display the environment names, a command that shows windows
// opens it or says in one line why it cannot, with status 1 (the
// toolkit's abort, status 134, once ended a run with no Wayland plug-in
// or compositor); a command without windows draws off screen instead.
TEST(Host, ADisplayThatCannotBeOpenedIsOneLine) {
    testsupport::TempDir runtime;  // no compositor listens in it
    const struct {
        const char *env;
        std::vector<const char *> says;
    } cases[] = {
        {"-u DISPLAY -u WAYLAND_DISPLAY", {"no display to show a window on", "neither DISPLAY nor WAYLAND_DISPLAY"}},
        {"-u DISPLAY WAYLAND_DISPLAY=wayland-7", {"cannot open a display: cannot reach the Wayland display \"",
                                                  "/wayland-7\" (no compositor there); DISPLAY is not set"}},
        {"-u WAYLAND_DISPLAY DISPLAY=:9999", {"cannot open a display: cannot reach the X display \":9999\""}},
        {"WAYLAND_DISPLAY=wayland-7 DISPLAY=:9999", {"(no compositor there); cannot reach the X display"}},
        {"QT_QPA_PLATFORM=nowhere", {"cannot open a display: Qt has no display plug-in \"nowhere\""}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.env);
        const std::string prefix = kTimeout + " env " + c.env + " XDG_RUNTIME_DIR='" + runtime.path() + "'";
        HostRun r = somnel("run Tester", prefix);
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_EQ(lineCount(r.err), 1) << r.err;
        EXPECT_EQ(r.err.rfind("somnel: ", 0), 0u) << r.err;
        for (const char *words : c.says) EXPECT_NE(r.err.find(words), std::string::npos) << r.err;
        HostRun render = somnel("render Tester --frames 1 --size 8x8 --out '" + runtime.file("t.png") + "'", prefix);
        EXPECT_EQ(render.status, 0) << render.err;
    }
}

TEST(Host, ListNamesTheBuiltBundles) {
    HostRun r = somnel("list");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Tester\t"), std::string::npos) << r.out;
}

// A copy of the Tester bundle in folder, under the name given, with the
// given manifest (the Tester's own when empty).
std::string testerCopy(const std::string &folder, const std::string &name, const std::string &manifest = "") {
    const std::string copy = folder + "/" + name + ".saver";
    EXPECT_EQ(system(("cp -r '" + testSaver("Tester") + "' '" + copy + "'").c_str()), 0);
    if (!manifest.empty()) {
        QFile f(QString::fromStdString(copy + "/manifest.json"));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(manifest.data(), qint64(manifest.size()));
    }
    return copy;
}

// On a full disk the picture already there stays whole (it once became a
// few hundred bytes while the render printed its path and exited 0); a
// link at --out is not followed, so the file it names is never replaced.
TEST(Host, APictureNeverReplacesWhatItCannotWriteOrALinkNames) {
    testsupport::SmallFileSystem fs(64);
    if (fs.mounted()) {
        const std::string old = fs.file("old.png");
        QFile f(QString::fromStdString(old));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(20000, 'p'));
        f.close();
        fs.fill(1);
        HostRun r = somnel("render Drizzle --frames 2 --size 64x64 --out '" + old + "'");
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "somnel: could not write \"" + old + "\": No space left on device\n");
        EXPECT_EQ(testsupport::readFile(old), std::string(20000, 'p'));
    } else {
        std::cout << "[ SKIPPED  ] the full disk: " << fs.whyNot() << "\n";
    }

    testsupport::TempDir tmp;
    const std::string target = tmp.file("precious.txt"), link = tmp.file("link.png");
    QFile t(QString::fromStdString(target));
    ASSERT_TRUE(t.open(QIODevice::WriteOnly));
    t.write("mine");
    t.close();
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    HostRun r = somnel("render Tester --frames 1 --size 8x8 --out '" + link + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "somnel: could not write \"" + link + "\": it is a symbolic link (not followed)\n");
    EXPECT_EQ(testsupport::readFile(target), "mine");
}

// Values past what the command line takes are refused with the range.
TEST(Host, OutOfRangeValuesAreRefusedWithTheirRange) {
    const struct {
        const char *args, *says;
    } cases[] = {
        {"render Tester --frames 1000000000000 --out x.png", "bad frame count \"1000000000000\" (expected 1 to 1000000)"},
        {"render Tester --seed 1000001 --out x.png", "bad seed \"1000001\" (expected 1 to 1000000)"},
        {"run --screen 1001 Tester", "bad screen number \"1001\" (expected 0 to 1000)"},
        // Once read as 1x1: the width overflowed an int.
        {"render Tester --size 4294967297x1 --out x.png",
         "bad size \"4294967297x1\" (expected WIDTHxHEIGHT, each side 1 to 16384)"},
        {"render Tester --size 16385x2 --out x.png", "bad size \"16385x2\" (expected WIDTHxHEIGHT, each side 1 to 16384)"},
    };
    for (const auto &c : cases) {
        HostRun r = somnel(c.args);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_EQ(r.err, std::string("somnel: ") + c.says + "\n");
    }
}

// A bare name is looked up on the search path only, never in the folder
// the program starts in, and a relative XDG_DATA_HOME is no folder to
// search; a path ("./Stray.saver") is taken as one.
TEST(Host, BundlesComeFromWhereTheUserLooks) {
    testsupport::TempDir tmp;
    testerCopy(tmp.path(), "Tester");
    QDir().mkpath(QString::fromStdString(tmp.file("data/somnel/savers")));
    testerCopy(tmp.file("data/somnel/savers"), "Tester");
    const std::string here = "cd '" + tmp.path() + "' && env -u SOMNEL_SAVER_PATH XDG_DATA_HOME=data";
    for (const char *name : {"Tester.saver", "Tester"}) {
        HostRun r = somnel(std::string("render ") + name + " --frames 1 --size 8x8 --out x.png", here);
        EXPECT_EQ(r.status, 1) << name;
        EXPECT_EQ(r.err.rfind(std::string("somnel: no saver named \"") + name + "\"", 0), 0u) << r.err;
    }
    EXPECT_EQ(somnel("render ./Tester.saver --frames 1 --size 8x8 --out x.png", here).status, 0);
}

// The manifest's class name becomes a symbol: anything but letters,
// digits and underscores is refused before use (a NUL once cut the name
// so that the host called the function table as code), and what is
// printed of it is escaped (escape sequences once reached the terminal).
TEST(Host, AManifestClassNameIsCheckedAndPrintedEscaped) {
    testsupport::TempDir tmp;
    const std::string lib = R"(, "library": "Tester.so"})";
    for (const std::string &cls : {std::string(R"(SomnelTesterView\u0000Ignored)"),
                                   std::string(R"(Somnel\u001b]0;owned\u0007\u001b[2JView)"), std::string("9Lives")}) {
        SCOPED_TRACE(cls);
        const std::string bundle = testerCopy(tmp.path(), "Named" + std::to_string(cls.size()),
                                              R"({"principalClass": ")" + cls + "\"" + lib);
        HostRun r = somnel("render '" + bundle + "' --frames 1 --out '" + tmp.file("x.png") + "'");
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_EQ(lineCount(r.err), 1) << r.err;
        EXPECT_NE(r.err.find("is not a name of letters, digits and underscores"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find_first_of(std::string("\x1b\x07\0", 3)), std::string::npos) << r.err;
    }
}

// A saver that ends the program in the middle of a render does not make
// it a success without a picture.
TEST(Host, ASaverEndingTheProgramMidRenderIsAFailure) {
    testsupport::TempDir tmp;
    QDir().mkpath(QString::fromStdString(tmp.file("somnel")));
    QFile prefs(QString::fromStdString(tmp.file("somnel/org.somnel.savers.Unruly.json")));
    ASSERT_TRUE(prefs.open(QIODevice::WriteOnly));
    prefs.write(R"({"version": 1, "values": {"mode": {"string": "exit"}}})");
    prefs.close();
    HostRun r = somnel("render Unruly --frames 3 --size 16x16 --out '" + tmp.file("u.png") + "'",
                       "XDG_CONFIG_HOME='" + tmp.path() + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "somnel: the saver ended the program before the picture was written; no picture written\n");
    EXPECT_EQ(r.out, "");
}

}  // namespace
