// The main window's start-up, shut-down, drawing and forwarding; UI thread.
#include "TMainForm.h"

#include "HotKeys.h"
#include "QtDispatcher.h"
#include "QtMessagePort.h"
#include "SkinEngine.h"
#include "SpectrumView.h"
#include "Tcmanager.h"
#include "Tshedule.h"
#include "widgets/Knob.h"
#include "widgets/Lamp.h"
#include "widgets/RoundButton.h"
#include "widgets/SvgImageList.h"
#include "widgets/ValueSlider.h"

#include "capture/TWASAPISource.h"
#include "recording/Recorder.h"
#include "recording/RecordingState.h"
#include "session/Session.h"
#include "visual/BuildInfo.h"
#include "visual/TARFFT.h"
#include "visual/TmGetNewVer.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QSessionManager>
#include <QSystemTrayIcon>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <cstdio>
#include <stdexcept>

// The resources live in a static library: register them before the first use.
static void initResources() {
    Q_INIT_RESOURCE(app);
}

namespace quimbrel {

namespace {

// The designed geometry, before scaling.
const QSize kBackground(506, 254);
const QRect kVisualArea(20, 40, 237, 73);
const QRect kTimebox(276, 40, 208, 38);
const QRect kStatus(278, 80, 110, 20);
const QRect kVoxLamp(396, 83, 40, 15);
const QRect kTimerLamp(442, 83, 42, 15);
const QRect kFileLabel(22, 123, 462, 18);
const QRect kSlider(22, 144, 462, 18);
const QRect kRecord(24, 179, 46, 46);
const QRect kPause(76, 179, 46, 46);
const QRect kStop(128, 179, 46, 46);
const QRect kPlay(180, 179, 46, 46);
const QRect kFolder(232, 179, 46, 46);
const QRect kKnob(420, 170, 66, 66);
const QRect kHelp(348, 8, 24, 24);
const QRect kSettings(374, 8, 24, 24);
const QRect kSchedule(400, 8, 24, 24);
const QRect kMinimise(440, 8, 24, 24);
const QRect kExit(466, 8, 24, 24);

// Hot keys in identifier order: Record, Pause, Stop, Settings, Help, Library, Play.
const char kHotKeyLetters[7] = {'R', 'U', 'S', 'O', 'H', 'F', 'P'};

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

// Ends the program's event loop and every loop running inside it, so a message box or dialog open below a
// close returns at once, and so does any shown after it. Before the program's own loop runs (a start-up
// box), quit() alone would do nothing.
void endEventLoops() {
    if (QThread::currentThread()->loopLevel() > 0)
        QCoreApplication::exit(0);
    else
        QCoreApplication::quit();
}

} // namespace

TMainForm::TMainForm(QWidget* parent)
    : QWidget(parent, Qt::FramelessWindowHint | Qt::Window), m_messages(new QtMessagePort(this)),
      m_dispatcher(new QtDispatcher(this)),
      m_session(std::make_unique<Session>(*this, *m_messages, *m_dispatcher, m_clock)),
      m_cfg(m_session->cfg()), m_recorder(&m_session->recorder()), m_player(&m_session->player()) {
    initResources();
    setWindowTitle(QStringLiteral("Quimbrel"));
    setObjectName(QStringLiteral("TMainForm"));
    m_trayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    m_messages->setParentWindow(this);
    m_messages->setDispatcher(m_dispatcher);
    // The end of a played file reaches the window.
    m_player->setView(this);
    m_hotkeys = new HotKeys(this);
    connect(m_hotkeys, &HotKeys::pressed, this, &TMainForm::HotKeyManager1HotKeyPressed);
}

TMainForm::~TMainForm() {
    // FormDestroy: the capture thread must end before the recorder whose block handler it calls.
    if (m_tmrvisual)
        m_tmrvisual->stop();
    delete m_settings;
    m_settings = nullptr;
    closehotkeys();
    m_player->stop();
    m_session.reset();
}

void TMainForm::loadIconFont() {
    const QString beside = QString::fromStdString(programDataFolder()) + QStringLiteral("IstokFont.ttf");
    int id = QFontDatabase::addApplicationFont(beside);
    if (id < 0)
        id = QFontDatabase::addApplicationFont(QStringLiteral(QUIMBREL_ICON_FONT_FALLBACK));
    const QStringList families = id >= 0 ? QFontDatabase::applicationFontFamilies(id) : QStringList();
    m_iconFamily = families.isEmpty() ? QStringLiteral("FontAwesome") : families.first();
}

void TMainForm::buildControls() {
    auto button = [this](char16_t glyph, const QString& hint, const char* name) {
        auto* b = new RoundButton(QChar(glyph), m_iconFamily, this);
        b->setToolTip(hint);
        b->setObjectName(QLatin1String(name));
        return b;
    };
    m_folderbutton = button(0xF052, QStringLiteral("Open recording library (Ctrl+Alt+F)"), "folderbutton");
    m_PlayButton = button(0xF04B, QStringLiteral("Play (Ctrl+Alt+P)"), "PlayButton");
    m_pausebutton = button(0xF04C, QStringLiteral("Pause (Ctrl+Alt+U)"), "pausebutton");
    m_RecordButton = button(0xF111, QStringLiteral("Start recording (Ctrl+Alt+R)"), "RecordButton");
    m_StopButton = button(0xF04D, QStringLiteral("Stop recording (Ctrl+Alt+S)"), "StopButton");
    m_helpbutton = button(0xF128, QStringLiteral("Help"), "helpbutton");
    m_minbutton = button(0xF2D1, QStringLiteral("Minimize"), "minbutton");
    m_exitbutton = button(0xF00D, QStringLiteral("Exit"), "exitbutton");
    m_setbutton = button(0xF0C9, QStringLiteral("Settings"), "setbutton");
    m_schedbutton = button(0xF017, QStringLiteral("Scheduler"), "schedbutton");

    m_spectrum = new SpectrumView(this);
    m_timebox = new QLabel(QStringLiteral("00:00:00"), this);
    m_timebox->setObjectName(QStringLiteral("timebox"));
    m_timebox->setAlignment(Qt::AlignCenter);
    QFont timeFont(QStringLiteral("DejaVu Sans Mono"));
    timeFont.setPixelSize(32);
    timeFont.setBold(true);
    m_timebox->setFont(timeFont);
    m_timebox->setStyleSheet(QStringLiteral("color: rgb(255,255,255);"));
    m_fstatus = new QLabel(this);
    m_fstatus->setObjectName(QStringLiteral("fstatus"));
    QFont statusFont;
    statusFont.setPixelSize(14);
    statusFont.setBold(true);
    m_fstatus->setFont(statusFont);
    m_fname = new QLabel(this);
    m_fname->setObjectName(QStringLiteral("fname"));
    QFont fileFont;
    fileFont.setPixelSize(12);
    m_fname->setFont(fileFont);
    m_fname->setStyleSheet(QStringLiteral("color: rgb(159,201,234);"));
    m_voxLamp = new Lamp(QStringLiteral("VOX"), this);
    m_timerLamp = new Lamp(QStringLiteral("TIMER"), this);
    m_slider = new ValueSlider(this);
    m_slider->setRange(0, 100);
    m_slider->setTipSuffix(QStringLiteral(" %"));
    m_volumemain = new Knob(this);

    connect(m_RecordButton, &QAbstractButton::clicked, this, [this] { m_recorder->StartClick(); });
    connect(m_StopButton, &QAbstractButton::clicked, this, [this] { m_recorder->StopClick(); });
    connect(m_pausebutton, &QAbstractButton::clicked, this, [this] { m_recorder->pausebuttonClick(); });
    connect(m_PlayButton, &QAbstractButton::clicked, this, &TMainForm::PlayButtonClick);
    connect(m_folderbutton, &QAbstractButton::clicked, this, &TMainForm::folderbuttonClick);
    connect(m_helpbutton, &QAbstractButton::clicked, this, &TMainForm::HelpClick);
    connect(m_minbutton, &QAbstractButton::clicked, this, &TMainForm::minbuttonClick);
    connect(m_exitbutton, &QAbstractButton::clicked, this, &TMainForm::ExitButtonClick);
    connect(m_setbutton, &QAbstractButton::clicked, this, &TMainForm::setbuttonClick);
    connect(m_schedbutton, &QAbstractButton::clicked, this, &TMainForm::schedbuttonClick);
    connect(m_volumemain, &Knob::valueChanged, this, &TMainForm::volumemainChange);
    connect(m_slider, &ValueSlider::released, this, &TMainForm::SliderMouseUp);
}

void TMainForm::skinengine(double scale) {
    m_scale = scale;
    const QSize picture(static_cast<int>(std::nearbyint(kBackground.width() * scale)),
                        static_cast<int>(std::nearbyint(kBackground.height() * scale)));
    m_background = m_images->image(0, picture);
    setFixedSize(picture);
    // Navy is the transparent colour: the window takes the picture's shape.
    if (!m_background.isNull()) {
        setMask(skinshape(m_background, QColor(0, 0, 128).rgb()));
        // Wayland compositors take no window shapes: there the cleared corners must be see-through instead.
        if (QGuiApplication::platformName().startsWith(QStringLiteral("wayland")) &&
            !testAttribute(Qt::WA_WState_Created))
            setAttribute(Qt::WA_TranslucentBackground);
        // Pictures of the window (grab) ignore the mask: clear the navy in the picture itself too.
        const QRgb navy = QColor(0, 0, 128).rgb();
        for (int y = 0; y < m_background.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(m_background.scanLine(y));
            for (int x = 0; x < m_background.width(); ++x)
                if (line[x] == navy)
                    line[x] = 0;
        }
    }
    m_spectrum->fitTo(skinrect(kVisualArea, scale));
    skinplace(m_volumemain, kKnob, scale);
    const std::pair<QWidget*, QRect> controls[] = {
        {m_RecordButton, kRecord}, {m_pausebutton, kPause},    {m_StopButton, kStop},
        {m_PlayButton, kPlay},     {m_folderbutton, kFolder},  {m_helpbutton, kHelp},
        {m_setbutton, kSettings},  {m_schedbutton, kSchedule}, {m_minbutton, kMinimise},
        {m_exitbutton, kExit},     {m_slider, kSlider},        {m_voxLamp, kVoxLamp},
        {m_timerLamp, kTimerLamp}};
    for (const auto& [control, rect] : controls)
        skinplace(control, rect, scale);
    skinplace(m_timebox, kTimebox, scale, true);
    skinplace(m_fstatus, kStatus, scale, true);
    skinplace(m_fname, kFileLabel, scale, true);
}

bool TMainForm::FormCreate() {
    // 1. Display objects.
    m_images = std::make_unique<SvgImageList>();
    m_images->add(QStringLiteral(":/quimbrel/background.svg"));
    m_images->add(QStringLiteral(":/quimbrel/quimbrel.svg"));
    setWindowIcon(QIcon(m_images->pixmap(1, QSize(64, 64))));
    m_fft = std::make_unique<TARFFT>();
    m_fft->setFFTSize(1024);
    m_fft->WindowMode = TWindowMode::wmRectangular;
    m_fft->PreEmphesisEnabled = true;
    m_fft->PreEmphesis = 85;
    m_fft->setSampleSkip(1);
    m_fft->MixChannels = true;
    m_fft->MinY = 0;
    m_fft->MaxY = 66;
    m_fft->Logarithmic = false;
    // 2. The icon font and the controls.
    loadIconFont();
    buildControls();
    const QScreen* screen = QGuiApplication::primaryScreen();
    skinengine(skinscale(screen ? screen->logicalDotsPerInch() : 96.0));
    m_fft->MaxY = m_spectrum->height();
    m_fft->OnSpectrumData = [this](TARFFT&, const TVisualBuffer& result, int, int, int, int) {
        m_spectrum->DCSpectrumSpectrumData(result);
    };

    // The settings, events and names, the database and the capture line (which starts capture).
    if (m_session->open() != Session::OpenResult::Opened)
        return false;

    // 7. The update checker.
    createUpdateChecker();
    // 8. Position.
    placeWindow();
    // 10. Playback device.
    m_player->init(m_cfg.card.playback);
    // 12. Hot keys.
    if (!m_cfg.hotkeys.enabled)
        loadhotkeys();
    // 13. Status and time.
    m_recorder->ShowStatus(RecorderStatus::Ready);
    showTime("00:00:00");
    for (RecorderButton b : {RecorderButton::Record, RecorderButton::Stop, RecorderButton::Pause,
                             RecorderButton::Play, RecorderButton::Library})
        setButtonEnabled(b, m_recorder->buttonEnabled(b));

    // The tray icon, hidden until the window hides in it.
    m_tray = new QSystemTrayIcon(windowIcon(), this);
    m_tray->setToolTip(QStringLiteral("Quimbrel"));
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            TrayIcon1Click();
    });

    // The library window; the schedule window.
    m_library = new Tplaylist(m_session->database(), *this, *m_messages, this);
    m_schedule = new Tshedule(
        m_cfg, *m_recorder, m_session->events(), m_messages, [this] { showinfo(); }, this);

    // 14. The settings window, hidden.
    m_settings = new Tcmanager(*this, this);
    // 15. Lamps and knob.
    showinfo();
    m_recorder->setknob(m_cfg.mixer.record);

    m_tmrvisual = new QTimer(this);
    m_tmrvisual->setInterval(25);
    connect(m_tmrvisual, &QTimer::timeout, this, &TMainForm::tmrvisualTimer);
    m_tmrvisual->start();
    m_created = true;
    if (m_closeRequested) {
        // Asked to end while a start-up message box was open: end now, saving what was read.
        closeForSessionEnd();
        return false;
    }

    // 16, 17.
    if (m_cfg.minstartup.enabled)
        QTimer::singleShot(0, this, &TMainForm::ApplicationEvents1Minimize);
    if (m_cfg.startup.enabled)
        m_recorder->StartClick();
    // 18.
    if (m_cfg.autoupdates.enabled && m_update && !m_closing) {
        m_update->setFailureDlg(false);
        m_update->setNoUpdatesDlg(false);
        m_update->Check();
    }
    // A close while a start-up step's box or dialog was open has already ended the program.
    return !m_closing;
}

