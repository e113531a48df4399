// The saver view: finds a hack's function table in its bundle, gives the hack
// an emulated X display over the view, and drives its callbacks from the
// host's animation ticks at the pace each draw asks for.
#pragma once

// NOTE: Qt before the Xlib subset, whose None and True macros break Qt
// headers read after them.
#include <QCoreApplication>

#include "platform/geometry.h"
#include "platform/bundle.h"
#include "platform/event.h"
#include "platform/view.h"

#include "framework/prefs_reader.h"
#include "somnel/somnel_function_table.h"

#include <memory>
#include <string>

class SomnelView : public platform::ScreenSaverView {
public:
    // Creates a view for the hack whose table lives in `bundle` (the bundle
    // that holds the view's class). saverName may be null: the bundle's name
    // is then the saver name. Yields null when no function table is found.
    static std::unique_ptr<SomnelView> create(platform::Rect frame, const char *saverName, bool isPreview,
                                              std::shared_ptr<platform::Bundle> bundle);

    ~SomnelView() override;

    // The name of the view's class, used in assertion messages.
    virtual const char *className() const { return "SomnelView"; }

    void startAnimation() override;
    void stopAnimation() override;
    void animateOneFrame() override { render_x11(); }
    double timeOfNextFrame() const override { return next_frame_time; }
    void drawRect(platform::Rect rect) override;
    void setFrame(platform::Rect frame) override;
    void setFrameSize(platform::Size size) override;

    bool hasConfigureSheet() override { return true; }
    QWidget *configureSheet() override;
    static bool performGammaFade() { return true; }
    bool acceptsFirstResponder() const { return true; }

    // Input: in a running preview each mouse, scroll and key event is offered
    // to the hack as an X event; what the hack does not take (and every
    // event outside a preview) goes to the base, which may end the saver.
    void handleEvent(const platform::Event &e) override;
    // Offers the event to the hack's event callback as an X event of the
    // given type (KeyPress … MotionNotify). True when the hack consumed it.
    bool doEvent(const platform::Event &e, int type);

    PrefsReader *prefsReader() const { return prefsReader_.get(); }
    decltype(auto) userDefaultsController() const { return prefsReader_->userDefaultsController(); }

    // Checks that the view may go (not animating, the hack's state freed),
    // then releases the display and the preference reader. The destructor
    // does the same release when this was not called, but it cannot raise:
    // see ~SomnelView.
    void dealloc();

    somnel_function_table *functionTable() const { return xsft; }
    Display *xDisplay() const { return xdpy; }
    Window xWindow() const { return xwindow; }
    void *hackState() const { return xdata; }
    bool isInitialized() const { return initted_p; }
    struct fps_state *fpsState() const { return fpst; }

    // A fixed seed for the hacks' random numbers (0: unpredictable), from the
    // host's creation arguments. The generator is shared by every view.
    static void setRandomSeed(unsigned seed);
    // The exact-filtering hint from the host's creation arguments, which the
    // saver reads through somnel_exact_filtering(). Shared by every view.
    static void setExactFiltering(bool on);

    // The count of drawn frames shared by every view, 0 … 150.
    static int frameCounter();
    // The domain name of a hack class's stored preferences.
    static std::string domainName(const char *progclass);

protected:
    SomnelView(platform::Rect frame, bool isPreview, std::shared_ptr<platform::Bundle> bundle);

    // The second half of creation, once the object is fully built (so that
    // className() and the context hooks are the subclass's). Returns false
    // when the hack's function table is not found.
    bool initWithSaverName(const char *saverName);

    // Builds a view of class V (SomnelView or a subclass with the same
    // constructor): null when creation fails.
    template <class V>
    static std::unique_ptr<V> createView(platform::Rect frame, const char *saverName, bool isPreview,
                                         std::shared_ptr<platform::Bundle> bundle) {
        std::unique_ptr<V> view(new V(frame, isPreview, std::move(bundle)));
        if (!view->initWithSaverName(saverName)) return nullptr;
        return view;
    }

    somnel_function_table *findFunctionTable(const char *saverName);
    void setShellPath();
    void setResourcesEnv(const std::string &name);

    // One host tick: draws a frame when the previous draw's delay has passed.
    void render_x11();
    // Tells the emulation the view's new geometry; the hack hears of it on
    // the next drawn frame.
    void resize_x11();

    // Hooks for a view that owns a drawing context: make it current before
    // the hack runs, and attach it again after a size change.
    virtual void prepareContext() {}
    virtual void resizeContext() {}

    // The bundle, asserting that there is one (a view outside a bundle
    // cannot find its table or resources).
    platform::Bundle &requireBundle() const;

    somnel_function_table *xsft = nullptr;
    std::unique_ptr<PrefsReader> prefsReader_;
    bool setup_p = false;
    bool initted_p = false;
    bool resized_p = false;
    double next_frame_time = 0;
    Display *xdpy = nullptr;
    Window xwindow = nullptr;
    void *xdata = nullptr;
    struct fps_state *fpst = nullptr;

private:
    void releaseResources();
    bool released_ = false;
};

// The preference reader of the view that shows the display's root window,
// or null when there is none.
PrefsReader *get_prefsReader(Display *dpy);
