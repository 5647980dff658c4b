// The schedule window; UI thread.
#include "Tshedule.h"

#include "Taddevent.h"
#include "recording/Recorder.h"
#include "recording/RecordingState.h"
#include "state/config.h"
#include "state/daynumber.h"
#include "state/eventform.h"

#include <QCheckBox>
#include <QDate>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QMimeData>
#include <QPushButton>
#include <QTableWidget>
#include <QTime>
#include <QVBoxLayout>

#include <ctime>

namespace quimbrel {

namespace {

constexpr int kStatusColumn = 5;
const QColor kDisabledBackground(241, 241, 241);
const QColor kDisabledText(112, 112, 112);

// The list: a drag of a row is accepted only over another row, and the drop is handed to the window, which
// moves the event; the view itself moves and clears nothing.
class ScheduleList final : public QTableWidget {
public:
    ScheduleList(std::function<void(int)> dropped, std::function<void()> deleteKey, QWidget* parent)
        : QTableWidget(parent), m_dropped(std::move(dropped)), m_deleteKey(std::move(deleteKey)) {}

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
            m_deleteKey();
            event->accept();
            return;
        }
        QTableWidget::keyPressEvent(event);
    }
    // Rows dragged from this list (their cells in the item views' own format); nothing from other programs.
    bool ours(const QDropEvent* event) const {
        return event->source() == this ||
               (event->source() == nullptr && event->mimeData() &&
                event->mimeData()->hasFormat(QStringLiteral("application/x-qabstractitemmodeldatalist")));
    }
    void dragEnterEvent(QDragEnterEvent* event) override {
        if (ours(event))
            event->acceptProposedAction();
        else
            event->ignore();
    }
    void dragMoveEvent(QDragMoveEvent* event) override {
        if (ours(event) && indexAt(event->position().toPoint()).isValid()) {
            event->setDropAction(Qt::CopyAction);
            event->accept();
        } else {
            event->ignore();
        }
    }
    void dropEvent(QDropEvent* event) override {
        const QModelIndex target = indexAt(event->position().toPoint());
        if (!ours(event) || !target.isValid()) {
            event->ignore();
            return;
        }
        // Reported as a copy, so the view does not clear the dragged row's cells afterwards.
        event->setDropAction(Qt::CopyAction);
        event->accept();
        m_dropped(target.row());
    }

private:
    std::function<void(int)> m_dropped;
    std::function<void()> m_deleteKey;
};

} // namespace

Tshedule::Tshedule(config& cfg, Recorder& recorder, eventtable& events, MessagePort* messages,
                   std::function<void()> onOk, QWidget* parent)
    : QWidget(parent, Qt::Window), m_cfg(cfg), m_recorder(recorder), m_events(events), m_messages(messages),
      m_onOk(std::move(onOk)) {
    setWindowTitle(QStringLiteral("Recording Schedule"));
    setObjectName(QStringLiteral("Tshedule"));

    m_list = new ScheduleList([this](int row) { ListView1DragDrop(row); }, [this] { deleventbuttonClick(); },
                              this);
    m_list->setColumnCount(6);
    m_list->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Start time"),
                                       QStringLiteral("End time"), QStringLiteral("Repeat"),
                                       QStringLiteral("File Name"), QStringLiteral("Status")});
    for (int c = 0; c < 6; ++c)
        m_list->setColumnWidth(c, kColumnWidths[c]);
    m_list->verticalHeader()->hide();
    m_list->setShowGrid(true);
    m_list->setWordWrap(false);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSortingEnabled(false);
    m_list->setDragEnabled(true);
    m_list->setAcceptDrops(true);
    m_list->setDragDropMode(QAbstractItemView::DragDrop);
    m_list->setDropIndicatorShown(true);
    m_list->setDragDropOverwriteMode(true);

    m_enable = new QCheckBox(QStringLiteral("Enable Scheduler"), this);
    m_add = new QPushButton(QStringLiteral("&Add Event"), this);
    m_edit = new QPushButton(QStringLiteral("&Edit Event"), this);
    m_delete = new QPushButton(QStringLiteral("&Delete Event"), this);
    m_clone = new QPushButton(QStringLiteral("&Clone Event"), this);
    m_ok = new QPushButton(QStringLiteral("&Ok"), this);

    auto* commands = new QHBoxLayout;
    commands->addWidget(m_enable);
    commands->addStretch(1);
    for (QPushButton* b : {m_add, m_edit, m_delete, m_clone})
        commands->addWidget(b);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(m_ok);
    auto* outer = new QVBoxLayout(this);
    outer->addWidget(m_list);
    outer->addLayout(commands);
    outer->addLayout(bottom);
    int width = 0;
    for (int w : kColumnWidths)
        width += w;
    resize(width + 40, 320);

    connect(m_enable, &QCheckBox::clicked, this, &Tshedule::timenableClick);
    connect(m_add, &QPushButton::clicked, this, &Tshedule::addeventbuttonClick);
    connect(m_edit, &QPushButton::clicked, this, &Tshedule::editeventbuttonClick);
    connect(m_delete, &QPushButton::clicked, this, &Tshedule::deleventbuttonClick);
    connect(m_clone, &QPushButton::clicked, this, &Tshedule::cloneeventButtonClick);
    connect(m_ok, &QPushButton::clicked, this, &Tshedule::OkButtonClick);
    connect(m_list, &QTableWidget::itemDoubleClicked, this, [this] { editeventbuttonClick(); });
    connect(m_list, &QTableWidget::itemChanged, this, &Tshedule::ListView1ItemChecked);
    connect(m_list, &QTableWidget::itemSelectionChanged, this, &Tshedule::selectionChanged);

    FormCreate();
}

