// The skin's scale arithmetic; UI thread.
#include "SkinEngine.h"

#include <QFont>
#include <QImage>
#include <QWidget>

#include <cmath>
#include <vector>

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

QRegion skinshape(const QImage& picture, QRgb transparent) {
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = qRgba(qRed(transparent), qGreen(transparent), qBlue(transparent), 255);
    // One-pixel-high runs, top to bottom and left to right, never touching side by side: what setRects takes.
    std::vector<QRect> runs;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        int x = 0;
        while (x < image.width()) {
            while (x < image.width() && line[x] == key)
                ++x;
            const int start = x;
            while (x < image.width() && line[x] != key)
                ++x;
            if (x > start)
                runs.emplace_back(start, y, x - start, 1);
        }
    }
    QRegion shape;
    if (!runs.empty())
        shape.setRects(runs.data(), static_cast<int>(runs.size()));
    return shape;
}

} // namespace quimbrel
