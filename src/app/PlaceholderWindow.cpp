// The placeholder window; UI thread.
#include "PlaceholderWindow.h"

#include <QLabel>
#include <QVBoxLayout>

namespace quimbrel {

PlaceholderWindow::PlaceholderWindow(const QString& title, QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(title);
    auto* v = new QVBoxLayout(this);
    auto* text = new QLabel(title + QStringLiteral(": this window is not available yet."), this);
    text->setAlignment(Qt::AlignCenter);
    v->addWidget(text);
    resize(420, 240);
}

} // namespace quimbrel
