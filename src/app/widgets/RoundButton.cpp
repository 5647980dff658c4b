// Drawing of the circular buttons; UI thread.
#include "widgets/RoundButton.h"

#include <QPainter>

namespace quimbrel {

RoundButton::RoundButton(QChar glyph, const QString& fontFamily, QWidget* parent)
    : QAbstractButton(parent), m_glyph(glyph), m_family(fontFamily) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
}

void RoundButton::enterEvent(QEnterEvent* event) {
    m_hover = true;
    update();
    QAbstractButton::enterEvent(event);
}

void RoundButton::leaveEvent(QEvent* event) {
    m_hover = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void RoundButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(1, 1, -1, -1);
    QColor face = isDown() ? QColor(18, 96, 158) : m_hover ? QColor(46, 150, 226) : QColor(29, 134, 208);
    if (!isEnabled())
        face = QColor(70, 90, 110);
    QRadialGradient g(r.center() - QPointF(r.width() / 6, r.height() / 6), r.width() * 0.7);
    g.setColorAt(0, face.lighter(130));
    g.setColorAt(1, face);
    p.setPen(QPen(QColor(12, 40, 70), 1.2));
    p.setBrush(g);
    p.drawEllipse(r);
    QFont f(m_family);
    f.setPixelSize(qMax(6, static_cast<int>(r.height() * 0.42)));
    p.setFont(f);
    p.setPen(isEnabled() ? QColor(255, 255, 255) : QColor(150, 160, 170));
    p.drawText(r, Qt::AlignCenter, QString(m_glyph));
}

} // namespace quimbrel
