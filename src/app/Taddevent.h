// The event editor: one scheduled event's fields in a modal dialog, "Add Event" or "Edit Event". It edits a
// copy of the fields; the schedule window stores them when the dialog is confirmed. UI thread.
#pragma once

#include "state/eventform.h"

#include <QDialog>
#include <QString>

#include <array>
#include <functional>
#include <string>

class QCheckBox;
class QComboBox;
class QDate;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QTime;
class QTimeEdit;

namespace quimbrel {

class MessagePort;

// The user's long time format without a time zone, and a day number's time of day and date as Qt values.
QString longTimeFormat();
QTime qtime(double timeOfDay);
QDate qdate(double dayNumber);
double fromQTime(const QTime& time);
double fromQDate(const QDate& date);

class Taddevent final : public QDialog {
    Q_OBJECT
public:
    enum class Mode { None, Add, Edit };
    // Shows `fields` (FormShow); refusals go to `messages` (a message box when null); "Test Additional Task"
    // calls `test` with the program and the parameter.
    Taddevent(Mode mode, const EventForm& fields, MessagePort* messages,
              std::function<void(const std::string&, const std::string&)> test, QWidget* parent = nullptr);

    // The fields as they stand now.
    EventForm fields() const;

    void e_repeatChange(int index);
    void TaskClick();
    void TestButtonClick();
    // Closes as confirmed; false (and the dialog stays) when the fields were refused.
    bool Ok_ButtonClick();

    QLineEdit* namefield() const { return m_name; }
    QTimeEdit* startfield() const { return m_start; }
    QTimeEdit* stopfield() const { return m_stop; }
    QComboBox* filenamebox() const { return m_filename; }
    QComboBox* repeatbox() const { return m_repeat; }
    QCheckBox* daybox(int day) const { return m_days[static_cast<std::size_t>(day)]; }
    QDateEdit* datefield() const { return m_date; }
    QStackedWidget* pages() const { return m_pages; }
    QCheckBox* taskbox() const { return m_task; }
    QLineEdit* appfield() const { return m_app; }
    QLineEdit* paramfield() const { return m_param; }
    QPushButton* testbutton() const { return m_test; }

private:
    void FormShow(const EventForm& fields);

    MessagePort* m_messages;
    std::function<void(const std::string&, const std::string&)> m_testTask;
    QLineEdit* m_name = nullptr;
    QTimeEdit* m_start = nullptr;
    QTimeEdit* m_stop = nullptr;
    QComboBox* m_filename = nullptr;
    QComboBox* m_repeat = nullptr;
    QStackedWidget* m_pages = nullptr;
    std::array<QCheckBox*, 8> m_days{};
    QDateEdit* m_date = nullptr;
    QCheckBox* m_task = nullptr;
    QLabel* m_appLabel = nullptr;
    QLabel* m_paramLabel = nullptr;
    QLineEdit* m_app = nullptr;
    QLineEdit* m_param = nullptr;
    QPushButton* m_test = nullptr;
};

} // namespace quimbrel
