// The typed resource getters: what a hack reads through its display comes
// from the preference reader of the view that shows the display's root
// window.
#include "framework/somnel_view.h"
#include "somnel/resources.h"
#include "xshim/xshim_private.h"

PrefsReader *get_prefsReader(Display *dpy) {
    if (!dpy) return nullptr;
    Window root = XRootWindow(dpy, 0);
    if (!root) return nullptr;
    auto *view = dynamic_cast<SomnelView *>(xshim_window_view(root));
    return view ? view->prefsReader() : nullptr;
}

extern "C" char *get_string_resource(Display *dpy, const char *name, const char *) {
    PrefsReader *p = get_prefsReader(dpy);
    return p ? p->getStringResource(name) : nullptr;
}

extern "C" Bool get_boolean_resource(Display *dpy, const char *name, const char *) {
    PrefsReader *p = get_prefsReader(dpy);
    return p ? Bool(p->getBooleanResource(name)) : 0;
}

extern "C" int get_integer_resource(Display *dpy, const char *name, const char *) {
    PrefsReader *p = get_prefsReader(dpy);
    return p ? p->getIntegerResource(name) : 0;
}

extern "C" double get_float_resource(Display *dpy, const char *name, const char *) {
    PrefsReader *p = get_prefsReader(dpy);
    return p ? p->getFloatResource(name) : 0.0;
}
