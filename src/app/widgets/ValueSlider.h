// A horizontal slider that shows its value in a tip while it is dragged and reports where it was released.
#pragma once

#include <QSlider>

namespace quimbrel {

class ValueSlider final : public QSlider {
    Q_OBJECT
public:
    explicit ValueSlider(QWidget* parent = nullptr);
    // The text of the value tip; the value followed by this suffix.
    void setTipSuffix(const QString& suffix) { m_suffix = suffix; }

signals:
    // The button went up at pointer x (widget coordinates), with the width the x is measured against.
    void released(int x, int clientWidth);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QString m_suffix;
};

} // namespace quimbrel
