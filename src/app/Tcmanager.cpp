// The settings window's pages and handlers; UI thread.
#include "Tcmanager.h"

#include "SettingsHost.h"
#include "Tnamingrules.h"

#include "capture/TWASAPIDevice.h"
#include "capture/TWASAPISource.h"
#include "encoder/CodecTable.h"
#include "ports/MessagePort.h"
#include "state/config.h"
#include "visual/BuildInfo.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QStackedWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <cerrno>
#include <cmath>
#include <cstring>

namespace quimbrel {

namespace {
QString qs(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

const char* const kRefuseSource = "Please stop recording before changing recording source";
const char* const kRefuseCodec = "Please stop recording before changing codec settings";
} // namespace

Tcmanager::Tcmanager(SettingsHost& host, QWidget* parent) : QDialog(parent), m_host(host), m_cfg(host.cfg()) {
    setWindowTitle(QStringLiteral("Settings"));
    setObjectName(QStringLiteral("Tcmanager"));
    setModal(false);

    m_nav = new QListWidget(this);
    for (const char* entry : {"General", "Mixer", "Codecs", "Filters", "VOX", "Automation", "About"})
        m_nav->addItem(QString::fromLatin1(entry));
    m_nav->setFixedWidth(120);
    m_pages = new QStackedWidget(this);
    auto* closeButton = new QPushButton(QStringLiteral("&Close"), this);
    auto* body = new QHBoxLayout;
    body->addWidget(m_nav);
    body->addWidget(m_pages, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(closeButton);
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(body, 1);
    outer->addLayout(bottom);
    connect(m_nav, &QListWidget::currentRowChanged, this, &Tcmanager::showPage);
    connect(closeButton, &QPushButton::clicked, this, &Tcmanager::closebuttonClick);

    // Build the pages, then run the creation steps in their order.
    m_pages->addWidget(buildGeneral());
    m_pages->addWidget(buildMixer());
    m_pages->addWidget(buildCodecs());
    m_pages->addWidget(buildFilters());
    m_pages->addWidget(buildVox());
    m_pages->addWidget(buildAutomation());
    m_pages->addWidget(buildAbout());
    m_nav->setCurrentRow(0);

    // 1. Playback devices.
    const std::vector<PlaybackDevice> devices = m_host.playbackDevices();
    int defaultEntry = -1;
    int chosenEntry = -1;
    for (const PlaybackDevice& d : devices) {
        if (!d.enabled)
            continue;
        m_playbackNumbers.push_back(d.number);
        m_pcardbox->addItem(qs(d.description));
        const int entry = m_pcardbox->count() - 1;
        if (d.isDefault)
            defaultEntry = entry;
        if (d.number == m_cfg.card.playback)
            chosenEntry = entry;
    }
    if (m_cfg.card.playback == -1) {
        m_pcardbox->setCurrentIndex(defaultEntry);
        if (defaultEntry >= 0)
            m_cfg.card.playback = m_playbackNumbers[static_cast<std::size_t>(defaultEntry)];
    } else {
        m_pcardbox->setCurrentIndex(chosenEntry);
    }

    // 3. General page from the settings (ticking runs each box's handler, as a user's tick would).
    const auto setChecks = [this] {
        const std::pair<const char*, bool> boxes[] = {{"autoname", m_cfg.autoname.enabled},
                                                      {"stayontop", m_cfg.stayontop.enabled},
                                                      {"startup", m_cfg.startup.enabled},
                                                      {"minstartup", m_cfg.minstartup.enabled},
                                                      {"runtagger", m_cfg.runtagger.enabled},
                                                      {"pauserecord", m_cfg.pauserecord.enabled},
                                                      {"agc", m_cfg.agc.enabled},
                                                      {"hotkeys", m_cfg.hotkeys.enabled},
                                                      {"confirmations", m_cfg.confirmations.ask},
                                                      {"autoupdates", m_cfg.autoupdates.enabled}};
        for (const auto& [name, on] : boxes)
            if (auto* box = findChild<QCheckBox*>(QString::fromLatin1(name)))
                box->setChecked(on);
    };
    setChecks();
    m_customize->setEnabled(m_cfg.autoname.enabled);
    m_agcbox->setEnabled(m_cfg.agc.enabled);
    m_agcbox->setCurrentIndex(std::clamp((5 - m_cfg.agc.mode) / 2, 0, 2));
    m_dirEdit->setText(qs(m_cfg.archive.dir));
    m_runatlogon->setChecked(getrunatlogon());

    // 4. Filters.
    m_lfreq->setValue(m_cfg.lowpass.frequency);
    m_hfreq->setValue(m_cfg.highpass.frequency);
    m_nfreq->setValue(m_cfg.notch.frequency);
    findChild<QCheckBox*>(QStringLiteral("lowpass"))->setChecked(m_cfg.lowpass.enabled);
    findChild<QCheckBox*>(QStringLiteral("highpass"))->setChecked(m_cfg.highpass.enabled);
    findChild<QCheckBox*>(QStringLiteral("notch"))->setChecked(m_cfg.notch.enabled);
    filtersupdate();

    // 5. Cards and lines as the session opened them.
    if (TWASAPISource* source = m_host.lineSource()) {
        for (int i = 0; i < source->cards().count(); ++i)
            m_cardbox->addItem(qs(source->cards()[i].name));
        m_cardbox->setCurrentIndex(m_cfg.card.index);
        for (const std::string& line : source->lines())
            m_linebox->addItem(qs(line));
        m_shownCard = m_cfg.card.index;
        m_shownLine = m_cfg.mixer.line;
        m_linebox->setCurrentIndex(m_cfg.mixer.line);
        showSystemFormat();
    }

    // 6. VOX page.
    m_voxEnabled->setChecked(m_cfg.vox.enabled);
    m_threshold->setValue(m_cfg.vox.threshold);
    m_thresholdLabel->setText(thresholdText(m_threshold->value()));
    m_silence->setValue(m_cfg.vox.silence);
    m_silenceLabel->setText(QString::number(m_silence->value()) + QStringLiteral(" sec"));
    (m_cfg.vox.action == 2 ? m_action2 : m_action1)->setChecked(true);
    m_cutoff->setEnabled(m_cfg.vox.action == 2);
    m_cutoff->setChecked(m_cfg.vox.cutoff);
    m_autodelete->setChecked(m_cfg.autodelete.enabled);
    m_deletetime->setEnabled(m_cfg.autodelete.enabled);
    m_deletetime->setValue(m_cfg.autodelete.deletetime);

    // 7. Automation.
    findChild<QCheckBox*>(QStringLiteral("splitter"))->setChecked(m_cfg.splitter.enabled);
    findChild<QCheckBox*>(QStringLiteral("autostop"))->setChecked(m_cfg.autostop.enabled);
    m_splitMinutes->setValue(m_cfg.splitter.timelimit / 60);
    m_splitSeconds->setValue(m_cfg.splitter.timelimit % 60);
    m_stopMinutes->setValue(m_cfg.autostop.timelimit / 60);
    m_stopSeconds->setValue(m_cfg.autostop.timelimit % 60);

    // 8. Codecs.
    m_codecs->setCurrentIndex(validcodec(m_cfg.codec.index) ? m_cfg.codec.index : 0);
    fillcodeclists(m_codecs->currentIndex());
    m_csamplerate->setCurrentIndex(m_cfg.codec.rate);
    if (m_codecs->currentIndex() == kCodecMP3)
        csamplerateChange(m_csamplerate->currentIndex());
    m_cmode->setCurrentIndex(m_cfg.codec.mode);
    m_cbitrate->setCurrentIndex(m_cfg.codec.bitrate);
    m_cbits->setCurrentIndex(m_cfg.codec.bps);
    resize(620, 440);
}

QCheckBox* Tcmanager::check(const QString& caption, bool* setting, QWidget* parent) {
    auto* box = new QCheckBox(caption, parent);
    connect(box, &QCheckBox::toggled, this, [setting](bool on) { *setting = on; });
    return box;
}

QWidget* Tcmanager::buildGeneral() {
    auto* page = new QWidget;
    auto* v = new QVBoxLayout(page);
    auto named = [](QCheckBox* box, const char* name) {
        box->setObjectName(QString::fromLatin1(name));
        return box;
    };
    m_autoname =
        named(check(QStringLiteral("Enable auto-name system"), &m_cfg.autoname.enabled, page), "autoname");
    m_customize = new QPushButton(QStringLiteral("Customize..."), page);
    connect(m_autoname, &QCheckBox::toggled, m_customize, &QWidget::setEnabled);
    connect(m_customize, &QPushButton::clicked, this, [this] {
        Tnamingrules dialog(m_cfg, m_host.nameTemplates(), this, &m_host.messagePort());
        dialog.exec();
    });
    auto* row = new QHBoxLayout;
    row->addWidget(m_autoname);
    row->addWidget(m_customize);
    row->addStretch(1);
    v->addLayout(row);

    auto* folder = new QGroupBox(QStringLiteral("  Audio Output Folder  "), page);
    auto* f = new QHBoxLayout(folder);
    m_dirEdit = new QLineEdit(folder);
    auto* browse = new QPushButton(QStringLiteral("..."), folder);
    browse->setToolTip(QStringLiteral("Browse for Output Folder..."));
    auto* open = new QPushButton(QStringLiteral("Open"), folder);
    open->setToolTip(QStringLiteral("Open Output Folder"));
    f->addWidget(m_dirEdit, 1);
    f->addWidget(browse);
    f->addWidget(open);
    connect(browse, &QPushButton::clicked, this, [this] {
        QString dir = QFileDialog::getExistingDirectory(this, QStringLiteral("Select Directory"), QString(),
                                                        QFileDialog::ShowDirsOnly);
        if (dir.isEmpty())
            return;
        if (!dir.endsWith(QLatin1Char('/')))
            dir += QLatin1Char('/');
        m_cfg.archive.dir = dir.toStdString();
        m_dirEdit->setText(dir);
    });
    connect(open, &QPushButton::clicked, this,
            [this] { QDesktopServices::openUrl(QUrl::fromLocalFile(m_dirEdit->text())); });
    v->addWidget(folder);

    m_stayontop =
        named(check(QStringLiteral("Always stay on top"), &m_cfg.stayontop.enabled, page), "stayontop");
    connect(m_stayontop, &QCheckBox::toggled, this, [this](bool on) { m_host.setStayOnTop(on); });
    v->addWidget(m_stayontop);
    v->addWidget(named(
        check(QStringLiteral("Start recording immediately on program startup"), &m_cfg.startup.enabled, page),
        "startup"));
    v->addWidget(named(
        check(QStringLiteral("Minimize to System Tray on program startup"), &m_cfg.minstartup.enabled, page),
        "minstartup"));
    m_runatlogon = new QCheckBox(QStringLiteral("Run application on desktop session startup"), page);
    m_runatlogon->setObjectName(QStringLiteral("runatlogon"));
    connect(m_runatlogon, &QCheckBox::toggled, this, &Tcmanager::runatlogonChange);
    v->addWidget(m_runatlogon);
    v->addWidget(
        named(check(QStringLiteral("Run Ombrik add-on after recording "), &m_cfg.runtagger.enabled, page),
              "runtagger"));
    v->addWidget(named(
        check(QStringLiteral("Make a pause after entering the file name"), &m_cfg.pauserecord.enabled, page),
        "pauserecord"));
    m_agc = named(check(QStringLiteral("AGC Mode:"), &m_cfg.agc.enabled, page), "agc");
    m_agcbox = new QComboBox(page);
    m_agcbox->addItems({QStringLiteral("Aggressive"), QStringLiteral("Normal"), QStringLiteral("Smooth")});
    connect(m_agc, &QCheckBox::toggled, m_agcbox, &QWidget::setEnabled);
    connect(m_agcbox, &QComboBox::activated, this,
            [this](int position) { m_cfg.agc.mode = 5 - 2 * position; });
    auto* agcRow = new QHBoxLayout;
    agcRow->addWidget(m_agc);
    agcRow->addWidget(m_agcbox);
    agcRow->addStretch(1);
    v->addLayout(agcRow);
    m_hotkeys = named(check(QStringLiteral("Disable HotKeys"), &m_cfg.hotkeys.enabled, page), "hotkeys");
    connect(m_hotkeys, &QCheckBox::toggled, this, [this](bool off) { m_host.setHotKeys(!off); });
    v->addWidget(m_hotkeys);
    v->addWidget(named(check(QStringLiteral("Ask confirmation on exit"), &m_cfg.confirmations.ask, page),
                       "confirmations"));
    QCheckBox* autoupdates =
        named(check(QStringLiteral("Check for updates on startup"), &m_cfg.autoupdates.enabled, page),
              "autoupdates");
    m_updatebutton = new QPushButton(QStringLiteral("Check for  Updates"), page);
    m_updatebutton->setObjectName(QStringLiteral("updatebutton"));
    connect(m_updatebutton, &QPushButton::clicked, this, &Tcmanager::updatebuttonClick);
    auto* updateRow = new QHBoxLayout;
    updateRow->addWidget(autoupdates);
    updateRow->addWidget(m_updatebutton);
    updateRow->addStretch(1);
    v->addLayout(updateRow);
    // A build without the update check (distribution packages) offers neither.
    autoupdates->setVisible(QUIMBREL_UPDATE_CHECK);
    m_updatebutton->setVisible(QUIMBREL_UPDATE_CHECK);
    v->addStretch(1);
    return page;
}

QWidget* Tcmanager::buildMixer() {
    auto* page = new QWidget;
    auto* v = new QVBoxLayout(page);
    m_cardbox = new QComboBox(page);
    m_linebox = new QComboBox(page);
    m_pcardbox = new QComboBox(page);
    v->addWidget(new QLabel(QStringLiteral("Select Recording Device:"), page));
    v->addWidget(m_cardbox);
    v->addWidget(new QLabel(QStringLiteral("Select Recording Source:"), page));
    v->addWidget(m_linebox);
    v->addWidget(new QLabel(QStringLiteral("Select Playback Device:"), page));
    v->addWidget(m_pcardbox);
    auto* advanced = new QPushButton(QStringLiteral("Advanced..."), page);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(advanced);
    v->addLayout(row);
    v->addStretch(1);
    connect(m_cardbox, &QComboBox::activated, this, &Tcmanager::cardboxChange);
    connect(m_linebox, &QComboBox::activated, this, &Tcmanager::lineboxChange);
    connect(m_pcardbox, &QComboBox::activated, this, &Tcmanager::pcardboxChange);
    connect(advanced, &QPushButton::clicked, this, [this] {
        // The sound control panel on its input devices page.
        if (!QProcess::startDetached(QStringLiteral("pavucontrol"), {QStringLiteral("--tab=4")}))
            m_host.messagePort().show("The sound control panel (pavucontrol) is not installed.", "Settings",
                                      MessageIcon::Information, MessageButtons::Ok);
    });
    return page;
}

QWidget* Tcmanager::buildCodecs() {
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    m_codecs = new QComboBox(page);
    for (int i = 0; i < kCodecCount; ++i)
        m_codecs->addItem(qs(codecinfo(i).entry));
    m_cmode = new QComboBox(page);
    m_csamplerate = new QComboBox(page);
    m_cbitrate = new QComboBox(page);
    m_cbits = new QComboBox(page);
    m_systemformat = new QLabel(QStringLiteral("System Format: Not Available"), page);
    auto* apply = new QPushButton(QStringLiteral("Apply settings"), page);
    form->addRow(m_codecs);
    form->addRow(QStringLiteral("Mode:"), m_cmode);
    form->addRow(QStringLiteral("Sample Rate:"), m_csamplerate);
    form->addRow(QStringLiteral("Bitrate:"), m_cbitrate);
    form->addRow(QStringLiteral("Bits per sample:"), m_cbits);
    form->addRow(m_systemformat);
    form->addRow(apply);
    connect(m_codecs, &QComboBox::activated, this, &Tcmanager::codecsChange);
    connect(m_csamplerate, &QComboBox::activated, this, &Tcmanager::csamplerateChange);
    connect(apply, &QPushButton::clicked, this, &Tcmanager::okClick);
    return page;
}

QWidget* Tcmanager::buildFilters() {
    auto* page = new QWidget;
    auto* v = new QVBoxLayout(page);
    auto group = [&](const QString& caption, const char* name, bool* enabled, QSlider*& slider,
                     QLabel*& label, void (Tcmanager::*handler)(int)) {
        auto* box = new QGroupBox(caption, page);
        auto* h = new QHBoxLayout(box);
        QCheckBox* on = check(QStringLiteral("Enabled"), enabled, box);
        on->setObjectName(QString::fromLatin1(name));
        slider = new QSlider(Qt::Horizontal, box);
        slider->setRange(3, 9999);
        label = new QLabel(box);
        label->setMinimumWidth(80);
        h->addWidget(on);
        h->addWidget(slider, 1);
        h->addWidget(label);
        connect(slider, &QSlider::valueChanged, this, handler);
        v->addWidget(box);
    };
    group(QStringLiteral("  LowPass Filter  "), "lowpass", &m_cfg.lowpass.enabled, m_lfreq, m_lfreqLabel,
          &Tcmanager::lfreqChange);
    group(QStringLiteral("  HighPass Filter  "), "highpass", &m_cfg.highpass.enabled, m_hfreq, m_hfreqLabel,
          &Tcmanager::hfreqChange);
    group(QStringLiteral("  Notch Filter  "), "notch", &m_cfg.notch.enabled, m_nfreq, m_nfreqLabel,
          &Tcmanager::nfreqChange);
    v->addStretch(1);
    return page;
}

QWidget* Tcmanager::buildVox() {
    auto* page = new QWidget;
    auto* v = new QVBoxLayout(page);
    m_voxEnabled = check(QStringLiteral("Activate VOX mode"), &m_cfg.vox.enabled, page);
    connect(m_voxEnabled, &QCheckBox::toggled, this, [this] { m_host.showinfo(); });
    v->addWidget(m_voxEnabled);
    m_threshold = new QSlider(Qt::Horizontal, page);
    m_threshold->setRange(1, 32768);
    m_thresholdLabel = new QLabel(page);
    connect(m_threshold, &QSlider::valueChanged, this, [this](int position) {
        m_cfg.vox.threshold = position;
        m_thresholdLabel->setText(thresholdText(position));
    });
    v->addWidget(new QLabel(QStringLiteral("Input Level Threshold (dB)"), page));
    auto* r1 = new QHBoxLayout;
    r1->addWidget(m_threshold, 1);
    r1->addWidget(m_thresholdLabel);
    v->addLayout(r1);
    m_silence = new QSlider(Qt::Horizontal, page);
    m_silence->setRange(0, 60);
    m_silenceLabel = new QLabel(page);
    connect(m_silence, &QSlider::valueChanged, this, [this](int position) {
        m_cfg.vox.silence = position;
        m_silenceLabel->setText(QString::number(position) + QStringLiteral(" sec"));
    });
    v->addWidget(new QLabel(QStringLiteral("Reaction Time (seconds)"), page));
    auto* r2 = new QHBoxLayout;
    r2->addWidget(m_silence, 1);
    r2->addWidget(m_silenceLabel);
    v->addLayout(r2);
    auto* action = new QGroupBox(QStringLiteral("  Action  "), page);
    auto* a = new QVBoxLayout(action);
    m_action1 = new QRadioButton(QStringLiteral("Do Pause and Continue Current Track"), action);
    m_action2 = new QRadioButton(QStringLiteral("Stop Recording and Create New Track"), action);
    m_cutoff = check(QStringLiteral("Cut Off silent part of MP3 files"), &m_cfg.vox.cutoff, action);
    a->addWidget(m_action1);
    a->addWidget(m_action2);
    a->addWidget(m_cutoff);
    connect(m_action1, &QRadioButton::toggled, this, [this](bool on) {
        if (!on)
            return;
        m_cfg.vox.action = 1;
        m_cutoff->setEnabled(false);
    });
    connect(m_action2, &QRadioButton::toggled, this, [this](bool on) {
        if (!on)
            return;
        m_cfg.vox.action = 2;
        m_cutoff->setEnabled(true);
    });
    v->addWidget(action);
    m_autodelete =
        check(QStringLiteral("Delete files shorter than (seconds):"), &m_cfg.autodelete.enabled, page);
    m_deletetime = new QSpinBox(page);
    m_deletetime->setRange(1, 100);
    connect(m_autodelete, &QCheckBox::toggled, m_deletetime, &QWidget::setEnabled);
    auto* r3 = new QHBoxLayout;
    r3->addWidget(m_autodelete);
    r3->addWidget(m_deletetime);
    r3->addStretch(1);
    v->addLayout(r3);
    v->addStretch(1);
    return page;
}

QWidget* Tcmanager::buildAutomation() {
    auto* page = new QWidget;
    auto* v = new QVBoxLayout(page);
    auto timeRow = [&](const QString& caption, QSpinBox*& minutes, QSpinBox*& seconds) {
        auto* row = new QHBoxLayout;
        minutes = new QSpinBox(page);
        minutes->setRange(0, 100000);
        seconds = new QSpinBox(page);
        seconds->setRange(0, 59);
        row->addWidget(new QLabel(caption, page));
        row->addWidget(minutes);
        row->addWidget(new QLabel(QStringLiteral("min."), page));
        row->addWidget(seconds);
        row->addWidget(new QLabel(QStringLiteral("sec."), page));
        row->addStretch(1);
        v->addLayout(row);
    };
    QCheckBox* splitter = check(QStringLiteral("Activate Auto-Splitter"), &m_cfg.splitter.enabled, page);
    splitter->setObjectName(QStringLiteral("splitter"));
    v->addWidget(splitter);
    timeRow(QStringLiteral("Split recordings by :"), m_splitMinutes, m_splitSeconds);
    QCheckBox* autostop = check(QStringLiteral("Activate Auto-Stop"), &m_cfg.autostop.enabled, page);
    autostop->setObjectName(QStringLiteral("autostop"));
    v->addWidget(autostop);
    timeRow(QStringLiteral("Stop recording after :"), m_stopMinutes, m_stopSeconds);
    v->addStretch(1);
    return page;
}

QWidget* Tcmanager::buildAbout() {
    auto* page = new QWidget;
    auto* v = new QVBoxLayout(page);
    auto* version =
        new QLabel(QStringLiteral("Version: ") + QStringLiteral(QUIMBREL_FILE_VERSION) +
                       QStringLiteral(" (") + QStringLiteral(QUIMBREL_ARCHITECTURE) + QStringLiteral(")"),
                   page);
    version->setObjectName(QStringLiteral("version"));
    v->addWidget(version);
    auto* credits = new QLabel(
        QStringLiteral(
            "Quimbrel records what you hear.\n\n"
            "Built with Qt, PulseAudio, FFmpeg, LAME, libogg and libvorbis, libFLAC, SQLite, "
            "pugixml, FFTW, libsoxr and TagLib. The button glyphs come from the Font Awesome font."),
        page);
    credits->setWordWrap(true);
    v->addWidget(credits);
    v->addStretch(1);
    return page;
}

void Tcmanager::showPage(int page) {
    if (page >= 0)
        m_pages->setCurrentIndex(page);
}

int Tcmanager::positiontohz(int position, int rate) {
    return position * (rate / 2) / 10000;
}

QString Tcmanager::thresholdText(int position) {
    const long long db = std::llround(20.0 * std::log10(static_cast<double>(position) / 32768.0));
    return QString::number(db) + QStringLiteral(" dB");
}

bool Tcmanager::writing() const {
    return m_host.isWriting();
}

int Tcmanager::captureRate() const {
    return static_cast<int>(m_host.captureformat().samplesPerSec);
}

void Tcmanager::refuseWhileWriting(QComboBox* box, int previous) {
    m_host.messagePort().show(kRefuseSource, "Settings", MessageIcon::Information, MessageButtons::Ok);
    box->setCurrentIndex(previous);
}

void Tcmanager::cardboxChange(int card) {
    TWASAPISource* source = m_host.lineSource();
    if (!source)
        return;
    if (writing()) {
        refuseWhileWriting(m_cardbox, m_shownCard);
        return;
    }
    source->opencard(card, m_host.captureformat());
    m_cfg.card.index = card;
    m_shownCard = card;
    m_cardbox->setCurrentIndex(card);
    source->filllines(card);
    m_linebox->clear();
    for (const std::string& line : source->lines())
        m_linebox->addItem(qs(line));
    const int line = source->getdefaultline();
    m_linebox->setCurrentIndex(line);
    lineboxChange(line);
}

void Tcmanager::lineboxChange(int line) {
    TWASAPISource* source = m_host.lineSource();
    if (!source)
        return;
    if (writing()) {
        refuseWhileWriting(m_linebox, m_shownLine);
        return;
    }
    if (line < 0)
        line = 0;
    m_cfg.mixer.line = line;
    m_shownLine = line;
    int volume = m_cfg.mixer.record;
    source->selectline(line, false, volume);
    m_cfg.mixer.record = volume;
    m_host.lineVolumeChanged(volume);
    showSystemFormat();
}

void Tcmanager::showSystemFormat() {
    TWASAPISource* source = m_host.lineSource();
    int rate = 0;
    int channels = 0;
    if (source && source->cardindex() >= 0 && source->cardindex() < source->cards().count()) {
        const TWASAPIDevice& card = source->cards()[source->cardindex()];
        if (source->lineindex() >= 0 && source->lineindex() < card.endpoints.count()) {
            rate = card.endpoints[source->lineindex()].samplerate;
            channels = card.endpoints[source->lineindex()].channels;
        }
    }
    if (rate == 0)
        m_systemformat->setText(QStringLiteral("System Format: Not Available"));
    else
        m_systemformat->setText(QStringLiteral("System Format: %1 Hz, %2 Ch").arg(rate).arg(channels));
}

void Tcmanager::pcardboxChange(int entry) {
    if (entry < 0 || entry >= static_cast<int>(m_playbackNumbers.size()))
        return;
    const int number = m_playbackNumbers[static_cast<std::size_t>(entry)];
    m_host.setPlaybackDevice(number);
    m_cfg.card.playback = number;
}

void Tcmanager::codecsChange(int format) {
    fillcodeclists(format);
}

void Tcmanager::fillcodeclists(int format) {
    m_cmode->clear();
    m_csamplerate->clear();
    m_cbitrate->clear();
    m_cbits->clear();
    if (!validcodec(format))
        return;
    const CodecInfo& info = codecinfo(format);
    for (int rate : info.rates)
        m_csamplerate->addItem(QString::number(rate));
    for (std::string_view mode : info.modes)
        m_cmode->addItem(qs(mode));
    const bool usesBitrate = format != kCodecWAV && format != kCodecFLAC;
    if (format == kCodecMP3) {
        for (int kbit : mp3bitrates(info.rates.empty() ? 44100 : info.rates[0]))
            m_cbitrate->addItem(QString::number(kbit));
    } else {
        for (int kbit : info.bitrates)
            m_cbitrate->addItem(QString::number(kbit));
    }
    for (std::string_view bits : info.bits)
        m_cbits->addItem(qs(bits));
    m_cbitrate->setEnabled(usesBitrate);
    m_cbits->setEnabled(!usesBitrate);
    for (QComboBox* box : {m_cmode, m_csamplerate, m_cbitrate, m_cbits})
        box->setCurrentIndex(box->count() > 0 ? 0 : -1);
}

void Tcmanager::csamplerateChange(int position) {
    if (m_codecs->currentIndex() != kCodecMP3)
        return;
    const CodecInfo& info = codecinfo(kCodecMP3);
    if (position < 0 || position >= static_cast<int>(info.rates.size()))
        return;
    m_cbitrate->clear();
    for (int kbit : mp3bitrates(info.rates[static_cast<std::size_t>(position)]))
        m_cbitrate->addItem(QString::number(kbit));
    m_cbitrate->setCurrentIndex(m_cbitrate->count() > 0 ? 0 : -1);
}

void Tcmanager::okClick() {
    if (writing()) {
        m_host.messagePort().show(kRefuseCodec, "Settings", MessageIcon::Information, MessageButtons::Ok);
        return;
    }
    const int format = m_codecs->currentIndex();
    if (validcodec(format)) {
        const CodecInfo& info = codecinfo(format);
        m_cfg.codec.rate = std::max(0, m_csamplerate->currentIndex());
        m_cfg.codec.mode = std::max(0, m_cmode->currentIndex());
        m_cfg.codec.bitrate = std::max(0, m_cbitrate->currentIndex());
        m_cfg.codec.bps = std::max(0, m_cbits->currentIndex());
        if (m_cfg.codec.rate < static_cast<int>(info.rates.size()))
            m_cfg.current.rate = info.rates[static_cast<std::size_t>(m_cfg.codec.rate)];
        m_cfg.codec.index = format;
        if (format == kCodecMP3)
            m_cfg.current.mode = m_cmode->currentText() == QStringLiteral("Mono") ? 1 : 2;
        else
            m_cfg.current.mode = 2 - m_cfg.codec.mode;
        m_host.reconfig(m_cfg.current.rate, m_cfg.current.mode);
    }
    m_host.showinfo();
    filtersupdate();
}

void Tcmanager::lfreqChange(int position) {
    m_cfg.lowpass.frequency = position;
    m_lfreqLabel->setText(QString::number(positiontohz(position, captureRate())) + QStringLiteral(" Hz"));
    m_host.filtersupdate();
}

void Tcmanager::hfreqChange(int position) {
    m_cfg.highpass.frequency = position;
    m_hfreqLabel->setText(QString::number(positiontohz(position, captureRate())) + QStringLiteral(" Hz"));
    m_host.filtersupdate();
}

void Tcmanager::nfreqChange(int position) {
    m_cfg.notch.frequency = position;
    m_nfreqLabel->setText(QString::number(positiontohz(position, captureRate())) + QStringLiteral(" Hz"));
    m_host.filtersupdate();
}

void Tcmanager::filtersupdate() {
    lfreqChange(m_lfreq->value());
    hfreqChange(m_hfreq->value());
    nfreqChange(m_nfreq->value());
}

void Tcmanager::closebuttonClick() {
    const int split = m_splitMinutes->value() * 60 + m_splitSeconds->value();
    m_cfg.splitter.timelimit = split == 0 ? 1 : split;
    m_cfg.autostop.timelimit = m_stopMinutes->value() * 60 + m_stopSeconds->value();
    m_cfg.autodelete.deletetime = m_deletetime->value();
    hide();
}

void Tcmanager::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    filtersupdate();
}

void Tcmanager::reject() {
    // Esc and the frame's close button take the three time values as "&Close" does.
    closebuttonClick();
    QDialog::reject();
}

void Tcmanager::runatlogonChange(bool on) {
    if (setrunatlogon(on))
        return;
    const std::string reason = std::strerror(errno);
    // The box shows whether the entry exists, whatever was asked.
    {
        const QSignalBlocker quiet(m_runatlogon);
        m_runatlogon->setChecked(getrunatlogon());
    }
    m_host.messagePort().show(std::string("The desktop session startup entry could not be ") +
                                  (on ? "written" : "removed") + ": " + reason,
                              "Settings", MessageIcon::Error, MessageButtons::Ok);
}

void Tcmanager::updatebuttonClick() {
    m_host.checkForUpdates();
}

} // namespace quimbrel