void Tshedule::FormCreate() {
    m_enable->setChecked(m_cfg.scheduler.enabled);
    loadevents();
}

int Tshedule::selectedRow() const {
    const QList<QTableWidgetSelectionRange> ranges = m_list->selectedRanges();
    return ranges.isEmpty() ? -1 : ranges.first().topRow();
}

QString Tshedule::statusFor(int row) const {
    const RecordingState& st = m_recorder.state();
    return st.schedule.scheduledrecording && st.schedule.currentevent == row + 1 ? QStringLiteral("Record...")
                                                                                 : QStringLiteral("Wait...");
}

void Tshedule::loadevents() {
    m_building = true;
    m_list->setRowCount(0);
    m_list->setRowCount(static_cast<int>(m_events.size()));
    for (int row = 0; row < static_cast<int>(m_events.size()); ++row) {
        m_events[static_cast<std::size_t>(row)].cancelled = false;
        fillRow(row, statusFor(row));
    }
    m_building = false;
    selectionChanged();
}

void Tshedule::fillRow(int row, const QString& status) {
    const recevent& e = m_events[static_cast<std::size_t>(row)];
    const bool building = m_building;
    m_building = true;
    const QLocale locale;
    QString repeat;
    if (e.repeat == 2)
        repeat = QStringLiteral("Daily");
    else if (e.repeat == 1)
        repeat = locale.toString(qdate(e.startdate), QLocale::ShortFormat);
    else
        repeat = QString::fromStdString(weekdaysText(e));
    const QString texts[6] = {
        QString::fromStdString(e.name),
        locale.toString(qtime(e.starttime), longTimeFormat()),
        locale.toString(qtime(e.stoptime), longTimeFormat()),
        repeat,
        e.filename.empty() ? QStringLiteral("Auto-Name") : QString::fromStdString(e.filename),
        status,
    };
    for (int c = 0; c < 6; ++c) {
        auto* item = new QTableWidgetItem(texts[c]);
        Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
        if (c == 0)
            flags |= Qt::ItemIsUserCheckable;
        item->setFlags(flags);
        if (c == 0)
            item->setCheckState(e.Enabled ? Qt::Checked : Qt::Unchecked);
        m_list->setItem(row, c, item);
    }
    greyRow(row);
    m_building = building;
}

void Tshedule::greyRow(int row) {
    const bool enabled = m_events[static_cast<std::size_t>(row)].Enabled;
    const bool building = m_building;
    m_building = true;
    for (int c = 0; c < 6; ++c) {
        QTableWidgetItem* item = m_list->item(row, c);
        if (!item)
            continue;
        item->setData(Qt::BackgroundRole, enabled ? QVariant() : QVariant(kDisabledBackground));
        item->setData(Qt::ForegroundRole, enabled ? QVariant() : QVariant(kDisabledText));
    }
    m_building = building;
}

