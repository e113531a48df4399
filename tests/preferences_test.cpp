// The per-domain preference store on disk.
#include "tests/support/test_support.h"

#include "platform/value.h"
#include "platform/preferences.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <vector>
#include <cstdlib>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using platform::ScreenSaverDefaults;
using platform::Value;

// Each test gets its own configuration folder.
class DefaultsStore : public ::testing::Test {
protected:
    void SetUp() override {
        const char *old = getenv("XDG_CONFIG_HOME");
        hadOld_ = old != nullptr;
        if (old) old_ = old;
        setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
    }
    void TearDown() override {
        if (hadOld_) setenv("XDG_CONFIG_HOME", old_.c_str(), 1);
        else unsetenv("XDG_CONFIG_HOME");
    }
    std::string folder() const { return dir_.path() + "/somnel"; }
    static QByteArray readFile(const std::string &path) {
        QFile f(QString::fromStdString(path));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static void writeFile(const std::string &path, const QByteArray &data) {
        QDir().mkpath(QFileInfo(QString::fromStdString(path)).absolutePath());
        QFile f(QString::fromStdString(path));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data);
    }
    QStringList asideFiles() const {
        return QDir(QString::fromStdString(folder())).entryList({"*.corrupt-*"}, QDir::Files, QDir::Name);
    }

    testsupport::TempDir dir_;
    std::string old_;
    bool hadOld_ = false;
};

TEST_F(DefaultsStore, TypedValuesRoundTripThroughTheFile) {
    {
        ScreenSaverDefaults d("org.test.Drizzle");
        EXPECT_EQ(d.filePath(), folder() + "/org.test.Drizzle.json");
        d.registerDefaults({{"delay", Value(10000LL)}, {"count", Value(30LL)}});
        d.setObject("delay", Value(20000LL));
        d.setObject("ratio", Value(2.0));  // a double that prints like an integer
        d.setObject("showFPS", Value(true));
        d.setObject("name", Value(std::string("Ünïcode 'quoted' \"text\"")));
        d.setObject("big", Value(9007199254740993LL));
        d.setObject("inf", Value(HUGE_VAL));
        d.setObject("gone", Value(1LL));
        d.removeObjectForKey("gone");
        ASSERT_TRUE(d.synchronize());
    }
    ScreenSaverDefaults d("org.test.Drizzle");
    EXPECT_EQ(d.storedObjectForKey("delay"), Value(20000LL));
    EXPECT_EQ(d.storedObjectForKey("ratio"), Value(2.0));
    EXPECT_EQ(d.storedObjectForKey("showFPS"), Value(true));
    EXPECT_EQ(d.storedObjectForKey("name"), Value(std::string("Ünïcode 'quoted' \"text\"")));
    EXPECT_EQ(d.storedObjectForKey("big"), Value(9007199254740993LL));
    EXPECT_EQ(d.storedObjectForKey("inf"), Value(HUGE_VAL));
    EXPECT_TRUE(platform::isNil(d.storedObjectForKey("gone")));
    // Fallbacks live in memory only.
    EXPECT_TRUE(platform::isNil(d.storedObjectForKey("count")));
    EXPECT_FALSE(readFile(d.filePath()).contains("count"));
    EXPECT_TRUE(readFile(d.filePath()).contains("\"integer\": 20000"));

    // Lookup order: stored, then fallback, then nil.
    d.registerDefaults({{"delay", Value(1LL)}, {"count", Value(30LL)}});
    EXPECT_EQ(d.objectForKey("delay"), Value(20000LL));
    EXPECT_EQ(d.objectForKey("count"), Value(30LL));
    EXPECT_TRUE(platform::isNil(d.objectForKey("nothing")));

    // Removing a stored key uncovers the fallback, also after a reload.
    d.removeObjectForKey("delay");
    d.setObject("showFPS", Value());  // nil removes too
    ASSERT_TRUE(d.synchronize());
    ScreenSaverDefaults again("org.test.Drizzle");
    EXPECT_TRUE(platform::isNil(again.storedObjectForKey("delay")));
    EXPECT_TRUE(platform::isNil(again.storedObjectForKey("showFPS")));
    EXPECT_EQ(again.storedObjectForKey("ratio"), Value(2.0));
}

