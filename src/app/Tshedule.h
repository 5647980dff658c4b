// The schedule window "Recording Schedule": the list of scheduled events with their status, the scheduler's
// switch, and the commands that add, edit, delete, clone and reorder events. Modeless, created once at
// start-up and only shown and hidden. UI thread.
#pragma once

#include "state/recevent.h"

#include <QWidget>

#include <functional>
#include <string>

class QCheckBox;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;

namespace quimbrel {

class MessagePort;
class Recorder;
class Taddevent;
struct config;

class Tshedule final : public QWidget {
    Q_OBJECT
public:
    // The list shows `events`, which the recorder's scheduler tests; edits go through the recorder so the
    // running scheduled recording stays tied to its event. onOk refreshes the main window's TIMER lamp.
    Tshedule(config& cfg, Recorder& recorder, eventtable& events, MessagePort* messages,
             std::function<void()> onOk, QWidget* parent = nullptr);

    // The list's column widths and the greys of a disabled row.
    static constexpr int kColumnWidths[6] = {170, 70, 70, 86, 80, 75};

    void FormCreate();
    void loadevents();
    void timenableClick();
    void addeventbuttonClick();
    void editeventbuttonClick();
    void deleventbuttonClick();
    void cloneeventButtonClick();
    // A row dropped onto row targetRow (0-based): the selected event moves there.
    void ListView1DragDrop(int targetRow);
    void ListView1ItemChecked(QTableWidgetItem* item);
    void OkButtonClick();

    // What the scheduler writes: the Status column of a row, and the fired row selected.
    void setStatus(int row, const std::string& text);
    void selectRow(int row);

    // Called with each editor before it runs modally (tests fill and confirm it from here).
    void setEditorHook(std::function<void(Taddevent&)> hook) { m_editorHook = std::move(hook); }

    // The events the list shows.
    eventtable& events() const { return m_events; }
    QTableWidget* list() const { return m_list; }
    QCheckBox* schedulerbox() const { return m_enable; }
    QPushButton* addbutton() const { return m_add; }
    QPushButton* editbutton() const { return m_edit; }
    QPushButton* deletebutton() const { return m_delete; }
    QPushButton* clonebutton() const { return m_clone; }
    QPushButton* okbutton() const { return m_ok; }
    // The selected row, or -1.
    int selectedRow() const;

private:
    void fillRow(int row, const QString& status);
    void greyRow(int row);
    void selectionChanged();
    // The status a rebuilt row shows: "Record..." for the event recording now, else "Wait...".
    QString statusFor(int row) const;
    int runEditor(Taddevent& editor);

    config& m_cfg;
    Recorder& m_recorder;
    eventtable& m_events;
    MessagePort* m_messages;
    std::function<void()> m_onOk;
    std::function<void(Taddevent&)> m_editorHook;
    bool m_building = false;

    QTableWidget* m_list = nullptr;
    QCheckBox* m_enable = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_edit = nullptr;
    QPushButton* m_delete = nullptr;
    QPushButton* m_clone = nullptr;
    QPushButton* m_ok = nullptr;
};

} // namespace quimbrel
