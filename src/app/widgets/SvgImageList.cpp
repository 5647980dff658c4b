// The vector image list; UI thread.
#include "widgets/SvgImageList.h"

#include <QPainter>
#include <QSvgRenderer>

namespace quimbrel {

SvgImageList::SvgImageList() = default;

SvgImageList::~SvgImageList() {
    qDeleteAll(m_renderers);
}

int SvgImageList::add(const QString& path) {
    auto* renderer = new QSvgRenderer(path);
    if (!renderer->isValid()) {
        delete renderer;
        return -1;
    }
    m_renderers.append(renderer);
    return static_cast<int>(m_renderers.size()) - 1;
}

QImage SvgImageList::image(int index, const QSize& size) const {
    if (index < 0 || index >= m_renderers.size() || size.isEmpty())
        return {};
    QImage img(size, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    m_renderers[index]->render(&p);
    return img;
}

} // namespace quimbrel