void TMainForm::placeWindow() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    QPoint at;
    if (m_cfg.position.x == -1 && m_cfg.position.y == -1)
        at = QPoint(area.left() + (area.width() - width()) / 2, area.top() + (area.height() - height()) / 2);
    else
        at = QPoint(m_cfg.position.x, m_cfg.position.y);
    // Wholly on a monitor: the one holding most of it, else the primary one.
    const QScreen* target = QGuiApplication::screenAt(at + QPoint(width() / 2, height() / 2));
    const QRect bounds = target ? target->availableGeometry() : area;
    at.setX(std::clamp(at.x(), bounds.left(), std::max(bounds.left(), bounds.right() + 1 - width())));
    at.setY(std::clamp(at.y(), bounds.top(), std::max(bounds.top(), bounds.bottom() + 1 - height())));
    move(at);
}

QPoint TMainForm::snapPosition(QPoint proposed, const QRect& workArea, QSize size) {
    QPoint p = proposed;
    if (std::abs(p.x() - workArea.left()) <= 10)
        p.setX(workArea.left());
    if (std::abs(p.x() - (workArea.right() + 1 - size.width())) <= 10)
        p.setX(workArea.right() + 1 - size.width());
    if (std::abs(p.y() - workArea.top()) <= 10)
        p.setY(workArea.top());
    if (std::abs(p.y() - (workArea.bottom() + 1 - size.height())) <= 10)
        p.setY(workArea.bottom() + 1 - size.height());
    return p;
}

