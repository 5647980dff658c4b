// A plain window standing in for the recordings library and the schedule window until they are built.
#pragma once

#include <QWidget>

namespace quimbrel {

class PlaceholderWindow final : public QWidget {
    Q_OBJECT
public:
    PlaceholderWindow(const QString& title, QWidget* parent = nullptr);
};

} // namespace quimbrel
