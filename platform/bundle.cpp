// Saver bundles: a Name.saver folder with manifest.json, the plug-in
// library and Resources/.
#include "platform/bundle.h"
#include "platform/file_read.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <mutex>

namespace platform {

namespace {

// Every bundle handed out so far, so that each library maps to one object.
struct Entry {
    std::weak_ptr<Bundle> bundle;
    const void *linkMap;  // the loaded object's struct link_map
};

std::mutex &registryMutex() {
    static std::mutex m;
    return m;
}

std::vector<Entry> &registry() {
    static std::vector<Entry> entries;
    return entries;
}

const void *linkMapOf(void *handle) {
    struct link_map *map = nullptr;
    if (!handle || dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0) return nullptr;
    return map;
}

// The struct link_map of the loaded object holding this address, and its file.
const void *linkMapOfAddress(const void *address, std::string *file) {
    Dl_info info;
    struct link_map *map = nullptr;
    if (!dladdr1(address, &info, reinterpret_cast<void **>(&map), RTLD_DL_LINKMAP)) return nullptr;
    if (file) *file = info.dli_fname ? info.dli_fname : "";
    return map;
}

std::shared_ptr<Bundle> findRegistered(const void *linkMap) {
    if (!linkMap) return nullptr;
    auto &entries = registry();
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [](const Entry &e) { return e.bundle.expired(); }),
                  entries.end());
    for (auto &e : entries)
        if (e.linkMap == linkMap)
            if (auto b = e.bundle.lock()) return b;
    return nullptr;
}

QString canonicalFolder(const std::string &path) {
    QFileInfo info(QString::fromStdString(path));
    QString c = info.canonicalFilePath();
    return c.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : c;
}

// A manifest names two things; anything near this size is not one.
constexpr std::size_t kMaxManifestBytes = 64 * 1024;
// The principal class names a C symbol ("<Class>_create"): letters, digits
// and underscores, not starting with a digit, and not absurdly long.
constexpr int kMaxClassNameLength = 128;

bool isClassName(const QString &name) {
    if (name.isEmpty() || name.size() > kMaxClassNameLength || name[0].isDigit()) return false;
    for (QChar c : name)
        if (!(c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
    return true;
}

// The manifest's principal class and library file name. False with a
// reason when it is missing, malformed, too large or not a regular file
// (a FIFO there would block the open for good).
bool readManifest(const QString &folder, std::string *principal, std::string *library, std::string *error) {
    const QString path = folder + "/manifest.json";
    std::string text, why;
    switch (readRegularFile(path.toStdString(), kMaxManifestBytes, &text, &why)) {
    case FileRead::Ok:
        break;
    case FileRead::Missing:
        *error = "bundle \"" + folder.toStdString() + "\" has no manifest.json";
        return false;
    case FileRead::TooLarge:
        *error = "invalid manifest \"" + path.toStdString() + "\": " + why;
        return false;
    case FileRead::NotRegular:
    case FileRead::Unreadable:
        *error = "cannot read \"" + path.toStdString() + "\": " + why;
        return false;
    }
    QJsonParseError err;
    QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &err);
    if (err.error != QJsonParseError::NoError || !doc.isObject()) {
        *error = "invalid manifest \"" + path.toStdString() + "\": " +
                 (err.error != QJsonParseError::NoError ? err.errorString().toStdString()
                                                        : std::string("not a JSON object"));
        return false;
    }
    const QJsonObject o = doc.object();
    const QString cls = o.value("principalClass").toString();
    const QString lib = o.value("library").toString();
    if (cls.isEmpty()) {
        *error = "invalid manifest \"" + path.toStdString() + "\": no \"principalClass\" text";
        return false;
    }
    if (lib.isEmpty()) {
        *error = "invalid manifest \"" + path.toStdString() + "\": no \"library\" text";
        return false;
    }
    // Checked before any use: a NUL would cut the name short where it
    // becomes a symbol, and the log escapes what it prints.
    if (!isClassName(cls)) {
        *error = "invalid manifest \"" + path.toStdString() + "\": principal class \"" + cls.toStdString() +
                 "\" is not a name of letters, digits and underscores (at most " +
                 std::to_string(kMaxClassNameLength) + ")";
        return false;
    }
    // The library must be a file inside the bundle itself.
    if (lib.contains('/') || lib.contains(QChar(0)) || lib == "." || lib == "..") {
        *error = "invalid manifest \"" + path.toStdString() + "\": library \"" + lib.toStdString() +
                 "\" is not a file name in the bundle";
        return false;
    }
    *principal = cls.toStdString();
    *library = lib.toStdString();
    return true;
}

}  // namespace

