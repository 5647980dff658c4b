// The settings window: seven pages whose controls read and write the settings record at once. Created hidden
// by the main window at start-up, after the session has opened the capture line. It reaches the window only
// through SettingsHost. UI thread.
#pragma once

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;
class QStackedWidget;

namespace quimbrel {

class SettingsHost;
struct config;

class Tcmanager final : public QDialog {
    Q_OBJECT
public:
    Tcmanager(SettingsHost& host, QWidget* parent);

    // Filter position to hertz at the capture rate as opened: p * (rate div 2) div 10000.
    static int positiontohz(int position, int rate);
    // "-26 dB" for a threshold of 1635.
    static QString thresholdText(int position);

    // Handlers, public so the main window and the tests reach them as a user would.
    void cardboxChange(int card);
    void lineboxChange(int line);
    void pcardboxChange(int entry);
    void codecsChange(int format);
    void fillcodeclists(int format);
    void csamplerateChange(int position);
    void okClick();
    void lfreqChange(int position);
    void hfreqChange(int position);
    void nfreqChange(int position);
    void filtersupdate();
    void closebuttonClick();
    void runatlogonChange(bool on);
    void updatebuttonClick();
    void showPage(int page);

    // The controls, by their names.
    QListWidget* nav() const { return m_nav; }
    QStackedWidget* pages() const { return m_pages; }
    QComboBox* codecs() const { return m_codecs; }
    QComboBox* cmode() const { return m_cmode; }
    QComboBox* csamplerate() const { return m_csamplerate; }
    QComboBox* cbitrate() const { return m_cbitrate; }
    QComboBox* cbits() const { return m_cbits; }
    QComboBox* cardbox() const { return m_cardbox; }
    QComboBox* linebox() const { return m_linebox; }
    QComboBox* pcardbox() const { return m_pcardbox; }
    QComboBox* agcbox() const { return m_agcbox; }
    QLabel* systemformat() const { return m_systemformat; }
    QSlider* lfreq() const { return m_lfreq; }
    QLabel* lfreqLabel() const { return m_lfreqLabel; }
    QSlider* hfreq() const { return m_hfreq; }
    QSlider* nfreq() const { return m_nfreq; }
    QSlider* threshold() const { return m_threshold; }
    QLabel* thresholdLabel() const { return m_thresholdLabel; }
    QSpinBox* splitMinutes() const { return m_splitMinutes; }
    QSpinBox* splitSeconds() const { return m_splitSeconds; }
    QSpinBox* stopMinutes() const { return m_stopMinutes; }
    QSpinBox* stopSeconds() const { return m_stopSeconds; }
    QPushButton* customize() const { return m_customize; }
    QCheckBox* autonameCheck() const { return m_autoname; }
    QCheckBox* runatlogon() const { return m_runatlogon; }
    QPushButton* updatebutton() const { return m_updatebutton; }
    QSpinBox* deletetime() const { return m_deletetime; }

protected:
    void showEvent(QShowEvent* event) override;

public slots:
    void reject() override;

private:
    QWidget* buildGeneral();
    QWidget* buildMixer();
    QWidget* buildCodecs();
    QWidget* buildFilters();
    QWidget* buildVox();
    QWidget* buildAutomation();
    QWidget* buildAbout();
    QCheckBox* check(const QString& caption, bool* setting, QWidget* parent);
    void showSystemFormat();
    void refuseWhileWriting(QComboBox* box, int previous);
    bool writing() const;
    int captureRate() const;

    SettingsHost& m_host;
    config& m_cfg;
    std::vector<int> m_playbackNumbers; // device number of each playback list entry
    int m_shownCard = -1;
    int m_shownLine = -1;

    QListWidget* m_nav = nullptr;
    QStackedWidget* m_pages = nullptr;
    QCheckBox* m_autoname = nullptr;
    QPushButton* m_customize = nullptr;
    QPushButton* m_updatebutton = nullptr;
    QLineEdit* m_dirEdit = nullptr;
    QCheckBox* m_stayontop = nullptr;
    QCheckBox* m_runatlogon = nullptr;
    QCheckBox* m_hotkeys = nullptr;
    QCheckBox* m_agc = nullptr;
    QComboBox* m_agcbox = nullptr;
    QComboBox* m_cardbox = nullptr;
    QComboBox* m_linebox = nullptr;
    QComboBox* m_pcardbox = nullptr;
    QComboBox* m_codecs = nullptr;
    QComboBox* m_cmode = nullptr;
    QComboBox* m_csamplerate = nullptr;
    QComboBox* m_cbitrate = nullptr;
    QComboBox* m_cbits = nullptr;
    QLabel* m_systemformat = nullptr;
    QSlider* m_lfreq = nullptr;
    QSlider* m_hfreq = nullptr;
    QSlider* m_nfreq = nullptr;
    QLabel* m_lfreqLabel = nullptr;
    QLabel* m_hfreqLabel = nullptr;
    QLabel* m_nfreqLabel = nullptr;
    QCheckBox* m_voxEnabled = nullptr;
    QSlider* m_threshold = nullptr;
    QLabel* m_thresholdLabel = nullptr;
    QSlider* m_silence = nullptr;
    QLabel* m_silenceLabel = nullptr;
    QRadioButton* m_action1 = nullptr;
    QRadioButton* m_action2 = nullptr;
    QCheckBox* m_cutoff = nullptr;
    QCheckBox* m_autodelete = nullptr;
    QSpinBox* m_deletetime = nullptr;
    QSpinBox* m_splitMinutes = nullptr;
    QSpinBox* m_splitSeconds = nullptr;
    QSpinBox* m_stopMinutes = nullptr;
    QSpinBox* m_stopSeconds = nullptr;
};

} // namespace quimbrel
