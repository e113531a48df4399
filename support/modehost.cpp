// The mode layer: option rows and default lines from a hack's mode table,
// and the function-table adapters that run its hooks with a mode record.
#include "somnel/modehost.h"
#include "somnel/xshim_glx.h"

#include "somnel/colors.h"
#include "somnel/fps.h"
#include "somnel/resources.h"
#include "somnel/yarandom.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

extern "C" {
Bool mono_p = False;
}

namespace {

// Line numbers quoted in this layer's fatal messages; callers and tests
// recognise a failure by them.
enum AbortLine {
    kNoSetupTable = 77,
    kBadSwitch = 86,
    kSpecifierWithoutDot = 91,
    kVarWithoutName = 188,
    kVarWithoutDefault = 189,
    kVarEmptyDefault = 190,
    kVarDefaultTooLong = 191,
    kVarWithoutStorage = 268,
    kVarBadType = 271,
    kNoModeTable = 288,
    kNoBlack = 343,
    kNoWhite = 347,
    kBadColorScheme = 403,
};

constexpr size_t kMaxDefaultText = 1000;
constexpr int64_t kMaxDelay = 100000000;
constexpr const char *kFallbackFont = "-*-helvetica-bold-r-normal-*-180-*";

[[noreturn]] void fail(const char *routine, int line) {
    xshim_abort("abort in %s:%d", routine, line);
}

// The name that starts this layer's warnings. The view sets progname only
// after setup has run, so setup's warnings fall back to the class name.
const char *warningPrefix() {
    if (progname && *progname) return progname;
    if (progclass && *progclass) return progclass;
    return "somnel";
}

// The texts that setup is allocating for one function table, so that they
// can be freed with its rows and lines when setup runs for it again.
std::vector<char *> *textsBeingBuilt = nullptr;

char *copyText(const std::string &s) {
    char *copy = strdup(s.c_str());
    if (textsBeingBuilt) textsBeingBuilt->push_back(copy);
    return copy;
}

// What setup built for a function table: kept while the table points at
// it, freed when a later setup for the same table replaces it (every view
// made for a saver runs setup on the saver's one table).
struct SetupAllocation {
    XrmOptionDescRec *rows = nullptr;
    const char **lines = nullptr;
    std::vector<char *> texts;
    void release() {
        for (char *t : texts) free(t);
        free(rows);
        free(lines);
        texts.clear();
        rows = nullptr;
        lines = nullptr;
    }
};

std::map<const somnel_function_table *, SetupAllocation> &setupAllocations() {
    static auto *all = new std::map<const somnel_function_table *, SetupAllocation>;
    return *all;
}

// Records handed out by init and not yet freed: free takes only these, so
// freeing a record twice frees it once without reading freed memory.
std::set<ModeRecord *> &liveRecords() {
    static auto *live = new std::set<ModeRecord *>;
    return *live;
}

// Text variables this layer filled, by their address: the text is freed
// when the next init reads the variable again, unless the hack has put
// something of its own there meanwhile.
std::map<void *, char *> &ownedTexts() {
    static auto *owned = new std::map<void *, char *>;
    return *owned;
}

// The rows and variables before the count or the first zeroed entry, which
// ends them early: hacks may end their arrays as the function table's are.
int rowCount(const ModeOptions *mo) {
    int n = 0;
    while (n < mo->opt_count && mo->opts[n].option) ++n;
    return n;
}
int varCount(const ModeOptions *mo) {
    int n = 0;
    while (n < mo->var_count && (mo->vars[n].var || mo->vars[n].name)) ++n;
    return n;
}

// The bare resource name of a default line or a variable: the text before
// the first colon, cut after its last dot and then after its last asterisk.
std::string bareResourceName(const char *text) {
    std::string s(text);
    size_t colon = s.find(':');
    if (colon != std::string::npos) s.resize(colon);
    size_t dot = s.rfind('.');
    if (dot != std::string::npos) s.erase(0, dot + 1);
    size_t star = s.rfind('*');
    if (star != std::string::npos) s.erase(0, star + 1);
    return s;
}

// Screen numbers held by live mode records: a number is taken by init and
// handed back by free, so repeated runs of one view keep their number and
// a hack's per-screen array, sized from the first screen count, is indexed
// only by as many numbers as there are screens running at once.
std::vector<ModeRecord *> &screenOwners() {
    static std::vector<ModeRecord *> owners;
    return owners;
}

int takeScreenNumber(ModeRecord *mi) {
    auto &owners = screenOwners();
    for (size_t i = 0; i < owners.size(); ++i) {
        if (!owners[i]) {
            owners[i] = mi;
            return int(i);
        }
    }
    owners.push_back(mi);
    return int(owners.size() - 1);
}

void releaseScreenNumber(ModeRecord *mi) {
    auto &owners = screenOwners();
    int n = mi->screen_number;
    if (n >= 0 && size_t(n) < owners.size() && owners[size_t(n)] == mi) owners[size_t(n)] = nullptr;
}

// Frees a record and what init allocated for it.
void destroyRecord(ModeRecord *mi) {
    if (mi->gc) XFreeGC(mi->display, mi->gc);
    free(mi->colors);
    free(mi->pixels);
    free(mi);
}

// 10 screens, 20 from the tenth on, and never fewer than screen_number + 1.
int screenCountFor(int number) {
    if (number < 9) return 10;
    return number < 20 ? 20 : number + 1;
}

// The two-colour fallback: black and white, so that a hack drawing with its
// pixels gets valid opaque colours.
void twoColorFallback(ModeRecord *mi) {
    mi->npixels = 2;
    if (!mi->pixels) mi->pixels = static_cast<unsigned long *>(calloc(2, sizeof(unsigned long)));
    if (!mi->colors) mi->colors = static_cast<XColor *>(calloc(2, sizeof(XColor)));
    mi->writable = False;
    mi->pixels[0] = mi->black_pixel;
    mi->pixels[1] = mi->white_pixel;
    mi->colors[0] = XColor{};
    mi->colors[0].pixel = mi->black_pixel;
    mi->colors[0].flags = DoRed | DoGreen | DoBlue;
    mi->colors[1] = XColor{};
    mi->colors[1].pixel = mi->white_pixel;
    mi->colors[1].red = mi->colors[1].green = mi->colors[1].blue = 0xFFFF;
    mi->colors[1].flags = DoRed | DoGreen | DoBlue;
}

// The colour map the hack asked for, or the two-colour fallback.
void makeColors(ModeRecord *mi, const modehost_function_table *mt) {
    if (!mono_p) {
        int n = get_integer_resource(mi->display, "ncolors", "Integer");
        if (n <= 0) n = 64;
        if (n > 8192) n = 8192;
        mi->npixels = n;
        mi->colors = static_cast<XColor *>(calloc(size_t(n), sizeof(XColor)));
        mi->writable = mt->writable_colors;
        Display *dpy = mi->display;
        Visual *visual = mi->window_attributes.visual;
        Colormap cmap = mi->window_attributes.colormap;
        switch (mt->color_scheme) {
        case ModeColorsRandom:
            make_random_colormap(dpy, visual, cmap, mi->colors, &mi->npixels, False, True,
                                 &mi->writable, True);
            break;
        case ModeColorsUniform:
            make_uniform_colormap(dpy, visual, cmap, mi->colors, &mi->npixels, True, &mi->writable,
                                  True);
            break;
        case ModeColorsSmooth:
            make_smooth_colormap(dpy, visual, cmap, mi->colors, &mi->npixels, True, &mi->writable,
                                 True);
            break;
        case ModeColorsBright:
            make_random_colormap(dpy, visual, cmap, mi->colors, &mi->npixels, True, True,
                                 &mi->writable, True);
            break;
        default:
            fail("modehost_init", kBadColorScheme);
        }
        if (mi->npixels >= 3) {
            mi->pixels = static_cast<unsigned long *>(malloc(size_t(mi->npixels) * sizeof(unsigned long)));
            for (int i = 0; i < mi->npixels; ++i) mi->pixels[i] = mi->colors[i].pixel;
            return;
        }
    }
    twoColorFallback(mi);
}

// A float resource truncated toward zero, kept inside the 64-bit range.
int64_t truncatedFloat(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 9.2e18) return INT64_MAX;
    if (v <= -9.2e18) return INT64_MIN;
    return int64_t(v);
}