void TMainForm::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    // A Wayland client cannot place its own window: the compositor moves it (and snaps it, if it does).
    if (QGuiApplication::platformName().startsWith(QStringLiteral("wayland")) && windowHandle() &&
        windowHandle()->startSystemMove())
        return;
    m_pressPoint = event->position().toPoint();
    m_pressed = true;
}

void TMainForm::mouseMoveEvent(QMouseEvent* event) {
    if (!m_pressed)
        return;
    const QPoint proposed = pos() + (event->position().toPoint() - m_pressPoint);
    const QScreen* s = screen();
    move(s ? snapPosition(proposed, s->availableGeometry(), size()) : proposed);
}

void TMainForm::mouseReleaseEvent(QMouseEvent*) {
    m_pressed = false;
}

void TMainForm::paintEvent(QPaintEvent* event) {
    // Only the exposed part: the spectrum repaints its own rectangle 40 times a second.
    QPainter p(this);
    p.drawImage(event->rect(), m_background, event->rect());
}

// Closing.

void TMainForm::ExitButtonClick() {
    close();
}

bool TMainForm::FormCloseQuery() {
    if (!m_recorder)
        return true;
    const RecordingState& st = m_recorder->state();
    if (!st.writing && !st.vox.voxarmed)
        return true;
    if (m_askOnClose && m_cfg.confirmations.ask) {
        if (m_messages->show("Do you want to stop recording and exit?", "Quimbrel", MessageIcon::Information,
                             MessageButtons::YesNo) != MessageResult::Yes)
            return false;
    }
    m_recorder->fullstop();
    return true;
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (m_closing) {
        event->accept();
        return;
    }
    if (!m_created) {
        event->ignore();
        closeForSessionEnd();
        return;
    }
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    event->accept();
    closeNow();
}

