// The main window as a whole: first start, recording, the close question, playback, tray, single instance,
// dragging and snapping.
#include "AppFixture.h"

#include "SingleInstance.h"
#include "TMainForm.h"
#include "Tcmanager.h"
#include "widgets/Knob.h"

#include "ports/MessagePort.h"
#include "recording/Recorder.h"
#include "recording/RecordingState.h"
#include "state/recordingsdb.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMouseEvent>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTimer>

using namespace quimbrel;
using namespace apptest;

namespace {

QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files);
}

// Plays a file on the default sink in the background for as long as the returned process lives.
std::unique_ptr<QProcess> playInBackground(const QString& wav) {
    auto p = std::make_unique<QProcess>();
    p->start(QStringLiteral("paplay"), {wav});
    p->waitForStarted();
    return p;
}

} // namespace

TEST_F(AppTest, FirstStartShowsDefaultsCentredAndWritesThreeDocumentsOnClose) {
    ASSERT_FALSE(QFileInfo::exists(dataFolder()));
    auto window = startWindow();
    EXPECT_EQ(window->statusText(), QStringLiteral("Ready"));
    EXPECT_EQ(window->timeText(), QStringLiteral("00:00:00"));
    EXPECT_EQ(window->recorder().state().mode, RecorderMode::Record);
    EXPECT_EQ(window->cfg().codec.index, 0);
    EXPECT_EQ(window->cfg().autoname.expression, "YY-MM-DD-HH-NN-SS");
    EXPECT_TRUE(window->buttonIsEnabled(RecorderButton::Record));
    EXPECT_FALSE(window->buttonIsEnabled(RecorderButton::Stop));
    EXPECT_FALSE(window->buttonIsEnabled(RecorderButton::Pause));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Quimbrel"));

    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(window->size(), QSize(506, 254) * window->skinScale());
    EXPECT_EQ(window->x(), area.left() + (area.width() - window->width()) / 2);
    EXPECT_EQ(window->y(), area.top() + (area.height() - window->height()) / 2);

    pump(300); // a few spectrum pictures from the capture
    screenshot(window.get(), QStringLiteral("main-idle"));

    window->move(window->x() + 40, window->y() + 30);
    const QPoint where = window->pos();
    window->close();
    for (const char* doc : {"quimbrel.xml", "events.xml", "names.xml"})
        EXPECT_TRUE(QFileInfo::exists(dataFolder() + QString::fromLatin1(doc))) << doc;
    config saved;
    ASSERT_TRUE(readConfigFile((dataFolder() + QStringLiteral("quimbrel.xml")).toStdString(), saved));
    EXPECT_EQ(saved.position.x, where.x());
    EXPECT_EQ(saved.position.y, where.y());
}

TEST_F(AppTest, RecordWritesAFileThatEntersTheDatabase) {
    prepareSettings();
    QTemporaryDir tones;
    const QString wav = tones.path() + QStringLiteral("/sine.wav");
    writeSineWav(wav, 4.0);
    auto window = startWindow();
    ASSERT_TRUE(window->buttonIsEnabled(RecorderButton::Record));

    auto player = playInBackground(wav);
    window->recorder().StartClick();
    EXPECT_EQ(window->statusText(), QStringLiteral("Recording"));
    EXPECT_TRUE(window->recorder().state().writing);
    EXPECT_FALSE(window->buttonIsEnabled(RecorderButton::Record));
    EXPECT_TRUE(window->buttonIsEnabled(RecorderButton::Stop));
    ASSERT_TRUE(waitUntil([&] { return window->timeText() == QStringLiteral("00:00:02"); }));
    // The clock runs on even when a loaded machine hands the blocks over late: wait for the sound itself.
    ASSERT_TRUE(waitUntil([&] { return window->recorder().state().totalbytes > 12000; }));
    screenshot(window.get(), QStringLiteral("main-recording"));

    window->recorder().StopClick();
    ASSERT_TRUE(waitUntil([&] { return window->statusText() == QStringLiteral("Ready"); }));
    EXPECT_EQ(window->timeText(), QStringLiteral("00:00:00"));
    const QStringList files = filesIn(outputFolder());
    ASSERT_EQ(files.size(), 1);
    EXPECT_TRUE(files.first().endsWith(QStringLiteral(".mp3")));
    EXPECT_GT(QFileInfo(outputFolder() + files.first()).size(), 8000);

    RecordingMessagePort port;
    RecordingsDb db(port);
    ASSERT_TRUE(db.open((dataFolder() + QStringLiteral("quimbrel.db")).toStdString()));
    std::vector<RecordingRow> rows;
    ASSERT_TRUE(db.listRecordings(rows));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(QString::fromStdString(rows[0].musicName), files.first());
    window->close();
}

