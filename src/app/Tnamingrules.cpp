// The naming rules dialog; UI thread.
#include "Tnamingrules.h"

#include "ports/MessagePort.h"
#include "state/config.h"
#include "state/names.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace quimbrel {

Tnamingrules::Tnamingrules(config& cfg, std::vector<std::string>& names, QWidget* parent,
                           MessagePort* messages)
    : QDialog(parent), m_cfg(cfg), m_names(names), m_messages(messages) {
    setWindowTitle(QStringLiteral("Auto-name settings"));
    setObjectName(QStringLiteral("Tnamingrules"));
    setModal(true);
    auto* tabs = new QTabWidget(this);
    auto* page = new QWidget;
    tabs->addTab(page, QStringLiteral("Template"));
    auto* v = new QVBoxLayout(page);

    m_template = new QComboBox(page);
    m_template->setEditable(true);
    m_template->setInsertPolicy(QComboBox::NoInsert);
    v->addWidget(m_template);

    auto* tokens = new QGroupBox(QStringLiteral("  You may use this variables:  "), page);
    auto* grid = new QGridLayout(tokens);
    const char* const captions[] = {"YY - current year",         "MM - current month",
                                    "DD - current day",          "YS - last two digits of current year",
                                    "MN - current month number", "DW - current day of week",
                                    "HH - current hour",         "NN - current minutes",
                                    "SS - current seconds",      "EVENT - scheduler's event name"};
    int row = 0;
    for (const char* caption : captions) {
        grid->addWidget(new QLabel(QString::fromLatin1(caption), tokens), row / 2, row % 2);
        ++row;
    }
    m_number = new QLineEdit(tokens);
    // Only the digits 0 to 9 (and the editing keys) get into the field.
    m_number->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), m_number));
    auto* numRow = new QHBoxLayout;
    numRow->addWidget(new QLabel(QStringLiteral("NUM - incremental numbers started from:"), tokens));
    numRow->addWidget(m_number);
    grid->addLayout(numRow, row / 2 + 1, 0, 1, 2);
    v->addWidget(tokens);

    m_example = new QLabel(QStringLiteral("For example: track-08-aug-2006_22-15.mp3"), page);
    v->addWidget(m_example);

    auto* defaults = new QPushButton(QStringLiteral("Default"), this);
    auto* test = new QPushButton(QStringLiteral("Test"), this);
    auto* ok = new QPushButton(QStringLiteral("&Ok"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(defaults);
    buttons->addWidget(test);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* outer = new QVBoxLayout(this);
    outer->addWidget(tabs);
    outer->addLayout(buttons);
    connect(defaults, &QPushButton::clicked, this, &Tnamingrules::DefaultClick);
    connect(test, &QPushButton::clicked, this, &Tnamingrules::TestClick);
    connect(ok, &QPushButton::clicked, this, &Tnamingrules::OkClick);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    // On show: the number, the remembered templates in alphabetical order, the template.
    m_number->setText(QString::number(m_cfg.autoname.number));
    std::vector<std::string> sorted = m_names;
    std::sort(sorted.begin(), sorted.end());
    for (const std::string& name : sorted)
        m_template->addItem(QString::fromStdString(name));
    m_template->setEditText(QString::fromStdString(m_cfg.autoname.expression));
}

void Tnamingrules::show(const std::string& text, const std::string& caption, bool error) {
    if (m_messages) {
        m_messages->show(text, caption, error ? MessageIcon::Error : MessageIcon::Information,
                         MessageButtons::Ok);
        return;
    }
    QMessageBox::information(this, QString::fromStdString(caption), QString::fromStdString(text));
}

bool Tnamingrules::startNumber(int& number) {
    bool ok = false;
    const QString text = m_number->text();
    number = text.toInt(&ok);
    if (!ok) {
        show("'" + text.toStdString() + "' is not a valid integer value", "Quimbrel", true);
        return false;
    }
    return true;
}

void Tnamingrules::DefaultClick() {
    m_template->setEditText(QStringLiteral("YY-MM-DD-HH-NN-SS"));
}

void Tnamingrules::TestClick() {
    int number = 0;
    if (!startNumber(number))
        return;
    const std::string result =
        expandtemplate(m_template->currentText().toStdString(), "My scheduled record", number);
    m_example->setText(QStringLiteral("For example: ") + QString::fromStdString(result) +
                       QStringLiteral(".mp3"));
}

bool Tnamingrules::OkClick() {
    const std::string text = m_template->currentText().toStdString();
    if (hasillegalchars(text)) {
        show("File name contain one of illegal symbols: /,\\,:,*,?,\",<,>,|. Please correct your input.",
             "Quimbrel", false);
        return false;
    }
    int number = 0;
    if (!startNumber(number))
        return false;
    if (number != m_cfg.autoname.number)
        m_cfg.numoffset = 0;
    m_cfg.autoname.expression = text;
    m_cfg.autoname.number = number;
    std::vector<std::string>& list = m_names;
    const QString wanted = QString::fromStdString(text);
    const bool known = std::any_of(list.begin(), list.end(), [&](const std::string& entry) {
        return QString::fromStdString(entry).compare(wanted, Qt::CaseInsensitive) == 0;
    });
    if (!known)
        list.push_back(text);
    accept();
    return true;
}

} // namespace quimbrel
