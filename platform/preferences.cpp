// Per-saver preference domains: one typed JSON file per domain.
//
// The file looks like
//   {"version": 1, "values": {"delay": {"integer": 10000},
//                             "showFPS": {"bool": false},
//                             "ratio": {"double": 0.5},
//                             "background": {"string": "black"}}}
// so that every value reads back with the kind it was stored with. Writes go
// through the checked atomic writer (a complete new file renamed over the
// old one) while a lock on "<file>.lock" keeps other writers out; a write
// merges this process's changes into what is on disk at that moment, so two
// processes editing different keys never lose each other's work.
#include "platform/atomic_file.h"
#include "platform/file_read.h"
#include "platform/log.h"
#include "platform/user_folders.h"
#include "platform/value.h"
#include "platform/preferences.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace platform {

namespace {

constexpr int kFormatVersion = 1;
constexpr int kLockTimeoutMs = 5000;
// A saver's preferences are a few hundred bytes; a file past this is not one.
constexpr std::size_t kMaxFileBytes = 8 * 1024 * 1024;

// Where the domain files live: $XDG_CONFIG_HOME/somnel, or ~/.config/somnel
// when the variable is unset or not an absolute path (the home folder from
// the password database when HOME is unset); empty without a home folder.
QString configFolder() {
    const std::string base = configHome();
    return base.empty() ? QString() : QString::fromStdString(base) + "/somnel";
}

// An advisory lock (flock) on "<file>.lock", held while the object lives.
// Nothing is written into the lock file, so a full disk cannot break it,
// and the kernel drops the lock with the process: a crash leaves none
// behind. The file itself stays (removing it would let two processes lock
// two different files of the same name).
class FileLock {
public:
    explicit FileLock(std::string path) : path_(std::move(path)) {}
    ~FileLock() {
        if (fd_ >= 0) close(fd_);
    }
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;

    // Takes the lock, trying for up to timeoutMs while another process
    // holds it. False with the reason in *why.
    bool lock(int timeoutMs, std::string *why) {
        // O_NONBLOCK: a FIFO planted there must not block the open.
        fd_ = open(path_.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
        if (fd_ < 0) {
            *why = "cannot create the lock file " + path_ + ": " + std::strerror(errno);
            return false;
        }
        struct stat st;
        if (fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
            *why = "the lock file " + path_ + " is not a regular file";
            return false;
        }
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR) {
                *why = "cannot lock " + path_ + ": " + std::strerror(errno);
                return false;
            }
            if (std::chrono::steady_clock::now() >= until) {
                *why = path_ + " is locked by another program";
                return false;
            }
            // NOTE: flock has no timeout of its own; another writer holds
            // the lock for a few milliseconds.
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }

private:
    std::string path_;
    int fd_ = -1;
};

// Makes the folder and its parents. False with the reason in *why.
bool makeFolders(const std::string &folder, std::string *why) {
    size_t at = 0;
    do {
        at = folder.find('/', at + 1);
        const std::string part = folder.substr(0, at);
        if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
            *why = "cannot create the folder " + part + ": " + std::strerror(errno);
            return false;
        }
    } while (at != std::string::npos);
    struct stat st;
    if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        *why = "cannot create the folder " + folder + ": " + std::strerror(ENOTDIR);
        return false;
    }
    return true;
}

// A domain name made safe as a file name: no path separators, no hidden or
// parent-folder names.
QString fileNameForDomain(const std::string &domain) {
    QString name = QString::fromStdString(domain);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    name.replace(QChar(0), QLatin1Char('_'));
    if (name.isEmpty() || name.startsWith(QLatin1Char('.'))) name.prepend(QLatin1Char('_'));
    return name + ".json";
}

QJsonValue encodeValue(const Value &v) {
    QJsonObject o;
    if (auto b = std::get_if<bool>(&v)) {
        o["bool"] = *b;
    } else if (auto i = std::get_if<long long>(&v)) {
        o["integer"] = QJsonValue(qint64(*i));
    } else if (auto d = std::get_if<double>(&v)) {
        // NOTE: JSON has no infinities or NaN; keep those as text.
        if (std::isfinite(*d))
            o["double"] = *d;
        else
            o["double"] = QString::fromStdString(stringValue(v));
    } else if (auto s = std::get_if<std::string>(&v)) {
        o["string"] = QString::fromStdString(*s);
    }
    return o;
}

// The value an entry of the file holds; false when the entry is not one of
// the four typed forms (a later version's kind, or damage).
bool decodeValue(const QJsonValue &entry, Value *out) {
    if (!entry.isObject()) return false;
    QJsonObject o = entry.toObject();
    if (o.size() != 1) return false;
    const QString kind = o.begin().key();
    const QJsonValue v = o.begin().value();
    if (kind == "bool" && v.isBool()) {
        *out = v.toBool();
        return true;
    }
    if (kind == "integer" && v.isDouble()) {
        double d = v.toDouble();
        if (d != std::floor(d)) return false;
        *out = (long long)v.toInteger();
        return true;
    }
    if (kind == "double" && v.isDouble()) {
        *out = v.toDouble();
        return true;
    }
    if (kind == "double" && v.isString()) {
        const QString t = v.toString();
        if (t == "nan") *out = std::nan("");
        else if (t == "inf") *out = HUGE_VAL;
        else if (t == "-inf") *out = -HUGE_VAL;
        else return false;
        return true;
    }
    if (kind == "string" && v.isString()) {
        *out = v.toString().toStdString();
        return true;
    }
    return false;
}

