// Drawing and handling of the volume knob; UI thread.
#include "widgets/Knob.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quimbrel {

Knob::Knob(QWidget* parent) : QWidget(parent) {
    setCursor(Qt::SizeVerCursor);
    setToolTip(QStringLiteral("Volume"));
}

void Knob::setValueQuietly(int value) {
    m_value = std::clamp(value, 1, 100);
    update();
}

void Knob::turnTo(int value) {
    value = std::clamp(value, 1, 100);
    if (value == m_value)
        return;
    m_value = value;
    update();
    emit valueChanged(m_value);
}

void Knob::mousePressEvent(QMouseEvent* event) {
    m_pressY = event->position().toPoint().y();
    m_pressValue = m_value;
}

void Knob::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton)
        turnTo(m_pressValue + (m_pressY - event->position().toPoint().y()));
}

void Knob::wheelEvent(QWheelEvent* event) {
    turnTo(m_value + event->angleDelta().y() / 40);
}

void Knob::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const double side = std::min(width(), height()) - 4.0;
    const QRectF r((width() - side) / 2, (height() - side) / 2, side, side);
    QRadialGradient g(r.center() - QPointF(side / 5, side / 5), side * 0.8);
    g.setColorAt(0, QColor(90, 110, 130));
    g.setColorAt(1, QColor(25, 35, 48));
    p.setPen(QPen(QColor(39, 155, 237), 1.5));
    p.setBrush(g);
    p.drawEllipse(r);
    // 1..100 spread over 270 degrees, starting bottom left.
    const double angle = (225.0 - 270.0 * (m_value - 1) / 99.0) * std::numbers::pi / 180.0;
    const QPointF c = r.center();
    const QPointF tip(c.x() + std::cos(angle) * side * 0.38, c.y() - std::sin(angle) * side * 0.38);
    p.setPen(QPen(QColor(255, 255, 255), std::max(2.0, side / 14), Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(c.x() + std::cos(angle) * side * 0.12, c.y() - std::sin(angle) * side * 0.12), tip);
}

} // namespace quimbrel
