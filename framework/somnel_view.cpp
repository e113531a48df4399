// The saver view's life: creation (table lookup, environment, preferences),
// start, the frame routine run on every host tick, resize, stop and
// destruction, and its input: the Xlib-facing half of the view.
#include "framework/somnel_view.h"
#include "framework/host_options.h"

#include "somnel/fps.h"
#include "somnel/resources.h"
#include "somnel/somnel_function_table.h"
#include "xshim/xshim_private.h"
#include "somnel/yarandom.h"
#include "support/hints.h"
#include "support/random_seed.h"
#include "state/framework_state.h"
#include "platform/geometry.h"
#include "platform/log.h"
#include "platform/clock.h"
#include "platform/bundle.h"
#include "platform/event.h"
#include "platform/view.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <vector>

extern "C" {
const char *progclass = nullptr;
const char *progname = nullptr;
}

namespace {

// Every stored preferences domain is this prefix followed by the hack's class.
const char kDomainPrefix[] = "org.somnel.savers.";

// The host's own switches, placed in front of every hack's options.
const XrmOptionDescRec kDefaultOptions[] = {
    {"-text-mode", ".textMode", XrmoptionSepArg, nullptr},
    {"-text-literal", ".textLiteral", XrmoptionSepArg, nullptr},
    {"-text-file", ".textFile", XrmoptionSepArg, nullptr},
    {"-text-url", ".textURL", XrmoptionSepArg, nullptr},
    {"-text-program", ".textProgram", XrmoptionSepArg, nullptr},
    {"-grab-desktop", ".grabDesktopImages", XrmoptionNoArg, "True"},
    {"-no-grab-desktop", ".grabDesktopImages", XrmoptionNoArg, "False"},
    {"-choose-random-images", ".chooseRandomImages", XrmoptionNoArg, "True"},
    {"-no-choose-random-images", ".chooseRandomImages", XrmoptionNoArg, "False"},
    {"-image-directory", ".imageDirectory", XrmoptionSepArg, nullptr},
    {"-fps", ".doFPS", XrmoptionNoArg, "True"},
    {"-no-fps", ".doFPS", XrmoptionNoArg, "False"},
};
constexpr size_t kDefaultOptionCount = sizeof kDefaultOptions / sizeof kDefaultOptions[0];

// The host's own default lines, placed in front of every hack's defaults.
const char *const kDefaultLines[] = {
    ".doFPS:              False",
    ".doubleBuffer:       True",
    ".multiSample:        False",
    ".textMode:           date",
    ".textURL:            https://feeds.example.org/statuses/public_timeline.atom",
    ".grabDesktopImages:  yes",
    ".chooseRandomImages: no",
    ".imageDirectory:     ~/Pictures",
    ".relaunchDelay:      2",
};
constexpr size_t kDefaultLineCount = sizeof kDefaultLines / sizeof kDefaultLines[0];

// Drawn frames, shared by every view.
int drawnFrames = 0;

// Latin-1 text as UTF-8.
std::string latin1ToUtf8(const char *s) {
    std::string out;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(s); *p; ++p) {
        if (*p < 0x80) {
            out += char(*p);
        } else {
            out += char(0xC0 | (*p >> 6));
            out += char(0x80 | (*p & 0x3F));
        }
    }
    return out;
}

// Latin-1 text in lower case (the accented capitals too), as UTF-8.
std::string latin1Lower(const char *s) {
    std::string lower;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(s); *p; ++p) {
        unsigned char c = *p;
        if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) c = c + 0x20;
        lower += char(c);
    }
    return latin1ToUtf8(lower.c_str());
}

// Sets one environment line for this process and its children.
// Sets one variable for the whole process. setenv keeps its own copy, so
// views made and dropped many times leak no lines.
void putEnvironment(const char *name, const std::string &value) {
    if (setenv(name, value.c_str(), 1) != 0) {
        perror("setenv");
        SOMNEL_ASSERT(false, "setenv \"%s=%s\" failed", name, value.c_str());
    }
}

}  // namespace

// ------------------------------------------------------------------ creation

SomnelView::SomnelView(platform::Rect frame, bool isPreview, std::shared_ptr<platform::Bundle> bundle)
    : platform::ScreenSaverView(frame, isPreview) {
    setBundle(std::move(bundle));
}

std::unique_ptr<SomnelView> SomnelView::create(platform::Rect frame, const char *saverName, bool isPreview,
                                               std::shared_ptr<platform::Bundle> bundle) {
    return createView<SomnelView>(frame, saverName, isPreview, std::move(bundle));
}

