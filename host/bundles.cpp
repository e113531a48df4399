// Finding saver bundles on the search path and creating their views.
#include "host/host.h"
#include "platform/log.h"
#include "platform/bundle.h"
#include "platform/user_folders.h"
#include "platform/view.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdlib>
#include <set>

#ifndef SOMNEL_BUILD_SAVER_DIR
#define SOMNEL_BUILD_SAVER_DIR ""
#endif
#ifndef SOMNEL_BUILD_BIN_DIR
#define SOMNEL_BUILD_BIN_DIR ""
#endif
#ifndef SOMNEL_SAVER_DIR_FROM_BIN
#define SOMNEL_SAVER_DIR_FROM_BIN "../lib/somnel/savers"
#endif

namespace somnel::host {

namespace {

// The folder of the running program.
QString programDir() {
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
}

// True when this is the program in the build tree: only then are the
// bundles built beside it searched.
bool runsFromBuildTree() {
    if (!*SOMNEL_BUILD_BIN_DIR) return false;
    return QFileInfo(programDir()).canonicalFilePath() ==
           QFileInfo(QString::fromUtf8(SOMNEL_BUILD_BIN_DIR)).canonicalFilePath();
}

}  // namespace

std::vector<std::string> saverSearchPath() {
    std::vector<std::string> path;
    if (const char *env = getenv("SOMNEL_SAVER_PATH")) {
        for (const QString &p : QString::fromLocal8Bit(env).split(':', Qt::SkipEmptyParts))
            path.push_back(p.toStdString());
    }
    if (*SOMNEL_BUILD_SAVER_DIR && runsFromBuildTree()) path.push_back(SOMNEL_BUILD_SAVER_DIR);
    // A relative XDG_DATA_HOME is ignored, as the XDG rules say: it would
    // name a folder under wherever the program was started.
    const std::string data = platform::dataHome();
    if (!data.empty()) path.push_back(data + "/somnel/savers");
    // The installed bundles, found from where the program is, so that an
    // installed tree may be moved.
    path.push_back(QDir::cleanPath(programDir() + "/" + SOMNEL_SAVER_DIR_FROM_BIN).toStdString());
    return path;
}

std::string findSaver(const std::string &nameOrPath, std::string *error) {
    QString arg = QString::fromStdString(nameOrPath);
    if (arg.isEmpty()) {
        if (error) *error = "no saver given";
        return {};
    }
    // A path only when it says so, with a slash ("./Drizzle.saver"): a bare
    // name is always looked up on the search path, never in the folder the
    // program was started from.
    if (arg.contains('/')) {
        QFileInfo fi(arg);
        if (fi.isDir()) return fi.absoluteFilePath().toStdString();
        if (error) *error = "no saver bundle at \"" + nameOrPath + "\"";
        return {};
    }
    QString name = arg.endsWith(".saver") ? arg.left(arg.size() - 6) : arg;
    std::string searched;
    for (const std::string &dir : saverSearchPath()) {
        QDir d(QString::fromStdString(dir));
        // Names match without regard to case: "drizzle" finds Drizzle.saver.
        for (const QFileInfo &fi : d.entryInfoList({"*.saver"}, QDir::Dirs)) {
            if (fi.completeBaseName().compare(name, Qt::CaseInsensitive) == 0)
                return fi.absoluteFilePath().toStdString();
        }
        searched += (searched.empty() ? "" : ":") + dir;
    }
    if (error) *error = "no saver named \"" + nameOrPath + "\" (searched " + searched + ")";
    return {};
}

std::vector<std::string> listSavers() {
    std::vector<std::string> out;
    std::set<QString> seen;
    for (const std::string &dir : saverSearchPath()) {
        QDir d(QString::fromStdString(dir));
        for (const QFileInfo &fi : d.entryInfoList({"*.saver"}, QDir::Dirs, QDir::Name)) {
            if (seen.insert(fi.completeBaseName().toLower()).second)
                // Names from the file system reach a terminal: escaped.
                out.push_back(platform::printableText(fi.completeBaseName().toStdString()) + "\t" +
                              platform::printableText(fi.absoluteFilePath().toStdString()));
        }
    }
    return out;
}

bool loadSaver(const std::string &nameOrPath, const platform::ViewCreateArgs &args, LoadedSaver *out,
               std::string *error) {
    std::string path = findSaver(nameOrPath, error);
    if (path.empty()) return false;
    std::string why;
    auto bundle = platform::Bundle::open(path, &why);
    if (!bundle) {
        *error = why;
        return false;
    }
    if (bundle->principalClass().empty()) {
        *error = path + ": the manifest names no principal class";
        return false;
    }
    std::string entry = bundle->principalClass() + "_create";
    auto create = reinterpret_cast<platform::ViewCreateFunction>(bundle->dataPointerForName(entry));
    if (!create) {
        *error = path + ": no entry \"" + entry + "\" for the principal class";
        return false;
    }
    platform::ScreenSaverView *view = nullptr;
    std::string reason;
    platform::runAtFrameBoundary([&] { view = create(&args); });
    if (!view) {
        // The view logged the lookup that failed; say what the bundle lacks.
        *error = bundle->name() + ": the saver could not be created: its library exports no function table \"" +
                 platform::Bundle::functionTableSymbol(bundle->name()) +
                 "\" (a saver's table is named after its bundle)";
        return false;
    }
    platform::logInfo(platform::LogArea::Host, "%s: principal class %s, from %s", bundle->name().c_str(),
                      bundle->principalClass().c_str(), path.c_str());
    out->bundle = bundle;
    out->view.reset(view);
    return true;
}

}  // namespace somnel::host
