// The schedule window and the event editor on a real X display with the private PulseAudio daemon: the
// editor's defaults, refusals and Repeat pages, the list's commands (clone, delete, drag, untick), an event
// added in the window recording through the daemon, and a cancelled event firing again after a restart.
#include "AppFixture.h"

#include "TMainForm.h"
#include "Taddevent.h"
#include "Tshedule.h"
#include "ports/MessagePort.h"
#include "recording/Recorder.h"
#include "recording/RecordingState.h"
#include "state/config.h"
#include "state/daynumber.h"
#include "state/recevent.h"
#include "widgets/Lamp.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QDropEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QLocale>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>

#include <ctime>

using namespace quimbrel;
using namespace apptest;

namespace {

class ScheduleTest : public AppTest {
protected:
    void SetUp() override {
        if (!std::getenv("QUIMBREL_TEST_DISPLAY") || !std::getenv("DISPLAY"))
            GTEST_SKIP() << "needs an X display (scripts/with-services)";
        AppTest::SetUp();
        if (IsSkipped())
            return;
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    }
    void writeEvents(const eventtable& events) {
        QDir().mkpath(dataFolder());
        std::string error;
        ASSERT_TRUE(
            writeeventsfile((dataFolder() + QStringLiteral("events.xml")).toStdString(), events, &error))
            << error;
    }
    static Tshedule& scheduleOf(TMainForm& window) {
        auto* s = qobject_cast<Tshedule*>(window.scheduleWindow());
        EXPECT_NE(s, nullptr);
        return *s;
    }
};

recevent dailyEvent(const std::string& name, double start, double stop) {
    recevent e;
    e.name = name;
    e.Enabled = true;
    e.repeat = 2;
    e.day.fill(true);
    e.day[0] = false;
    e.starttime = start;
    e.stoptime = stop;
    e.nextday = stop < start;
    return e;
}

double nowTimeOfDay() {
    return timePart(dayNumberFromTime(std::time(nullptr)));
}

// A window that opened a minute ago (or at midnight) and closes in ten minutes.
recevent openNow(const std::string& name) {
    const double now = nowTimeOfDay();
    const double start = now > 65.0 / 86400 ? now - 60.0 / 86400 : 0.0;
    return dailyEvent(name, start, std::min(now + 600.0 / 86400, makeTimeOfDay(23, 59, 59)));
}

QString cell(QTableWidget* list, int row, int column) {
    return list->item(row, column) ? list->item(row, column)->text() : QString();
}

QStringList names(QTableWidget* list) {
    QStringList n;
    for (int r = 0; r < list->rowCount(); ++r)
        n << cell(list, r, 0);
    return n;
}

// Drops the selected row onto `row` as a drag inside the list delivers it.
void dropOnto(QTableWidget* list, int row) {
    std::unique_ptr<QMimeData> data(list->model()->mimeData(list->selectionModel()->selectedIndexes()));
    const QPoint at = list->visualItemRect(list->item(row, 1)).center();
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDragMoveEvent move(at, Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &move);
    ASSERT_TRUE(move.isAccepted());
    QDropEvent drop(at, Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &drop);
}

TEST_F(ScheduleTest, EditorDefaultsRefusalsAndRepeatPages) {
    RecordingMessagePort messages;
    std::vector<std::pair<std::string, std::string>> tested;
    const double today = dayNumberFromTime(std::time(nullptr));
    Taddevent editor(Taddevent::Mode::Add, newEventForm(today, "xdg-open"), &messages,
                     [&](const std::string& a, const std::string& p) { tested.emplace_back(a, p); });
    editor.show();
    EXPECT_EQ(editor.windowTitle(), QStringLiteral("Add Event"));
    EXPECT_EQ(editor.startfield()->time(), QTime(0, 0, 0));
    EXPECT_EQ(editor.stopfield()->time(), QTime(1, 0, 0));
    EXPECT_EQ(editor.startfield()->displayFormat(), longTimeFormat());
    EXPECT_EQ(editor.repeatbox()->currentText(), QStringLiteral("Select days of week"));
    for (int d = 1; d <= 7; ++d)
        EXPECT_FALSE(editor.daybox(d)->isChecked()) << d;
    EXPECT_EQ(editor.datefield()->date(), QDate::currentDate());
    EXPECT_EQ(editor.filenamebox()->currentText(), QStringLiteral("Auto Name"));
    EXPECT_EQ(editor.appfield()->text(), QStringLiteral("xdg-open"));
    EXPECT_FALSE(editor.taskbox()->isChecked());
    EXPECT_FALSE(editor.appfield()->isEnabled());
    EXPECT_FALSE(editor.testbutton()->isEnabled());
    screenshot(&editor, QStringLiteral("event-editor-weekdays"));

    // The two refusals, in order; the dialog stays.
    EXPECT_FALSE(editor.Ok_ButtonClick());
    editor.namefield()->setText(QStringLiteral("Late show"));
    EXPECT_FALSE(editor.Ok_ButtonClick());
    ASSERT_EQ(messages.entries().size(), 2u);
    EXPECT_EQ(messages.entries()[0].text, "Please enter event name.");
    EXPECT_EQ(messages.entries()[1].text, "Please select at least one day of week.");
    EXPECT_TRUE(editor.isVisible());

    // Daily ticks every day; back on the weekday page they stay ticked.
    editor.repeatbox()->setCurrentIndex(2);
    for (int d = 1; d <= 7; ++d)
        EXPECT_TRUE(editor.daybox(d)->isChecked()) << d;
    EXPECT_EQ(editor.pages()->currentIndex(), 0);
    screenshot(&editor, QStringLiteral("event-editor-daily"));
    editor.repeatbox()->setCurrentIndex(0);
    EXPECT_TRUE(editor.daybox(3)->isChecked());
    editor.repeatbox()->setCurrentIndex(1);
    EXPECT_EQ(editor.pages()->currentIndex(), 1);
    screenshot(&editor, QStringLiteral("event-editor-fixed-date"));

    // The task box enables its fields; the test button launches at once with what is typed.
    QTest::mouseClick(editor.taskbox(), Qt::LeftButton, {}, QPoint(5, editor.taskbox()->height() / 2));
    EXPECT_TRUE(editor.appfield()->isEnabled());
    editor.paramfield()->setText(QStringLiteral("http://127.0.0.1/"));
    editor.testbutton()->click();
    ASSERT_EQ(tested.size(), 1u);
    EXPECT_EQ(tested[0], std::make_pair(std::string("xdg-open"), std::string("http://127.0.0.1/")));

    editor.startfield()->setTime(QTime(23, 30, 0));
    editor.stopfield()->setTime(QTime(0, 15, 0));
    EXPECT_TRUE(editor.Ok_ButtonClick());
    EXPECT_EQ(editor.result(), QDialog::Accepted);
    recevent e;
    init(editor.fields(), e);
    EXPECT_TRUE(e.nextday);
    EXPECT_NEAR(e.stopdate, datePart(today) + 1.0 + makeTimeOfDay(0, 15, 0), 1e-9);
}

TEST_F(ScheduleTest, ListCommandsCloneDeleteDragAndUntick) {
    prepareSettings();
    recevent fixed = dailyEvent("Two", makeTimeOfDay(9, 5, 7), makeTimeOfDay(10, 0, 0));
    fixed.repeat = 1;
    fixed.day = {};
    fixed.startdate = makeDayNumber(2026, 12, 24, 9, 5, 7);
    fixed.stopdate = makeDayNumber(2026, 12, 24, 10, 0, 0);
    recevent weekdays = dailyEvent("Three", 0.5, 0.6);
    weekdays.repeat = 0;
    weekdays.day = {false, true, false, true, false, true, false, false};
    weekdays.filename = "Three";
    weekdays.cancelled = true;
    writeEvents({dailyEvent("One", 0.1, 0.2), fixed, weekdays});
    auto window = startWindow();
    Tshedule& s = scheduleOf(*window);
    QTableWidget* list = s.list();
    window->schedbuttonClick();
    EXPECT_EQ(s.windowTitle(), QStringLiteral("Recording Schedule"));
    for (int c = 0; c < 6; ++c)
        EXPECT_EQ(list->columnWidth(c), Tshedule::kColumnWidths[c]) << c;

    // The rows as built at start-up: the locale's texts, "Wait...", every cancelled flag cleared.
    ASSERT_EQ(list->rowCount(), 3);
    const QLocale locale;
    EXPECT_EQ(cell(list, 1, 1), locale.toString(QTime(9, 5, 7), longTimeFormat()));
    EXPECT_EQ(cell(list, 1, 3), locale.toString(QDate(2026, 12, 24), QLocale::ShortFormat));
    EXPECT_EQ(cell(list, 0, 3), QStringLiteral("Daily"));
    EXPECT_EQ(cell(list, 2, 3), QStringLiteral("Mon,Wed,Fri"));
    EXPECT_EQ(cell(list, 0, 4), QStringLiteral("Auto-Name"));
    EXPECT_EQ(cell(list, 2, 4), QStringLiteral("Three"));
    EXPECT_EQ(cell(list, 2, 5), QStringLiteral("Wait..."));
    EXPECT_FALSE(s.events()[2].cancelled);

    // Commands only with a selected row.
    EXPECT_FALSE(s.editbutton()->isEnabled());
    EXPECT_FALSE(s.deletebutton()->isEnabled());
    EXPECT_FALSE(s.clonebutton()->isEnabled());
    list->selectRow(1);
    EXPECT_TRUE(s.editbutton()->isEnabled() && s.deletebutton()->isEnabled() && s.clonebutton()->isEnabled());

    // Clone row 2 of 3: an identical event 4, row 2 still selected, cancelled flags cleared.
    s.events()[0].cancelled = true;
    s.clonebutton()->click();
    ASSERT_EQ(list->rowCount(), 4);
    EXPECT_EQ(s.events()[3], s.events()[1]);
    EXPECT_EQ(s.selectedRow(), 1);
    EXPECT_FALSE(s.events()[0].cancelled);
    EXPECT_EQ(window->cfg().scheduler.numevents, 4);

    // Drag row 1 onto row 3: 2, 3, 1.
    list->selectRow(0);
    dropOnto(list, 2);
    EXPECT_EQ(names(list), (QStringList{"Two", "Three", "One", "Two"}));
    EXPECT_EQ(s.events()[2].name, "One");
    EXPECT_EQ(s.selectedRow(), 2);

    // Delete the last row (Delete key): the new last row is selected.
    list->selectRow(3);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Delete);
    ASSERT_EQ(list->rowCount(), 3);
    EXPECT_EQ(s.selectedRow(), 2);
    EXPECT_EQ(names(list), (QStringList{"Two", "Three", "One"}));