std::string SomnelView::domainName(const char *cls) { return kDomainPrefix + latin1ToUtf8(cls); }

bool SomnelView::initWithSaverName(const char *saverName) {
    // The first view makes the framework's state.
    somnel::FrameworkState &state = somnel::FrameworkState::instance();
    xsft = findFunctionTable(saverName);
    if (!xsft) return false;

    setShellPath();

    setup_p = true;
    if (xsft->setup_cb) xsft->setup_cb(xsft, xsft->setup_arg);
    // A table that names no class can have no preferences domain: the
    // hack's setup forgot to fill it.
    SOMNEL_ASSERT(xsft->progclass, "no progclass in the function table of %s", className());

    std::string domain = domainName(xsft->progclass);
    setResourcesEnv(domain);

    // The host's rows, then the hack's. When the table already holds an
    // array merged by an earlier view, its hack rows start after ours.
    const XrmOptionDescRec *hackOptions = xsft->options;
    somnel::FrameworkState::MergedOptions &merged = state.mergedOptions[xsft];
    const XrmOptionDescRec *hackRows = hackOptions;
    if (hackOptions && hackOptions == merged.rows.get()) {
        hackOptions += kDefaultOptionCount;
        hackRows = merged.hackRows;
    }
    XrmOptionDescRec *options = somnel::withHostOptions(hackOptions).release();

    std::vector<const char *> defaults(kDefaultLines, kDefaultLines + kDefaultLineCount);
    for (const char *const *d = xsft->defaults; d && *d; ++d) defaults.push_back(*d);
    defaults.push_back(nullptr);

    prefsReader_ = std::make_unique<PrefsReader>(domain.c_str(), options, defaults.data());

    // Lives as long as the table holds it: until the next view over the
    // same table merges its own (the rows were copied into it above).
    xsft->options = options;
    merged.rows.reset(options);
    merged.hackRows = hackRows;
    if (!xsft->defaults) {
        static const char *const none[] = {nullptr};
        xsft->defaults = none;
    }

    progclass = xsft->progclass;
    progname = xsft->progclass;
    next_frame_time = 0;
    return true;
}

platform::Bundle &SomnelView::requireBundle() const {
    // A view made outside a bundle (or a host that lost the bundle) cannot
    // find its table or resources.
    SOMNEL_ASSERT(bundle(), "no bundle for class %s", className());
    return *bundle();
}

// Looks up <saver name in lower case, blanks removed>_somnel_function_table in
// the view's bundle; logs and yields null when there is none.
somnel_function_table *SomnelView::findFunctionTable(const char *saverName) {
    platform::Bundle &b = requireBundle();
    // A bundle whose library was never loaded has no symbols to offer.
    SOMNEL_ASSERT(b.handle(), "no CFBundle for \"%s\"", b.bundlePath().c_str());

    const std::string symbol = platform::Bundle::functionTableSymbol(saverName ? saverName : b.name());

    auto *table = static_cast<somnel_function_table *>(b.dataPointerForName(symbol));
    if (!table) platform::log("no symbol \"%s\" for \"%s\"", symbol.c_str(), b.bundlePath().c_str());
    else platform::logInfo(platform::LogArea::View, "%s: function table %s", b.bundlePath().c_str(), symbol.c_str());
    return table;
}

// Puts the bundle's resource folder in front of PATH, so that programs a
// hack runs are found there first. A folder already in front is not added
// again: a process that makes many views would otherwise grow PATH each time.
void SomnelView::setShellPath() {
    platform::Bundle &b = requireBundle();
    std::string resources = b.resourcePath();
    // A bundle without Resources/ was not built by the saver build rules.
    SOMNEL_ASSERT(!resources.empty(), "no resourcePath for class %s", className());
    const char *old = getenv("PATH");
    const std::string previous = old ? old : "/bin";
    if (previous == resources || previous.rfind(resources + ":", 0) == 0) return;
    putEnvironment("PATH", resources + ":" + previous);
}

// Tells child processes which preferences domain the hack reads.
void SomnelView::setResourcesEnv(const std::string &name) {
    requireBundle();
    putEnvironment("SOMNEL_CLASSPATH", name);
}

// ----------------------------------------------------------------- animation

void SomnelView::startAnimation() {
    // The host started the view twice without a stop in between.
    SOMNEL_ASSERT(!isAnimating(), "already animating");
    // A stop did not free the hack's previous run.
    SOMNEL_ASSERT(!initted_p && !xdata, "already initialized");
    platform::ScreenSaverView::startAnimation();
}

