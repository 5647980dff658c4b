// The event editor; UI thread.
#include "Taddevent.h"

#include "ports/MessagePort.h"
#include "state/daynumber.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDateEdit>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QTime>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace quimbrel {

namespace {
const char* const kDayCaptions[] = {"", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
}

QString longTimeFormat() {
    // Qt's long format names the time zone ("t"); the times here are local times of day without one.
    const QString format = QLocale().timeFormat(QLocale::LongFormat);
    QString out;
    bool quoted = false;
    for (QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t'))
            continue;
        out += c;
    }
    return out.trimmed();
}

QTime qtime(double timeOfDay) {
    const TimeParts t = splitTime(timeOfDay);
    return QTime(t.hour, t.minute, t.second);
}

QDate qdate(double dayNumber) {
    const DateParts d = splitDate(dayNumber);
    return QDate(d.year, d.month, d.day);
}

double fromQTime(const QTime& time) {
    return makeTimeOfDay(time.hour(), time.minute(), time.second());
}

double fromQDate(const QDate& date) {
    return makeDayNumber(date.year(), date.month(), date.day());
}

Taddevent::Taddevent(Mode mode, const EventForm& fields, MessagePort* messages,
                     std::function<void(const std::string&, const std::string&)> test, QWidget* parent)
    : QDialog(parent), m_messages(messages), m_testTask(std::move(test)) {
    setWindowTitle(mode == Mode::Edit ? QStringLiteral("Edit Event") : QStringLiteral("Add Event"));
    setObjectName(QStringLiteral("Taddevent"));
    setModal(true);

    m_name = new QLineEdit(this);
    m_start = new QTimeEdit(this);
    m_stop = new QTimeEdit(this);
    for (QTimeEdit* t : {m_start, m_stop})
        t->setDisplayFormat(longTimeFormat());
    m_filename = new QComboBox(this);
    m_filename->addItems({QStringLiteral("Auto Name"), QStringLiteral("Same as Event Name")});
    m_repeat = new QComboBox(this);
    m_repeat->addItems(
        {QStringLiteral("Select days of week"), QStringLiteral("Fixed date"), QStringLiteral("Daily")});

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Event Name:"), m_name);
    form->addRow(QStringLiteral("Start Time:"), m_start);
    form->addRow(QStringLiteral("Stop Time:"), m_stop);
    form->addRow(QStringLiteral("File Name:"), m_filename);
    form->addRow(QStringLiteral("Repeat:"), m_repeat);

    m_pages = new QStackedWidget(this);
    auto* daysGroup = new QGroupBox(QStringLiteral("  Check Days of week  "));
    auto* daysRow = new QHBoxLayout(daysGroup);
    for (int d = 1; d <= 7; ++d) {
        m_days[static_cast<std::size_t>(d)] = new QCheckBox(QString::fromLatin1(kDayCaptions[d]), daysGroup);
        daysRow->addWidget(m_days[static_cast<std::size_t>(d)]);
    }
    auto* dateGroup = new QGroupBox(QStringLiteral("  Select fixed date  "));
    auto* dateRow = new QHBoxLayout(dateGroup);
    m_date = new QDateEdit(dateGroup);
    m_date->setCalendarPopup(true);
    m_date->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat));
    dateRow->addWidget(m_date);
    dateRow->addStretch(1);
    m_pages->addWidget(daysGroup);
    m_pages->addWidget(dateGroup);

    m_task = new QCheckBox(QStringLiteral("Additional Task  "), this);
    m_appLabel = new QLabel(QStringLiteral("Run this application (by default your web browser):"), this);
    m_app = new QLineEdit(this);
    m_paramLabel = new QLabel(
        QStringLiteral("with command line parameters (for example you may pass URL to web browser)"), this);
    m_param = new QLineEdit(this);
    m_test = new QPushButton(QStringLiteral("Test Additional Task"), this);
    auto* taskGroup = new QVBoxLayout;
    taskGroup->addWidget(m_task);
    taskGroup->addWidget(m_appLabel);
    taskGroup->addWidget(m_app);
    taskGroup->addWidget(m_paramLabel);
    taskGroup->addWidget(m_param);
    auto* testRow = new QHBoxLayout;
    testRow->addWidget(m_test);
    testRow->addStretch(1);
    taskGroup->addLayout(testRow);

    auto* ok = new QPushButton(QStringLiteral("&Ok"), this);
    auto* cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    ok->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* outer = new QVBoxLayout(this);
    outer->addLayout(form);
    outer->addWidget(m_pages);
    outer->addLayout(taskGroup);
    outer->addLayout(buttons);

    connect(m_repeat, &QComboBox::currentIndexChanged, this, &Taddevent::e_repeatChange);
    connect(m_task, &QCheckBox::toggled, this, &Taddevent::TaskClick);
    connect(m_test, &QPushButton::clicked, this, &Taddevent::TestButtonClick);
    connect(ok, &QPushButton::clicked, this, &Taddevent::Ok_ButtonClick);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    FormShow(fields);
}

void Taddevent::FormShow(const EventForm& f) {
    m_name->setText(QString::fromStdString(f.name));
    m_start->setTime(qtime(f.starttime));
    m_stop->setTime(qtime(f.stoptime));
    m_filename->setCurrentIndex(f.sameName ? 1 : 0);
    for (int d = 1; d <= 7; ++d)
        m_days[static_cast<std::size_t>(d)]->setChecked(f.day[static_cast<std::size_t>(d)]);
    m_date->setDate(qdate(f.date));
    m_repeat->setCurrentIndex(f.repeat);
    e_repeatChange(f.repeat);
    m_app->setText(QString::fromStdString(f.appname));
    m_param->setText(QString::fromStdString(f.url));
    m_task->setChecked(f.task);
    TaskClick();
}

EventForm Taddevent::fields() const {
    EventForm f;
    f.name = m_name->text().toStdString();
    f.starttime = fromQTime(m_start->time());
    f.stoptime = fromQTime(m_stop->time());
    f.repeat = m_repeat->currentIndex();
    for (int d = 1; d <= 7; ++d)
        f.day[static_cast<std::size_t>(d)] = m_days[static_cast<std::size_t>(d)]->isChecked();
    f.date = fromQDate(m_date->date());
    f.sameName = m_filename->currentIndex() == 1;
    f.task = m_task->isChecked();
    f.appname = m_app->text().toStdString();
    f.url = m_param->text().toStdString();
    return f;
}

void Taddevent::e_repeatChange(int index) {
    m_pages->setCurrentIndex(index == 1 ? 1 : 0);
    if (index == 2)
        for (int d = 1; d <= 7; ++d)
            m_days[static_cast<std::size_t>(d)]->setChecked(true);
}

void Taddevent::TaskClick() {
    const bool on = m_task->isChecked();
    for (QWidget* w :
         {static_cast<QWidget*>(m_appLabel), static_cast<QWidget*>(m_app),
          static_cast<QWidget*>(m_paramLabel), static_cast<QWidget*>(m_param), static_cast<QWidget*>(m_test)})
        w->setEnabled(on);
}

void Taddevent::TestButtonClick() {
    if (m_testTask)
        m_testTask(m_app->text().toStdString(), m_param->text().toStdString());
}

bool Taddevent::Ok_ButtonClick() {
    const std::string why = refusal(fields());
    if (!why.empty()) {
        if (m_messages)
            m_messages->show(why, "Quimbrel", MessageIcon::Information, MessageButtons::Ok);
        else
            QMessageBox::information(this, QStringLiteral("Quimbrel"), QString::fromStdString(why));
        return false;
    }
    accept();
    return true;
}

} // namespace quimbrel