// The resources every mode-table hack shares.
void readCommonResources(ModeRecord *mi) {
    Display *dpy = mi->display;
    Colormap cmap = mi->window_attributes.colormap;
    mi->delay = get_integer_resource(dpy, "delay", "Usecs");
    mi->cycles = get_integer_resource(dpy, "cycles", "Int");
    mi->count = get_integer_resource(dpy, "count", "Int");
    mi->size = get_integer_resource(dpy, "size", "Int");
    mi->use3d = get_boolean_resource(dpy, "use3d", "Boolean");
    mi->delta3d = truncatedFloat(get_float_resource(dpy, "delta3d", "Float"));
    mi->right3d_pixel = get_pixel_resource(dpy, cmap, "right3d", "Color");
    mi->left3d_pixel = get_pixel_resource(dpy, cmap, "left3d", "Color");
    mi->both3d_pixel = get_pixel_resource(dpy, cmap, "both3d", "Color");
    mi->none3d_pixel = get_pixel_resource(dpy, cmap, "none3d", "Color");
    mi->wireframe = get_boolean_resource(dpy, "wireframe", "Boolean");
    mi->fps_on = get_boolean_resource(dpy, "doFPS", "DoFPS");
    mi->depth = -1.0;
    if (mi->delay < 0) mi->delay = 0;
    if (mi->delay > kMaxDelay) mi->delay = kMaxDelay;
}

