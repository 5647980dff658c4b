// A rotary knob from 1 to 100: drag up or turn the wheel to raise it.
#pragma once

#include <QWidget>

namespace quimbrel {

class Knob final : public QWidget {
    Q_OBJECT
public:
    explicit Knob(QWidget* parent = nullptr);
    int value() const { return m_value; }
    // Moves the knob without raising valueChanged.
    void setValueQuietly(int value);

signals:
    // Raised by the user's turning only.
    void valueChanged(int value);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void turnTo(int value);
    int m_value = 50;
    int m_pressValue = 0;
    int m_pressY = 0;
};

} // namespace quimbrel
