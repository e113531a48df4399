// The sheet's own widgets and "size to fit".
#include "framework/sheet/sheet_widgets.h"

#include "platform/log.h"

#include "framework/sheet/view_frame.h"

#include <QButtonGroup>
#include <qdrawutil.h>
#include <QPainter>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTextDocument>
#include <QToolButton>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <memory>

namespace somnel::sheet {

int roundToInt(double v) {
    if (std::isnan(v)) return 0;
    v = std::round(v);
    return v <= double(INT_MIN) ? INT_MIN : v >= double(INT_MAX) ? INT_MAX : int(v);
}

long long roundToLongLong(double v) {
    if (std::isnan(v)) return 0;
    v = std::round(v);
    // NOTE: LLONG_MAX is not a double; 2^63 is the first one past it.
    return v < -9223372036854775808.0 ? LLONG_MIN : v >= 9223372036854775808.0 ? LLONG_MAX : (long long)v;
}

void sizeToFit(QWidget *view) {
    if (auto *box = dynamic_cast<Box *>(view)) return box->sizeToFit();
    if (auto *field = dynamic_cast<TextField *>(view)) return field->sizeToFit();
    if (auto *matrix = dynamic_cast<RadioMatrix *>(view)) return matrix->sizeToCells();
    if (auto *desc = dynamic_cast<DescriptionView *>(view)) {
        platform::Rect f = frame(view);
        setFrameSize(view, {f.size.width, desc->textHeightForWidth(f.size.width)});
        return;
    }
    QSize hint = view->sizeHint();
    if (hint.isValid()) setFrameSize(view, {double(hint.width()), double(hint.height())});
}

// ---------------------------------------------------------------- Box

Box::Box(const platform::Rect &f, const QString &title, BorderType border, double marginX, double marginY)
    : title_(title), border_(border), mx_(marginX), my_(marginY) {
    setFrame(this, f);
    auto *content = new QWidget;
    setFrame(content, platform::Rect::make(0, 0, 0, 0));
    setContentView(content);
}

void Box::setContentView(QWidget *view) {
    if (content_ && content_ != view) delete content_;
    content_ = view;
    // The content view fills the box inside its border, title and margins,
    // and takes whatever the box gains or loses.
    const platform::Rect f = frame(this);
    const double b = border();
    setFrame(view, platform::Rect::make(b + mx_, b + my_, std::max(0.0, f.size.width - 2 * (b + mx_)),
                                        std::max(0.0, f.size.height - 2 * (b + my_) - titleHeight())));
    addSubview(this, view);
    setAutoresizingMask(view, WidthSizable | HeightSizable);
}

double Box::titleHeight() const { return title_.isEmpty() ? 0 : fontMetrics().height() + 4; }

void Box::sizeToFit() {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool any = false;
    for (QWidget *v : subviews(content_)) {
        platform::Rect f = frame(v);
        if (!any) {
            x0 = f.origin.x, y0 = f.origin.y;
            x1 = f.origin.x + f.size.width, y1 = f.origin.y + f.size.height;
            any = true;
            continue;
        }
        x0 = std::min(x0, f.origin.x);
        y0 = std::min(y0, f.origin.y);
        x1 = std::max(x1, f.origin.x + f.size.width);
        y1 = std::max(y1, f.origin.y + f.size.height);
    }
    const double b = border();
    const double w = x1 - x0, h = y1 - y0;
    setFrameSize(this, {w + 2 * (b + mx_), h + 2 * (b + my_) + titleHeight()});
    setFrame(content_, platform::Rect::make(b + mx_, b + my_, w, h));
    if (x0 != 0 || y0 != 0)
        for (QWidget *v : subviews(content_)) {
            platform::Rect f = frame(v);
            setFrameOrigin(v, {f.origin.x - x0, f.origin.y - y0});
        }
}

void Box::paintEvent(QPaintEvent *) {
    QPainter p(this);
    const int th = int(std::lround(titleHeight()));
    if (!title_.isEmpty())
        style()->drawItemText(&p, QRect(6, 0, width() - 12, th), Qt::AlignLeft | Qt::AlignVCenter, palette(),
                              true, title_, QPalette::WindowText);
    // NOTE: the style's group-box frame leaves room for a title above it
    // when the widget is not a QGroupBox; the box draws its own etched line.
    if (border_ == BezelBorder) qDrawShadeRect(&p, QRect(0, th, width(), height() - th), palette(), true, 1, 0);
}

// ---------------------------------------------------------------- Stepper

Stepper::Stepper() : up_(new QToolButton(this)), down_(new QToolButton(this)) {
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    for (QToolButton *b : {up_, down_}) {
        b->setFocusPolicy(Qt::NoFocus);
        b->setAutoRaise(false);
    }
    QObject::connect(up_, &QToolButton::clicked, this, [this] { step(+1); });
    QObject::connect(down_, &QToolButton::clicked, this, [this] { step(-1); });
}

QSize Stepper::sizeHint() const {
    int e = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    return QSize(e + 2, 2 * e + 2);
}

void Stepper::setAutorepeat(bool on) {
    up_->setAutoRepeat(on);
    down_->setAutoRepeat(on);
}

void Stepper::setDoubleValue(double v) { value_ = std::clamp(v, std::min(min_, max_), std::max(min_, max_)); }

void Stepper::step(int direction) {
    double v = value_ + direction * increment_;
    // A range that is no range (not a number) steps nowhere.
    if (!std::isfinite(v)) return;
    if (v > max_) v = wraps_ ? min_ : max_;
    if (v < min_) v = wraps_ ? max_ : min_;
    if (v == value_) return;
    value_ = v;
    if (onUserChange) onUserChange(value_);
}

void Stepper::resizeEvent(QResizeEvent *) {
    int h = height() / 2;
    up_->setGeometry(0, 0, width(), h);
    down_->setGeometry(0, h, width(), height() - h);
}

// ------------------------------------------------------------ RadioMatrix

RadioMatrix::RadioMatrix(const std::vector<QString> &titles) : group_(new QButtonGroup(this)) {
    group_->setExclusive(true);
    int i = 0;
    for (const QString &t : titles) {
        auto *cell = new QRadioButton(t, this);
        group_->addButton(cell, i++);
        cells_.push_back(cell);
    }
    QObject::connect(group_, &QButtonGroup::idClicked, this, [this](int id) {
        if (onUserSelect) onUserSelect(id);
    });
}

int RadioMatrix::selectedIndex() const { return group_->checkedId(); }

void RadioMatrix::setSelectedIndex(int i) {
    // An empty selection is not allowed: out-of-range indexes pick the first row.
    if (cells_.empty()) return;
    if (i < 0 || i >= int(cells_.size())) i = 0;
    cells_[size_t(i)]->setChecked(true);
}

void RadioMatrix::sizeToCells() {
    setFrameSize(this, {cellSize_.width, cellSize_.height * double(cells_.size())});
}

void RadioMatrix::resizeEvent(QResizeEvent *) {
    const int ch = roundToInt(cellSize_.height);
    for (size_t i = 0; i < cells_.size(); ++i) cells_[i]->setGeometry(0, int(i) * ch, width(), ch);
}

// ------------------------------------------------------------- TextField

TextField::TextField() = default;

// As QLineEdit computes its size hint, with the text's advance for the width.
QSize TextField::sizeForText(const QString &text) const {
    QFontMetrics fm(font());
    const QMargins tm = textMargins();
    const QMargins cm = contentsMargins();
    int h = std::max(fm.height(), 14) + 2 * 1 + tm.top() + tm.bottom() + cm.top() + cm.bottom();
    int w = fm.horizontalAdvance(text) + 2 * 2 + tm.left() + tm.right() + cm.left() + cm.right() + 1;
    QStyleOptionFrame opt;
    initStyleOption(&opt);
    return style()->sizeFromContents(QStyle::CT_LineEdit, &opt, QSize(w, h), this);
}

void TextField::sizeToFit() {
    QSize s = sizeForText(text());
    setFrameSize(this, {double(s.width()), double(s.height())});
}

// -------------------------------------------------------- DescriptionView

DescriptionView::DescriptionView() {
    setReadOnly(true);
    setOpenExternalLinks(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    QPalette pal = palette();
    pal.setColor(QPalette::Base, Qt::transparent);
    setPalette(pal);
}

double DescriptionView::textHeightForWidth(double width) const {
    std::unique_ptr<QTextDocument> doc(document()->clone());
    const double inner = std::max(1.0, width - 2 * frameWidth());
    doc->setTextWidth(inner);
    return std::ceil(doc->size().height()) + 2 * frameWidth();
}

}  // namespace somnel::sheet

// --------------------------------------------------------- InvertedSlider

InvertedSlider::InvertedSlider(const platform::Rect &frame) : QSlider(Qt::Horizontal) {
    somnel::sheet::setFrame(this, frame);
    updateSteps();
}

InvertedSlider::InvertedSlider(const platform::Rect &frame, bool inverted, bool integers) : InvertedSlider(frame) {
    inverted_ = inverted;
    integers_ = integers;
}

int InvertedSlider::steps() const { return ticksOnly_ && ticks_ > 1 ? ticks_ - 1 : 1000; }

// Keeps the knob's value across a change of the step grid.
void InvertedSlider::updateSteps() {
    const double v = positionValue();
    const int n = steps();
    setRange(0, n);
    setSingleStep(ticksOnly_ ? 1 : n / 100);
    setPageStep(ticksOnly_ ? std::max(1, n / 10) : n / 10);
    setTickPosition(ticks_ > 0 ? QSlider::TicksBelow : QSlider::NoTicks);
    setTickInterval(ticks_ > 1 ? std::max(1, n / (ticks_ - 1)) : n);
    setPositionValue(v);
}

void InvertedSlider::setMinValue(double v) {
    const double p = positionValue();
    min_ = v;
    setPositionValue(p);
}

void InvertedSlider::setMaxValue(double v) {
    const double p = positionValue();
    max_ = v;
    setPositionValue(p);
}

void InvertedSlider::setNumberOfTickMarks(int n) {
    ticks_ = std::max(0, n);
    updateSteps();
}

void InvertedSlider::setAllowsTickMarkValuesOnly(bool on) {
    ticksOnly_ = on;
    updateSteps();
}

double InvertedSlider::transformValue(double v) const {
    // Halves away from zero, in doubles: the range may exceed an int's.
    if (integers_) v = std::round(v);
    return inverted_ ? (max_ - min_) - (v - min_) + min_ : v;
}

double InvertedSlider::positionValue() const {
    if (maximum() <= minimum()) return min_;
    return min_ + (max_ - min_) * double(value() - minimum()) / double(maximum() - minimum());
}

void InvertedSlider::setPositionValue(double v) {
    const double lo = std::min(min_, max_), hi = std::max(min_, max_);
    v = std::clamp(v, lo, hi);
    const double at = max_ == min_ ? 0 : (v - min_) / (max_ - min_) * (maximum() - minimum());
    // Not a number when the range is none (a bound "nan" or infinite).
    const int p = std::isfinite(at) ? std::clamp(somnel::sheet::roundToInt(at), 0, maximum() - minimum()) : 0;
    setValue(minimum() + p);
}

std::string InvertedSlider::stringValue() const {
    char buf[64];
    snprintf(buf, sizeof buf, "%f", double(floatValue()));
    return buf;
}

void InvertedSlider::setStringValue(const std::string &s) { setDoubleValue(platform::doubleValue(s)); }

void InvertedSlider::setObjectValue(const platform::Value &v) { setDoubleValue(platform::doubleValue(v)); }
