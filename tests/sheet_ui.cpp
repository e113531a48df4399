// Widget input for the sheet's tests, sent the way QTest sends it (see
// sheet_ui.h for why it lives in a file of its own).
#include "tests/sheet_ui.h"

#include <QStyleOptionSlider>
#include <QTest>

namespace sheetui {

void click(QWidget *w) { QTest::mouseClick(w, Qt::LeftButton); }
void clickAt(QWidget *w, QPoint at) { QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, at); }
void keyClick(QWidget *w, int key) { QTest::keyClick(w, Qt::Key(key)); }
void keyClicks(QWidget *w, const QString &text) { QTest::keyClicks(w, text); }

// Where the slider's knob is drawn.
static QPoint knobCentre(QSlider *slider) {
    QStyleOptionSlider opt;
    opt.initFrom(slider);
    opt.orientation = slider->orientation();
    opt.minimum = slider->minimum();
    opt.maximum = slider->maximum();
    opt.sliderPosition = slider->sliderPosition();
    opt.sliderValue = slider->value();
    opt.tickPosition = slider->tickPosition();
    opt.tickInterval = slider->tickInterval();
    opt.singleStep = slider->singleStep();
    opt.pageStep = slider->pageStep();
    opt.subControls = QStyle::SC_All;
    return slider->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, slider).center();
}

void drag(QSlider *slider, int dx) {
    const QPoint from = knobCentre(slider);
    QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, from);
    for (int i = 1; i <= 4; ++i) QTest::mouseMove(slider, from + QPoint(dx * i / 4, 0));
    QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier, from + QPoint(dx, 0));
}

}  // namespace sheetui
