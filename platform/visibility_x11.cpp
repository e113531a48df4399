// Fully obscured X11 windows, from the server's visibility events.
#include "platform/visibility.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QGuiApplication>
#include <QWindow>

#include <xcb/xcb.h>

#include <cstdlib>
#include <utility>
#include <vector>

namespace platform {

namespace {

struct Watched {
    QWindow *window;
    std::function<void(bool)> changed;
};

// The application's events pass through here before Qt handles them; Qt
// itself does not ask for visibility events.
class VisibilityFilter : public QAbstractNativeEventFilter {
public:
    bool nativeEventFilter(const QByteArray &type, void *message, qintptr *) override {
        if (type != "xcb_generic_event_t") return false;
        auto *e = static_cast<xcb_generic_event_t *>(message);
        if ((e->response_type & 0x7f) != XCB_VISIBILITY_NOTIFY) return false;
        auto *v = reinterpret_cast<xcb_visibility_notify_event_t *>(e);
        for (const Watched &w : watched)
            if (w.window->handle() && w.window->winId() == v->window) {
                const auto changed = w.changed;  // it may stop watching
                changed(v->state == XCB_VISIBILITY_FULLY_OBSCURED);
                break;
            }
        return false;
    }
    std::vector<Watched> watched;
};

VisibilityFilter *filter() {
    static VisibilityFilter *f = [] {
        auto *made = new VisibilityFilter;
        QCoreApplication::instance()->installNativeEventFilter(made);
        return made;
    }();
    return f;
}

xcb_connection_t *connection() {
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

}  // namespace

void watchObscured(QWindow *window, std::function<void(bool)> changed) {
    xcb_connection_t *c = connection();
    if (!c || !window->handle()) return;
    // NOTE: the event mask is per client and replaces what the client
    // asked before: keep Qt's events and add the visibility ones.
    const xcb_window_t id = xcb_window_t(window->winId());
    xcb_get_window_attributes_reply_t *a = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, id), nullptr);
    if (!a) return;
    const uint32_t mask = a->your_event_mask | XCB_EVENT_MASK_VISIBILITY_CHANGE;
    free(a);
    xcb_change_window_attributes(c, id, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);
    for (Watched &w : filter()->watched)
        if (w.window == window) {
            w.changed = std::move(changed);
            return;
        }
    filter()->watched.push_back({window, std::move(changed)});
}

void stopWatchingObscured(QWindow *window) {
    if (!connection()) return;
    auto &all = filter()->watched;
    for (auto it = all.begin(); it != all.end(); ++it)
        if (it->window == window) {
            all.erase(it);
            return;
        }
}

}  // namespace platform