// The "font" resource as the GC's font, falling back to a bold sans and
// then to "fixed".
void loadFont(ModeRecord *mi) {
    char *name = get_string_resource(mi->display, "font", "Font");
    if (!name) return;
    XFontStruct *font = XLoadQueryFont(mi->display, name);
    if (!font) {
        fprintf(stderr, "%s: font %s does not exist, using %s\n", warningPrefix(), name, kFallbackFont);
        font = XLoadQueryFont(mi->display, kFallbackFont);
        if (!font) {
            fprintf(stderr, "%s: font %s does not exist, using %s\n", warningPrefix(), kFallbackFont,
                    "fixed");
            font = XLoadQueryFont(mi->display, "fixed");
        }
    }
    if (font) {
        XSetFont(mi->display, mi->gc, font->fid);
        XFreeFont(mi->display, font);
    }
    free(name);
}

// Reads each of the hack's typed variables from its resource.
void modehost_read_resources(ModeRecord *mi, const ModeOptions *opts) {
    if (!opts || !opts->vars) return;
    for (int i = 0, n = varCount(opts); i < n; ++i) {
        const ModeVar &v = opts->vars[i];
        // A variable without storage is a table the hack filled wrongly.
        if (!v.var || !v.name) fail("modehost_read_resources", kVarWithoutStorage);
        switch (v.type) {
        case ModeVarText: {
            char **slot = static_cast<char **>(v.var);
            auto &owned = ownedTexts();
            auto it = owned.find(v.var);
            if (it != owned.end() && *slot == it->second) free(*slot);
            *slot = get_string_resource(mi->display, v.name, v.classname);
            owned[v.var] = *slot;
            break;
        }
        case ModeVarFloat:
            *static_cast<float *>(v.var) = float(get_float_resource(mi->display, v.name, v.classname));
            break;
        case ModeVarInt:
            *static_cast<int *>(v.var) = get_integer_resource(mi->display, v.name, v.classname);
            break;
        case ModeVarBool:
            *static_cast<int *>(v.var) = get_boolean_resource(mi->display, v.name, v.classname);
            break;
        default:
            fail("modehost_read_resources", kVarBadType);
        }
    }
}

