// Widget input for the sheet's tests, sent the way QTest sends it. Kept in
// a file of its own: QTest's headers and the Xlib subset that the views
// bring in cannot meet in one source file.
#pragma once

#include <QSlider>
#include <QString>
#include <QWidget>

namespace sheetui {

void click(QWidget *w);
void clickAt(QWidget *w, QPoint at);
void keyClick(QWidget *w, int key);  // a Qt::Key
void keyClicks(QWidget *w, const QString &text);
// Presses the slider's knob, moves it dx pixels in four steps and lets go.
void drag(QSlider *slider, int dx);

}  // namespace sheetui
