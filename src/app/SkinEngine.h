// The skin's scale: the main window's designed geometry multiplied by the screen's density.
#pragma once

#include <QRect>
#include <QRegion>
#include <QRgb>

class QImage;

class QWidget;

namespace quimbrel {

// Pixels per inch / 96 to the nearest multiple of 0.5, an exact half going to the even multiple.
double skinscale(double dotsPerInch);
// Each of left, top, width and height times scale, to the nearest integer (an exact half to the even one).
QRect skinrect(const QRect& designed, double scale);
// Places a control at its designed rectangle scaled; static texts also scale their font.
void skinplace(QWidget* control, const QRect& designed, double scale, bool scaleFont = false);
// The shape of a skinned picture: every pixel but the opaque ones of the transparent colour, in the picture's
// own pixels. Built from runs of pixels, so its meaning does not hang on any bitmap colour table.
QRegion skinshape(const QImage& picture, QRgb transparent);

} // namespace quimbrel