void Tshedule::selectionChanged() {
    const bool selected = selectedRow() >= 0;
    m_edit->setEnabled(selected);
    m_delete->setEnabled(selected);
    m_clone->setEnabled(selected);
}

void Tshedule::timenableClick() {
    m_cfg.scheduler.enabled = m_enable->isChecked();
}

int Tshedule::runEditor(Taddevent& editor) {
    if (m_editorHook)
        m_editorHook(editor);
    return editor.exec();
}

void Tshedule::addeventbuttonClick() {
    const auto test = [this](const std::string& program, const std::string& parameter) {
        m_recorder.openURL(program, parameter);
    };
    Taddevent editor(Taddevent::Mode::Add,
                     newEventForm(dayNumberFromTime(std::time(nullptr)), defaultbrowser()), m_messages, test,
                     this);
    if (runEditor(editor) != QDialog::Accepted || !m_recorder.addevent(editor.fields()))
        return;
    const int row = m_list->rowCount();
    m_building = true;
    m_list->insertRow(row);
    m_building = false;
    fillRow(row, QStringLiteral("Wait..."));
}

void Tshedule::editeventbuttonClick() {
    const int row = selectedRow();
    if (row < 0 || row >= static_cast<int>(m_events.size()))
        return;
    const auto test = [this](const std::string& program, const std::string& parameter) {
        m_recorder.openURL(program, parameter);
    };
    Taddevent editor(Taddevent::Mode::Edit, formFor(m_events[static_cast<std::size_t>(row)]), m_messages,
                     test, this);
    if (runEditor(editor) != QDialog::Accepted || !m_recorder.editevent(row + 1, editor.fields()))
        return;
    fillRow(row, statusFor(row));
    m_list->selectRow(row);
}

void Tshedule::deleventbuttonClick() {
    const int row = selectedRow();
    if (row < 0 || m_events.empty() || !m_recorder.deleteevent(row + 1))
        return;
    m_building = true;
    m_list->removeRow(row);
    m_building = false;
    const int count = m_list->rowCount();
    m_list->clearSelection();
    if (count > 0)
        m_list->selectRow(row < count ? row : count - 1);
    selectionChanged();
}

void Tshedule::cloneeventButtonClick() {
    const int row = selectedRow();
    if (row < 0 || m_events.empty() || !m_recorder.cloneevent(row + 1))
        return;
    loadevents();
    m_list->selectRow(row);
}

void Tshedule::ListView1DragDrop(int targetRow) {
    const int from = selectedRow();
    if (from < 0 || targetRow < 0 || from == targetRow || !m_recorder.moveevent(from + 1, targetRow + 1))
        return;
    // The row moves as its event did, keeping its status.
    QStringList statuses;
    for (int r = 0; r < m_list->rowCount(); ++r)
        statuses << (m_list->item(r, kStatusColumn) ? m_list->item(r, kStatusColumn)->text() : QString());
    statuses.move(from, targetRow);
    for (int r = std::min(from, targetRow); r <= std::max(from, targetRow); ++r)
        fillRow(r, statuses[r]);
    m_list->selectRow(targetRow);
}

void Tshedule::ListView1ItemChecked(QTableWidgetItem* item) {
    if (m_building || !item || item->column() != 0)
        return;
    const int row = item->row();
    if (row < 0 || row >= static_cast<int>(m_events.size()))
        return;
    recevent& e = m_events[static_cast<std::size_t>(row)];
    const bool on = item->checkState() == Qt::Checked;
    if (e.Enabled == on)
        return;
    e.Enabled = on;
    greyRow(row);
}

void Tshedule::OkButtonClick() {
    if (m_onOk)
        m_onOk();
    close();
}

void Tshedule::setStatus(int row, const std::string& text) {
    if (row < 0 || row >= m_list->rowCount())
        return;
    if (QTableWidgetItem* item = m_list->item(row, kStatusColumn)) {
        const bool building = m_building;
        m_building = true;
        item->setText(QString::fromStdString(text));
        m_building = building;
    }
}

void Tshedule::selectRow(int row) {
    if (row >= 0 && row < m_list->rowCount())
        m_list->selectRow(row);
}

} // namespace quimbrel