// The hack's switches, then the built-in ones its defaults text mentions.
XrmOptionDescRec *buildOptionRows(const modehost_function_table *mt) {
    std::vector<XrmOptionDescRec> rows;
    const ModeOptions *mo = mt->options;
    if (mo && mo->opts) {
        for (int i = 0, n = rowCount(mo); i < n; ++i) {
            const XrmOptionDescRec &in = mo->opts[i];
            // An empty switch has no name to negate.
            if (!in.option || !*in.option) fail("modehost_setup", kBadSwitch);
            const char *dot = in.specifier ? strrchr(in.specifier, '.') : nullptr;
            if (!dot) fail("modehost_setup", kSpecifierWithoutDot);
            XrmOptionDescRec out{};
            out.option = in.option[0] == '-' ? copyText(in.option)
                                             : copyText(std::string("-no-") + (in.option + 1));
            out.specifier = copyText(dot);
            out.argKind = in.argKind;
            out.value = in.value ? copyText(in.value) : nullptr;
            rows.push_back(out);
        }
    }

    static const char *const builtins[] = {"-count", "-cycles", "-delay", "-ncolors", "-size",
                                           "-font",  "-wireframe", "-use3d", "-useSHM"};
    const char *text = mt->defaults ? mt->defaults : "";
    for (const char *sw : builtins) {
        const char *name = sw + 1;
        if (!strstr(text, name)) continue;
        if (!strcmp(name, "wireframe")) {
            rows.push_back({"-wireframe", ".wireframe", XrmoptionNoArg, "True"});
            rows.push_back({"-no-wireframe", ".wireframe", XrmoptionNoArg, "False"});
        } else if (!strcmp(name, "use3d")) {
            rows.push_back({"-3d", ".use3d", XrmoptionNoArg, "True"});
            rows.push_back({"-no-3d", ".use3d", XrmoptionNoArg, "False"});
        } else if (!strcmp(name, "useSHM")) {
            rows.push_back({"-shm", ".useSHM", XrmoptionNoArg, "True"});
            rows.push_back({"-no-shm", ".useSHM", XrmoptionNoArg, "False"});
        } else {
            rows.push_back({sw, copyText(std::string(".") + name), XrmoptionSepArg, nullptr});
        }
    }

    auto *out = static_cast<XrmOptionDescRec *>(calloc(rows.size() + 1, sizeof(XrmOptionDescRec)));
    for (size_t i = 0; i < rows.size(); ++i) out[i] = rows[i];
    return out;
}

// The two fixed lines, the defaults text's lines and one line per variable.
const char **buildDefaultLines(const modehost_function_table *mt) {
    std::vector<const char *> lines{".background: black", ".foreground: white"};

    // Lines up to the first empty one.
    std::string text = mt->defaults ? mt->defaults : "";
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        size_t end = nl == std::string::npos ? text.size() : nl;
        if (end == start) break;
        lines.push_back(copyText(text.substr(start, end - start)));
        if (nl == std::string::npos) break;
        start = nl + 1;
    }

    const ModeOptions *mo = mt->options;
    if (mo && mo->vars) {
        for (int i = 0, n = varCount(mo); i < n; ++i) {
            const ModeVar &v = mo->vars[i];
            if (!v.name) fail("modehost_setup", kVarWithoutName);
            if (!v.def) fail("modehost_setup", kVarWithoutDefault);
            if (!*v.def) fail("modehost_setup", kVarEmptyDefault);
            if (strlen(v.def) > kMaxDefaultText) fail("modehost_setup", kVarDefaultTooLong);

            std::string varName = bareResourceName(v.name);
            for (const char *line : lines) {
                std::string lineName = bareResourceName(line);
                if (strcasecmp(varName.c_str(), lineName.c_str()) == 0)
                    fprintf(stderr, "%s: duplicate resource \"%s\": set in both DEFAULTS and vars[]\n",
                            warningPrefix(), lineName.c_str());
            }
            lines.push_back(copyText(std::string("*") + v.name + ": " + v.def));
        }
    }

    auto **out = static_cast<const char **>(calloc(lines.size() + 1, sizeof(char *)));
    for (size_t i = 0; i < lines.size(); ++i) out[i] = lines[i];
    return out;
}

// The rest of an init once the record has its screen: colours, GC,
// resources, font, the hack's variables, then the hack's own init.
void initRecord(ModeRecord *mi, modehost_function_table *mt) {
    Display *dpy = mi->display;
    Window window = mi->window;
    Colormap cmap = mi->window_attributes.colormap;
    XColor black{};
    black.flags = DoRed | DoGreen | DoBlue;
    if (!XAllocColor(dpy, cmap, &black)) fail("modehost_init", kNoBlack);
    XColor white{};
    white.red = white.green = white.blue = 0xFFFF;
    white.flags = DoRed | DoGreen | DoBlue;
    if (!XAllocColor(dpy, cmap, &white)) fail("modehost_init", kNoWhite);
    mi->black_pixel = black.pixel;
    mi->white_pixel = white.pixel;

    makeColors(mi, mt);

    XGCValues gcv{};
    gcv.foreground = mi->white_pixel;
    gcv.background = mi->black_pixel;
    mi->gc = XCreateGC(dpy, window, GCForeground | GCBackground, &gcv);

    readCommonResources(mi);
    loadFont(mi);
    modehost_read_resources(mi, mt->options);

    XClearWindow(dpy, window);
    if (mt->init_hook) mt->init_hook(mi);
}

}  // namespace