void TMainForm::closeNow() {
    m_closing = true;
    FormClose();
    hide();
    if (m_tray)
        m_tray->hide();
    if (m_library)
        m_library->close();
    if (m_schedule)
        m_schedule->close();
    endEventLoops();
}

void TMainForm::closeForSessionEnd() {
    m_askOnClose = false;
    if (!m_created) {
        // Start-up is not through: end the loop of the box open now and let the start-up sequence close
        // the program at its end.
        m_closeRequested = true;
        endEventLoops();
        return;
    }
    if (m_closing)
        return;
    // Not through close(): a window that was never shown on the screen would get no close event.
    FormCloseQuery();
    closeNow();
}

void TMainForm::saveForSession() {
    if (!m_created || m_closing)
        return;
    m_cfg.position.x = x();
    m_cfg.position.y = y();
    m_session->save();
}

void TMainForm::followSession() {
    connect(qApp, &QGuiApplication::saveStateRequest, this, [this](QSessionManager&) { saveForSession(); });
    connect(qApp, &QCoreApplication::aboutToQuit, this, &TMainForm::closeForSessionEnd);
}

void TMainForm::createUpdateChecker() {
#if QUIMBREL_UPDATE_CHECK
    m_update = std::make_unique<TmGetNewVer>(*m_dispatcher, *m_messages);
    const std::string address = updateAddress();
    m_update->setURLCurrVerFile(address);
    m_update->setSiteName(siteName(address));
    m_update->setPageOpener([](const std::string& url) {
        return QProcess::startDetached(QStringLiteral("xdg-open"), {QString::fromStdString(url)});
    });
#endif
}

