// The skin's scale arithmetic; UI thread.
#include "SkinEngine.h"

#include <QFont>
#include <QWidget>

#include <cmath>

namespace quimbrel {

double skinscale(double dotsPerInch) {
    if (!(dotsPerInch > 0))
        return 1.0;
    const double scale = std::nearbyint(dotsPerInch / 96.0 * 2.0) / 2.0;
    return scale < 0.5 ? 0.5 : scale;
}

static int scaled(int value, double scale) {
    return static_cast<int>(std::nearbyint(value * scale));
}

QRect skinrect(const QRect& designed, double scale) {
    return QRect(scaled(designed.left(), scale), scaled(designed.top(), scale),
                 scaled(designed.width(), scale), scaled(designed.height(), scale));
}

void skinplace(QWidget* control, const QRect& designed, double scale, bool scaleFont) {
    control->setGeometry(skinrect(designed, scale));
    if (scaleFont) {
        QFont font = control->font();
        if (font.pixelSize() > 0)
            font.setPixelSize(scaled(font.pixelSize(), scale));
        else
            font.setPointSizeF(font.pointSizeF() * scale);
        control->setFont(font);
    }
}

} // namespace quimbrel