TEST_F(DefaultsStore, ReloadDropsUnsavedChangesAndDomainsAreShared) {
    ScreenSaverDefaults d("org.test.Reload");
    d.setObject("a", Value(1LL));
    ASSERT_TRUE(d.synchronize());
    d.setObject("a", Value(2LL));
    d.setObject("b", Value(2LL));
    d.reload();
    EXPECT_EQ(d.storedObjectForKey("a"), Value(1LL));
    EXPECT_TRUE(platform::isNil(d.storedObjectForKey("b")));

    auto one = ScreenSaverDefaults::defaultsForModuleWithName("org.test.Shared");
    auto two = ScreenSaverDefaults::defaultsForModuleWithName("org.test.Shared");
    auto other = ScreenSaverDefaults::defaultsForModuleWithName("org.test.Other");
    EXPECT_EQ(one.get(), two.get());
    EXPECT_NE(one.get(), other.get());
    EXPECT_EQ(one->domain(), "org.test.Shared");
    // Forgotten: the next call makes a fresh object, without the old one's fallbacks.
    one->registerDefaults({{"k", Value(1LL)}});
    ScreenSaverDefaults::forgetDomains();
    auto fresh = ScreenSaverDefaults::defaultsForModuleWithName("org.test.Shared");
    EXPECT_NE(fresh.get(), one.get());
    EXPECT_TRUE(platform::isNil(fresh->objectForKey("k")));
    EXPECT_EQ(ScreenSaverDefaults::defaultsForModuleWithName("org.test.Shared").get(), fresh.get());

    // A domain name never leads out of the folder.
    ScreenSaverDefaults odd("../x/y");
    EXPECT_EQ(odd.filePath().rfind(folder() + "/", 0), 0u);
    EXPECT_EQ(odd.filePath().find('/', folder().size() + 1), std::string::npos);
}

TEST_F(DefaultsStore, TwoWritersKeepEachOthersKeys) {
    ScreenSaverDefaults a("org.test.Shared2"), b("org.test.Shared2");
    a.setObject("fromA", Value(1LL));
    b.setObject("fromB", Value(std::string("two")));
    b.setObject("both", Value(2LL));
    ASSERT_TRUE(a.synchronize());
    ASSERT_TRUE(b.synchronize());
    // b's synchronize picked up a's key; a sees b's after its next one.
    EXPECT_EQ(b.storedObjectForKey("fromA"), Value(1LL));
    a.removeObjectForKey("nothing");
    ASSERT_TRUE(a.synchronize());
    EXPECT_EQ(a.storedObjectForKey("fromB"), Value(std::string("two")));
    // The later writer of a key wins; removal by one reaches the other.
    a.setObject("both", Value(3LL));
    ASSERT_TRUE(a.synchronize());
    b.removeObjectForKey("fromA");
    ASSERT_TRUE(b.synchronize());
    EXPECT_EQ(b.storedObjectForKey("both"), Value(3LL));
    ScreenSaverDefaults c("org.test.Shared2");
    EXPECT_TRUE(platform::isNil(c.storedObjectForKey("fromA")));
    EXPECT_EQ(c.storedObjectForKey("both"), Value(3LL));
}

TEST_F(DefaultsStore, ConcurrentProcessesLoseNoKeys) {
    constexpr int kProcesses = 4, kKeys = 25;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; p++) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ScreenSaverDefaults d("org.test.Race");
            bool ok = true;
            for (int k = 0; k < kKeys; k++) {
                d.setObject("p" + std::to_string(p) + "k" + std::to_string(k), Value((long long)k));
                ok = d.synchronize() && ok;
            }
            _exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    ScreenSaverDefaults d("org.test.Race");
    for (int p = 0; p < kProcesses; p++)
        for (int k = 0; k < kKeys; k++)
            EXPECT_EQ(d.storedObjectForKey("p" + std::to_string(p) + "k" + std::to_string(k)),
                      Value((long long)k));
    EXPECT_TRUE(asideFiles().isEmpty());
}

TEST_F(DefaultsStore, CorruptFileIsReportedAndKeptAside) {
    const std::string path = folder() + "/org.test.Bad.json";
    const QByteArray garbage = "{\"version\":1,\"values\":{\"delay\":{\"integer\":5";
    writeFile(path, garbage);
    std::string err;
    std::unique_ptr<ScreenSaverDefaults> d;
    err = testsupport::captureStderr([&] { d = std::make_unique<ScreenSaverDefaults>("org.test.Bad"); });
    d->registerDefaults({{"delay", Value(10000LL)}});
    EXPECT_EQ(d->objectForKey("delay"), Value(10000LL));
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find(path), std::string::npos) << err;
    EXPECT_NE(err.find("kept as"), std::string::npos) << err;
    QStringList aside = asideFiles();
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(readFile(folder() + "/" + aside[0].toStdString()), garbage);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path)));

    // Saving works again, and a second damaged file never replaces the first.
    d->setObject("delay", Value(7LL));
    ASSERT_TRUE(d->synchronize());
    EXPECT_EQ(ScreenSaverDefaults("org.test.Bad").storedObjectForKey("delay"), Value(7LL));
    writeFile(path, "[1, 2, 3]");  // valid JSON, wrong shape
    err = testsupport::captureStderr([&] { d->reload(); });
    EXPECT_NE(err.find("kept as"), std::string::npos) << err;
    aside = asideFiles();
    ASSERT_EQ(aside.size(), 2);
    EXPECT_EQ(readFile(folder() + "/" + aside[0].toStdString()), garbage);
    EXPECT_EQ(readFile(folder() + "/" + aside[1].toStdString()), QByteArray("[1, 2, 3]"));
    EXPECT_TRUE(platform::isNil(d->storedObjectForKey("delay")));

    // Damage found while saving: set aside too, and the edit still lands.
    writeFile(path, "\x01\x02 not json");
    d->setObject("count", Value(3LL));
    err = testsupport::captureStderr([&] { EXPECT_TRUE(d->synchronize()); });
    EXPECT_NE(err.find("kept as"), std::string::npos) << err;
    EXPECT_EQ(asideFiles().size(), 3);
    EXPECT_EQ(ScreenSaverDefaults("org.test.Bad").storedObjectForKey("count"), Value(3LL));
}