void TMainForm::checkForUpdates() {
    if (!m_update)
        return;
    m_update->setFailureDlg(true);
    m_update->setNoUpdatesDlg(true);
    m_update->Check();
}

void TMainForm::FormClose() {
    if (m_tmrvisual)
        m_tmrvisual->stop();
    if (!m_created)
        return;
    m_cfg.position.x = x();
    m_cfg.position.y = y();
    m_session->close(true);
    // Hidden, not deleted: a dialog or box the settings window runs may still be on the stack below this
    // close (a logout during "Customize..."); the window goes with the main window.
    if (m_settings)
        m_settings->hide();
}

// Minimise and restore.

void TMainForm::minbuttonClick() {
    if (m_library)
        m_library->close();
    ApplicationEvents1Minimize();
}

void TMainForm::ApplicationEvents1Minimize() {
    // Without a notification area there would be no way back: minimise normally instead.
    if (!m_tray || !m_trayAvailable()) {
        showMinimized();
        return;
    }
    hide();
    setWindowState(windowState() | Qt::WindowMinimized);
    m_tray->show();
}

void TMainForm::TrayIcon1Click() {
    if (m_tray)
        m_tray->hide();
    setWindowState(windowState() & ~Qt::WindowMinimized);
    showNormal();
    raise();
    activateWindow();
}