void SomnelView::stopAnimation() {
    // The host stopped a view it never started (or stopped it twice).
    SOMNEL_ASSERT(isAnimating(), "not animating");
    if (initted_p) {
        prepareContext();
        if (xsft->free_cb) xsft->free_cb(xdpy, xwindow, xdata);
        initted_p = false;
        xdata = nullptr;
    }
    platform::ScreenSaverView::stopAnimation();
}

void SomnelView::render_x11() {
    if (!initted_p) {
        if (!xdpy) {
            xdpy = xshim_make_display(this, nullptr);
            xwindow = XRootWindow(xdpy, 0);
            resize_x11();
        }
        if (!setup_p) {
            setup_p = true;
            if (xsft->setup_cb) xsft->setup_cb(xsft, xsft->setup_arg);
        }
        initted_p = true;
        // The size the display was made with is the one init sees.
        resized_p = false;

        // The previous run's stop did not drop the hack's state.
        SOMNEL_ASSERT(!xdata, "xdata already initialized");

        ya_rand_init(0);
        XSetWindowBackground(xdpy, xwindow, get_pixel_resource(xdpy, 0, "background", "Background"));
        XClearWindow(xdpy, xwindow);
        setAcceptsMouseMovedEvents(true);

        xdata = xsft->init_cb ? xsft->init_cb(xdpy, xwindow, xsft->setup_arg) : nullptr;

        // Each run starts without the previous run's meter, so that turning
        // "doFPS" off between runs takes effect.
        if (fpst) fps_free(fpst);
        fpst = nullptr;
        if (get_boolean_resource(xdpy, "doFPS", "DoFPS")) {
            fpst = fps_init(xdpy, xwindow);
            if (!xsft->fps_cb) xsft->fps_cb = screenhack_do_fps;
        }
    }

    if (!isPreview()) setCursorHiddenUntilMouseMoves(true);

    if (fpst) {
        long usecs = long(animationTimeInterval() * 1000000) - 200;
        fps_slept(fpst, usecs < 0 ? 0 : (unsigned long)usecs);
    }

    if (next_frame_time > platform::now()) return;

    prepareContext();

    if (resized_p) {
        resizeContext();
        if (xsft->reshape_cb)
            xsft->reshape_cb(xdpy, xwindow, xdata, (unsigned)bounds().size.width, (unsigned)bounds().size.height);
        resized_p = false;
    }

    xshim_sources_run(display_sources_data(xdpy));

    // NOTE: the platform has no global screen-update suspension; a frame
    // reaches the screen only at presentFrame(), so it is shown whole.
    unsigned long delay = xsft->draw_cb ? xsft->draw_cb(xdpy, xwindow, xdata) : 0;
    if (fpst && xsft->fps_cb) xsft->fps_cb(xdpy, xwindow, fpst, xdata);
    presentFrame();

    next_frame_time = platform::now() + double(delay) / 1000000.0;

    if (++drawnFrames > 150) drawnFrames = 0;
}

int SomnelView::frameCounter() { return drawnFrames; }

std::unique_ptr<XrmOptionDescRec[]> somnel::withHostOptions(const XrmOptionDescRec *hackOptions) {
    size_t n = 0;
    while (hackOptions && hackOptions[n].option) ++n;
    auto options = std::make_unique<XrmOptionDescRec[]>(kDefaultOptionCount + n + 1);
    std::copy(kDefaultOptions, kDefaultOptions + kDefaultOptionCount, options.get());
    if (n) std::copy(hackOptions, hackOptions + n, options.get() + kDefaultOptionCount);
    return options;
}

void SomnelView::setRandomSeed(unsigned seed) { somnel::support::fixRandomSeed(seed); }

void SomnelView::setExactFiltering(bool on) { somnel::support::setExactFiltering(on); }

// ---------------------------------------------------------------- geometry

void SomnelView::resize_x11() {
    if (!xwindow) return;
    platform::Rect f = frame(), b = bounds();
    xshim_window_resized(xdpy, xwindow, int(f.origin.x), int(f.origin.y), int(b.size.width), int(b.size.height),
                         nullptr);
    resized_p = true;
}

void SomnelView::setFrame(platform::Rect f) {
    platform::ScreenSaverView::setFrame(f);
    if (xwindow) resize_x11();
}

void SomnelView::setFrameSize(platform::Size size) {
    platform::ScreenSaverView::setFrameSize(size);
    if (xwindow) resize_x11();
}

