// System-wide hot keys: X11 key grabs on the root window, each Ctrl+Alt+letter with its own identifier.
// Without an X11 display nothing is registered, as if another program held every combination. UI thread.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>

#include <vector>

namespace quimbrel {

class HotKeys final : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    explicit HotKeys(QObject* parent = nullptr);
    ~HotKeys() override;

    // Grabs Ctrl+Alt+letter; returns its identifier, 0 when the combination can not be had.
    int registerKey(char letter);
    // Releases every grab.
    void unregisterAll();
    int count() const { return static_cast<int>(m_keys.size()); }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

signals:
    void pressed(int id);

private:
    struct Key {
        int id;
        unsigned keycode;
    };
    std::vector<Key> m_keys;
    int m_nextId = 1;
    bool m_filtering = false;
};

} // namespace quimbrel