TEST_F(AppTest, CloseQuestionNoKeepsRecordingYesStopsAndCloses) {
    prepareSettings();
    auto window = startWindow();
    window->recorder().StartClick();
    ASSERT_TRUE(window->recorder().state().writing);
    // Some sound in the file, however slowly the line starts.
    ASSERT_TRUE(waitUntil([&] { return window->recorder().state().totalbytes > 0; }));
    {
        BoxAnswerer answer({QMessageBox::No});
        EXPECT_FALSE(window->close());
        ASSERT_EQ(answer.texts().size(), 1u);
        EXPECT_EQ(answer.texts()[0], QStringLiteral("Do you want to stop recording and exit?"));
    }
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->recorder().state().writing);
    pump(300);
    {
        BoxAnswerer answer({QMessageBox::Yes});
        EXPECT_TRUE(window->close());
        EXPECT_EQ(answer.texts().size(), 1u);
    }
    EXPECT_FALSE(window->recorder().state().writing);
    const QStringList files = filesIn(outputFolder());
    ASSERT_EQ(files.size(), 1);
    EXPECT_GT(QFileInfo(outputFolder() + files.first()).size(), 0);
    EXPECT_TRUE(QFileInfo::exists(dataFolder() + QStringLiteral("quimbrel.xml")));
}

TEST_F(AppTest, WithoutTheQuestionCloseStopsTheRecordingSilently) {
    prepareSettings([](config& c) { c.confirmations.ask = false; });
    auto window = startWindow();
    window->recorder().StartClick();
    pump(300);
    BoxAnswerer answer;
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(answer.texts().empty());
    EXPECT_FALSE(window->recorder().state().writing);
    EXPECT_EQ(filesIn(outputFolder()).size(), 1);
}

TEST_F(AppTest, SecondInstanceHandsOverToTheFirstAndExits) {
    SingleInstance first(QStringLiteral("quimbrel"));
    ASSERT_TRUE(first.acquire());
    QSignalSpy asked(&first, &SingleInstance::activationRequested);

    // The program itself, started a second time.
    QProcess second;
    second.start(QStringLiteral(QUIMBREL_BINARY_DIR "/src/app/quimbrel"), {});
    ASSERT_TRUE(second.waitForStarted());
    ASSERT_TRUE(waitUntil([&] { return second.state() == QProcess::NotRunning; }, 30000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_GE(asked.count(), 1);
    EXPECT_FALSE(QFileInfo::exists(dataFolder() + QStringLiteral("quimbrel.xml"))); // it never started up

    SingleInstance third(QStringLiteral("quimbrel"));
    EXPECT_FALSE(third.acquire());
}

TEST_F(AppTest, MinimiseHidesInTheTrayAndAClickRestores) {
    prepareSettings();
    auto window = startWindow();
    window->setTrayAvailability([] { return true; });
    window->minbuttonClick();
    pump(50);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->trayIcon()->isVisible());
    EXPECT_EQ(window->trayIcon()->toolTip(), QStringLiteral("Quimbrel"));
    window->TrayIcon1Click();
    pump(50);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isMinimized());
    EXPECT_FALSE(window->trayIcon()->isVisible());

    // Without a notification area the window minimises normally and stays reachable.
    window->setTrayAvailability([] { return false; });
    window->minbuttonClick();
    pump(50);
    EXPECT_TRUE(window->isMinimized());
    EXPECT_FALSE(window->trayIcon()->isVisible());
    window->close();
}

