// The settings window's handlers, with the recorder and the capture line behind them.
#include "AppFixture.h"

#include "TMainForm.h"
#include "Tcmanager.h"

#include "encoder/CodecTable.h"
#include "recording/Recorder.h"
#include "recording/RecordingState.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QSlider>
#include <QSpinBox>
#include <QStackedWidget>

using namespace quimbrel;
using namespace apptest;

namespace {

int entryOf(QComboBox* box, const QString& text) {
    const int i = box->findText(text);
    EXPECT_GE(i, 0) << text.toStdString();
    return i;
}

void choose(QComboBox* box, int entry) {
    box->setCurrentIndex(entry);
    emit box->activated(entry);
}

} // namespace

TEST_F(AppTest, SettingsMp3At11025OffersTwelveBitRatesFrom128) {
    prepareSettings();
    auto window = startWindow();
    Tcmanager* s = window->settings();
    choose(s->codecs(), kCodecMP3);
    choose(s->csamplerate(), entryOf(s->csamplerate(), QStringLiteral("11025")));
    EXPECT_EQ(s->cbitrate()->count(), 12);
    EXPECT_EQ(s->cbitrate()->itemText(0), QStringLiteral("128"));
    EXPECT_EQ(s->cbitrate()->currentIndex(), 0);
    EXPECT_TRUE(s->cbitrate()->isEnabled());
    EXPECT_FALSE(s->cbits()->isEnabled());
    choose(s->csamplerate(), entryOf(s->csamplerate(), QStringLiteral("44100")));
    EXPECT_EQ(s->cbitrate()->count(), 14);
    EXPECT_EQ(s->cbitrate()->itemText(0), QStringLiteral("320"));

    // WAV: bits instead of bit rates.
    choose(s->codecs(), kCodecWAV);
    EXPECT_FALSE(s->cbitrate()->isEnabled());
    EXPECT_TRUE(s->cbits()->isEnabled());
    EXPECT_GT(s->cbits()->count(), 0);
    window->close();
}

TEST_F(AppTest, SettingsMonoMp3StoresMode3AndRecordsOneChannel) {
    prepareSettings();
    {
        auto window = startWindow();
        Tcmanager* s = window->settings();
        choose(s->codecs(), kCodecMP3);
        const int mono = entryOf(s->cmode(), QStringLiteral("Mono"));
        EXPECT_EQ(mono, 3);
        s->cmode()->setCurrentIndex(mono);
        s->okClick();
        EXPECT_EQ(window->cfg().codec.mode, 3);
        EXPECT_EQ(window->cfg().current.mode, 1);
        EXPECT_EQ(window->captureformat().channels, 1);

        window->recorder().StartClick();
        ASSERT_TRUE(window->recorder().state().writing);
        // Some sound in the file, however slowly the line starts.
        ASSERT_TRUE(waitUntil([&] { return window->recorder().state().totalbytes > 0; }));
        window->recorder().StopClick();
        ASSERT_TRUE(waitUntil([&] { return !window->recorder().state().writing; }));
        window->close();
    }
    const QStringList files = QDir(outputFolder()).entryList(QDir::Files);
    ASSERT_EQ(files.size(), 1);
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"),
                {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                 QStringLiteral("stream=channels"), QStringLiteral("-of"), QStringLiteral("csv=p=0"),
                 outputFolder() + files.first()});
    ASSERT_TRUE(probe.waitForFinished(60000));
    EXPECT_EQ(QString::fromUtf8(probe.readAllStandardOutput()).trimmed(), QStringLiteral("1"));

    // Reopened with the saved settings, the window shows "Mono" again.
    auto again = startWindow();
    EXPECT_EQ(again->settings()->cmode()->currentText(), QStringLiteral("Mono"));
    again->close();
}

