// The platform seam: every service the framework asks of the desktop, in one
// place. Each stand-in is filled in by one source file in this folder, over
// Qt 6 and the system's OpenGL. Nothing here knows a hack.
//
// Coordinates follow the saver view's convention: a rectangle's origin is its
// bottom-left corner and y grows upwards.
#pragma once

#include <cstdarg>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPointF>
#include <QSurfaceFormat>

class QTimer;
class QWindow;
class QWidget;

#define SOMNEL_EXPORT __attribute__((visibility("default")))

namespace platform {

// ---------------------------------------------------------------- geometry

struct Point {
    double x = 0, y = 0;
};
struct Size {
    double width = 0, height = 0;
};
struct Rect {
    Point origin;
    Size size;
    static Rect make(double x, double y, double w, double h) { return Rect{{x, y}, {w, h}}; }
};

// ---------------------------------------------------------------- logging

// One line on standard error: "<program>: <message>\n". The program name is
// the process name unless set. A trailing newline in the message is not doubled.
SOMNEL_EXPORT void log(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
SOMNEL_EXPORT void logv(const char *fmt, va_list ap);
SOMNEL_EXPORT void setLogProgramName(const std::string &name);
SOMNEL_EXPORT const std::string &logProgramName();

// ------------------------------------------------- internal inconsistency

// The one exception type for programming errors (the view and sheet
// assertions, the emulation's abort). The host catches it at the frame
// boundary, prints the reason and exits non-zero.
class SOMNEL_EXPORT InternalInconsistencyException : public std::runtime_error {
public:
    explicit InternalInconsistencyException(const std::string &reason);
    const std::string &reason() const { return reason_; }

private:
    std::string reason_;
};

// Formats the message printf-style and throws InternalInconsistencyException.
[[noreturn]] SOMNEL_EXPORT void raiseInconsistency(const char *fmt, ...)
    __attribute__((format(printf, 1, 2)));

// Frame boundary: an exception escaping a timer tick or an event handler is
// handed to this handler (the host prints it and exits non-zero). The default
// logs the reason and ends the process with status 70.
SOMNEL_EXPORT void setFrameErrorHandler(std::function<void(const std::string &reason)> handler);
SOMNEL_EXPORT void reportFrameError(const std::string &reason);
// Runs fn, handing any exception to the frame error handler.
SOMNEL_EXPORT void runAtFrameBoundary(const std::function<void()> &fn);

}  // namespace platform

// Assertion helper: when cond is false, raises the internal-inconsistency
// exception with the formatted message.
#define SOMNEL_ASSERT(cond, ...)                                 \
    do {                                                         \
        if (!(cond)) ::platform::raiseInconsistency(__VA_ARGS__); \
    } while (0)

namespace platform {

// ---------------------------------------------------------------- clock

// Wall-clock seconds since the Unix epoch, microsecond resolution. Tests
// inject their own source so that frame timing never depends on real time.
SOMNEL_EXPORT double now();
// Replaces the clock; an empty function restores the wall clock.
SOMNEL_EXPORT void setClockForTesting(std::function<double()> source);

// ---------------------------------------------------------------- values

// A stored preference: boolean, integer, double or string (monostate = none).
using Value = std::variant<std::monostate, bool, long long, double, std::string>;
using ValueMap = std::map<std::string, Value>;

SOMNEL_EXPORT bool isNil(const Value &v);
SOMNEL_EXPORT bool isNumber(const Value &v);  // bool, integer or double
SOMNEL_EXPORT bool isString(const Value &v);
// The number a value stands for; strings are read like strtod (0 when the
// text does not start with a number).
SOMNEL_EXPORT double doubleValue(const Value &v);
// The text of a value: numbers printed plainly ("1", "0.5"), booleans as "1"/"0".
SOMNEL_EXPORT std::string stringValue(const Value &v);
// A short name of the value's kind, for messages ("NSNumber", "NSString").
SOMNEL_EXPORT const char *valueClassName(const Value &v);
// The value in the form used by log messages.
SOMNEL_EXPORT std::string describe(const Value &v);

// ------------------------------------------------- per-saver preferences

// One saver's stored preferences ("domain"), with registered fallbacks. The
// store is a typed JSON file under $XDG_CONFIG_HOME/somnel (or
// ~/.config/somnel), written atomically under a lock against other writers.
// A corrupt file is reported, kept aside under a new name and ignored.
class SOMNEL_EXPORT ScreenSaverDefaults {
public:
    // The process-wide object for a domain (one per domain name).
    static std::shared_ptr<ScreenSaverDefaults> defaultsForModuleWithName(const std::string &domain);