void SomnelView::drawRect(platform::Rect rect) {
    if (xwindow)
        XClearWindow(xdpy, xwindow);
    else
        platform::ScreenSaverView::drawRect(rect);
}

// -------------------------------------------------------------------- input

namespace {

// The platform's modifier flags.
constexpr unsigned kCapsLockFlag = 1u << 16, kShiftFlag = 1u << 17, kControlFlag = 1u << 18,
                   kOptionFlag = 1u << 19, kCommandFlag = 1u << 20;

// The X modifier mask for the platform's modifier flags.
unsigned xModifierState(unsigned flags) {
    unsigned state = 0;
    if (flags & kCapsLockFlag) state |= LockMask;
    if (flags & kShiftFlag) state |= ShiftMask;
    if (flags & kControlFlag) state |= ControlMask;
    if (flags & kOptionFlag) state |= Mod1Mask;
    if (flags & kCommandFlag) state |= Mod2Mask;
    return state;
}

// The key symbol of the most significant modifier held, 0 when none is.
unsigned modifierKeySymbol(unsigned flags) {
    if (flags & kCapsLockFlag) return XK_Caps_Lock;
    if (flags & kShiftFlag) return XK_Shift_L;
    if (flags & kControlFlag) return XK_Control_L;
    if (flags & kOptionFlag) return XK_Alt_L;
    if (flags & kCommandFlag) return XK_Meta_L;
    return 0;
}

// The one code point that UTF-8 text holds, after a byte-order mark; 0xFFFD
// (which has no Latin-1 form) when it holds more or fewer, or is malformed.
char32_t onlyCodePoint(const std::string &utf8) {
    constexpr char32_t kNone = 0xFFFD;
    const auto *p = reinterpret_cast<const unsigned char *>(utf8.data());
    size_t n = utf8.size();
    if (n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) p += 3, n -= 3;
    if (n == 0) return kNone;
    size_t len;
    char32_t c, min;
    if (p[0] < 0x80) {
        len = 1, c = p[0], min = 0;
    } else if ((p[0] & 0xE0) == 0xC0) {
        len = 2, c = p[0] & 0x1F, min = 0x80;
    } else if ((p[0] & 0xF0) == 0xE0) {
        len = 3, c = p[0] & 0x0F, min = 0x800;
    } else if ((p[0] & 0xF8) == 0xF0) {
        len = 4, c = p[0] & 0x07, min = 0x10000;
    } else {
        return kNone;
    }
    if (n != len) return kNone;
    for (size_t i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80) return kNone;
        c = (c << 6) | (p[i] & 0x3F);
    }
    // Overlong forms, surrogates and numbers past the last plane are not text.
    if (c < min || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) return kNone;
    return c;
}

// The X key symbol of a key event: the modifier's own symbol for a
// modifier change or a key without characters, the mapped symbol of a
// function key, the Latin-1 code of any other single character, else 0.
unsigned keySymbol(const platform::Event &e) {
    if (e.type == platform::Event::FlagsChanged || e.charactersIgnoringModifiers.empty())
        return modifierKeySymbol(e.modifierFlags);
    const char32_t c = onlyCodePoint(e.charactersIgnoringModifiers);
    switch (c) {
    case 0xF700: return XK_Up;
    case 0xF701: return XK_Down;
    case 0xF702: return XK_Left;
    case 0xF703: return XK_Right;
    case 0xF729: return XK_Home;
    case 0xF72A: return XK_Begin;
    case 0xF72B: return XK_End;
    case 0xF72C: return XK_Prior;
    case 0xF72D: return XK_Next;
    case 0xF73F: return XK_Prior;
    case 0xF740: return XK_Next;
    default: return c <= 0xFF ? unsigned(c) : 0;
    }
}

// The X button of a scroll: 4/5 up/down, 6/7 for positive/negative
// horizontal deltas, 0 when the event moved neither way.
unsigned scrollButton(const platform::Event &e) {
    if (e.deltaY > 0) return 4;
    if (e.deltaY < 0) return 5;
    if (e.deltaX > 0) return 6;
    if (e.deltaX < 0) return 7;
    return 0;
}

}  // namespace

