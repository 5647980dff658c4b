// Drawing of the indicator lamps; UI thread.
#include "widgets/Lamp.h"

#include <QPainter>

#include <algorithm>

namespace quimbrel {

Lamp::Lamp(const QString& caption, QWidget* parent) : QWidget(parent), m_caption(caption) {}

void Lamp::setOn(bool on) {
    if (on == m_on)
        return;
    m_on = on;
    update();
}

void Lamp::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QPen(QColor(39, 155, 237), 1));
    p.setBrush(m_on ? QColor(255, 196, 0) : QColor(20, 40, 60));
    p.drawRoundedRect(r, 3, 3);
    QFont f = font();
    f.setPixelSize(std::max(6, static_cast<int>(height() * 0.62)));
    f.setBold(true);
    p.setFont(f);
    p.setPen(m_on ? QColor(0, 0, 0) : QColor(90, 120, 150));
    p.drawText(r, Qt::AlignCenter, m_caption);
}

} // namespace quimbrel
