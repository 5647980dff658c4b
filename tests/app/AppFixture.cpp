// The window tests' shared helpers.
#include "AppFixture.h"

#include "TMainForm.h"
#include "state/config.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QThread>
#include <QTimer>

#include <cmath>
#include <cstdlib>
#include <numbers>

namespace apptest {

void ensureApplication() {
    if (QApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "app_test";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
}

bool waitUntil(const std::function<bool()>& cond, int guardMs) {
    for (int waited = 0; !cond() && waited < guardMs; waited += 10) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(10);
    }
    return cond();
}

void pump(int ms) {
    for (int waited = 0; waited < ms; waited += 10) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(10);
    }
}

BoxAnswerer::BoxAnswerer(std::vector<QMessageBox::StandardButton> answers)
    : m_answers(std::move(answers)), m_timer(new QTimer) {
    QObject::connect(m_timer, &QTimer::timeout, [this] { poll(); });
    m_timer->start(20);
}

BoxAnswerer::~BoxAnswerer() {
    delete m_timer;
}

void BoxAnswerer::poll() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (!box || !box->isVisible())
            continue;
        m_texts.push_back(box->text());
        QMessageBox::StandardButton answer = QMessageBox::Ok;
        if (!m_answers.empty()) {
            answer = m_answers.front();
            m_answers.erase(m_answers.begin());
        }
        QAbstractButton* button = box->button(answer);
        if (!button)
            button = box->buttons().isEmpty() ? nullptr : box->buttons().first();
        if (button)
            button->click();
        return;
    }
}

void writeSineWav(const QString& path, double seconds, int rate, double hz) {
    const int frames = static_cast<int>(seconds * rate);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    QDataStream out(&file);
    out.setByteOrder(QDataStream::LittleEndian);
    const quint32 dataBytes = static_cast<quint32>(frames) * 4;
    out.writeRawData("RIFF", 4);
    out << quint32(36 + dataBytes);
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(2) << quint32(rate) << quint32(rate * 4) << quint16(4)
        << quint16(16);
    out.writeRawData("data", 4);
    out << dataBytes;
    for (int i = 0; i < frames; ++i) {
        const auto v =
            static_cast<qint16>(std::lround(16000 * std::sin(2 * std::numbers::pi * hz * i / rate)));
        out << v << v;
    }
}

void screenshot(QWidget* widget, const QString& name) {
    const QString dir = QStringLiteral(QUIMBREL_BINARY_DIR "/screenshots");
    QDir().mkpath(dir);
    widget->grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
}

void AppTest::SetUp() {
    if (!std::getenv("QUIMBREL_TEST_PULSE"))
        GTEST_SKIP() << "needs the private PulseAudio daemon (scripts/with-services)";
    ensureApplication();
    m_root = std::make_unique<QTemporaryDir>();
    ASSERT_TRUE(m_root->isValid());
    const QString root = m_root->path();
    for (const char* sub : {"config", "home", "runtime", "out"})
        QDir(root).mkpath(QString::fromLatin1(sub));
    QFile::setPermissions(root + QStringLiteral("/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    setenv("XDG_CONFIG_HOME", (root + QStringLiteral("/config")).toLocal8Bit().constData(), 1);
    setenv("HOME", (root + QStringLiteral("/home")).toLocal8Bit().constData(), 1);
    setenv("XDG_RUNTIME_DIR", (root + QStringLiteral("/runtime")).toLocal8Bit().constData(), 1);
}

void AppTest::TearDown() {
    // Windows a test left open are closed by their owners; drain what they posted.
    if (QApplication::instance())
        QCoreApplication::processEvents();
}

QString AppTest::dataFolder() const {
    return m_root->path() + QStringLiteral("/config/Tarvolt/quimbrel/");
}
QString AppTest::outputFolder() const {
    return m_root->path() + QStringLiteral("/out/");
}

void AppTest::prepareSettings(const std::function<void(quimbrel::config&)>& edit) {
    quimbrel::config cfg;
    quimbrel::defaultconfig(cfg);
    cfg.archive.dir = outputFolder().toStdString();
    cfg.autoupdates.enabled = false;
    if (edit)
        edit(cfg);
    QDir().mkpath(dataFolder());
    ASSERT_TRUE(
        quimbrel::writeConfigFile((dataFolder() + QStringLiteral("quimbrel.xml")).toStdString(), cfg));
}

std::unique_ptr<quimbrel::TMainForm> AppTest::startWindow() {
    auto window = std::make_unique<quimbrel::TMainForm>();
    EXPECT_TRUE(window->FormCreate());
    window->show();
    QCoreApplication::processEvents();
    return window;
}

} // namespace apptest
