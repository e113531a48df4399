// The installed tree: the program, its library and the bundles run from a
// temporary prefix, with nothing of the build tree on any search path.
#include "tests/support/test_support.h"

#include <QDir>
#include <QFile>
#include <QImage>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <cstdlib>
#include <string>
#include <sys/wait.h>

namespace {

struct Result {
    int status = -1;
    std::string out;
};

// Runs a shell command, its standard error joined to its output.
Result sh(const std::string &cmd) {
    Result r;
    FILE *p = popen((cmd + " 2>&1").c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int rc = pclose(p);
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return r;
}

std::string env(const char *name) {
    const char *v = getenv(name);
    return v ? v : "";
}

// The run path recorded in an ELF file ("" when it has none).
std::string runPath(const std::string &file) {
    Result r = sh("readelf -d '" + file + "'");
    for (const char *tag : {"(RUNPATH)", "(RPATH)"}) {
        size_t at = r.out.find(tag);
        if (at == std::string::npos) continue;
        size_t open = r.out.find('[', at), close = r.out.find(']', at);
        return r.out.substr(open + 1, close - open - 1);
    }
    return "";
}

// Every program and library under folder (ELF files, object files and
// CMake's own folders aside), each with the run-path elements the loader
// would take relative to the current folder: an empty element is the
// current folder itself. Fails the test on each one.
int checkRunPaths(const std::string &folder) {
    int checked = 0;
    Result files = sh("find '" + folder + "' -type f ! -name '*.o' ! -name '*.a' ! -path '*/CMakeFiles/*'");
    std::istringstream lines(files.out);
    for (std::string file; std::getline(lines, file);) {
        char magic[4] = {};
        FILE *f = fopen(file.c_str(), "rb");
        const bool elf = f && fread(magic, 1, 4, f) == 4 && !memcmp(magic, "\x7f" "ELF", 4);
        if (f) fclose(f);
        if (!elf) continue;
        ++checked;
        const std::string rp = runPath(file);
        std::istringstream parts(rp);
        std::string part;
        if (!rp.empty() && rp.back() == ':') ADD_FAILURE() << file << ": run path \"" << rp << "\" ends empty";
        while (std::getline(parts, part, ':'))
            if (part.empty() || (part[0] != '/' && part.rfind("$ORIGIN", 0) != 0))
                ADD_FAILURE() << file << ": run path \"" << rp << "\" has the relative element \"" << part << "\"";
    }
    return checked;
}

TEST(Install, TheInstalledProgramRunsItsBundlesFromAnyPrefix) {
    testsupport::TempDir tmp;
    const std::string prefix = tmp.file("prefix"), build = env("SOMNEL_BUILD_DIR");
    Result install = sh("'" + env("SOMNEL_CMAKE") + "' --install '" + build + "' --prefix '" + prefix + "'");
    ASSERT_EQ(install.status, 0) << install.out;

    const std::string lib = prefix + "/" + env("SOMNEL_LIBDIR");
    const std::string bin = prefix + "/bin/somnel", drizzle = lib + "/somnel/savers/Drizzle.saver";
    ASSERT_TRUE(QFile::exists(QString::fromStdString(bin)));
    // The idle watcher's user unit and autostart entry name the program of
    // the prefix given at install time.
    for (const std::string &file :
         {prefix + "/share/systemd/user/somnel-idle.service", prefix + "/share/somnel/somnel-idle.desktop"})
        EXPECT_NE(testsupport::readFile(file).find("=" + bin + " idle\n"), std::string::npos)
            << file << ": " << testsupport::readFile(file);
    ASSERT_TRUE(QFile::exists(QString::fromStdString(drizzle + "/Drizzle.so")));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(drizzle + "/manifest.json")));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(drizzle + "/Resources/drizzle.xml")));
    // Every run path is relative to the file that holds it, and none to
    // the current folder.
    for (const std::string &file : {bin, drizzle + "/Drizzle.so"}) {
        const std::string rp = runPath(file);
        EXPECT_EQ(rp.rfind("$ORIGIN/", 0), 0u) << file << ": " << rp;
        EXPECT_EQ(rp.find(build), std::string::npos) << file << ": " << rp;
    }
    EXPECT_GE(checkRunPaths(prefix), 3);

    // A clean environment: no saver path, an empty data folder, no library
    // path; what is found is found through the installed tree alone.
    const std::string clean = "env -u SOMNEL_SAVER_PATH -u LD_LIBRARY_PATH XDG_DATA_HOME='" + tmp.file("data") +
                              "' XDG_CONFIG_HOME='" + tmp.file("config") + "' HOME='" + tmp.path() + "' ";
    Result list = sh(clean + "'" + bin + "' list");
    ASSERT_EQ(list.status, 0) << list.out;
    EXPECT_NE(list.out.find("Drizzle\t" + drizzle + "\n"), std::string::npos) << list.out;
    EXPECT_EQ(list.out.find(build), std::string::npos) << "the build tree is not searched: " << list.out;

    const std::string png = tmp.file("drizzle.png");
    Result render =
        sh(clean + "'" + bin + "' render Drizzle --frames 5 --size 64x48 --seed 3 --out '" + png + "'");
    ASSERT_EQ(render.status, 0) << render.out;
    QImage img(QString::fromStdString(png));
    ASSERT_EQ(img.size(), QSize(64, 48));
    EXPECT_NE(img.pixel(32, 24) & 0xFFFFFF, 0u) << "Drizzle drew something";

    // The menu entry opens the settings window of the program installed
    // there, whatever is on PATH, with Somnel's icon from the theme every
    // desktop falls back to, and is valid as a menu entry.
    const std::string entryFile = prefix + "/share/applications/somnel-settings.desktop";
    const std::string entry = testsupport::readFile(entryFile);
    EXPECT_NE(entry.find("\nExec=" + bin + " settings\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("\nIcon=somnel\n"), std::string::npos) << entry;
    EXPECT_TRUE(QFile::exists(QString::fromStdString(prefix + "/share/icons/hicolor/scalable/apps/somnel.svg")));
    if (sh("command -v desktop-file-validate").status == 0) {
        Result valid = sh("desktop-file-validate '" + entryFile + "'");
        EXPECT_EQ(valid.status, 0) << valid.out;
        EXPECT_EQ(valid.out, "") << "no hints either";
    } else {
        printf("desktop-file-validate is not installed (scripts/deps.sh installs it): the menu entry is not validated\n");
    }
}

// Nothing the build makes loads a library from the folder it is started
// in: the build tree's run paths once ended with an empty element, and a
// library of that name in the current folder was loaded before the real
// one (the program, the bundles, the tests, the benchmarks).
TEST(Install, NoRunPathInTheBuildTreeSearchesTheCurrentFolder) {
    EXPECT_GE(checkRunPaths(env("SOMNEL_BUILD_DIR")), 10);
}

}  // namespace