void TMainForm::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized) && isVisible() &&
        m_tray && m_trayAvailable())
        QTimer::singleShot(0, this, &TMainForm::ApplicationEvents1Minimize);
}

// Buttons.

void TMainForm::HelpClick() {
    const QString path = qs(m_cfg.path.dir) + QStringLiteral("pellow.html");
    if (!QFileInfo::exists(path) || !QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
        m_messages->show("Unable to open help file " + path.toStdString(), "Quimbrel", MessageIcon::Error,
                         MessageButtons::Ok);
    }
}

void TMainForm::setbuttonClick() {
    if (!m_settings)
        return;
    m_settings->show();
    m_settings->raise();
    m_settings->activateWindow();
}

void TMainForm::schedbuttonClick() {
    m_schedule->show();
    m_schedule->raise();
}

void TMainForm::folderbuttonClick() {
    m_library->show();
    m_library->raise();
}

void TMainForm::PlayButtonClick() {
    // With the library open, Play plays its selected recording.
    if (auto* library = qobject_cast<Tplaylist*>(m_library); library && library->isVisible()) {
        library->PlayActionExecute();
        return;
    }
    // lastfile: the recorder's last finished file, unless the user chose another one since.
    if (m_recorder->state().lastfile != m_seenRecorderLast) {
        m_seenRecorderLast = m_recorder->state().lastfile;
        m_lastfile = qs(m_seenRecorderLast);
    }
    if (!QFileInfo::exists(m_lastfile)) {
        const QString chosen =
            QFileDialog::getOpenFileName(this, QString(), qs(m_cfg.archive.dir),
                                         QStringLiteral("Audio Files (*.mp3 *.wav *.wma *.ogg *.ape)"));
        if (chosen.isEmpty())
            return;
        m_lastfile = chosen;
    }
    if (QFileInfo::exists(m_lastfile))
        playfile(m_lastfile);
}

void TMainForm::playfile(const QString& path) {
    if (!QFileInfo::exists(path))
        return;
    m_player->stop();
    m_playingFile = path;
    m_recorder->beginPlayback(path.toStdString());
    m_player->setVolume(static_cast<float>(m_cfg.mixer.playback) / 100.0f);
    if (m_player->open(path.toStdString())) {
        m_player->play();
    } else {
        // A file that cannot be decoded or played ends at once instead of leaving the window in playback.
        onPlaybackEnded();
    }
}

void TMainForm::onPlaybackEnded() {
    if (m_recorder->state().mode != RecorderMode::Playback)
        return;
    m_player->stop();
    m_slider->setValue(0);
    m_recorder->endPlayback();
}

void TMainForm::SliderMouseUp(int x, int clientWidth) {
    if (m_recorder->state().mode != RecorderMode::Playback || clientWidth <= 0)
        return;
    const long long length = m_player->lengthBytes();
    m_player->setPosition(static_cast<long long>(x) * length / clientWidth);
}

void TMainForm::volumemainChange(int position) {
    m_recorder->volumemainChange(position);
}

// Hot keys.

void TMainForm::loadhotkeys() {
    for (int i = 0; i < 7; ++i)
        m_hotkeyIds[i] = m_hotkeys->registerKey(kHotKeyLetters[i]);
}

void TMainForm::closehotkeys() {
    m_hotkeys->unregisterAll();
    for (int& id : m_hotkeyIds)
        id = 0;
}

int TMainForm::registeredHotKeys() const {
    int n = 0;
    for (int id : m_hotkeyIds)
        n += id != 0;
    return n;
}

void TMainForm::HotKeyManager1HotKeyPressed(int id) {
    if (id == 0)
        return;
    if (id == m_hotkeyIds[0]) {
        if (m_recorder->buttonEnabled(RecorderButton::Record))
            m_recorder->StartClick();
    } else if (id == m_hotkeyIds[1]) {
        m_recorder->pausebuttonClick();
    } else if (id == m_hotkeyIds[2]) {
        m_recorder->StopClick();
    } else if (id == m_hotkeyIds[3]) {
        setbuttonClick();
    } else if (id == m_hotkeyIds[4]) {
        HelpClick();
    } else if (id == m_hotkeyIds[5]) {
        folderbuttonClick();
    } else if (id == m_hotkeyIds[6]) {
        PlayButtonClick();
    }
}

