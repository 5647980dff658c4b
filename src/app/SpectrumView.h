// The visualisation area: bars with falling peaks and fading trails, composed from lit and unlit cell
// bitmaps.
#pragma once

#include "visual/SpectrumBars.h"
#include "visual/TARFFT.h"

#include <QImage>
#include <QWidget>

#include <memory>

namespace quimbrel {

class SpectrumView final : public QWidget {
    Q_OBJECT
public:
    explicit SpectrumView(QWidget* parent = nullptr);

    // Sizes the area to whole cells (37 across, 36 down) inside the given rectangle and rebuilds the bitmaps.
    void fitTo(const QRect& area);
    int cellwidth() const { return m_cellwidth; }
    int cellheight() const { return m_cellheight; }

    // InitBitmaps: the four bitmaps at the area's size. UpdateBar: paint the lit and unlit looks.
    void InitBitmaps();
    void UpdateBar();

    // One picture from the analyser's result (row 0).
    void DCSpectrumSpectrumData(const TVisualBuffer& result);

    const QImage& frame() const { return m_framebitmap; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    static QImage InitBitmap(const QSize& size);

    int m_cellwidth = 1;
    int m_cellheight = 1;
    QImage m_framebitmap;
    QImage m_trailbitmap;
    QImage m_litbitmap;
    QImage m_unlitbitmap;
    std::unique_ptr<SpectrumBars> m_bars;
};

} // namespace quimbrel
