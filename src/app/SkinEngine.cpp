// The skin's scale arithmetic; UI thread.
#include "SkinEngine.h"

#include <QFont>
#include <QImage>
#include <QWidget>

#include <algorithm>
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
    // Bands of rows with the same runs of pixels, top to bottom, each band's runs left to right and never
    // touching side by side: what setRects takes. Rows that repeat the band above only make it taller, so a
    // skin with rounded corners is a few dozen rectangles, which keeps every repaint's clipping cheap.
    std::vector<QRect> rects;
    std::size_t band = 0; // index of the first rectangle of the current band
    std::vector<QRect> row;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        row.clear();
        int x = 0;
        while (x < image.width()) {
            while (x < image.width() && line[x] == key)
                ++x;
            const int start = x;
            while (x < image.width() && line[x] != key)
                ++x;
            if (x > start)
                row.emplace_back(start, y, x - start, 1);
        }
        const bool same =
            !row.empty() && rects.size() - band == row.size() && rects[band].bottom() == y - 1 &&
            std::equal(row.begin(), row.end(), rects.begin() + static_cast<std::ptrdiff_t>(band),
                       [](const QRect& a, const QRect& b) {
                           return a.left() == b.left() && a.right() == b.right();
                       });
        if (same) {
            for (std::size_t i = band; i < rects.size(); ++i)
                rects[i].setBottom(y);
        } else if (!row.empty()) {
            band = rects.size();
            rects.insert(rects.end(), row.begin(), row.end());
        }
    }
    QRegion shape;
    if (!rects.empty())
        shape.setRects(rects.data(), static_cast<int>(rects.size()));
    return shape;
}

} // namespace quimbrel
