// The window's lifecycle where it meets the desktop: closing the settings by Esc, the autostart entry that
// cannot be written, the end of the session during start-up, during a dialog and during recording, a
// stored line the card no longer has, and the update check from the settings button and at start-up.
#include "AppFixture.h"

#include "TMainForm.h"
#include "Tcmanager.h"
#include "Tnamingrules.h"

#include "capture/TWASAPISource.h"
#include "recording/Recorder.h"
#include "recording/RecordingState.h"
#include "session/Session.h"
#include "state/config.h"
#include "visual/BuildInfo.h"
#include "visual/TmGetNewVer.h"

#include "UpdateSite.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

using namespace quimbrel;
using namespace apptest;

namespace {

// Runs action once, on the event loop, as soon as a visible top-level widget satisfies found.
class WhenShown {
public:
    WhenShown(std::function<bool(QWidget*)> found, std::function<void()> action)
        : m_found(std::move(found)), m_action(std::move(action)) {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (!m_done && w->isVisible() && m_found(w)) {
                    m_done = true;
                    m_timer.stop();
                    m_action();
                    return;
                }
            }
        });
        m_timer.start(20);
    }
    bool done() const { return m_done; }

private:
    std::function<bool(QWidget*)> m_found;
    std::function<void()> m_action;
    QTimer m_timer;
    bool m_done = false;
};

bool isMessageBox(QWidget* w) {
    return qobject_cast<QMessageBox*>(w) != nullptr;
}

// A close inside a nested loop ends every loop, as it must in the program; run the application's own loop
// once so the following tests' dialogs run again.
void endQuitState() {
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}

config savedSettings(const QString& folder) {
    config saved;
    EXPECT_TRUE(readConfigFile((folder + QStringLiteral("quimbrel.xml")).toStdString(), saved));
    return saved;
}

} // namespace

TEST_F(AppTest, EscInTheSettingsKeepsTheTimeValuesAsCloseDoes) {
    prepareSettings();
    auto window = startWindow();
    Tcmanager* s = window->settings();
    window->setbuttonClick();
    ASSERT_TRUE(waitUntil([&] { return s->isVisible(); }));
    s->splitMinutes()->setValue(0);
    s->splitSeconds()->setValue(0);
    s->stopMinutes()->setValue(2);
    s->stopSeconds()->setValue(5);
    s->deletetime()->setValue(42);
    QTest::keyClick(s, Qt::Key_Escape);
    EXPECT_FALSE(s->isVisible());
    EXPECT_EQ(window->cfg().splitter.timelimit, 1);
    EXPECT_EQ(window->cfg().autostop.timelimit, 125);
    EXPECT_EQ(window->cfg().autodelete.deletetime, 42);
    window->close();
}

