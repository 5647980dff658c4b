// The visualisation area: bars with falling peaks and fading trails, composed from lit and unlit cell
// bitmaps.
#pragma once

#include "visual/SpectrumBars.h"
#include "visual/TARFFT.h"

#include <QImage>
#include <QWidget>

#include <memory>
#include <vector>

namespace quimbrel {

class XcbPicture;

class SpectrumView final : public QWidget {
    Q_OBJECT
public:
    explicit SpectrumView(QWidget* parent = nullptr);
    ~SpectrumView() override;

    // Sizes the area to whole cells (37 across, 36 down) inside the given rectangle and rebuilds the bitmaps.
    void fitTo(const QRect& area);
    int cellwidth() const { return m_cellwidth; }
    int cellheight() const { return m_cellheight; }

    // InitBitmaps: the four bitmaps at the area's size. UpdateBar: paint the lit and unlit looks.
    void InitBitmaps();
    void UpdateBar();

    // One picture from the analyser's result (row 0). A picture that would look exactly like the one shown
    // is neither composed nor repainted.
    void DCSpectrumSpectrumData(const TVisualBuffer& result);

    // How many pictures have been put on screen since the bitmaps were made (each one a repaint).
    long long shownPictures() const { return m_shownPictures; }

    const QImage& frame() const { return m_framebitmap; }

    // The trail under the next picture within `rect`: `frame` faded to 200/255 over `base`, all three of one
    // size in premultiplied 32-bit pixels; pixel for pixel what the raster painter gives at that opacity.
    static void fadeOver(QImage& trail, const QImage& base, const QImage& frame, const QRect& rect);
    // Where two images of one size differ, as one rectangle per strip of `stripWidth` columns (the bars'
    // columns) from its first to its last differing row; none when the images are equal.
    static void changedRects(const QImage& a, const QImage& b, int stripWidth, std::vector<QRect>& rects);

    // Whether pictures go straight into the area's own X window rather than through the window's backing
    // store.
    bool paintsNatively() const { return m_native != nullptr; }

    // Painted natively, the area has no paint engine of its own; pictures of the window (grab, render) are
    // still painted with a painter redirected to them.
    QPaintEngine* paintEngine() const override { return nullptr; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    static QImage InitBitmap(const QSize& size);
    // The next frame: the trail with the picture's lit columns and peak lines copied over it.
    void compose(const SpectrumPicture& picture);
    // Puts the frame's rectangles into the area's X window; false (and ordinary painting from then on) when
    // the window cannot take them.
    bool putNatively(const std::vector<QRect>& rects);

    int m_cellwidth = 1;
    int m_cellheight = 1;
    QImage m_framebitmap;
    QImage m_nextbitmap;
    QImage m_trailbitmap;
    QImage m_litbitmap;
    QImage m_unlitbitmap;
    std::unique_ptr<SpectrumBars> m_bars;
    // The picture last composed, and whether composing it again would change no pixel: once a picture
    // repeats and its frame comes out identical, its trail is identical too, so every further repeat is too.
    SpectrumPicture m_lastPicture;
    bool m_settled = false;
    long long m_shownPictures = 0;
    std::unique_ptr<XcbPicture> m_native;
    bool m_ratioChecked = false;
    bool m_unscaled = false;
    std::vector<QRect> m_changed;
};

} // namespace quimbrel