    const std::string &domain() const { return domain_; }
    std::string filePath() const;

    // Stored value, else the registered fallback, else nil.
    Value objectForKey(const std::string &key) const;
    // Stored value only.
    Value storedObjectForKey(const std::string &key) const;
    void setObject(const std::string &key, const Value &value);
    void removeObjectForKey(const std::string &key);
    void registerDefaults(const ValueMap &fallbacks);
    const ValueMap &registeredDefaults() const { return fallbacks_; }

    // Merges with the file under its lock: re-reads it, applies this
    // object's changed and removed keys on top (other keys are whatever
    // the file holds now, so concurrent writers keep each other's keys),
    // and writes it atomically when anything changed. Returns false after
    // logging a line on failure; the changes then stay pending.
    bool synchronize();
    // Re-reads the file, dropping unsaved changes.
    void reload();

    explicit ScreenSaverDefaults(const std::string &domain);

private:
    std::string domain_;
    ValueMap stored_;
    ValueMap fallbacks_;
    std::vector<std::string> removed_;
    std::vector<std::string> changed_;
};

// Buffered editing over a defaults domain: the configuration sheet's controls
// change values here; save() stores them, revert() drops them,
// revertToInitialValues() goes back to the built-in values.
class SOMNEL_EXPORT UserDefaultsController {
public:
    UserDefaultsController(std::shared_ptr<ScreenSaverDefaults> defaults, ValueMap initialValues);

    std::shared_ptr<ScreenSaverDefaults> defaults() const { return defaults_; }
    const ValueMap &initialValues() const { return initial_; }

    // The edited value, else the stored one, else the fallback, else the
    // initial value. A pending nil edit shows the fallback (it removes the
    // stored value on save).
    Value value(const std::string &key) const;
    void setValue(const std::string &key, const Value &value);
    bool hasUnappliedChanges() const { return !pending_.empty(); }

    // When true, setValue writes through to the defaults at once.
    bool appliesImmediately() const { return appliesImmediately_; }
    void setAppliesImmediately(bool on) { appliesImmediately_ = on; }

    void commitEditing();  // finishes an edit in progress (no-op here)
    bool save();           // pending edits into the store, then synchronize
    void revert();         // drop pending edits
    void revertToInitialValues();  // every key with an initial value goes back to it (pending)

    // Called with the key after every change of a value as seen through value().
    int addObserver(std::function<void(const std::string &key)> observer);
    void removeObserver(int id);

private:
    void notify(const std::string &key);
    std::shared_ptr<ScreenSaverDefaults> defaults_;
    ValueMap initial_;
    ValueMap pending_;
    bool appliesImmediately_ = false;
    std::map<int, std::function<void(const std::string &)>> observers_;
    int nextObserver_ = 1;
};

// ---------------------------------------------------------------- bundles

// A saver bundle: a folder Name.saver holding the plug-in library, a
// manifest ("manifest.json": principal class, library file name) and
// Resources/.
class SOMNEL_EXPORT Bundle {
public:
    // Opens the bundle at path: reads the manifest and dlopens the library.
    // Returns null with a reason in *error on failure.
    static std::shared_ptr<Bundle> open(const std::string &path, std::string *error = nullptr);
    // The opened bundle whose library contains this address (dladdr), or null.
    static std::shared_ptr<Bundle> containingAddress(const void *address);
    // A bundle over an already loaded handle (for tests: dlopen(nullptr)).
    static std::shared_ptr<Bundle> forHandle(const std::string &path, void *handle);

    const std::string &bundlePath() const { return path_; }
    std::string name() const;  // file name without extension
    std::string resourcePath() const;  // path/Resources, empty when missing
    const std::string &principalClass() const { return principalClass_; }
    const std::string &executablePath() const { return executable_; }
    void *handle() const { return handle_; }

    // dlsym on the bundle's library, null when absent.
    void *dataPointerForName(const std::string &symbol) const;
    // Resources/<name>.<type>, empty when there is no such file.
    std::string pathForResource(const std::string &name, const std::string &type) const;

    ~Bundle();

private:
    Bundle() = default;
    std::string path_, principalClass_, executable_;
    void *handle_ = nullptr;
    bool ownsHandle_ = false;
};

// ------------------------------------------------------------ 2D context

// A raster context over a 32-bit image (QImage::Format_RGB32 words,
// 0xAARRGGBB) with y-up coordinates: the context point (x, y) is image pixel
// (x, height - y). Holds fill and stroke colours and a save/restore stack,
// as the emulation expects of a graphics port.
class SOMNEL_EXPORT Context2D {
public:
    // Over memory owned elsewhere (a pixmap's pixels): width*height words.
    Context2D(uchar *pixels, int width, int height, int bytesPerLine);
    // Owning its own image.
    Context2D(int width, int height);

