// Drawing of the bar spectrum; UI thread, one picture per visual timer tick.
#include "SpectrumView.h"

#include <QPainter>

#include <algorithm>
#include <cstring>

namespace quimbrel {

namespace {
const QColor kLitTop(255, 255, 255);
const QColor kLitBottom(255, 255, 255);
const QColor kUnlit(29, 134, 208);
const QColor kGrid(39, 155, 237);
} // namespace

SpectrumView::SpectrumView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void SpectrumView::fitTo(const QRect& area) {
    m_cellwidth = std::max(1, area.width() / 37);
    m_cellheight = std::max(1, area.height() / 36);
    setGeometry(area.left(), area.top(), 37 * m_cellwidth, 36 * m_cellheight);
    InitBitmaps();
    UpdateBar();
}

QImage SpectrumView::InitBitmap(const QSize& size) {
    QImage img(size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::black);
    return img;
}

void SpectrumView::InitBitmaps() {
    const QSize s = size();
    m_framebitmap = InitBitmap(s);
    m_nextbitmap = InitBitmap(s);
    m_trailbitmap = InitBitmap(s);
    m_litbitmap = InitBitmap(s);
    m_unlitbitmap = InitBitmap(s);
    m_bars = std::make_unique<SpectrumBars>(s.height(), m_cellheight);
    m_lastPicture = SpectrumPicture{};
    m_settled = false;
    m_shownPictures = 0;
}

void SpectrumView::UpdateBar() {
    auto paint = [this](QImage& img, const QColor& top, const QColor& bottom) {
        QPainter p(&img);
        QLinearGradient g(0, 0, 0, img.height());
        g.setColorAt(0, top);
        g.setColorAt(1, bottom);
        p.fillRect(img.rect(), g);
        p.setPen(kGrid);
        for (int j = 1; j <= 36; ++j)
            p.drawLine(0, j * m_cellheight - 1, img.width() - 1, j * m_cellheight - 1);
        for (int j = 0; j <= 37; ++j) {
            p.drawLine(j * m_cellwidth, 0, j * m_cellwidth, img.height() - 1);
            p.drawLine(j * m_cellwidth + 1, 0, j * m_cellwidth + 1, img.height() - 1);
        }
    };
    paint(m_litbitmap, kLitTop, kLitBottom);
    paint(m_unlitbitmap, kUnlit, kUnlit);
    m_trailbitmap = m_unlitbitmap.copy();
    m_framebitmap = m_unlitbitmap.copy();
    m_settled = false;
    update();
}

void SpectrumView::compose(const SpectrumPicture& picture) {
    // The bitmaps keep their storage: each picture copies pixels, never allocates. All four bitmaps share
    // one format and size, so a lit column is a run of whole scan-line pieces.
    const int w = m_nextbitmap.width();
    const int h = m_nextbitmap.height();
    std::memcpy(m_nextbitmap.bits(), m_trailbitmap.constBits(),
                static_cast<std::size_t>(m_nextbitmap.sizeInBytes()));
    auto copyRows = [this, w](int x, int from, int to) {
        const int width = std::min(m_cellwidth, w - x);
        if (width <= 0)
            return;
        const auto bytes = static_cast<std::size_t>(width) * sizeof(QRgb);
        for (int y = from; y < to; ++y)
            std::memcpy(reinterpret_cast<QRgb*>(m_nextbitmap.scanLine(y)) + x,
                        reinterpret_cast<const QRgb*>(m_litbitmap.constScanLine(y)) + 2, bytes);
    };
    for (int i = 0; i < kSpectrumBars; ++i) {
        const int x = i * m_cellwidth + 2;
        copyRows(x, std::max(0, picture.litTop[static_cast<std::size_t>(i)]), h);
        const int peak = picture.peakY[static_cast<std::size_t>(i)];
        if (peak >= 0 && peak < h)
            copyRows(x, peak, peak + 1);
    }
}

void SpectrumView::DCSpectrumSpectrumData(const TVisualBuffer& result) {
    if (!m_bars || m_framebitmap.isNull())
        return;
    const SpectrumPicture picture = m_bars->step(result[0].data());
    const bool repeated = picture == m_lastPicture;
    if (repeated && m_settled)
        return;
    compose(picture);
    m_lastPicture = picture;
    if (repeated && std::memcmp(m_nextbitmap.constBits(), m_framebitmap.constBits(),
                                static_cast<std::size_t>(m_framebitmap.sizeInBytes())) == 0) {
        m_settled = true;
        return;
    }
    m_settled = false;
    m_framebitmap.swap(m_nextbitmap);
    std::memcpy(m_trailbitmap.bits(), m_unlitbitmap.constBits(),
                static_cast<std::size_t>(m_trailbitmap.sizeInBytes()));
    {
        QPainter p(&m_trailbitmap);
        p.setOpacity(200.0 / 255.0);
        p.drawImage(0, 0, m_framebitmap);
    }
    ++m_shownPictures;
    update();
}

void SpectrumView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, m_framebitmap);
}

} // namespace quimbrel
