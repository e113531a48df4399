// The emulation and the real libX11 in one process never meet: a hack's
// Xlib calls reach the emulation, everyone else's reach libX11, and a
// bundle exports nothing but its table and its principal class.
#include "tests/support/test_support.h"

#include "platform/bundle.h"
#include "platform/clock.h"
#include "platform/geometry.h"
#include "platform/view.h"


#include "tests/linking/real_x.h"
#include "xshim/xshim_private.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

namespace {

std::string libraryOf(const void *address) {
    Dl_info info{};
    if (!dladdr(address, &info) || !info.dli_fname) return "";
    return info.dli_fname;
}

std::string testerLibrary() { return testsupport::testSaver("Tester") + "/Tester.so"; }

TEST(Linking, RealXlibCallsReachLibX11) {
    EXPECT_NE(libraryOf(real_x_address_of_XSync()).find("libX11"), std::string::npos);
    EXPECT_NE(libraryOf(real_x_address_of_XCreateGC()).find("libX11"), std::string::npos);
    // Global lookups by the Xlib names find libX11, not the emulation.
    EXPECT_NE(libraryOf(dlsym(RTLD_DEFAULT, "XCreateGC")).find("libX11"), std::string::npos);
    if (!getenv("DISPLAY")) GTEST_SKIP() << "no X server for the round trip";
    EXPECT_GT(real_x_roundtrip(), 0);
}

TEST(Linking, EmulatedCallsReachTheEmulation) {
    // The emulation's XSync lives under its prefixed name in this program.
    EXPECT_EQ(libraryOf(reinterpret_cast<const void *>(&XSync)).find("libX11"), std::string::npos);
    platform::ScreenSaverView view(platform::Rect::make(0, 0, 16, 16), false);
    Display *dpy = xshim_make_display(&view, nullptr);
    Window win = XRootWindow(dpy, 0);
    xshim_window_resized(dpy, win, 0, 0, 16, 16, nullptr);
    Pixmap p = XCreatePixmap(dpy, win, 8, 8, 32);
    XGCValues v;
    v.foreground = 0xFFFF0000;
    GC gc = XCreateGC(dpy, p, GCForeground, &v);
    XFillRectangle(dpy, p, gc, 0, 0, 8, 8);
    EXPECT_EQ(XSync(dpy, False), 0);
    XImage *img = XGetImage(dpy, p, 0, 0, 8, 8, ~0UL, ZPixmap);
    ASSERT_TRUE(img);
    EXPECT_EQ(XGetPixel(img, 3, 3) & 0xFFFFFF, 0xFF0000UL);
    XDestroyImage(img);
    XFreeGC(dpy, gc);
    XFreePixmap(dpy, p);
    xshim_free_display(dpy);
    // And the real server still answers in the same process.
    if (getenv("DISPLAY")) {
        EXPECT_GT(real_x_roundtrip(), 0);
    }
}

// The dynamic symbols a library defines, by nm (demangled when asked),
// leaving out the linker's own markers.
std::set<std::string> exportedSymbols(const std::string &lib, bool demangle) {
    std::string cmd = "nm -D --defined-only " + std::string(demangle ? "-C " : "") + "'" + lib + "'";
    FILE *nm = popen(cmd.c_str(), "r");
    std::set<std::string> exported;
    if (!nm) return exported;
    char line[4096];
    while (fgets(line, sizeof line, nm)) {
        std::string l(line);
        if (!l.empty() && l.back() == '\n') l.pop_back();
        // "<address> <type> <name>", the name possibly with spaces.
        size_t a = l.find(' '), b = a == std::string::npos ? a : l.find(' ', a + 1);
        if (b == std::string::npos) continue;
        std::string name = l.substr(b + 1);
        if (name == "_edata" || name == "_end" || name == "__bss_start") continue;
        exported.insert(name);
    }
    pclose(nm);
    return exported;
}

TEST(Linking, ABundleExportsOnlyItsTableAndPrincipalClass) {
    std::string lib = testerLibrary();
    FILE *f = fopen(lib.c_str(), "rb");
    if (!f) GTEST_SKIP() << "no Tester bundle at " << lib;
    fclose(f);
    std::set<std::string> exported = exportedSymbols(lib, false);
    EXPECT_EQ(exported, (std::set<std::string>{"SomnelTesterView_create", "tester_somnel_function_table"}));

    // Loaded into a process that holds libX11, the bundle still draws
    // through its own emulation.
    void *h = dlopen(lib.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_TRUE(h) << dlerror();
    EXPECT_EQ(dlsym(h, "xshim_XCreateGC"), nullptr);
    EXPECT_NE(libraryOf(dlsym(RTLD_DEFAULT, "XSync")).find("libX11"), std::string::npos);
}

// The platform library exports its API and the type information of its
// classes, and no template code from std or Qt that a caller could bind to.
TEST(Linking, ThePlatformLibraryExportsOnlyItsOwnNamespace) {
    Dl_info info{};
    ASSERT_TRUE(dladdr(reinterpret_cast<void *>(&platform::Bundle::open), &info));
    ASSERT_NE(std::string(info.dli_fname).find("libsomnel_platform"), std::string::npos) << info.dli_fname;
    std::set<std::string> exported = exportedSymbols(info.dli_fname, true);
    ASSERT_FALSE(exported.empty());
    for (const std::string &name : exported) {
        bool own = name.rfind("platform::", 0) == 0;
        for (const char *prefix : {"vtable for platform::", "typeinfo for platform::", "typeinfo name for platform::",
                                   "non-virtual thunk to platform::"})
            own = own || name.rfind(prefix, 0) == 0;
        EXPECT_TRUE(own) << "exported from the platform library: " << name;
    }
    EXPECT_TRUE(exported.count("platform::now()"));
    EXPECT_TRUE(exported.count("typeinfo for platform::ScreenSaverView"));
}

}  // namespace
