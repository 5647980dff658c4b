// The naming rules dialog: edits the file-name template and the start number, and remembers templates.
// Modal; UI thread.
#pragma once

#include <QDialog>

#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace quimbrel {

struct config;
class MessagePort;

class Tnamingrules final : public QDialog {
    Q_OBJECT
public:
    // Shows cfg.autoname and the process-wide template list; messages go to `messages` (a message box when
    // null).
    // names: the list of remembered templates the dialog offers and adds to.
    Tnamingrules(config& cfg, std::vector<std::string>& names, QWidget* parent = nullptr,
                 MessagePort* messages = nullptr);

    void DefaultClick();
    void TestClick();
    // Stores and closes; false (and the dialog stays) when the input was refused.
    bool OkClick();

    QComboBox* templatebox() const { return m_template; }
    QLineEdit* numberfield() const { return m_number; }
    QLabel* example() const { return m_example; }

private:
    // The start-number field as an integer; shows the conversion error and gives false when it is not one.
    bool startNumber(int& number);
    void show(const std::string& text, const std::string& caption, bool error);

    config& m_cfg;
    std::vector<std::string>& m_names;
    MessagePort* m_messages;
    QComboBox* m_template = nullptr;
    QLineEdit* m_number = nullptr;
    QLabel* m_example = nullptr;
};

} // namespace quimbrel
