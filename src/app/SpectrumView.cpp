// Drawing of the bar spectrum; UI thread, one picture per visual timer tick.
#include "SpectrumView.h"

#include "XcbPicture.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
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
    // On X the pictures skip the backing store and the repaint machinery: 40 of them a second would
    // otherwise each wait for a round trip to the server and go through the window's repaint and flush.
    m_native = XcbPicture::create();
    if (m_native) {
        setAttribute(Qt::WA_DontCreateNativeAncestors);
        setAttribute(Qt::WA_NativeWindow);
        setAttribute(Qt::WA_PaintOnScreen);
    }
}

SpectrumView::~SpectrumView() = default;

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
    // Only what changed goes to the screen and into the trail (the trail is the frame faded over the unlit
    // cells, pixel by pixel); a frame that changes nothing leaves both as they are.
    changedRects(m_nextbitmap, m_framebitmap, m_cellwidth, m_changed);
    if (m_changed.empty()) {
        m_settled = repeated;
        return;
    }
    m_settled = false;
    m_framebitmap.swap(m_nextbitmap);
    for (const QRect& r : m_changed)
        fadeOver(m_trailbitmap, m_unlitbitmap, m_framebitmap, r);
    ++m_shownPictures;
    if (m_native && m_ratioChecked && isVisible() && putNatively(m_changed))
        return;
    for (const QRect& r : m_changed)
        update(r);
}

bool SpectrumView::putNatively(const std::vector<QRect>& rects) {
    if (m_unscaled && m_native->put(winId(), m_framebitmap, rects))
        return true;
    // A window that cannot take the pictures as they are (another depth or colour layout, or scaling)
    // turns the area back to ordinary painting.
    m_native.reset();
    setAttribute(Qt::WA_PaintOnScreen, false);
    update();
    return false;
}

void SpectrumView::changedRects(const QImage& a, const QImage& b, int stripWidth, std::vector<QRect>& rects) {
    // Strips as wide as a cell, starting where the bars' columns start (2 pixels in), and the 2 pixels
    // before; each gets the rows from its first to its last changed one.
    rects.clear();
    const int w = a.width();
    const int strips = 1 + (std::max(0, w - 2) + stripWidth - 1) / stripWidth;
    auto stripLeft = [stripWidth](int s) { return s == 0 ? 0 : 2 + (s - 1) * stripWidth; };
    auto stripRight = [stripWidth, w](int s) { return std::min(w, s == 0 ? 2 : 2 + s * stripWidth); };
    std::vector<std::pair<int, int>> span(static_cast<std::size_t>(strips), {-1, -1});
    const auto lineBytes = static_cast<std::size_t>(w) * sizeof(QRgb);
    for (int y = 0; y < a.height(); ++y) {
        const auto* p = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* q = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        if (std::memcmp(p, q, lineBytes) == 0)
            continue;
        for (int s = 0; s < strips; ++s) {
            const int left = stripLeft(s);
            const int right = stripRight(s);
            if (left >= right ||
                std::memcmp(p + left, q + left, static_cast<std::size_t>(right - left) * sizeof(QRgb)) == 0)
                continue;
            auto& [top, bottom] = span[static_cast<std::size_t>(s)];
            if (top < 0)
                top = y;
            bottom = y;
        }
    }
    for (int s = 0; s < strips; ++s) {
        const auto [top, bottom] = span[static_cast<std::size_t>(s)];
        if (top >= 0)
            rects.emplace_back(stripLeft(s), top, stripRight(s) - stripLeft(s), bottom - top + 1);
    }
}

void SpectrumView::fadeOver(QImage& trail, const QImage& base, const QImage& frame, const QRect& rect) {
    // The frame at 200/255 opacity over the unlit cells, in premultiplied pixels, computed as the raster
    // painter computes it (the opacity in 256ths, truncated, then scaled to 255ths: 199), so the trail is
    // pixel for pixel what painting it gives: s = frame * 199 / 255, trail = s + base * (255 - alpha(s)) /
    // 255, each product rounded as (t + t / 256 + 128) / 256 per channel.
    constexpr std::uint32_t kAlpha = (static_cast<std::uint32_t>(200.0 / 255.0 * 256.0) * 255u) >> 8;
    static_assert(kAlpha == 199);
    auto byteMul = [](std::uint32_t x, std::uint32_t a) {
        std::uint32_t t = (x & 0xff00ffu) * a;
        t = ((t + ((t >> 8) & 0xff00ffu) + 0x800080u) >> 8) & 0xff00ffu;
        x = ((x >> 8) & 0xff00ffu) * a;
        x = (x + ((x >> 8) & 0xff00ffu) + 0x800080u) & 0xff00ff00u;
        return x | t;
    };
#if defined(__SSE2__)
    // Four pixels at a time, the same arithmetic in 16-bit lanes (no product exceeds 255 * 255 + 255 + 128).
    const __m128i low = _mm_set1_epi32(0x00ff00ff);
    const __m128i half = _mm_set1_epi16(0x80);
    auto byteMul4 = [low, half](__m128i x, __m128i a) {
        __m128i rb = _mm_mullo_epi16(_mm_and_si128(x, low), a);
        __m128i ag = _mm_mullo_epi16(_mm_srli_epi16(x, 8), a);
        rb = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(rb, _mm_srli_epi16(rb, 8)), half), 8);
        ag = _mm_andnot_si128(low, _mm_add_epi16(_mm_add_epi16(ag, _mm_srli_epi16(ag, 8)), half));
        return _mm_or_si128(ag, rb);
    };
    const __m128i alpha = _mm_set1_epi16(static_cast<short>(kAlpha));
    const __m128i ones = _mm_set1_epi32(-1);
#endif
    const QRect area = rect.intersected(trail.rect());
    for (int y = area.top(); y <= area.bottom(); ++y) {
        auto* out = reinterpret_cast<QRgb*>(trail.scanLine(y)) + area.left();
        const auto* under = reinterpret_cast<const QRgb*>(base.constScanLine(y)) + area.left();
        const auto* over = reinterpret_cast<const QRgb*>(frame.constScanLine(y)) + area.left();
        int x = 0;
#if defined(__SSE2__)
        for (; x + 4 <= area.width(); x += 4) {
            const __m128i s = byteMul4(_mm_loadu_si128(reinterpret_cast<const __m128i*>(over + x)), alpha);
            // 255 - alpha(s) in both 16-bit lanes of each pixel.
            __m128i rest = _mm_srli_epi32(_mm_xor_si128(s, ones), 24);
            rest = _mm_or_si128(rest, _mm_slli_epi32(rest, 16));
            const __m128i b = byteMul4(_mm_loadu_si128(reinterpret_cast<const __m128i*>(under + x)), rest);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_add_epi32(s, b));
        }
#endif
        for (; x < area.width(); ++x) {
            const std::uint32_t s = byteMul(over[x], kAlpha);
            out[x] = s + byteMul(under[x], qAlpha(~s));
        }
    }
}

void SpectrumView::paintEvent(QPaintEvent* event) {
    // A painter is redirected here when the window is pictured (grab, render); otherwise, painting on
    // screen (the area shown or uncovered), the picture goes to the area's X window.
    // The device pixel ratio is looked at here, so pictures go straight out only once the area has been
    // painted, and again whenever it is (a move to another screen repaints it).
    if (m_native && !redirected(nullptr) && !sharedPainter()) {
        m_ratioChecked = true;
        m_unscaled = devicePixelRatio() == 1.0;
        putNatively({event->rect()});
        return;
    }
    QPainter p(this);
    p.drawImage(0, 0, m_framebitmap);
}

} // namespace quimbrel
