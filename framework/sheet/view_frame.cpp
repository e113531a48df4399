// y-up frames and autoresizing masks over QWidget geometry.
#include "framework/sheet/view_frame.h"

#include "platform/log.h"

#include <QRectF>
#include <QVariant>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace somnel::sheet {

namespace {

const char kFrameProperty[] = "somnelFrame";
const char kMaskProperty[] = "somnelMask";

bool hasFrame(const QWidget *w) { return w->property(kFrameProperty).isValid(); }

double parentHeight(const QWidget *w) {
    const QWidget *p = w->parentWidget();
    if (!p) return 0;
    return hasFrame(p) ? frame(p).size.height : p->height();
}

// Qt geometry from the y-up frame: edges are rounded one by one, so that
// views that touch in frame coordinates touch on screen too.
void mapGeometry(QWidget *w) {
    platform::Rect f = frame(w);
    double ph = parentHeight(w);
    int left = int(std::lround(f.origin.x));
    int right = int(std::lround(f.origin.x + f.size.width));
    int top = int(std::lround(ph - f.origin.y - f.size.height));
    int bottom = int(std::lround(ph - f.origin.y));
    w->setGeometry(left, top, std::max(0, right - left), std::max(0, bottom - top));
}

// Shares delta among the flexible parts of one axis: returns the change of
// each of the three parts (low margin, size, high margin).
void share(double delta, bool flexLow, double low, bool flexSize, double size, bool flexHigh, double high,
           double *dLow, double *dSize) {
    *dLow = *dSize = 0;
    int count = int(flexLow) + int(flexSize) + int(flexHigh);
    if (count == 0 || delta == 0) return;
    double total = (flexLow ? std::max(0.0, low) : 0) + (flexSize ? std::max(0.0, size) : 0) +
                   (flexHigh ? std::max(0.0, high) : 0);
    auto part = [&](bool flex, double len) {
        if (!flex) return 0.0;
        return total > 0 ? delta * std::max(0.0, len) / total : delta / count;
    };
    *dLow = part(flexLow, low);
    *dSize = part(flexSize, size);
}

}  // namespace

QWidget *makeView(const platform::Rect &f) {
    auto *w = new QWidget;
    setFrame(w, f);
    return w;
}

platform::Rect frame(const QWidget *w) {
    QVariant v = w->property(kFrameProperty);
    if (!v.isValid()) return platform::Rect::make(0, 0, w->width(), w->height());
    QRectF r = v.toRectF();
    return platform::Rect::make(r.x(), r.y(), r.width(), r.height());
}

platform::Rect autoresizedFrame(const platform::Rect &f, unsigned mask, platform::Size oldSize,
                                platform::Size newSize) {
    platform::Rect r = f;
    double dLow, dSize;
    share(newSize.width - oldSize.width, mask & MinXMargin, f.origin.x, mask & WidthSizable, f.size.width,
          mask & MaxXMargin, oldSize.width - f.origin.x - f.size.width, &dLow, &dSize);
    r.origin.x += dLow;
    r.size.width = std::max(0.0, r.size.width + dSize);
    share(newSize.height - oldSize.height, mask & MinYMargin, f.origin.y, mask & HeightSizable, f.size.height,
          mask & MaxYMargin, oldSize.height - f.origin.y - f.size.height, &dLow, &dSize);
    r.origin.y += dLow;
    r.size.height = std::max(0.0, r.size.height + dSize);
    return r;
}

void setFrame(QWidget *w, const platform::Rect &f) {
    const bool had = hasFrame(w);
    const platform::Rect old = frame(w);
    w->setProperty(kFrameProperty, QRectF(f.origin.x, f.origin.y, f.size.width, f.size.height));
    mapGeometry(w);
    if (had && old.size.width == f.size.width && old.size.height == f.size.height) return;
    for (QWidget *child : subviews(w)) {
        platform::Rect cf = frame(child);
        unsigned mask = autoresizingMask(child);
        if (had && mask) {
            platform::Rect nf = autoresizedFrame(cf, mask, old.size, f.size);
            if (nf.origin.x != cf.origin.x || nf.origin.y != cf.origin.y || nf.size.width != cf.size.width ||
                nf.size.height != cf.size.height) {
                setFrame(child, nf);
                continue;
            }
        }
        mapGeometry(child);  // same frame, but this widget's height may have changed
    }
}

void setFrameOrigin(QWidget *w, platform::Point origin) {
    platform::Rect f = frame(w);
    f.origin = origin;
    setFrame(w, f);
}

void setFrameSize(QWidget *w, platform::Size size) {
    platform::Rect f = frame(w);
    f.size = size;
    setFrame(w, f);
}

unsigned autoresizingMask(const QWidget *w) { return w->property(kMaskProperty).toUInt(); }

void setAutoresizingMask(QWidget *w, unsigned mask) { w->setProperty(kMaskProperty, mask); }

void addSubview(QWidget *parent, QWidget *child) {
    if (!hasFrame(child)) setFrame(child, frame(child));
    child->setParent(parent);
    mapGeometry(child);
    child->show();
}

std::vector<QWidget *> subviews(const QWidget *parent) {
    std::vector<QWidget *> out;
    for (QObject *o : parent->children()) {
        auto *w = qobject_cast<QWidget *>(o);
        if (w && !w->isWindow() && hasFrame(w)) out.push_back(w);
    }
    return out;
}

// From the end: a subview is almost always added last, so that placing
// each of a thousand controls does not read all those before it.
QWidget *lastSubview(const QWidget *parent) { return subviewBefore(parent, nullptr); }

QWidget *subviewBefore(const QWidget *parent, const QWidget *child) {
    const QObjectList &all = parent->children();
    auto it = all.rbegin();
    if (child)
        while (it != all.rend() && *it != child) ++it;
    if (it != all.rend() && child) ++it;
    for (; it != all.rend(); ++it) {
        auto *w = qobject_cast<QWidget *>(*it);
        if (w && !w->isWindow() && hasFrame(w)) return w;
    }
    return nullptr;
}

}  // namespace somnel::sheet