    QImage &image() { return image_; }
    const QImage &image() const { return image_; }
    int width() const { return image_.width(); }
    int height() const { return image_.height(); }
    // Reallocates an owned image (contents kept where they overlap, rest black).
    void resize(int width, int height);

    QColor fillColor() const { return state_.fill; }
    QColor strokeColor() const { return state_.stroke; }
    void setFillColor(const QColor &c) { state_.fill = c; }
    void setStrokeColor(const QColor &c) { state_.stroke = c; }
    void saveState() { stack_.push_back(state_); }
    void restoreState();

    // y-up -> image pixel coordinates.
    QTransform deviceTransform() const;
    // A painter on the image, already transformed to y-up coordinates.
    // One painter at a time; end it before touching image() directly.
    std::unique_ptr<QPainter> beginPainter();

    // Rectangles filled with the fill colour, in context coordinates.
    void fillRect(const Rect &r);

private:
    struct State {
        QColor fill = Qt::black;
        QColor stroke = Qt::black;
    };
    QImage image_;
    State state_;
    std::vector<State> stack_;
};

// ----------------------------------------------------------- run-loop timers

// A one-shot timer on the main thread's event loop, fired between frames.
class SOMNEL_EXPORT RunLoopTimer {
public:
    // fireTime is absolute, in platform::now() seconds.
    static std::shared_ptr<RunLoopTimer> schedule(double fireTime, std::function<void()> callback);
    void invalidate();
    bool isValid() const { return valid_; }
    ~RunLoopTimer();

    // Fires every due timer now (tests drive time with the injected clock).
    static int fireDueTimersForTesting();

private:
    RunLoopTimer() = default;
    std::function<void()> callback_;
    double fireTime_ = 0;
    bool valid_ = true;
    QTimer *timer_ = nullptr;
    friend struct RunLoopTimerRegistry;
};

// ---------------------------------------------------------- input events

// One input event as the view receives it from the window system.
struct Event {
    enum Type { KeyDown, KeyUp, MouseDown, MouseUp, MouseMoved, MouseDragged, ScrollWheel, FlagsChanged };
    Type type = KeyDown;
    unsigned modifierFlags = 0;  // ShiftKey 1<<17, Control 1<<18, Option 1<<19, Command 1<<20, CapsLock 1<<16
    std::string characters;      // UTF-8 text of a key, function keys in the private-use area
    std::string charactersIgnoringModifiers;
    int buttonNumber = 0;        // 0 left, 1 right, 2 middle
    double deltaX = 0, deltaY = 0;
    Point locationInWindow;      // y-up, relative to the view's window
};

// ------------------------------------------------------------ saver view

// The saver view: a rectangle on screen that the host starts, ticks and
// stops. Ticks come from a timer at animationTimeInterval() while animating.
// A 2D view draws into its backing context; a GL view owns a GL surface.
class SOMNEL_EXPORT ScreenSaverView {
public:
    ScreenSaverView(Rect frame, bool isPreview);
    virtual ~ScreenSaverView();

    Rect frame() const { return frame_; }
    Rect bounds() const { return Rect{{0, 0}, frame_.size}; }
    bool isPreview() const { return isPreview_; }

    virtual void startAnimation();
    virtual void stopAnimation();
    bool isAnimating() const { return animating_; }
    double animationTimeInterval() const { return interval_; }
    void setAnimationTimeInterval(double seconds);
    virtual void animateOneFrame() {}
    // The earliest time (platform::now() seconds) at which the next tick
    // draws; 0 when any tick draws. Off-screen rendering steps its clock to it.
    virtual double timeOfNextFrame() const { return 0; }
    virtual void drawRect(Rect) {}

    virtual void setFrame(Rect frame);
    virtual void setFrameSize(Size size);

    // The bundle that holds the view's class (null outside a bundle).
    std::shared_ptr<Bundle> bundle() const { return bundle_; }
    void setBundle(std::shared_ptr<Bundle> b) { bundle_ = std::move(b); }

    // The backing 2D context, sized to bounds (created on first use).
    Context2D *graphicsContext();

    // Where the view sits: its window's top-left on screen (y-down
    // desktop coordinates) and the first screen's height.
    virtual Point topLeftOnScreen() const;
    virtual double screenHeight() const;
    // Pointer position in view coordinates (y-up), from the last input event.
    Point lastPointerLocation() const { return pointer_; }
    // An identifier of the monitor showing the view, never 0.
    virtual unsigned displayId() const;