TEST_F(AppTest, SettingsThresholdSplitAndFilterTexts) {
    EXPECT_EQ(Tcmanager::thresholdText(1635), QStringLiteral("-26 dB"));
    EXPECT_EQ(Tcmanager::thresholdText(32768), QStringLiteral("0 dB"));
    EXPECT_EQ(Tcmanager::thresholdText(1), QStringLiteral("-90 dB"));
    EXPECT_EQ(Tcmanager::positiontohz(8000, 48000), 19200);
    EXPECT_EQ(Tcmanager::positiontohz(8000, 8000), 3200);
    EXPECT_EQ(Tcmanager::positiontohz(20, 44100), 44);
    EXPECT_EQ(Tcmanager::positiontohz(100, 44100), 220);

    prepareSettings();
    auto window = startWindow();
    Tcmanager* s = window->settings();
    s->threshold()->setValue(32768);
    s->threshold()->setValue(1635);
    EXPECT_EQ(s->thresholdLabel()->text(), QStringLiteral("-26 dB"));
    EXPECT_EQ(window->cfg().vox.threshold, 1635);

    // Split 0:00 is stored as 1 s; auto-stop 0:00 as 0.
    s->show();
    s->splitMinutes()->setValue(0);
    s->splitSeconds()->setValue(0);
    s->stopMinutes()->setValue(0);
    s->stopSeconds()->setValue(0);
    s->closebuttonClick();
    EXPECT_FALSE(s->isVisible());
    EXPECT_EQ(window->cfg().splitter.timelimit, 1);
    EXPECT_EQ(window->cfg().autostop.timelimit, 0);
    s->splitMinutes()->setValue(2);
    s->splitSeconds()->setValue(5);
    s->closebuttonClick();
    EXPECT_EQ(window->cfg().splitter.timelimit, 125);

    // The low-pass text at a 48000 Hz capture rate.
    choose(s->codecs(), kCodecMP3);
    choose(s->csamplerate(), entryOf(s->csamplerate(), QStringLiteral("48000")));
    s->okClick();
    ASSERT_EQ(window->captureformat().samplesPerSec, 48000u);
    s->lfreq()->setValue(8000);
    EXPECT_EQ(s->lfreqLabel()->text(), QStringLiteral("19200 Hz"));
    EXPECT_EQ(window->cfg().lowpass.frequency, 8000);
    window->close();
}

TEST_F(AppTest, SettingsRefuseSourceAndCodecChangesWhileWriting) {
    prepareSettings();
    auto window = startWindow();
    Tcmanager* s = window->settings();
    const int card = s->cardbox()->currentIndex();
    const int line = s->linebox()->currentIndex();
    const int codec = window->cfg().codec.index;
    window->recorder().StartClick();
    ASSERT_TRUE(window->recorder().state().writing);
    {
        BoxAnswerer answers;
        if (s->linebox()->count() > 1) {
            choose(s->linebox(), line == 0 ? 1 : 0);
            EXPECT_EQ(s->linebox()->currentIndex(), line);
        } else {
            s->lineboxChange(line);
        }
        if (s->cardbox()->count() > 1) {
            choose(s->cardbox(), card == 0 ? 1 : 0);
            EXPECT_EQ(s->cardbox()->currentIndex(), card);
        } else {
            s->cardboxChange(card);
        }
        choose(s->codecs(), kCodecWAV);
        s->okClick();
        ASSERT_EQ(answers.texts().size(), 3u);
        EXPECT_EQ(answers.texts()[0],
                  QStringLiteral("Please stop recording before changing recording source"));
        EXPECT_EQ(answers.texts()[1],
                  QStringLiteral("Please stop recording before changing recording source"));
        EXPECT_EQ(answers.texts()[2], QStringLiteral("Please stop recording before changing codec settings"));
    }
    EXPECT_EQ(window->cfg().codec.index, codec);
    EXPECT_EQ(window->cfg().card.index, card);
    EXPECT_TRUE(window->recorder().state().writing);
    window->recorder().StopClick();
    ASSERT_TRUE(waitUntil([&] { return !window->recorder().state().writing; }));
    window->close();
}

TEST_F(AppTest, SettingsCreationAppliesStoredChoices) {
    prepareSettings([](config& c) {
        c.agc.mode = 3;
        c.agc.enabled = true;
        c.vox.enabled = true;
        c.hotkeys.enabled = true;
        c.card.index = 99; // beyond the last card
    });
    auto window = startWindow();
    Tcmanager* s = window->settings();
    EXPECT_EQ(s->agcbox()->currentText(), QStringLiteral("Normal"));
    EXPECT_TRUE(s->agcbox()->isEnabled());
    EXPECT_EQ(window->cfg().card.index, 0);
    EXPECT_EQ(window->registeredHotKeys(), 0);
    EXPECT_NE(window->cfg().card.playback, -1); // the default playback device was chosen
    EXPECT_TRUE(s->systemformat()->text().startsWith(QStringLiteral("System Format: ")));

    // The seven pages, each saved as a picture.
    s->show();
    const char* const names[] = {"general", "mixer", "codecs", "filters", "vox", "automation", "about"};
    ASSERT_EQ(s->nav()->count(), 7);
    for (int i = 0; i < 7; ++i) {
        s->nav()->setCurrentRow(i);
        EXPECT_EQ(s->pages()->currentIndex(), i);
        pump(20);
        screenshot(s, QStringLiteral("settings-") + QString::fromLatin1(names[i]));
    }
    s->closebuttonClick();
    window->close();
}