extern "C" void modehost_setup(somnel_function_table *xsft, void *arg) {
    auto *mt = static_cast<modehost_function_table *>(arg);
    // The function table's setup_arg must be the hack's mode table.
    if (!mt) fail("modehost_setup", kNoSetupTable);

    ya_rand_init(0);
    xsft->init_cb = modehost_init;
    xsft->draw_cb = modehost_draw;
    xsft->reshape_cb = modehost_reshape;
    xsft->event_cb = modehost_event;
    xsft->free_cb = modehost_free;
    progclass = mt->progclass;

    SetupAllocation built;
    textsBeingBuilt = &built.texts;
    try {
        built.rows = buildOptionRows(mt);
        built.lines = buildDefaultLines(mt);
    } catch (...) {
        textsBeingBuilt = nullptr;
        built.release();
        throw;
    }
    textsBeingBuilt = nullptr;

    xsft->progclass = mt->progclass;
    xsft->defaults = built.lines;
    xsft->options = built.rows;
    // The previous setup's rows and lines for this table are no longer
    // reachable through it.
    SetupAllocation &slot = setupAllocations()[xsft];
    slot.release();
    slot = std::move(built);
}

extern "C" void *modehost_init(Display *dpy, Window window, void *arg) {
    auto *mt = static_cast<modehost_function_table *>(arg);
    if (!mt) fail("modehost_init", kNoModeTable);

    auto *mi = static_cast<ModeRecord *>(calloc(1, sizeof(ModeRecord)));
    mi->table = mt;
    mi->display = dpy;
    mi->window = window;
    XGetWindowAttributes(dpy, window, &mi->window_attributes);

    mi->screen_number = takeScreenNumber(mi);
    mi->screen_count = screenCountFor(mi->screen_number);
    try {
        initRecord(mi, mt);
    } catch (...) {
        // A failed init does not keep its screen number, nor its memory.
        releaseScreenNumber(mi);
        destroyRecord(mi);
        throw;
    }
    liveRecords().insert(mi);
    return mi;
}

// One frame. A draw hook may change delay to ask for another wait before
// the next frame only; the frame after that starts from the resource again.
extern "C" unsigned long modehost_draw(Display *, Window, void *closure) {
    auto *mi = static_cast<ModeRecord *>(closure);
    if (!mi) return 0;
    int64_t remembered = mi->delay;
    if (mi->table->draw_hook) mi->table->draw_hook(mi);
    int64_t asked = mi->delay;
    mi->delay = remembered;
    if (asked < 0) asked = 0;
    if (asked > kMaxDelay) asked = kMaxDelay;
    return static_cast<unsigned long>(asked);
}

// The size passed in is not used: the hook gets the window's attributes,
// read again, so width and height always agree with window_attributes.
extern "C" void modehost_reshape(Display *, Window, void *closure, unsigned int, unsigned int) {
    auto *mi = static_cast<ModeRecord *>(closure);
    if (!mi || !mi->table->reshape_hook) return;
    XGetWindowAttributes(mi->display, mi->window, &mi->window_attributes);
    mi->table->reshape_hook(mi, mi->window_attributes.width, mi->window_attributes.height);
}

extern "C" Bool modehost_event(Display *, Window, void *closure, XEvent *event) {
    auto *mi = static_cast<ModeRecord *>(closure);
    if (!mi || !mi->table->event_hook) return False;
    return mi->table->event_hook(mi, event) ? True : False;
}

// Ends a run: the screen number becomes free for the next init, and the
// record, its colours and its GC (with the GC's font) are released; a view
// restarted many times would otherwise grow by one record a run. The hack's
// free and refresh hooks are not called here.
extern "C" void modehost_free(Display *, Window, void *closure) {
    auto *mi = static_cast<ModeRecord *>(closure);
    if (!mi || !liveRecords().erase(mi)) return;
    releaseScreenNumber(mi);
    destroyRecord(mi);
}

extern "C" void modehost_do_fps(Display *, Window, struct fps_state *fps, void *closure) {
    auto *mi = static_cast<ModeRecord *>(closure);
    if (!fps) return;
    fps_compute(fps, 0, mi ? mi->depth : -1.0);
    fps_draw(fps);
}

// A mode-table GL hack's context: the one of the view behind its record's
// window.
extern "C" GLXContext *init_GL(ModeRecord *mi) { return xshim_init_GL(mi->display, mi->window); }