    void setAcceptsMouseMovedEvents(bool on) { acceptsMouseMoved_ = on; }
    bool acceptsMouseMovedEvents() const { return acceptsMouseMoved_; }
    // Hides the cursor until the mouse moves (no effect in a preview).
    void setCursorHiddenUntilMouseMoves(bool hidden);
    bool cursorHidden() const { return cursorHidden_; }

    // Input: a preview hands events to the subclass; otherwise the default
    // handlers ask the host to end the saver (on a key press, a modifier
    // press, a click, a scroll or a real pointer movement; releases do not
    // count, so letting go of the key that started the saver is harmless).
    virtual void handleEvent(const Event &e);
    // What a window hands each input event to: notes the pointer (and shows
    // a hidden cursor once it really moves), then calls handleEvent.
    void dispatchEvent(const Event &e);
    // How far (in pixels) the pointer must move before it counts as moved.
    static constexpr double kRealMovement = 3.0;
    std::function<void()> onExitRequested;

    // The window that shows this view, when the host made one.
    virtual QWindow *window() const { return window_; }
    void setWindow(QWindow *w) { window_ = w; }
    // Asks the window to show the current frame.
    virtual void presentFrame();
    // A copy of what the view shows now (the backing image for a 2D view,
    // the read-back framebuffer for a GL view).
    virtual QImage grabFrame();

    // A GL view's window must be an OpenGL surface; a 2D view's is raster.
    virtual bool wantsOpenGLSurface() const { return false; }

    virtual bool hasConfigureSheet() { return false; }
    virtual QWidget *configureSheet() { return nullptr; }

protected:
    Rect frame_;
    bool isPreview_;
    bool animating_ = false;
    double interval_ = 1.0 / 30.0;
    bool acceptsMouseMoved_ = false;
    bool cursorHidden_ = false;
    Point pointer_;
    // Where the pointer was first seen, to tell real movement from the
    // motion events a window gets when it appears under the pointer.
    bool pointerKnown_ = false;
    Point pointerReference_;
    // Records a mouse event's position; true when it is a real movement.
    bool trackPointer(const Event &e);
    std::shared_ptr<Bundle> bundle_;
    std::unique_ptr<Context2D> context_;
    QTimer *timer_ = nullptr;
    QWindow *window_ = nullptr;
};

// ------------------------------------------------------------ OpenGL

// What a GL view asks of its context.
struct GLFormat {
    int colorSize = 24;
    int alphaSize = 8;
    int depthSize = 16;
    bool doubleBuffer = true;
    int sampleBuffers = 0;
    int samples = 0;
};

// The window format for a GL format. A GL view's window is given it before
// its native window exists: the X visual is chosen then, once.
SOMNEL_EXPORT QSurfaceFormat surfaceFormatFor(const GLFormat &format);

// An OpenGL context (compatibility profile, so legacy GL works) that
// renders into its view's window when the view has one, else off screen
// into a pbuffer of the view's size. Framebuffer 0 is the window's (or the
// pbuffer's) default framebuffer in both cases.
class SOMNEL_EXPORT GLContext {
public:
    // Null with a reason when no context with this format can be made.
    static std::unique_ptr<GLContext> create(const GLFormat &format, ScreenSaverView *view,
                                             std::string *error);
    virtual ~GLContext() = default;

    virtual bool makeCurrent() = 0;
    static void clearCurrent();
    virtual void setSwapInterval(int interval) = 0;
    // Follows the view's current size (and window, once it has one).
    virtual void update(ScreenSaverView *view) = 0;
    // Presents the back buffer.
    virtual void flushBuffer() = 0;
    // The pixels drawn into the back buffer since the last flush (or the
    // front buffer after it), top row first.
    virtual QImage readPixels() = 0;
    // "GL 4.5 compat, depth 24, samples 0, double-buffered ..." for the log.
    virtual std::string describe() const = 0;
    // Mesa's threaded dispatch, the analog of a multi-threaded engine: 0 when
    // on, else an error code (it can only be asked for before creation).
    virtual int threadedDispatchStatus() const = 0;
    // Whether the context renders into a window (false: off screen).
    virtual bool onScreen() const = 0;
};

// The entry point a bundle exports for its principal class:
//   extern "C" platform::ScreenSaverView *<PrincipalClass>_create(
//       const platform::ViewCreateArgs *);
struct ViewCreateArgs {
    Rect frame;
    bool isPreview = false;
};
using ViewCreateFunction = ScreenSaverView *(*)(const ViewCreateArgs *);

}  // namespace platform
