// How long the configuration sheet takes to build: Drizzle's sheet from its
// XML description, whole (read, parse, every control, bindings, assembly),
// and the reading and parsing alone for comparison; then how the build
// grows with deep nesting and long menus. Prints medians in milliseconds
// and ratios, measured in one run; asserts nothing.
#include <QApplication>
#include <QDir>
#include <QFile>

#include "framework/host_options.h"
#include "framework/sheet/somnel_config_sheet.h"
#include "framework/sheet/simple_xml.h"
#include "platform/preferences.h"
#include "platform/value.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <functional>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#ifndef DRIZZLE_XML
#define DRIZZLE_XML "savers/drizzle/drizzle.xml"
#endif

namespace {

// The mode layer's rows for Drizzle.
const XrmOptionDescRec kHackOptions[] = {
    {"-dps", ".dps", XrmoptionSepArg, nullptr},
    {"-colortime", ".colortime", XrmoptionSepArg, nullptr},
    {"-simres", ".simres", XrmoptionSepArg, nullptr},
    {"-ripheight", ".ripheight", XrmoptionSepArg, nullptr},
    {"-count", ".count", XrmoptionSepArg, nullptr},
    {"-delay", ".delay", XrmoptionSepArg, nullptr},
    {"-wireframe", ".wireframe", XrmoptionNoArg, "True"},
    {"-no-wireframe", ".wireframe", XrmoptionNoArg, "False"},
    {nullptr, nullptr, 0, nullptr},
};
// Drizzle's table as the view merges it: the host's rows, then the hack's.
const std::unique_ptr<XrmOptionDescRec[]> kMerged = somnel::withHostOptions(kHackOptions);
const XrmOptionDescRec *const kOptions = kMerged.get();

struct NoDelegate : somnel::sheet::SimpleXMLDelegate {
    void didStartElement(const std::string &, const std::vector<std::pair<std::string, std::string>> &) override {}
    void didEndElement(const std::string &) override {}
    void foundCharacters(const std::string &) override {}
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <class F>
std::vector<double> timeRuns(int runs, F &&f) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        f();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    return ms;
}

}  // namespace

int main(int argc, char **argv) {
    if (!getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const std::string path = argc > 1 ? argv[1] : DRIZZLE_XML;

    platform::ValueMap defaults{{"doFPS", false},         {"textMode", std::string("date")},
                                {"grabDesktopImages", true}, {"chooseRandomImages", false},
                                {"imageDirectory", std::string("~/Pictures")}, {"dps", 16LL},
                                {"colortime", 15LL},      {"simres", 1LL},
                                {"ripheight", 2LL},       {"delay", 10000LL},
                                {"count", 30LL},          {"wireframe", false}};
    auto store = platform::ScreenSaverDefaults::defaultsForModuleWithName("org.somnel.bench.Drizzle");
    store->registerDefaults(defaults);
    auto controller = std::make_shared<platform::UserDefaultsController>(store, defaults);

    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly)) {
        fprintf(stderr, "bench_sheet_build: cannot read %s\n", path.c_str());
        return 1;
    }
    const std::string xml = f.readAll().toStdString();

    // Warm up: fonts, styles and the first widgets of each kind.
    for (int i = 0; i < 5; ++i) SomnelConfigSheet::create(path, kOptions, controller, &defaults);

    const int runs = 60;
    const auto build = timeRuns(runs, [&] { SomnelConfigSheet::create(path, kOptions, controller, &defaults); });
    NoDelegate none;
    const auto parse = timeRuns(runs, [&] {
        std::string error;
        somnel::sheet::parseXML(xml, &none, &error);
    });
    const double b = median(build), p = median(parse);
    printf("Drizzle sheet from %s (%d runs, medians)\n", path.c_str(), runs);
    printf("  build the whole sheet:  %.2f ms (fastest %.2f ms)\n", b, *std::min_element(build.begin(), build.end()));
    printf("  parse the XML alone:    %.3f ms\n", p);
    printf("  parsing is %.1f%% of the build\n", 100.0 * p / b);

    // How the build grows with the description, the caps lifted: groups
    // nested n deep, one menu of n items, n check boxes. Linear time gives
    // a ratio near 2 as n doubles. Nesting stays near 4 (each new widget
    // walks its ancestors), which the depth cap of 32 makes harmless.
    const std::string scratch = (QDir::tempPath() + "/somnel-bench-sheet.xml").toStdString();
    auto write = [&](const std::string &text) {
        QFile out(QString::fromStdString(scratch));
        out.open(QIODevice::WriteOnly | QIODevice::Truncate);
        out.write(text.data(), qint64(text.size()));
    };
    auto nested = [](int n) {
        std::string open, close;
        for (int i = 0; i < n; ++i) open += "<hgroup>", close += "</hgroup>";
        return open + "<boolean _label=\"W\" arg-set=\"-wireframe\"/>" + close;
    };
    auto menu = [](int n) {
        std::string items;
        for (int i = 0; i < n; ++i)
            items += "<option _label=\"Item " + std::to_string(i) + "\" arg-set=\"-dps " + std::to_string(i) + "\"/>";
        return "<select id=\"m\">" + items + "</select>";
    };
    auto boxes = [](int n) {
        std::string items;
        for (int i = 0; i < n; ++i) items += "<boolean _label=\"Box " + std::to_string(i) + "\" arg-set=\"-wireframe\"/>";
        return items;
    };
    DescriptionLimits lifted;
    lifted.bytes = 64u << 20;
    lifted.depth = lifted.elements = 1u << 30;
    const struct {
        const char *what;
        std::function<std::string(int)> body;
        int sizes[3];
    } shapes[] = {{"levels of nested groups", nested, {250, 500, 1000}}, {"menu items", menu, {5000, 10000, 20000}},
                  {"check boxes", boxes, {1000, 2000, 4000}}};
    for (const auto &shape : shapes) {
        double previous = 0;
        for (int n : shape.sizes) {
            write("<screensaver name=\"b\" _label=\"B\">" + shape.body(n) + "<_description>d</_description></screensaver>");
            const auto cpu0 = std::clock();
            const auto ms = timeRuns(1, [&] { SomnelConfigSheet::create(scratch, kOptions, controller, &defaults, lifted); });
            const double cpu = 1000.0 * double(std::clock() - cpu0) / CLOCKS_PER_SEC;
            printf("  %6d %-24s %9.1f ms (processor %9.1f ms)%s", n, shape.what, ms[0], cpu,
                   previous > 0 ? "" : "\n");
            if (previous > 0) printf("  x%.2f for twice the size\n", ms[0] / previous);
            previous = ms[0];
        }
    }
    QFile::remove(QString::fromStdString(scratch));
    return 0;
}