// The visual timer.

void TMainForm::tmrvisualTimer() {
    const RecordingState& st = m_recorder->state();
    const float* samples = nullptr;
    int bytes = 0;
    int channels = 0;
    if (st.mode == RecorderMode::Playback) {
        if (!st.paused && m_player->isActive()) {
            const long long length = m_player->lengthBytes();
            const long long position = m_player->positionBytes();
            if (length > 0)
                m_slider->setValue(static_cast<int>(std::min<long long>(100, 100 * position / length)));
            const auto seconds = static_cast<unsigned>(m_player->bytesToSeconds(position));
            char text[32];
            std::snprintf(text, sizeof text, "%2.2u:%2.2u:%2.2u", seconds / 3600, seconds / 60 % 60,
                          seconds % 60);
            m_timebox->setText(QString::fromLatin1(text));
        }
        m_playSamples.resize(512);
        bytes = m_player->getData(m_playSamples.data(), 2048);
        samples = m_playSamples.data();
        channels = m_player->channels();
    } else {
        if (st.writing && !st.paused)
            m_timebox->setText(qs(m_recorder->elapsedText()));
        samples = m_recorder->blockbuffer();
        bytes = m_recorder->blockbytes();
        channels = m_cfg.current.mode;
    }
    // Hidden in the tray or minimised, nobody sees the pictures: spend nothing on them.
    if (!isVisible() || isMinimized())
        return;
    if (bytes > 1 && channels > 0)
        m_fft->ProcessSamples(samples, bytes, channels);
}

void TMainForm::showinfo() {
    m_voxLamp->setOn(m_cfg.vox.enabled);
    m_voxLamp->setToolTip(m_cfg.vox.enabled ? QStringLiteral("VOX Enabled") : QStringLiteral("VOX Disabled"));
    m_timerLamp->setOn(m_cfg.scheduler.enabled);
    m_timerLamp->setToolTip(m_cfg.scheduler.enabled ? QStringLiteral("TIMER Enabled")
                                                    : QStringLiteral("TIMER Disabled"));
}

void TMainForm::reconfig(int rate, int channels) {
    m_session->reconfig(rate, channels);
}

const WaveFormat& TMainForm::captureformat() const {
    return m_session->captureformat();
}

// SettingsHost.

std::vector<std::string>& TMainForm::nameTemplates() {
    return m_session->names();
}

TWASAPISource* TMainForm::lineSource() {
    return m_session->source();
}

bool TMainForm::isWriting() const {
    return m_recorder->state().writing || m_recorder->writerOpen();
}

MessagePort& TMainForm::messagePort() {
    return *m_messages;
}

void TMainForm::lineVolumeChanged(int volume) {
    m_volumemain->setEnabled(true);
    if (m_recorder->state().mode == RecorderMode::Record)
        m_recorder->setknob(volume);
}

void TMainForm::setHotKeys(bool on) {
    if (on)
        loadhotkeys();
    else
        closehotkeys();
}

void TMainForm::filtersupdate() {
    m_recorder->filtersupdate();
}

std::vector<PlaybackDevice> TMainForm::playbackDevices() {
    return m_player->devices();
}

void TMainForm::setPlaybackDevice(int number) {
    m_player->init(number);
}

void TMainForm::setStayOnTop(bool on) {
    if (QWindow* w = windowHandle()) {
        w->setFlag(Qt::WindowStaysOnTopHint, on);
    } else {
        setWindowFlag(Qt::WindowStaysOnTopHint, on);
    }
}

// RecorderView.

RoundButton* TMainForm::buttonFor(RecorderButton button) const {
    switch (button) {
    case RecorderButton::Record:
        return m_RecordButton;
    case RecorderButton::Stop:
        return m_StopButton;
    case RecorderButton::Pause:
        return m_pausebutton;
    case RecorderButton::Play:
        return m_PlayButton;
    case RecorderButton::Library:
        return m_folderbutton;
    case RecorderButton::None:
        break;
    }
    return nullptr;
}

