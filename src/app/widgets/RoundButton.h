// A circular push button showing one glyph of the icon font.
#pragma once

#include <QAbstractButton>

namespace quimbrel {

class RoundButton final : public QAbstractButton {
    Q_OBJECT
public:
    RoundButton(QChar glyph, const QString& fontFamily, QWidget* parent = nullptr);
    QChar glyph() const { return m_glyph; }
    QSize sizeHint() const override { return {40, 40}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QChar m_glyph;
    QString m_family;
    bool m_hover = false;
};

} // namespace quimbrel
