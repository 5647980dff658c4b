// The slider with a value tip; UI thread.
#include "widgets/ValueSlider.h"

#include <QMouseEvent>
#include <QToolTip>

namespace quimbrel {

ValueSlider::ValueSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    setFocusPolicy(Qt::NoFocus);
}

void ValueSlider::mouseMoveEvent(QMouseEvent* event) {
    QSlider::mouseMoveEvent(event);
    if (event->buttons() & Qt::LeftButton)
        QToolTip::showText(event->globalPosition().toPoint(), QString::number(value()) + m_suffix, this);
}

void ValueSlider::mouseReleaseEvent(QMouseEvent* event) {
    QSlider::mouseReleaseEvent(event);
    QToolTip::hideText();
    if (event->button() == Qt::LeftButton)
        emit released(event->position().toPoint().x(), width());
}

} // namespace quimbrel