TEST_F(DefaultsStore, EntriesOfUnknownFormSurviveAWrite) {
    const std::string path = folder() + "/org.test.Future.json";
    writeFile(path, R"({"version":2,"values":{"colour":{"rgba":[1,0,0,1]},"delay":{"integer":5}}})");
    ScreenSaverDefaults d("org.test.Future");
    EXPECT_TRUE(platform::isNil(d.storedObjectForKey("colour")));
    EXPECT_EQ(d.storedObjectForKey("delay"), Value(5LL));
    d.setObject("delay", Value(6LL));
    ASSERT_TRUE(d.synchronize());
    QJsonObject values = QJsonDocument::fromJson(readFile(path)).object().value("values").toObject();
    EXPECT_TRUE(values.value("colour").toObject().contains("rgba"));
    EXPECT_EQ(values.value("delay").toObject().value("integer").toInteger(), 6);
    EXPECT_TRUE(asideFiles().isEmpty());
}

TEST_F(DefaultsStore, FailedSaveIsReportedAndKeepsTheEdit) {
    writeFile(folder(), "a file where the folder should be");
    ScreenSaverDefaults d("org.test.Blocked");
    d.setObject("a", Value(1LL));
    std::string err = testsupport::captureStderr([&] { EXPECT_FALSE(d.synchronize()); });
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("cannot save preferences"), std::string::npos) << err;
    EXPECT_EQ(d.storedObjectForKey("a"), Value(1LL));  // kept for a later try
    QFile::remove(QString::fromStdString(folder()));
    EXPECT_TRUE(d.synchronize());
    EXPECT_EQ(ScreenSaverDefaults("org.test.Blocked").storedObjectForKey("a"), Value(1LL));
}

// A file that could not be read may hold everything the user stored: it is
// reported, the defaults are used for this run, and it stays where it is,
// never set aside and never written over. Only a file that was read and
// found damaged (or too large to be preferences) is moved aside.
TEST_F(DefaultsStore, AFileThatCannotBeReadIsLeftInPlace) {
    QDir().mkpath(QString::fromStdString(folder()));
    const QByteArray intact = R"({"version":1,"values":{"delay":{"integer":5}}})";
    struct Case {
        const char *what;
        std::function<void(const std::string &path)> make;
        bool onlyWithoutPrivileges;
    };
    const std::vector<Case> cases = {
        {"a FIFO (an open must not wait for a writer)",
         [](const std::string &p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); }, false},
        {"a link to a device without end",
         [](const std::string &p) { ASSERT_EQ(symlink("/dev/zero", p.c_str()), 0); }, false},
        {"a dangling link",
         [&](const std::string &p) { ASSERT_EQ(symlink((p + ".gone").c_str(), p.c_str()), 0); }, false},
        {"a link loop",
         [](const std::string &p) { ASSERT_EQ(symlink(p.c_str(), p.c_str()), 0); }, false},
        {"a folder", [](const std::string &p) { ASSERT_EQ(mkdir(p.c_str(), 0700), 0); }, false},
        // Root reads any file, so the permission slip only shows for a user.
        {"the user's intact file after a permissions slip",
         [&](const std::string &p) {
             writeFile(p, intact);
             ASSERT_EQ(chmod(p.c_str(), 0), 0);
         },
         true},
    };
    int n = 0;
    for (const Case &c : cases) {
        if (c.onlyWithoutPrivileges && geteuid() == 0) continue;
        SCOPED_TRACE(c.what);
        const std::string domain = "org.test.Unreadable" + std::to_string(n++);
        const std::string path = folder() + "/" + domain + ".json";
        c.make(path);
        struct stat before;
        ASSERT_EQ(lstat(path.c_str(), &before), 0);

        std::unique_ptr<ScreenSaverDefaults> d;
        std::string err = testsupport::captureStderr([&] { d = std::make_unique<ScreenSaverDefaults>(domain); });
        d->registerDefaults({{"delay", Value(10000LL)}});
        EXPECT_EQ(d->objectForKey("delay"), Value(10000LL));
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_NE(err.find("cannot read preferences " + path), std::string::npos) << err;
        EXPECT_NE(err.find("left in place"), std::string::npos) << err;

        // A save must not replace what could not be read.
        d->setObject("delay", Value(7LL));
        err = testsupport::captureStderr([&] { EXPECT_FALSE(d->synchronize()); });
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_NE(err.find("cannot save preferences " + path), std::string::npos) << err;

        struct stat after;
        ASSERT_EQ(lstat(path.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_mode, before.st_mode);
        EXPECT_TRUE(asideFiles().isEmpty()) << asideFiles().join(", ").toStdString();
        if (c.onlyWithoutPrivileges) {
            chmod(path.c_str(), 0600);
            EXPECT_EQ(readFile(path), intact);
        }
    }
}

