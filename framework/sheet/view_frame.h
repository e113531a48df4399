// Frames for the configuration sheet's widgets in the saver view's
// convention: a frame's origin is its bottom-left corner and y grows upward
// from the bottom of the parent. Each widget placed through these helpers
// keeps its frame and an autoresizing mask; its Qt geometry (top-left,
// y-down) is derived from the frame and the parent's height, and is
// recomputed whenever the parent's size changes.
#pragma once

#include "platform/geometry.h"

#include <vector>

class QWidget;

namespace somnel::sheet {

// Autoresizing flags: which margins and which size follow the parent.
enum : unsigned {
    MinXMargin = 1,     // flexible left margin
    WidthSizable = 2,   // flexible width
    MaxXMargin = 4,     // flexible right margin
    MinYMargin = 8,     // flexible bottom margin
    HeightSizable = 16, // flexible height
    MaxYMargin = 32,    // flexible top margin
};

// A plain container with the given frame (no parent yet).
QWidget *makeView(const platform::Rect &frame);

// The widget's frame in its parent's y-up coordinates. A widget that never
// got one reports {0, 0, its Qt size}.
platform::Rect frame(const QWidget *w);
// Sets the frame and the Qt geometry. When the size changes, the
// subviews follow by their masks (all of them are re-mapped, since their
// Qt positions depend on this widget's height).
void setFrame(QWidget *w, const platform::Rect &frame);
void setFrameOrigin(QWidget *w, platform::Point origin);
void setFrameSize(QWidget *w, platform::Size size);

unsigned autoresizingMask(const QWidget *w);
void setAutoresizingMask(QWidget *w, unsigned mask);

// Makes child the parent's last subview, keeping the child's frame.
void addSubview(QWidget *parent, QWidget *child);
// The widgets added with addSubview, in order.
std::vector<QWidget *> subviews(const QWidget *parent);
// The parent's last subview, or null.
QWidget *lastSubview(const QWidget *parent);
// The subview just before child among the parent's subviews (the last one
// when child is null), or null.
QWidget *subviewBefore(const QWidget *parent, const QWidget *child);

// The frame a subview gets when its parent goes from oldSize to the
// parent's new size, by the subview's mask. Where several parts along one
// axis are flexible, the change is shared in proportion to their current
// lengths (equally when they are all zero).
platform::Rect autoresizedFrame(const platform::Rect &f, unsigned mask, platform::Size oldSize,
                                platform::Size newSize);

}  // namespace somnel::sheet
