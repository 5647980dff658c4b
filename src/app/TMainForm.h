// The main window: a frameless skinned face over the recorder. It draws, forwards the user's actions to the
// recorder and plays recordings; the recording logic lives in the core. UI thread.
#pragma once

#include "SettingsHost.h"
#include "Tplaylist.h"
#include "playback/Player.h"
#include "ports/Clock.h"
#include "ports/WaveFormat.h"
#include "recording/RecorderView.h"
#include "state/config.h"

#include <QPoint>
#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QSystemTrayIcon;
class QTimer;

namespace quimbrel {

class HotKeys;
class Knob;
class Lamp;
class QtDispatcher;
class QtMessagePort;
class Recorder;
class RoundButton;
class Session;
class SpectrumView;
class SvgImageList;
class TARFFT;
class Tcmanager;
class TmGetNewVer;
class ValueSlider;

class TMainForm final : public QWidget,
                        public RecorderView,
                        public PlaybackView,
                        public LibraryHost,
                        private SettingsHost {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // The start-up sequence. False when the program must end at once (no capture endpoint at all).
    bool FormCreate();

    // Edge snapping: where a window of `size` proposed at `proposed` lands in `workArea`.
    static QPoint snapPosition(QPoint proposed, const QRect& workArea, QSize size);

    // Handlers.
    void ExitButtonClick();
    void minbuttonClick();
    void ApplicationEvents1Minimize();
    void TrayIcon1Click();
    void HelpClick();
    void setbuttonClick();
    void schedbuttonClick();
    void folderbuttonClick();
    void PlayButtonClick();
    void playfile(const QString& path);
    void loadhotkeys();
    void closehotkeys();
    void HotKeyManager1HotKeyPressed(int id);
    void tmrvisualTimer();
    void showinfo() override;
    // After "Apply settings": re-open the line in the new format.
    void reconfig(int rate, int channels) override;
    // The running recorder behind the window: settings, events, names, database, line, recorder.
    Session& session() { return *m_session; }
    // Stay on top or not, without moving, resizing or activating.
    void setStayOnTop(bool on) override;
    // A termination signal or the end of the session: stop any recording without a question and close.
    // During start-up, the sequence ends early (closing its open message box) and the program ends saved.
    void closeForSessionEnd();
    // The session manager may end the session soon: save the settings, keep recording.
    void saveForSession();
    // Follows the desktop session: saves when asked to save its state, closes when the application quits
    // (where the session really ends; a logout that is cancelled stops nothing).
    void followSession();
    // The settings button's update check: every outcome is reported.
    void checkForUpdates() override;
    TmGetNewVer* updateChecker() { return m_update.get(); }

    // What the tests read.
    config& cfg() override { return m_cfg; }
    Recorder& recorder() { return *m_recorder; }
    Player& player() { return *m_player; }
    Tcmanager* settings() { return m_settings; }
    const WaveFormat& captureformat() const override;
    Knob* volumemain() { return m_volumemain; }
    QString statusText() const;
    QString timeText() const;
    QString fileText() const;
    bool buttonIsEnabled(RecorderButton button) const;
    QSystemTrayIcon* trayIcon() { return m_tray; }
    double skinScale() const { return m_scale; }
    QWidget* libraryWindow() { return m_library; }
    QWidget* scheduleWindow() { return m_schedule; }
    int registeredHotKeys() const;
    // The tray's presence is asked through this, so a desktop without a notification area can be tried.
    void setTrayAvailability(std::function<bool()> available) { m_trayAvailable = std::move(available); }

    // RecorderView.
    void setButtonEnabled(RecorderButton button, bool enabled) override;
    void showFileLabel(const std::string& text, const std::string& hint) override;
    void showStatus(const std::string& text, StatusColour colour) override;
    void showTime(const std::string& text) override;
    void showVolume(int position) override;
    std::optional<std::string> runSaveDialog(const SaveDialogRequest& request) override;
    void setScheduleStatus(int row, const std::string& text) override;
    void selectScheduleRow(int row) override;
    void refreshLibrary() override;
    void playbackPause(bool pause) override;
    void playbackStop() override;
    void playbackVolume(int position) override;

    // PlaybackView.
    void playbackEnded() override { onPlaybackEnded(); }

    // LibraryHost.
    bool libraryCanPlay() const override;
    void libraryPlay(const QString& path) override;
    void libraryStopPlayback() override;
    bool libraryPlayerHolds(const QString& path) const override;
    bool libraryTakesCurrentFile() const override;
    void librarySetCurrentFile(const QString& path) override;
    QString libraryOutputFolder() const override;
    RecordingsDb& database();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // SettingsHost.
    std::vector<std::string>& nameTemplates() override;
    TWASAPISource* lineSource() override;
    bool isWriting() const override;
    MessagePort& messagePort() override;
    void lineVolumeChanged(int volume) override;
    void setHotKeys(bool on) override;
    void filtersupdate() override;
    std::vector<PlaybackDevice> playbackDevices() override;
    void setPlaybackDevice(int number) override;

    bool FormCloseQuery();
    void FormClose();
    // After the close query: save, stop, hide and end the program's loop.
    void closeNow();
    void skinengine(double scale);
    void buildControls();
    void onPlaybackEnded();
    void SliderMouseUp(int x, int clientWidth);
    void volumemainChange(int position);
    void placeWindow();
    void loadIconFont();
    void createUpdateChecker();
    RoundButton* buttonFor(RecorderButton button) const;

    SystemClock m_clock;
    QtMessagePort* m_messages = nullptr;
    QtDispatcher* m_dispatcher = nullptr;
    std::unique_ptr<Session> m_session;
    config& m_cfg;        // the session's
    Recorder* m_recorder; // the session's
    std::unique_ptr<TARFFT> m_fft;
    std::unique_ptr<SvgImageList> m_images;
    std::unique_ptr<TmGetNewVer> m_update;
    Player* m_player; // the session's
    HotKeys* m_hotkeys = nullptr;
    Tcmanager* m_settings = nullptr;
    QWidget* m_library = nullptr;
    QWidget* m_schedule = nullptr;
    QSystemTrayIcon* m_tray = nullptr;
    QTimer* m_tmrvisual = nullptr;
    std::function<bool()> m_trayAvailable;

    double m_scale = 1.0;
    QImage m_background;
    QString m_iconFamily;
    int m_hotkeyIds[7] = {};
    bool m_pressed = false;
    QPoint m_pressPoint;
    bool m_closing = false;
    bool m_created = false;
    bool m_askOnClose = true;
    bool m_closeRequested = false;
    std::vector<float> m_playSamples;
    QString m_lastfile;
    QString m_playingFile;
    std::string m_seenRecorderLast;

    SpectrumView* m_spectrum = nullptr;
    QLabel* m_timebox = nullptr;
    QLabel* m_fstatus = nullptr;
    QLabel* m_fname = nullptr;
    Lamp* m_voxLamp = nullptr;
    Lamp* m_timerLamp = nullptr;
    ValueSlider* m_slider = nullptr;
    Knob* m_volumemain = nullptr;
    RoundButton* m_RecordButton = nullptr;
    RoundButton* m_pausebutton = nullptr;
    RoundButton* m_StopButton = nullptr;
    RoundButton* m_PlayButton = nullptr;
    RoundButton* m_folderbutton = nullptr;
    RoundButton* m_helpbutton = nullptr;
    RoundButton* m_setbutton = nullptr;
    RoundButton* m_schedbutton = nullptr;
    RoundButton* m_minbutton = nullptr;
    RoundButton* m_exitbutton = nullptr;
};

} // namespace quimbrel
