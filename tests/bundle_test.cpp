// Saver bundles: opening, symbol and resource lookup, finding the bundle
// that holds some code, and the reasons given when a bundle is unusable.
#include "tests/support/test_support.h"

#include "platform/bundle.h"
#include "platform/clock.h"

#include <QDir>
#include <QFile>

#include <dlfcn.h>

using platform::Bundle;

extern "C" {
SOMNEL_EXPORT int bundle_test_marker = 42;
}

namespace {

// The loaded platform library: a real shared object to put in a bundle.
std::string platformLibrary() {
    Dl_info info;
    if (!dladdr(reinterpret_cast<void *>(&platform::now), &info)) return "";
    return info.dli_fname;
}

void writeText(const std::string &path, const std::string &text) {
    QFile f(QString::fromStdString(path));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text.data(), qint64(text.size()));
}

// Makes <dir>/<name>.saver with a copy of the platform library as its code.
std::string makeBundle(const testsupport::TempDir &dir, const std::string &name,
                       const std::string &manifest = "") {
    const std::string folder = dir.file(name + ".saver");
    QDir().mkpath(QString::fromStdString(folder + "/Resources"));
    writeText(folder + "/manifest.json", manifest.empty()
                  ? "{\"principalClass\": \"" + name + "View\", \"library\": \"" + name + ".so\"}"
                  : manifest);
    QFile::copy(QString::fromStdString(platformLibrary()), QString::fromStdString(folder + "/" + name + ".so"));
    writeText(folder + "/Resources/" + name + ".xml", "<screensaver/>");
    return folder;
}

const char *kExportedFunction = "_ZN8platform3nowEv";  // platform::now()

}  // namespace

TEST(Bundle, OpensAndFindsSymbolsAndResources) {
    testsupport::TempDir dir;
    const std::string folder = makeBundle(dir, "Rain");
    std::string error;
    auto b = Bundle::open(folder + "/", &error);
    ASSERT_TRUE(b) << error;
    EXPECT_EQ(b->bundlePath(), folder);
    EXPECT_EQ(b->name(), "Rain");
    EXPECT_EQ(b->principalClass(), "RainView");
    EXPECT_EQ(b->executablePath(), folder + "/Rain.so");
    EXPECT_EQ(b->resourcePath(), folder + "/Resources");
    EXPECT_EQ(b->pathForResource("Rain", "xml"), folder + "/Resources/Rain.xml");
    EXPECT_EQ(b->pathForResource("rain", "xml"), "");
    EXPECT_EQ(b->pathForResource("../manifest", "json"), "");
    EXPECT_EQ(b->pathForResource("Rain.xml", ""), folder + "/Resources/Rain.xml");

    // The bundle's own copy of the function, not the one already loaded.
    void *fn = b->dataPointerForName(kExportedFunction);
    ASSERT_NE(fn, nullptr);
    EXPECT_NE(fn, reinterpret_cast<void *>(&platform::now));
    EXPECT_EQ(b->dataPointerForName("no_such_symbol_at_all"), nullptr);
    EXPECT_EQ(b->dataPointerForName("qVersion"), nullptr);  // a dependency's, not the bundle's

    // The code finds its bundle; the same object comes back every time.
    EXPECT_EQ(Bundle::containingAddress(fn), b);
    EXPECT_EQ(Bundle::open(folder), b);
    EXPECT_EQ(Bundle::containingAddress(reinterpret_cast<void *>(&platform::now)), nullptr);
    EXPECT_EQ(Bundle::containingAddress(&bundle_test_marker), nullptr);
}

TEST(Bundle, LibraryInASaverFolderIsFoundWithoutOpening) {
    testsupport::TempDir dir;
    const std::string folder = makeBundle(dir, "Loose");
    void *handle = dlopen((folder + "/Loose.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    void *fn = dlsym(handle, kExportedFunction);
    ASSERT_NE(fn, nullptr);
    auto b = Bundle::containingAddress(fn);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->bundlePath(), folder);
    EXPECT_EQ(b->principalClass(), "LooseView");
    EXPECT_EQ(b->dataPointerForName(kExportedFunction), fn);
    EXPECT_EQ(Bundle::containingAddress(fn), b);
}

TEST(Bundle, WrapsAnAlreadyLoadedHandle) {
    void *self = dlopen(nullptr, RTLD_NOW);
    auto b = Bundle::forHandle("/somewhere/Self.saver", self);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->name(), "Self");
    EXPECT_EQ(b->resourcePath(), "");
    EXPECT_EQ(b->dataPointerForName("bundle_test_marker"), &bundle_test_marker);
    EXPECT_EQ(Bundle::containingAddress(&bundle_test_marker), b);
}

TEST(Bundle, UnusableBundlesSayWhy) {
    testsupport::TempDir dir;
    auto reason = [](const std::string &path) {
        std::string error;
        EXPECT_FALSE(Bundle::open(path, &error));
        return error;
    };
    EXPECT_EQ(reason(dir.file("Missing.saver")), "no bundle at \"" + dir.file("Missing.saver") + "\"");
    EXPECT_NE(reason("").find("no bundle"), std::string::npos);

    const std::string plain = dir.file("plain.saver");
    writeText(plain, "x");
    EXPECT_NE(reason(plain).find("is not a bundle folder"), std::string::npos);

    const std::string empty = dir.file("Empty.saver");
    QDir().mkpath(QString::fromStdString(empty));
    EXPECT_NE(reason(empty).find("has no manifest.json"), std::string::npos);

    std::string e = reason(makeBundle(dir, "Broken", "{\"principalClass\": "));
    EXPECT_NE(e.find("invalid manifest"), std::string::npos) << e;
    e = reason(makeBundle(dir, "NoLib", "{\"principalClass\": \"X\"}"));
    EXPECT_NE(e.find("no \"library\""), std::string::npos) << e;
    e = reason(makeBundle(dir, "NoClass", "{\"library\": \"NoClass.so\"}"));
    EXPECT_NE(e.find("no \"principalClass\""), std::string::npos) << e;
    e = reason(makeBundle(dir, "Escape", "{\"principalClass\": \"X\", \"library\": \"../Rain.so\"}"));
    EXPECT_NE(e.find("is not a file name in the bundle"), std::string::npos) << e;
    e = reason(makeBundle(dir, "Gone", "{\"principalClass\": \"X\", \"library\": \"Other.so\"}"));
    EXPECT_NE(e.find("Other.so\" does not exist"), std::string::npos) << e;

    const std::string bad = makeBundle(dir, "Junk");
    QFile::remove(QString::fromStdString(bad + "/Junk.so"));
    writeText(bad + "/Junk.so", "not a shared object at all");
    e = reason(bad);
    EXPECT_EQ(e.rfind("cannot load \"" + bad + "/Junk.so\": ", 0), 0u) << e;
    EXPECT_GT(e.size(), std::string("cannot load \"" + bad + "/Junk.so\": ").size() + 5) << e;  // dlerror's text
}