    // Unticking greys the row at once and switches the event off.
    QTableWidgetItem* first = list->item(0, 0);
    first->setCheckState(Qt::Unchecked);
    EXPECT_FALSE(s.events()[0].Enabled);
    EXPECT_EQ(list->item(0, 3)->background().color(), QColor(241, 241, 241));
    EXPECT_EQ(list->item(0, 3)->foreground().color(), QColor(112, 112, 112));
    first->setCheckState(Qt::Checked);
    EXPECT_TRUE(s.events()[0].Enabled);
    EXPECT_EQ(list->item(0, 3)->background().style(), Qt::NoBrush);

    // Deleting down to the only row and then that: an empty list with nothing selected.
    s.deletebutton()->click();
    s.deletebutton()->click();
    ASSERT_EQ(list->rowCount(), 1);
    s.deletebutton()->click();
    EXPECT_EQ(list->rowCount(), 0);
    EXPECT_EQ(s.selectedRow(), -1);
    EXPECT_FALSE(s.deletebutton()->isEnabled());
    EXPECT_TRUE(s.events().empty());
    window->close();
}

TEST_F(ScheduleTest, AnEventAddedInTheWindowRecordsThroughTheDaemonAndAnUntickedOneIsSkipped) {
    prepareSettings();
    QTemporaryDir tones;
    const QString wav = tones.path() + QStringLiteral("/sine.wav");
    writeSineWav(wav, 60.0);
    recevent skipped = openNow("Unticked");
    recevent later = dailyEvent("Evening", makeTimeOfDay(23, 59, 58), makeTimeOfDay(23, 59, 59));
    writeEvents({skipped, later});
    auto window = startWindow();
    Tshedule& s = scheduleOf(*window);
    QTableWidget* list = s.list();
    window->schedbuttonClick();
    list->item(0, 0)->setCheckState(Qt::Unchecked);

    // Add "Morning/news" through the editor: a window open now, its name as the file name.
    const recevent open = openNow("x");
    s.setEditorHook([&](Taddevent& editor) {
        editor.namefield()->setText(QStringLiteral("Morning/news"));
        editor.startfield()->setTime(qtime(open.starttime));
        editor.stopfield()->setTime(qtime(open.stoptime));
        editor.repeatbox()->setCurrentIndex(2);
        editor.filenamebox()->setCurrentIndex(1);
        QTimer::singleShot(0, &editor, [&editor] { editor.Ok_ButtonClick(); });
    });
    s.addbutton()->click();
    ASSERT_EQ(list->rowCount(), 3);
    EXPECT_EQ(cell(list, 2, 0), QStringLiteral("Morning/news"));
    EXPECT_EQ(cell(list, 2, 5), QStringLiteral("Wait..."));
    EXPECT_TRUE(list->item(2, 0)->checkState() == Qt::Checked);

    // Switch the scheduler on; Ok lights the TIMER lamp.
    Lamp* timer = nullptr;
    for (Lamp* lamp : window->findChildren<Lamp*>())
        if (lamp->caption() == QStringLiteral("TIMER"))
            timer = lamp;
    ASSERT_NE(timer, nullptr);
    QTest::mouseClick(s.schedulerbox(), Qt::LeftButton, {}, QPoint(5, s.schedulerbox()->height() / 2));
    EXPECT_TRUE(window->cfg().scheduler.enabled);
    EXPECT_FALSE(timer->isOn()) << "the lamp follows on Ok";
    s.okbutton()->click();
    EXPECT_TRUE(timer->isOn());
    EXPECT_FALSE(s.isVisible());
    window->schedbuttonClick();

    auto player = std::make_unique<QProcess>();
    player->start(QStringLiteral("paplay"), {wav});
    ASSERT_TRUE(waitUntil([&] { return cell(list, 2, 5) == QStringLiteral("Record..."); }));
    EXPECT_EQ(s.selectedRow(), 2) << "the fired row is selected";
    EXPECT_EQ(cell(list, 0, 5), QStringLiteral("Wait...")) << "the unticked event is skipped";
    EXPECT_EQ(window->recorder().state().schedule.currentevent, 3);
    const QString file = outputFolder() + QStringLiteral("Morning_news.mp3");
    ASSERT_TRUE(waitUntil([&] { return window->timeText() == QStringLiteral("00:00:02"); }));
    // The clock runs on even when a loaded machine hands the blocks over late: wait for the sound itself.
    ASSERT_TRUE(waitUntil([&] { return window->recorder().state().totalbytes > 12000; }));
    EXPECT_TRUE(QFileInfo::exists(file)) << "the event's name, made safe, inside the output folder";
    screenshot(&s, QStringLiteral("schedule"));

    // Moving the recording event keeps it the current one; editing its stop to now ends it with the next
    // block.
    list->selectRow(2);
    dropOnto(list, 0);
    EXPECT_EQ(window->recorder().state().schedule.currentevent, 1);
    EXPECT_EQ(cell(list, 0, 5), QStringLiteral("Record..."));
    const double stopNow = std::floor(nowTimeOfDay() * 86400.0) / 86400.0;
    s.setEditorHook([&](Taddevent& editor) {
        EXPECT_EQ(editor.windowTitle(), QStringLiteral("Edit Event"));
        editor.stopfield()->setTime(qtime(stopNow));
        QTimer::singleShot(0, &editor, [&editor] { editor.Ok_ButtonClick(); });
    });
    list->selectRow(0);
    s.editbutton()->click();
    ASSERT_TRUE(waitUntil([&] { return cell(list, 0, 5) == QStringLiteral("Complete"); }));
    ASSERT_TRUE(waitUntil([&] { return window->statusText() == QStringLiteral("Ready"); }));
    EXPECT_FALSE(window->recorder().state().schedule.scheduledrecording);
    EXPECT_GT(QFileInfo(file).size(), 8000);
    EXPECT_EQ(QDir(outputFolder()).entryList(QDir::Files), QStringList{QStringLiteral("Morning_news.mp3")});
    player->kill();
    player->waitForFinished();
    window->close();
}

TEST_F(ScheduleTest, ACancelledEventFiresAgainAfterARestart) {
    prepareSettings([](config& c) { c.scheduler.enabled = true; });
    writeEvents({openNow("Again")});
    const std::string eventsFile = (dataFolder() + QStringLiteral("events.xml")).toStdString();
    for (int run = 1; run <= 2; ++run) {
        auto window = startWindow();
        Tshedule& s = scheduleOf(*window);
        ASSERT_TRUE(waitUntil([&] { return cell(s.list(), 0, 5) == QStringLiteral("Record..."); }))
            << "run " << run;
        window->recorder().StopClick();
        EXPECT_EQ(cell(s.list(), 0, 5), QStringLiteral("Canceled"));
        ASSERT_TRUE(waitUntil([&] { return window->statusText() == QStringLiteral("Ready"); }));
        window->close();
        RecordingMessagePort port;
        config cfg;
        eventtable stored;
        ASSERT_TRUE(readeventsfile(eventsFile, stored, cfg, port));
        ASSERT_EQ(stored.size(), 1u);
        EXPECT_TRUE(stored[0].cancelled) << "the flag is stored as it was at the close";
    }
}

} // namespace
