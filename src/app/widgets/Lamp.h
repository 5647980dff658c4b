// An indicator lamp: a caption that glows when on.
#pragma once

#include <QWidget>

namespace quimbrel {

class Lamp final : public QWidget {
    Q_OBJECT
public:
    Lamp(const QString& caption, QWidget* parent = nullptr);
    bool isOn() const { return m_on; }
    void setOn(bool on);
    QString caption() const { return m_caption; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_caption;
    bool m_on = false;
};

} // namespace quimbrel