std::shared_ptr<Bundle> Bundle::open(const std::string &path, std::string *error) {
    std::string ignored;
    std::string &why = error ? *error : ignored;
    QFileInfo info(QString::fromStdString(path));
    if (path.empty() || !info.exists()) {
        why = "no bundle at \"" + path + "\"";
        return nullptr;
    }
    if (!info.isDir()) {
        why = "\"" + path + "\" is not a bundle folder";
        return nullptr;
    }
    const QString folder = canonicalFolder(path);
    std::string principal, library;
    if (!readManifest(folder, &principal, &library, &why)) return nullptr;
    const std::string executable = (folder + "/" + QString::fromStdString(library)).toStdString();
    if (!QFileInfo::exists(QString::fromStdString(executable))) {
        why = "bundle \"" + folder.toStdString() + "\": library \"" + executable + "\" does not exist";
        return nullptr;
    }

    dlerror();
    void *handle = dlopen(executable.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char *e = dlerror();
        why = "cannot load \"" + executable + "\": " + (e ? e : "unknown error");
        return nullptr;
    }

    std::lock_guard<std::mutex> guard(registryMutex());
    const void *map = linkMapOf(handle);
    if (auto existing = findRegistered(map)) {
        dlclose(handle);  // the existing object holds its own reference
        return existing;
    }
    std::shared_ptr<Bundle> b(new Bundle);
    b->path_ = folder.toStdString();
    b->principalClass_ = principal;
    b->executable_ = executable;
    b->handle_ = handle;
    b->ownsHandle_ = true;
    registry().push_back({b, map});
    return b;
}

std::shared_ptr<Bundle> Bundle::forHandle(const std::string &path, void *handle) {
    std::lock_guard<std::mutex> guard(registryMutex());
    const void *map = linkMapOf(handle);
    std::shared_ptr<Bundle> b(new Bundle);
    b->path_ = path;
    b->handle_ = handle;
    b->ownsHandle_ = false;
    std::string cls, lib, ignored;
    if (readManifest(canonicalFolder(path), &cls, &lib, &ignored)) b->principalClass_ = cls;
    if (map) registry().push_back({b, map});
    return b;
}

// The bundle whose library holds the address: one opened (or wrapped)
// before, or else any loaded library that sits directly in a folder named
// *.saver, which a bundle's own code finds itself through.
std::shared_ptr<Bundle> Bundle::containingAddress(const void *address) {
    std::lock_guard<std::mutex> guard(registryMutex());
    std::string file;
    const void *map = linkMapOfAddress(address, &file);
    if (!map) return nullptr;
    if (auto b = findRegistered(map)) return b;
    if (file.empty()) return nullptr;

    const QFileInfo lib(QString::fromStdString(file));
    const QString folder = lib.absoluteDir().absolutePath();
    if (!folder.endsWith(".saver")) return nullptr;
    // Take a reference of our own to the already loaded library.
    void *handle = dlopen(file.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle) return nullptr;
    if (linkMapOf(handle) != map) {  // a different copy of the same file name
        dlclose(handle);
        return nullptr;
    }
    std::shared_ptr<Bundle> b(new Bundle);
    b->path_ = canonicalFolder(folder.toStdString()).toStdString();
    b->executable_ = lib.absoluteFilePath().toStdString();
    b->handle_ = handle;
    b->ownsHandle_ = true;
    std::string cls, libName, ignored;
    if (readManifest(QString::fromStdString(b->path_), &cls, &libName, &ignored)) b->principalClass_ = cls;
    registry().push_back({b, map});
    return b;
}

// NOTE: the library stays loaded. Objects made by its code (views, Qt
// meta-objects, static tables, exception type info) may outlive the bundle
// object, and unloading under them would leave dangling code.
Bundle::~Bundle() = default;

std::string Bundle::name() const {
    return QFileInfo(QString::fromStdString(path_)).completeBaseName().toStdString();
}

std::string Bundle::resourcePath() const {
    const QString r = QString::fromStdString(path_) + "/Resources";
    return QFileInfo(r).isDir() ? r.toStdString() : std::string();
}

void *Bundle::dataPointerForName(const std::string &symbol) const {
    if (!handle_ || symbol.empty()) return nullptr;
    dlerror();
    void *p = dlsym(handle_, symbol.c_str());
    if (!p) return nullptr;
    // A symbol of the same name in one of the library's dependencies is not
    // the bundle's own: only the library itself counts.
    if (ownsHandle_ && linkMapOfAddress(p, nullptr) != linkMapOf(handle_)) return nullptr;
    return p;
}

std::string Bundle::functionTableSymbol(const std::string &saverName) {
    std::string symbol;
    for (char c : saverName) {
        if (c == ' ') continue;
        symbol += (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : c;
    }
    return symbol + "_somnel_function_table";
}

std::string Bundle::pathForResource(const std::string &name, const std::string &type) const {
    const std::string dir = resourcePath();
    if (dir.empty() || name.empty()) return std::string();
    const QString file = QString::fromStdString(type.empty() ? name : name + "." + type);
    // Resources are looked up inside Resources/ only.
    for (const QString &part : file.split('/'))
        if (part == "..") return std::string();
    const QFileInfo info(QString::fromStdString(dir) + "/" + file);
    return info.isFile() ? info.absoluteFilePath().toStdString() : std::string();
}

}  // namespace platform
