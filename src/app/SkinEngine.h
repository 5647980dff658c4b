// The skin's scale: the main window's designed geometry multiplied by the screen's density.
#pragma once

#include <QRect>

class QWidget;

namespace quimbrel {

// Pixels per inch / 96 to the nearest multiple of 0.5, an exact half going to the even multiple.
double skinscale(double dotsPerInch);
// Each of left, top, width and height times scale, to the nearest integer (an exact half to the even one).
QRect skinrect(const QRect& designed, double scale);
// Places a control at its designed rectangle scaled; static texts also scale their font.
void skinplace(QWidget* control, const QRect& designed, double scale, bool scaleFont = false);

} // namespace quimbrel