TEST_F(DefaultsStore, AFileTooLargeToBePreferencesIsTreatedAsDamaged) {
    const std::string path = folder() + "/org.test.Huge.json";
    // Valid JSON that would parse: only its size is wrong.
    QByteArray huge = R"({"version":1,"values":{"delay":{"integer":5}}, "pad":")";
    huge += QByteArray(9 * 1024 * 1024, 'x');
    huge += "\"}";
    writeFile(path, huge);
    std::unique_ptr<ScreenSaverDefaults> d;
    std::string err = testsupport::captureStderr([&] { d = std::make_unique<ScreenSaverDefaults>("org.test.Huge"); });
    EXPECT_TRUE(platform::isNil(d->storedObjectForKey("delay")));
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("larger than"), std::string::npos) << err;
    EXPECT_NE(err.find("kept as"), std::string::npos) << err;
    ASSERT_EQ(asideFiles().size(), 1);
    EXPECT_EQ(QFileInfo(QString::fromStdString(folder()) + "/" + asideFiles()[0]).size(), huge.size());
    // Saving works again afterwards.
    d->setObject("delay", Value(6LL));
    EXPECT_TRUE(d->synchronize());
    EXPECT_EQ(ScreenSaverDefaults("org.test.Huge").storedObjectForKey("delay"), Value(6LL));
}

// A save that cannot be written says why in one line and keeps the file
// as it was: on a full disk (the file once became 0 bytes, and an empty
// file reads as "holds nothing") and in a read-only folder (both were once
// "locked by another program").
TEST_F(DefaultsStore, ASaveThatCannotBeWrittenKeepsTheFileAndSaysWhy) {
    const QByteArray intact = R"({"version":1,"values":{"delay":{"integer":5}}})";
    for (bool readOnly : {false, true}) {
        SCOPED_TRACE(readOnly ? "read-only" : "full");
        testsupport::SmallFileSystem fs(64);
        if (!fs.mounted()) GTEST_SKIP() << fs.whyNot();
        setenv("XDG_CONFIG_HOME", fs.path().c_str(), 1);
        const std::string path = fs.file("somnel/org.test.Cramped.json");
        writeFile(path, intact);
        if (readOnly)
            ASSERT_EQ(mount(nullptr, fs.path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, "size=64k"), 0);
        else
            fs.fill(1024);
        ScreenSaverDefaults d("org.test.Cramped");
        d.setObject("name", Value(std::string(20000, 'x')));
        std::string err = testsupport::captureStderr([&] { EXPECT_FALSE(d.synchronize()); });
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_NE(err.find("cannot save preferences " + path + ": "), std::string::npos) << err;
        EXPECT_NE(err.find(readOnly ? "Read-only file system" : "No space left on device"), std::string::npos) << err;
        EXPECT_EQ(err.find("locked"), std::string::npos) << err;
        EXPECT_EQ(readFile(path), intact);
    }
}

// The file a user keeps elsewhere and links in (a dotfile) is written
// through the link, which stays.
TEST_F(DefaultsStore, ALinkedFileIsWrittenThroughItsLink) {
    const std::string elsewhere = dir_.file("dotfiles/somnel.json"), path = folder() + "/org.test.Linked.json";
    writeFile(elsewhere, R"({"version":1,"values":{"delay":{"integer":5}}})");
    QDir().mkpath(QString::fromStdString(folder()));
    ASSERT_EQ(symlink(elsewhere.c_str(), path.c_str()), 0);
    ScreenSaverDefaults d("org.test.Linked");
    EXPECT_EQ(d.storedObjectForKey("delay"), Value(5LL));
    d.setObject("delay", Value(6LL));
    ASSERT_TRUE(d.synchronize());
    EXPECT_EQ(ScreenSaverDefaults("org.test.Linked").storedObjectForKey("delay"), Value(6LL));
    struct stat st;
    ASSERT_EQ(lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}
