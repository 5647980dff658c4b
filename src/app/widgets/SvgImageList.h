// An image list of vector pictures: each SVG is kept once and drawn at whatever size a control asks for.
#pragma once

#include <QImage>
#include <QList>
#include <QPixmap>
#include <QString>

class QSvgRenderer;

namespace quimbrel {

class SvgImageList final {
public:
    SvgImageList();
    ~SvgImageList();
    SvgImageList(const SvgImageList&) = delete;
    SvgImageList& operator=(const SvgImageList&) = delete;

    // Adds the SVG document at path (a file or a resource); returns its index, -1 when it is not valid SVG.
    int add(const QString& path);
    int count() const { return static_cast<int>(m_renderers.size()); }
    // Picture `index` drawn at `size`; a null image for a bad index.
    QImage image(int index, const QSize& size) const;
    QPixmap pixmap(int index, const QSize& size) const { return QPixmap::fromImage(image(index, size)); }

private:
    QList<QSvgRenderer*> m_renderers;
};

} // namespace quimbrel