// Damaged: read and found not to be a preferences file (or too large to be
// one): it is set aside. Unreadable: could not be read at all (permissions,
// a dangling link, a FIFO or device): it is left where it is, untouched.
enum class ReadResult { Ok, Missing, Damaged, Unreadable };

// Reads the file's "values" object. Otherwise *why says what is wrong.
ReadResult readValuesObject(const QString &path, QJsonObject *values, QString *why) {
    *values = QJsonObject();
    std::string text, reason;
    switch (readRegularFile(path.toStdString(), kMaxFileBytes, &text, &reason)) {
    case FileRead::Ok:
        break;
    case FileRead::Missing:
        return ReadResult::Missing;
    case FileRead::TooLarge:
        *why = QString::fromStdString(reason);
        return ReadResult::Damaged;
    case FileRead::NotRegular:
    case FileRead::Unreadable:
        *why = QString::fromStdString(reason);
        return ReadResult::Unreadable;
    }
    const QByteArray data = QByteArray::fromStdString(text);
    if (data.trimmed().isEmpty()) return ReadResult::Ok;  // an empty file holds nothing
    QJsonParseError err;
    QJsonDocument doc = QJsonDocument::fromJson(data, &err);
    if (err.error != QJsonParseError::NoError) {
        *why = QString("not valid JSON (%1 at offset %2)").arg(err.errorString()).arg(err.offset);
        return ReadResult::Damaged;
    }
    if (!doc.isObject() || !doc.object().value("values").isObject()) {
        *why = "not a preferences file (no \"values\" object)";
        return ReadResult::Damaged;
    }
    *values = doc.object().value("values").toObject();
    return ReadResult::Ok;
}

// Moves a damaged file out of the way under a name not used before, so the
// user's data stays on disk. Returns the new name, or empty on failure.
QString setAside(const QString &path) {
    const QString stamp = QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss");
    QString aside = path + ".corrupt-" + stamp;
    for (int n = 2; QFileInfo::exists(aside) || QFileInfo(aside).isSymLink(); n++)
        aside = path + ".corrupt-" + stamp + "-" + QString::number(n);
    // NOTE: rename(2) itself, not QFile::rename, which copies the file
    // when the rename fails: a copy is a write, and may fail half-way.
    if (rename(QFile::encodeName(path).constData(), QFile::encodeName(aside).constData()) != 0) return QString();
    return aside;
}

// Reads the domain file, reporting and setting aside a damaged one (which
// then counts as empty). A file that could not be read is reported and
// left in place (reported here, or through *unreadable with the reason
// when the caller asks for it): it may hold everything the user stored. Call with the lock held when one could be
// taken.
QJsonObject loadValues(const QString &path, bool mayRename, QString *unreadable = nullptr) {
    QJsonObject values;
    QString why;
    const ReadResult r = readValuesObject(path, &values, &why);
    if (unreadable) *unreadable = r == ReadResult::Unreadable ? why : QString();
    if (r == ReadResult::Ok || r == ReadResult::Missing) return values;
    if (r == ReadResult::Unreadable) {
        if (unreadable) return QJsonObject();  // the caller reports it
        log("cannot read preferences %s: %s; left in place; using the defaults", qPrintable(path),
            qPrintable(why));
        return QJsonObject();
    }
    if (!mayRename) {
        log("cannot read preferences %s: %s; using the defaults", qPrintable(path), qPrintable(why));
        return QJsonObject();
    }
    QString aside = setAside(path);
    if (aside.isEmpty())
        log("cannot read preferences %s: %s; could not move it aside; using the defaults",
            qPrintable(path), qPrintable(why));
    else
        log("cannot read preferences %s: %s; kept as %s; using the defaults", qPrintable(path),
            qPrintable(why), qPrintable(aside));
    return QJsonObject();
}

ValueMap decodeValues(const QJsonObject &values) {
    ValueMap out;
    for (auto it = values.begin(); it != values.end(); ++it) {
        Value v;
        if (decodeValue(it.value(), &v)) out[it.key().toStdString()] = v;
        // Entries of an unknown form stay in the file untouched (a write only
        // replaces the keys this process changed) but are not offered.
    }
    return out;
}

void eraseKey(std::vector<std::string> &list, const std::string &key) {
    list.erase(std::remove(list.begin(), list.end(), key), list.end());
}

void addKey(std::vector<std::string> &list, const std::string &key) {
    if (std::find(list.begin(), list.end(), key) == list.end()) list.push_back(key);
}

}  // namespace

namespace {
// The process's domain objects, one per name.
struct DomainRegistry {
    std::mutex mutex;
    std::map<std::string, std::shared_ptr<ScreenSaverDefaults>> domains;
};
DomainRegistry &domainRegistry() {
    static DomainRegistry registry;
    return registry;
}
}  // namespace