void SomnelView::handleEvent(const platform::Event &e) {
    using platform::Event;
    constexpr int kRightButton = 1;
    int type = 0;
    switch (e.type) {
    case Event::MouseDown: type = ButtonPress; break;
    case Event::MouseUp: type = ButtonRelease; break;
    case Event::MouseMoved:
    case Event::MouseDragged: type = MotionNotify; break;
    case Event::ScrollWheel: type = ButtonPress; break;
    case Event::KeyDown: type = KeyPress; break;
    case Event::KeyUp: type = KeyRelease; break;
    case Event::FlagsChanged: type = KeyPress; break;
    }
    // The right button (pressed, released or dragging) is the host's alone.
    const bool rightButton =
        (e.type == Event::MouseDown || e.type == Event::MouseUp || e.type == Event::MouseDragged) &&
        e.buttonNumber == kRightButton;
    if (type && !rightButton && doEvent(e, type)) return;
    platform::ScreenSaverView::handleEvent(e);
}

bool SomnelView::doEvent(const platform::Event &e, int type) {
    if (!isPreview() || !isAnimating() || !initted_p) return false;

    XEvent xe;
    memset(&xe, 0, sizeof xe);
    xe.type = type;
    const unsigned state = xModifierState(e.modifierFlags);

    // The window's coordinates (y up) to the view's, then y flipped so
    // that 0 is the view's top edge.
    const platform::Point p{e.locationInWindow.x - frame().origin.x, e.locationInWindow.y - frame().origin.y};
    const int x = int(p.x);
    const int y = int(bounds().size.height - p.y);

    switch (type) {
    case KeyPress:
    case KeyRelease:
        xe.xkey.state = state;
        xe.xkey.keycode = keySymbol(e);
        break;
    case MotionNotify:
        xe.xmotion.x = x;
        xe.xmotion.y = y;
        xe.xmotion.state = state;
        break;
    case ButtonPress:
    case ButtonRelease:
        xe.xbutton.x = x;
        xe.xbutton.y = y;
        xe.xbutton.state = state;
        xe.xbutton.button =
            e.type == platform::Event::ScrollWheel ? scrollButton(e) : unsigned(e.buttonNumber + 1);
        break;
    default:
        // A handler passed a type the hacks' event record has no view for.
        SOMNEL_ASSERT(false, "unknown X11 event type: %d", type);
    }

    // A hack without an event callback takes nothing.
    if (!xsft->event_cb) return false;
    prepareContext();
    return xsft->event_cb(xdpy, xwindow, xdata, &xe);
}

// ------------------------------------------------------------ configuration

std::string SomnelView::descriptionPath() const {
    platform::Bundle &b = requireBundle();
    std::string name = latin1Lower(xsft->progclass);
    std::string path = b.pathForResource(name, "xml");
    // Something there that is no regular file (a FIFO, a device, a folder)
    // is handed on all the same: the sheet's reader refuses it in one line
    // without opening it for good.
    struct stat st;
    const std::string there = b.resourcePath() + "/" + name + ".xml";
    if (path.empty() && !b.resourcePath().empty() && lstat(there.c_str(), &st) == 0) path = there;
    if (path.empty())
        platform::log("%s.xml does not exist in the application bundle: %s/", name.c_str(), b.resourcePath().c_str());
    else
        platform::logInfo(platform::LogArea::Sheet, "%s: the sheet is built from %s", xsft->progclass, path.c_str());
    return path;
}

const XrmOptionDescRec *SomnelView::optionRows() const { return xsft->options; }

// ---------------------------------------------------------------- teardown

void SomnelView::dealloc() {
    // The host must stop the view before letting it go.
    SOMNEL_ASSERT(!isAnimating(), "still animating");
    // A stop that skipped the hack's free callback.
    SOMNEL_ASSERT(!xdata, "xdata not yet freed");
    releaseResources();
}

void SomnelView::releaseResources() {
    if (released_) return;
    released_ = true;
    if (fpst) {
        // The GL meter's font textures belong to this view's context.
        if (fpst->texture_font) prepareContext();
        fps_free(fpst);
    }
    fpst = nullptr;
    if (xdpy) xshim_free_display(xdpy);
    xdpy = nullptr;
    xwindow = nullptr;
    prefsReader_.reset();
}

// A destructor must not raise. When dealloc() ran, there is nothing left to
// do. Otherwise the same checks are made; a view destroyed while its hack
// still runs (typically while the host unwinds after an error) is reported
// in one line, its ticks are stopped, and the display and the hack's state
// are left alone, since the hack's state may still point into the display.
SomnelView::~SomnelView() {
    if (released_) return;
    if (isAnimating() || xdata) {
        platform::log("%s destroyed: %s", className(), isAnimating() ? "still animating" : "xdata not yet freed");
        if (isAnimating()) platform::ScreenSaverView::stopAnimation();
        return;
    }
    releaseResources();
}
