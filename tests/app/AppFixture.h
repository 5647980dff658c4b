// Shared helpers of the window tests: a QApplication, a fresh data folder per test, message-box answering,
// waiting on the event loop, tone files and screenshots.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quimbrel {
class TMainForm;
struct config;
} // namespace quimbrel

namespace apptest {

void ensureApplication();

// Runs the event loop until cond holds or the guard time passes; returns cond().
bool waitUntil(const std::function<bool()>& cond, int guardMs = 20000);
// Runs the event loop for a while.
void pump(int ms);

// Answers message boxes as they appear with the given buttons in order; records their texts.
class BoxAnswerer {
public:
    explicit BoxAnswerer(std::vector<QMessageBox::StandardButton> answers = {});
    ~BoxAnswerer();
    const std::vector<QString>& texts() const { return m_texts; }

private:
    void poll();
    std::vector<QMessageBox::StandardButton> m_answers;
    std::vector<QString> m_texts;
    class QTimer* m_timer;
};

// A 16-bit stereo WAV file of a sine.
void writeSineWav(const QString& path, double seconds, int rate = 44100, double hz = 1000.0);

// Saves a picture of the widget to <build>/screenshots/<name>.png.
void screenshot(class QWidget* widget, const QString& name);

// Each test gets its own configuration, home and runtime folders; skips without the private daemon.
class AppTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Starts the main window (FormCreate) and shows it.
    std::unique_ptr<quimbrel::TMainForm> startWindow();
    QString dataFolder() const;
    QString outputFolder() const;
    // Writes a quimbrel.xml: the defaults with the test's output folder, then the caller's changes.
    void prepareSettings(const std::function<void(quimbrel::config&)>& edit = {});

    std::unique_ptr<QTemporaryDir> m_root;
};

} // namespace apptest