TEST_F(AppTest, AnAutostartEntryThatCannotBeWrittenIsShownAndUnticked) {
    prepareSettings();
    // A file where the autostart folder belongs: the entry cannot be written, not even by root.
    QFile blocker(m_root->path() + QStringLiteral("/config/autostart"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    auto window = startWindow();
    QCheckBox* box = window->settings()->runatlogon();
    ASSERT_FALSE(box->isChecked());
    BoxAnswerer answer;
    box->click();
    ASSERT_EQ(answer.texts().size(), 1u);
    EXPECT_TRUE(answer.texts()[0].startsWith(QStringLiteral("The desktop session startup entry could not be "
                                                            "written: ")))
        << answer.texts()[0].toStdString();
    EXPECT_FALSE(box->isChecked());
    EXPECT_FALSE(getrunatlogon());

    // Where it can be written, ticking writes it and no box appears.
    ASSERT_TRUE(QFile::remove(m_root->path() + QStringLiteral("/config/autostart")));
    box->click();
    EXPECT_TRUE(box->isChecked());
    EXPECT_TRUE(getrunatlogon());
    EXPECT_EQ(answer.texts().size(), 1u);
    window->close();
}

TEST_F(AppTest, TheSessionEndingDuringCustomizeOrTheRefusalBoxClosesOnce) {
    // Customize...: the naming dialog runs on the stack of the settings window's handler.
    {
        prepareSettings([](config& c) { c.autoname.enabled = true; });
        auto window = startWindow();
        window->setbuttonClick();
        WhenShown logout([](QWidget* w) { return qobject_cast<Tnamingrules*>(w) != nullptr; },
                         [&] { window->closeForSessionEnd(); });
        window->settings()->customize()->click();
        EXPECT_TRUE(logout.done());
        EXPECT_FALSE(window->isVisible());
        EXPECT_TRUE(QFile::exists(dataFolder() + QStringLiteral("quimbrel.xml")));
        window.reset();
        endQuitState();
    }
    // The refusal to change the line while recording: the session ends while its box is open.
    {
        prepareSettings();
        auto window = startWindow();
        window->recorder().StartClick();
        ASSERT_TRUE(window->recorder().state().writing);
        window->setbuttonClick();
        WhenShown logout(isMessageBox, [&] { window->closeForSessionEnd(); });
        window->settings()->lineboxChange(0);
        EXPECT_TRUE(logout.done());
        EXPECT_FALSE(window->recorder().state().writing);
        EXPECT_FALSE(QDir(outputFolder()).entryList(QDir::Files).isEmpty());
        window.reset();
        endQuitState();
    }
}

TEST_F(AppTest, TheSessionEndingDuringAStartUpBoxSavesAndEndsTheStartUp) {
    prepareSettings([](config& c) { c.startup.enabled = true; });
    // An unreadable events.xml: a message box during start-up.
    QFile events(dataFolder() + QStringLiteral("events.xml"));
    ASSERT_TRUE(events.open(QIODevice::WriteOnly));
    events.write("<events><number>");
    events.close();
    QFile::remove(dataFolder() + QStringLiteral("quimbrel.xml.saved"));
    auto window = std::make_unique<TMainForm>();
    WhenShown logout(isMessageBox, [&] { window->closeForSessionEnd(); });
    // False: the program ends instead of entering its loop.
    EXPECT_FALSE(window->FormCreate());
    EXPECT_TRUE(logout.done());
    EXPECT_FALSE(window->isVisible());
    // Saved, and nothing was recorded although recording at start-up is on.
    EXPECT_TRUE(savedSettings(dataFolder()).startup.enabled);
    EXPECT_FALSE(window->recorder().state().writing);
    EXPECT_TRUE(QDir(outputFolder()).entryList(QDir::Files).isEmpty());
    window.reset();
    endQuitState();
}

TEST_F(AppTest, SavingForTheSessionKeepsRecordingAndTheSessionsEndStopsAndSaves) {
    prepareSettings([](config& c) { c.confirmations.ask = true; });
    auto window = startWindow();
    window->followSession();
    window->recorder().StartClick();
    ASSERT_TRUE(window->recorder().state().writing);
    window->cfg().vox.threshold = 1635;
    // What the session manager's save request does: the settings reach the disk, the recording goes on
    // (the logout may still be cancelled).
    window->saveForSession();
    EXPECT_EQ(savedSettings(dataFolder()).vox.threshold, 1635);
    EXPECT_TRUE(window->recorder().state().writing);
    window->cfg().vox.threshold = 3000;
    // The session really ends: the application quits; no question although confirmations are on.
    BoxAnswerer answer;
    endQuitState();
    EXPECT_TRUE(answer.texts().empty());
    EXPECT_FALSE(window->recorder().state().writing);
    EXPECT_EQ(savedSettings(dataFolder()).vox.threshold, 3000);
    EXPECT_FALSE(QDir(outputFolder()).entryList(QDir::Files).isEmpty());
}

TEST_F(AppTest, AStoredLineBeyondTheCardsLastOpensLineZeroAndRecords) {
    prepareSettings([](config& c) { c.mixer.line = 57; });
    auto window = startWindow();
    EXPECT_EQ(window->cfg().mixer.line, 0);
    EXPECT_EQ(window->settings()->linebox()->currentIndex(), 0);
    ASSERT_TRUE(window->session().source()->isactive());
    window->recorder().StartClick();
    EXPECT_TRUE(window->recorder().state().writing);
    ASSERT_TRUE(waitUntil([&] { return window->recorder().state().totalbytes > 0; }));
    window->recorder().StopClick();
    ASSERT_TRUE(waitUntil([&] { return !window->recorder().state().writing; }));
    window->close();
    EXPECT_EQ(savedSettings(dataFolder()).mixer.line, 0);
}

#if QUIMBREL_UPDATE_CHECK
TEST_F(AppTest, UpdateCheckFromTheButtonReportsEveryOutcomeAndStartUpOnlyTheOffer) {
    const updatetest::Site site;
    setenv("QUIMBREL_CA_FILE", site.caFile().c_str(), 1);
    const std::string own = QUIMBREL_FILE_VERSION;
    const std::string same = site.publish("same.xml", updatetest::document(own));
    const std::string newer = site.publish("newer.xml", updatetest::document("99.0.0.0"));
    const std::string missing = site.url("files", "missing.xml");

    // Start-up, same version: nothing is shown.
    setenv("QUIMBREL_UPDATE_URL", same.c_str(), 1);
    prepareSettings([](config& c) { c.autoupdates.enabled = true; });
    {
        BoxAnswerer answer;
        auto window = startWindow();
        ASSERT_TRUE(waitUntil([&] { return !window->updateChecker()->Busy(); }));
        pump(50);
        EXPECT_TRUE(answer.texts().empty());
        EXPECT_EQ(window->settings()->findChild<QLabel*>(QStringLiteral("version"))->text().toStdString(),
                  "Version: " + own + " (" + QUIMBREL_ARCHITECTURE + ")");
        EXPECT_TRUE(window->settings()->updatebutton()->isVisibleTo(window->settings()));

        // The button: the same version is reported, then a failure, then the offer (answered No).
        window->settings()->updatebutton()->click();
        ASSERT_TRUE(waitUntil([&] { return answer.texts().size() == 1; }));
        EXPECT_EQ(answer.texts()[0].toStdString(),
                  "You already have the latest version " + own + " of this program");
        window->updateChecker()->setURLCurrVerFile(missing);
        window->settings()->updatebutton()->click();
        ASSERT_TRUE(waitUntil([&] { return answer.texts().size() == 2; }));
        EXPECT_EQ(answer.texts()[1].toStdString(),
                  "Could not download file version information from: \n" + missing);
        window->updateChecker()->setURLCurrVerFile(newer);
        window->close();
    }
    // Start-up, a newer version: the offer; a failure at start-up says nothing.
    setenv("QUIMBREL_UPDATE_URL", newer.c_str(), 1);
    {
        BoxAnswerer answer({QMessageBox::No});
        auto window = startWindow();
        ASSERT_TRUE(waitUntil([&] { return answer.texts().size() == 1; }));
        EXPECT_TRUE(
            answer.texts()[0].startsWith(QStringLiteral("There is a new version 99.0.0.0 of this program\n"
                                                        "available at 127.0.0.1\n")));
        window->close();
    }
    setenv("QUIMBREL_UPDATE_URL", missing.c_str(), 1);
    {
        BoxAnswerer answer;
        auto window = startWindow();
        ASSERT_TRUE(waitUntil([&] { return !window->updateChecker()->Busy(); }));
        pump(50);
        EXPECT_TRUE(answer.texts().empty());
        window->close();
    }
    unsetenv("QUIMBREL_UPDATE_URL");
    unsetenv("QUIMBREL_CA_FILE");
}
#endif
