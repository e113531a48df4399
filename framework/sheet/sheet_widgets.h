// The widgets the configuration sheet is made of, beyond Qt's own: the
// slider that reads its value through a transform, the stepper, the
// description view, the radio column, the text field that sizes to a text,
// and the box that holds a content view. Plus "size to fit" for all of
// them: the natural size of a control with its current content.
#pragma once

#include "platform/geometry.h"
#include "platform/value.h"

#include <QLineEdit>
#include <QSlider>
#include <QTextBrowser>
#include <QWidget>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

class QButtonGroup;
class QRadioButton;
class QToolButton;

namespace somnel::sheet {

// A double rounded to the nearest int (halves away from zero), clamped to
// the range of int; not a number gives 0. A description may give any
// number as a range ("-3e9", "1e300", "nan"): no conversion may overflow.
int roundToInt(double v);
// The same for long long (a stored integer value).
long long roundToLongLong(double v);

// Sets the view's frame size to its natural size (size hint, or the
// content for boxes and text fields), keeping its origin.
void sizeToFit(QWidget *view);

// A box: an optional title at the top, an optional bezel border, and a
// content view inset by the content margins. The content view follows the
// box's size.
class Box : public QWidget {
public:
    enum BorderType { NoBorder = 0, BezelBorder = 2 };
    Box(const platform::Rect &frame, const QString &title, BorderType border, double marginX = 5,
        double marginY = 5);

    QWidget *contentView() const { return content_; }
    void setContentView(QWidget *view);
    // Fits the content view around its subviews (they move so that their
    // union starts at the content view's origin), then the box around it.
    void sizeToFit();
    const QString &title() const { return title_; }

protected:
    void paintEvent(QPaintEvent *) override;

private:
    double titleHeight() const;
    double border() const { return border_ == BezelBorder ? 2 : 0; }
    QString title_;
    BorderType border_;
    double mx_, my_;
    QWidget *content_ = nullptr;
};

}  // namespace somnel::sheet

// A slider whose bound value is its position passed through a transform:
// rounded to whole numbers when `integers`, and mirrored (the maximum at
// the left) when `inverted`. The transform is its own inverse, so the same
// operation maps positions to values and values to positions.
//
// The range is continuous; underneath, the knob moves in whole steps:
// one per tick mark when the knob stops only on tick marks, else 1000.
class InvertedSlider : public QSlider {
public:
    explicit InvertedSlider(const platform::Rect &frame);  // inverted, fractional
    InvertedSlider(const platform::Rect &frame, bool inverted, bool integers);

    bool inverted() const { return inverted_; }
    bool integers() const { return integers_; }

    void setMinValue(double v);
    void setMaxValue(double v);
    double minValue() const { return min_; }
    double maxValue() const { return max_; }
    void setNumberOfTickMarks(int n);
    int numberOfTickMarks() const { return ticks_; }
    void setAllowsTickMarkValuesOnly(bool on);
    bool allowsTickMarkValuesOnly() const { return ticksOnly_; }

    double transformValue(double v) const;

    // The knob's position in value units (min at the left), before the transform.
    double positionValue() const;
    void setPositionValue(double v);

    double doubleValue() const { return transformValue(positionValue()); }
    void setDoubleValue(double v) { setPositionValue(transformValue(v)); }
    float floatValue() const { return float(doubleValue()); }
    // Truncated towards zero, as a cast would, within the range of int.
    int intValue() const { return somnel::sheet::roundToInt(std::trunc(doubleValue())); }
    std::string stringValue() const;
    void setFloatValue(float v) { setDoubleValue(v); }
    void setIntValue(int v) { setDoubleValue(v); }
    void setStringValue(const std::string &s);
    platform::Value objectValue() const { return doubleValue(); }
    void setObjectValue(const platform::Value &v);  // nil counts as 0

private:
    void updateSteps();
    int steps() const;
    bool inverted_ = true;
    bool integers_ = false;
    double min_ = 0, max_ = 1;
    int ticks_ = 0;
    bool ticksOnly_ = false;
};

namespace somnel::sheet {

// Two arrow buttons that step a number between a minimum and a maximum.
class Stepper : public QWidget {
public:
    Stepper();
    QSize sizeHint() const override;

    void setMinValue(double v) { min_ = v; }
    void setMaxValue(double v) { max_ = v; }
    void setIncrement(double v) { increment_ = v; }
    void setAutorepeat(bool on);
    void setValueWraps(bool on) { wraps_ = on; }
    double minValue() const { return min_; }
    double maxValue() const { return max_; }
    double increment() const { return increment_; }
    double doubleValue() const { return value_; }
    void setDoubleValue(double v);
    // Steps up (+1) or down (-1) as a click does.
    void step(int direction);

    // Called after a click changed the value.
    std::function<void(double)> onUserChange;

protected:
    void resizeEvent(QResizeEvent *) override;

private:
    QToolButton *up_, *down_;
    double min_ = 0, max_ = 100, increment_ = 1, value_ = 0;
    bool wraps_ = false;
};

// A column of radio buttons, one per title, exactly one selected.
class RadioMatrix : public QWidget {
public:
    explicit RadioMatrix(const std::vector<QString> &titles);
    int selectedIndex() const;
    void setSelectedIndex(int i);
    QRadioButton *cell(int i) const { return cells_[size_t(i)]; }
    int numberOfRows() const { return int(cells_.size()); }
    void setCellSize(platform::Size s) { cellSize_ = s; }
    platform::Size cellSize() const { return cellSize_; }
    // The frame's size becomes rows x cells (no space between cells).
    void sizeToCells();

    std::function<void(int)> onUserSelect;

protected:
    void resizeEvent(QResizeEvent *) override;

private:
    std::vector<QRadioButton *> cells_;
    QButtonGroup *group_;
    platform::Size cellSize_{55, 20};
};

// A single-line field whose natural size fits a given text.
class TextField : public QLineEdit {
public:
    TextField();
    // The size the field needs to show text whole.
    QSize sizeForText(const QString &text) const;
    // Size to fit: as wide as the current text (at least a few characters).
    void sizeToFit();
    // Set when the field shows numbers (spinbutton fields).
    bool numeric = false;
    bool fractional = false;
};

// The saver's description: read-only rich text without background, whose
// links open in the desktop's browser.
class DescriptionView : public QTextBrowser {
public:
    DescriptionView();
    // The height that shows the whole text at the given width (named apart
    // from the layout's virtual heightForWidth(int), which it would hide).
    double textHeightForWidth(double width) const;
};

}  // namespace somnel::sheet