TEST_F(AppTest, EdgeSnappingAtSevenAndElevenPixels) {
    const QRect area(0, 0, 1280, 1000);
    const QSize size(506, 254);
    struct Case {
        QPoint proposed;
        QPoint expected;
    };
    const Case cases[] = {
        {{7, 300}, {0, 300}},   // near the left edge: onto it
        {{11, 300}, {11, 300}}, // 11 pixels away: where it was dropped
        {{10, 300}, {0, 300}},  // 10 is still within
        {{-7, 300}, {0, 300}},  // slightly beyond the edge also snaps
        {{1280 - 506 - 7, 300}, {774, 300}},
        {{1280 - 506 - 11, 300}, {763, 300}},
        {{400, 7}, {400, 0}},
        {{400, 1000 - 254 - 7}, {400, 746}},
        {{400, 1000 - 254 - 11}, {400, 735}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TMainForm::snapPosition(c.proposed, area, size), c.expected)
            << c.proposed.x() << "," << c.proposed.y();

    // Dragging the real window by its face.
    prepareSettings();
    auto window = startWindow();
    const QRect work = window->screen()->availableGeometry();
    window->move(work.left() + 100, work.top() + 100);
    pump(20);
    auto drag = [&](int toLeft) {
        const QPoint press(300, 20);
        const QPoint start = window->pos();
        QMouseEvent down(QEvent::MouseButtonPress, press, window->mapToGlobal(press), Qt::LeftButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &down);
        const QPoint to = press + QPoint(work.left() + toLeft - start.x(), 0);
        QMouseEvent move(QEvent::MouseMove, to, window->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(window.get(), &move);
        QMouseEvent up(QEvent::MouseButtonRelease, to, window->mapToGlobal(to), Qt::LeftButton, Qt::NoButton,
                       Qt::NoModifier);
        QApplication::sendEvent(window.get(), &up);
        pump(20);
    };
    drag(7);
    EXPECT_EQ(window->x(), work.left());
    window->move(work.left() + 100, work.top() + 100);
    pump(20);
    drag(11);
    EXPECT_EQ(window->x(), work.left() + 11);
    window->close();
}

TEST_F(AppTest, PlaybackEndsByItselfAndReturnsTheKnobToTheRecordingLevel) {
    prepareSettings([](config& c) { c.mixer.playback = 40; });
    QTemporaryDir tones;
    const QString wav = tones.path() + QStringLiteral("/short.wav");
    writeSineWav(wav, 1.5, 44100, 880.0);
    auto window = startWindow();
    const int recordLevel = window->cfg().mixer.record;
    ASSERT_NE(recordLevel, 40);

    window->playfile(wav);
    EXPECT_EQ(window->statusText(), QStringLiteral("Play"));
    EXPECT_EQ(window->recorder().state().mode, RecorderMode::Playback);
    EXPECT_EQ(window->volumemain()->value(), 40);
    EXPECT_EQ(window->fileText(), QStringLiteral("File:  short.wav"));
    EXPECT_FALSE(window->buttonIsEnabled(RecorderButton::Record));
    // Played in the output's own format (the test daemon's default sink: 48 kHz stereo).
    EXPECT_EQ(window->player().channels(), 2);
    EXPECT_NEAR(window->player().bytesToSeconds(window->player().lengthBytes()), 1.5, 0.001);
    pump(500);
    screenshot(window.get(), QStringLiteral("main-playing"));

    ASSERT_TRUE(waitUntil([&] { return window->recorder().state().mode == RecorderMode::Record; }));
    EXPECT_EQ(window->statusText(), QStringLiteral("Ready"));
    EXPECT_EQ(window->volumemain()->value(), recordLevel);
    EXPECT_TRUE(window->buttonIsEnabled(RecorderButton::Record));
    EXPECT_FALSE(window->buttonIsEnabled(RecorderButton::Stop));
    EXPECT_EQ(window->timeText(), QStringLiteral("00:00:00"));
    window->close();
}

TEST_F(AppTest, PauseDuringPlaybackHoldsThePositionAndStopReturnsToRecordMode) {
    prepareSettings();
    QTemporaryDir tones;
    const QString wav = tones.path() + QStringLiteral("/long.wav");
    writeSineWav(wav, 5.0);
    auto window = startWindow();
    window->playfile(wav);
    pump(600);
    window->recorder().pausebuttonClick();
    EXPECT_EQ(window->statusText(), QStringLiteral("Pause"));
    EXPECT_FALSE(window->player().isActive());
    const long long held = window->player().positionBytes();
    pump(400);
    EXPECT_NEAR(static_cast<double>(window->player().positionBytes()), static_cast<double>(held),
                44100.0 * 8 * 0.05);
    window->recorder().pausebuttonClick();
    EXPECT_TRUE(window->player().isActive());
    window->recorder().StopClick();
    EXPECT_EQ(window->recorder().state().mode, RecorderMode::Record);
    EXPECT_FALSE(window->player().isOpen());
    EXPECT_EQ(window->statusText(), QStringLiteral("Ready"));
    window->close();
}

TEST_F(AppTest, MinimisedStartWithoutANotificationAreaMinimisesInsteadOfHiding) {
    prepareSettings([](config& c) { c.minstartup.enabled = true; });
    for (bool trayThere : {false, true}) {
        TMainForm window;
        window.setTrayAvailability([trayThere] { return trayThere; });
        ASSERT_TRUE(window.FormCreate());
        pump(100);
        if (trayThere) {
            EXPECT_FALSE(window.isVisible());
            EXPECT_TRUE(window.trayIcon()->isVisible());
            window.TrayIcon1Click();
            pump(50);
            EXPECT_TRUE(window.isVisible());
        } else {
            // Still on the taskbar, minimised: there is a way back to it.
            EXPECT_TRUE(window.isVisible());
            EXPECT_TRUE(window.isMinimized());
            EXPECT_FALSE(window.trayIcon()->isVisible());
        }
        window.close();
    }
}

TEST_F(AppTest, TerminationSignalClosesInOrderAndKeepsTheRecording) {
    // The program itself, recording from start-up, ended by SIGTERM as a logout would.
    prepareSettings([](config& c) { c.startup.enabled = true; });
    QProcess program;
    program.start(QStringLiteral(QUIMBREL_BINARY_DIR "/src/app/quimbrel"), {});
    ASSERT_TRUE(program.waitForStarted());
    ASSERT_TRUE(waitUntil([&] {
        const QStringList files = filesIn(outputFolder());
        return !files.isEmpty() && QFileInfo(outputFolder() + files.first()).size() > 4000;
    }));
    program.terminate();
    ASSERT_TRUE(waitUntil([&] { return program.state() == QProcess::NotRunning; }, 30000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);

    config saved;
    ASSERT_TRUE(readConfigFile((dataFolder() + QStringLiteral("quimbrel.xml")).toStdString(), saved));
    EXPECT_TRUE(saved.startup.enabled);
    EXPECT_NE(saved.position.x, -1);
    RecordingMessagePort port;
    RecordingsDb db(port);
    ASSERT_TRUE(db.open((dataFolder() + QStringLiteral("quimbrel.db")).toStdString()));
    std::vector<RecordingRow> rows;
    ASSERT_TRUE(db.listRecordings(rows));
    ASSERT_EQ(rows.size(), 1u); // the recording was finished and listed
    EXPECT_EQ(QString::fromStdString(rows[0].musicName), filesIn(outputFolder()).first());
}

TEST_F(AppTest, PlayWithoutALastFileAndACancelledDialogDoesNothing) {
    prepareSettings();
    auto window = startWindow();
    // Cancel the open dialog as soon as it shows.
    QTimer canceller;
    int dialogs = 0;
    QObject::connect(&canceller, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<QFileDialog*>(w); d && d->isVisible()) {
                ++dialogs;
                d->reject();
            }
    });
    canceller.start(20);
    window->PlayButtonClick();
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(window->recorder().state().mode, RecorderMode::Record);
    EXPECT_EQ(window->statusText(), QStringLiteral("Ready"));
    EXPECT_FALSE(window->player().isOpen());
    window->close();
}

TEST_F(AppTest, HelpWithoutItsFileSaysSo) {
    prepareSettings([this](config& c) { c.path.dir = outputFolder().toStdString(); });
    auto window = startWindow();
    window->cfg().path.dir = outputFolder().toStdString(); // no pellow.html here
    BoxAnswerer answer;
    window->HelpClick();
    ASSERT_EQ(answer.texts().size(), 1u);
    EXPECT_EQ(answer.texts()[0],
              QStringLiteral("Unable to open help file ") + outputFolder() + QStringLiteral("pellow.html"));
    window->close();
}