void TMainForm::setButtonEnabled(RecorderButton button, bool enabled) {
    if (RoundButton* b = buttonFor(button))
        b->setEnabled(enabled);
}

bool TMainForm::buttonIsEnabled(RecorderButton button) const {
    const RoundButton* b = buttonFor(button);
    return b && b->isEnabled();
}

void TMainForm::showFileLabel(const std::string& text, const std::string& hint) {
    m_fname->setText(qs(text));
    m_fname->setToolTip(qs(hint));
}

void TMainForm::showStatus(const std::string& text, StatusColour colour) {
    m_fstatus->setText(qs(text));
    m_fstatus->setStyleSheet(
        QStringLiteral("color: rgb(%1,%2,%3);").arg(colour.red).arg(colour.green).arg(colour.blue));
}

void TMainForm::showTime(const std::string& text) {
    m_timebox->setText(qs(text));
}

void TMainForm::showVolume(int position) {
    m_volumemain->setValueQuietly(position);
}

std::optional<std::string> TMainForm::runSaveDialog(const SaveDialogRequest& request) {
    // "Description|*.ext" becomes "Description (*.ext)".
    QString filter = qs(request.filter);
    const int bar = static_cast<int>(filter.indexOf(QLatin1Char('|')));
    if (bar >= 0)
        filter = filter.left(bar) + QStringLiteral(" (") +
                 filter.mid(bar + 1).replace(QLatin1Char(';'), QLatin1Char(' ')) + QLatin1Char(')');
    QFileDialog dialog(this, QString(), qs(request.initialFolder), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(qs(request.defaultExtension));
    // The recorder asks about an existing file itself.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().first().toStdString();
}

void TMainForm::setScheduleStatus(int row, const std::string& text) {
    if (auto* schedule = qobject_cast<Tshedule*>(m_schedule))
        schedule->setStatus(row, text);
}
void TMainForm::selectScheduleRow(int row) {
    if (auto* schedule = qobject_cast<Tshedule*>(m_schedule))
        schedule->selectRow(row);
}
void TMainForm::refreshLibrary() {
    // A finished recording shows up in the library while it is open.
    if (auto* library = qobject_cast<Tplaylist*>(m_library); library && library->isVisible())
        library->RefreshActionExecute();
}

bool TMainForm::libraryCanPlay() const {
    return buttonIsEnabled(RecorderButton::Play);
}

void TMainForm::libraryPlay(const QString& path) {
    m_lastfile = path;
    playfile(path);
}

void TMainForm::libraryStopPlayback() {
    if (m_recorder->state().mode == RecorderMode::Playback)
        m_recorder->StopClick();
}

bool TMainForm::libraryPlayerHolds(const QString& path) const {
    return m_recorder->state().mode == RecorderMode::Playback && m_player->isOpen() && m_playingFile == path;
}

bool TMainForm::libraryTakesCurrentFile() const {
    return m_recorder->state().mode == RecorderMode::Playback && !m_player->isActive();
}

void TMainForm::librarySetCurrentFile(const QString& path) {
    m_lastfile = path;
}

RecordingsDb& TMainForm::database() {
    return m_session->database();
}

QString TMainForm::libraryOutputFolder() const {
    return qs(m_cfg.archive.dir);
}

void TMainForm::playbackPause(bool pause) {
    if (pause)
        m_player->pause();
    else
        m_player->play();
}

void TMainForm::playbackStop() {
    m_player->stop();
    m_slider->setValue(0);
    m_spectrum->DCSpectrumSpectrumData(m_fft->data());
}

void TMainForm::playbackVolume(int position) {
    m_player->setVolume(static_cast<float>(position) / 100.0f);
}

QString TMainForm::statusText() const {
    return m_fstatus ? m_fstatus->text() : QString();
}
QString TMainForm::timeText() const {
    return m_timebox ? m_timebox->text() : QString();
}
QString TMainForm::fileText() const {
    return m_fname ? m_fname->text() : QString();
}

} // namespace quimbrel