std::shared_ptr<ScreenSaverDefaults> ScreenSaverDefaults::defaultsForModuleWithName(const std::string &domain) {
    DomainRegistry &r = domainRegistry();
    std::lock_guard<std::mutex> guard(r.mutex);
    auto &slot = r.domains[domain];
    if (!slot) slot = std::make_shared<ScreenSaverDefaults>(domain);
    return slot;
}

void ScreenSaverDefaults::forgetDomains() {
    DomainRegistry &r = domainRegistry();
    std::lock_guard<std::mutex> guard(r.mutex);
    r.domains.clear();
}

ScreenSaverDefaults::ScreenSaverDefaults(const std::string &domain) : domain_(domain) { reload(); }

std::string ScreenSaverDefaults::filePath() const {
    const QString folder = configFolder();
    return folder.isEmpty() ? std::string() : (folder + "/" + fileNameForDomain(domain_)).toStdString();
}

Value ScreenSaverDefaults::objectForKey(const std::string &key) const {
    auto it = stored_.find(key);
    if (it != stored_.end()) return it->second;
    auto f = fallbacks_.find(key);
    if (f != fallbacks_.end()) return f->second;
    return Value();
}

Value ScreenSaverDefaults::storedObjectForKey(const std::string &key) const {
    auto it = stored_.find(key);
    return it == stored_.end() ? Value() : it->second;
}

void ScreenSaverDefaults::setObject(const std::string &key, const Value &value) {
    if (isNil(value)) {
        removeObjectForKey(key);
        return;
    }
    stored_[key] = value;
    addKey(changed_, key);
    eraseKey(removed_, key);
}

void ScreenSaverDefaults::removeObjectForKey(const std::string &key) {
    stored_.erase(key);
    addKey(removed_, key);
    eraseKey(changed_, key);
}

void ScreenSaverDefaults::registerDefaults(const ValueMap &fallbacks) {
    for (const auto &[key, value] : fallbacks) fallbacks_[key] = value;
}

void ScreenSaverDefaults::reload() {
    const QString path = QString::fromStdString(filePath());
    changed_.clear();
    removed_.clear();
    QFileInfo info(path);
    if (path.isEmpty() || (!info.exists() && !info.isSymLink())) {
        stored_.clear();
        logInfo(LogArea::Prefs, "%s: nothing stored at %s", domain_.c_str(), qPrintable(path));
        return;
    }
    // The lock only guards setting a damaged file aside against a writer
    // that replaces it meanwhile; reading needs none, writes are atomic.
    FileLock lock(path.toStdString() + ".lock");
    std::string ignored;
    const bool locked = lock.lock(kLockTimeoutMs, &ignored);
    stored_ = decodeValues(loadValues(path, locked));
    logInfo(LogArea::Prefs, "%s: %zu stored values read from %s", domain_.c_str(), stored_.size(),
            qPrintable(path));
}

bool ScreenSaverDefaults::synchronize() {
    const QString path = QString::fromStdString(filePath());
    if (path.isEmpty()) {
        log("cannot save preferences %s: no home folder (HOME is not set, and the account has none)",
            domain_.c_str());
        return false;
    }
    std::string why;
    FileLock lock(path.toStdString() + ".lock");
    if (!makeFolders(configFolder().toStdString(), &why) || !lock.lock(kLockTimeoutMs, &why)) {
        log("cannot save preferences %s: %s", qPrintable(path), why.c_str());
        return false;
    }

    // Merge: what is on disk now, with this process's edits on top. A file
    // that cannot be read is never written over: it may hold all the
    // user's settings.
    QString unreadable;
    QJsonObject values = loadValues(path, true, &unreadable);
    if (!unreadable.isEmpty()) {
        log("cannot save preferences %s: the file there cannot be read (%s); left as it is",
            qPrintable(path), qPrintable(unreadable));
        return false;
    }
    const bool dirty = !changed_.empty() || !removed_.empty();
    for (const auto &key : changed_) {
        auto it = stored_.find(key);
        if (it != stored_.end()) values[QString::fromStdString(key)] = encodeValue(it->second);
    }
    for (const auto &key : removed_) values.remove(QString::fromStdString(key));

    if (dirty) {
        QJsonObject root;
        root["version"] = kFormatVersion;
        root["values"] = values;
        // A link there (a dotfile kept elsewhere) is written through, unless
        // someone else planted it in a shared folder.
        platform::AtomicWriteOptions options;
        options.followLink = true;
        const QByteArray text = QJsonDocument(root).toJson(QJsonDocument::Indented);
        if (!writeFileAtomically(path.toStdString(), std::string_view(text.constData(), size_t(text.size())), &why,
                                 options)) {
            log("cannot save preferences %s: %s", qPrintable(path), why.c_str());
            return false;
        }
        logInfo(LogArea::Prefs, "%s: %d values saved to %s", domain_.c_str(), int(values.size()), qPrintable(path));
    }
    stored_ = decodeValues(values);
    changed_.clear();
    removed_.clear();
    return true;
}

}  // namespace platform
