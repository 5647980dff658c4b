// A message box raised by the block handler stays open while a tone plays on the private daemon's sink: the
// recording goes on underneath it and holds the whole tone, sample for sample as long as it was played.
#include "AppFixture.h"

#include "TMainForm.h"

#include "recording/Recorder.h"
#include "recording/RecordingState.h"
#include "state/config.h"
#include "state/daynumber.h"
#include "state/recevent.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <vector>

using namespace quimbrel;
using namespace apptest;

namespace {

// A 16-bit stereo WAV at 48000 Hz: `lead` seconds of silence, `tone` seconds of 1000 Hz at half scale, `tail`
// seconds of silence.
void writeToneBetweenSilence(const QString& path, double lead, double tone, double tail) {
    const int rate = 48000;
    const auto count = [&](double s) { return static_cast<int>(std::lround(s * rate)); };
    std::vector<std::int16_t> samples;
    for (int i = 0; i < count(lead); ++i)
        samples.insert(samples.end(), {0, 0});
    for (int i = 0; i < count(tone); ++i) {
        const auto v = static_cast<std::int16_t>(std::lround(16000 * std::sin(2 * M_PI * 1000.0 * i / rate)));
        samples.insert(samples.end(), {v, v});
    }
    for (int i = 0; i < count(tail); ++i)
        samples.insert(samples.end(), {0, 0});
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const auto bytes = static_cast<std::uint32_t>(samples.size() * 2);
    const auto u32 = [&](std::uint32_t v) { file.write(reinterpret_cast<const char*>(&v), 4); };
    const auto u16 = [&](std::uint16_t v) { file.write(reinterpret_cast<const char*>(&v), 2); };
    file.write("RIFF", 4);
    u32(36 + bytes);
    file.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(2);
    u32(rate);
    u32(rate * 4);
    u16(4);
    u16(16);
    file.write("data", 4);
    u32(bytes);
    file.write(reinterpret_cast<const char*>(samples.data()), bytes);
}

// The left channel of a 16-bit stereo WAV with a 44-byte header, and its rate.
std::vector<std::int16_t> leftChannel(const QString& path, int& rate) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    if (bytes.size() < 44)
        return {};
    std::uint32_t r = 0;
    std::memcpy(&r, bytes.constData() + 24, 4);
    rate = static_cast<int>(r);
    std::vector<std::int16_t> left;
    for (qsizetype at = 44; at + 4 <= bytes.size(); at += 4) {
        std::int16_t v;
        std::memcpy(&v, bytes.constData() + at, 2);
        left.push_back(v);
    }
    return left;
}

} // namespace

TEST_F(AppTest, AMessageBoxFromTheBlockHandlerLeavesNoGapInTheRecording) {
    const double now = timePart(dayNumberFromTime(std::time(nullptr)));
    if (now < 70.0 / 86400 || now > 1.0 - 700.0 / 86400)
        GTEST_SKIP() << "too close to midnight";
    prepareSettings([](config& c) {
        c.codec.index = 3; // WAV, 16-bit: what was heard, unchanged
        c.codec.bps = 1;
        c.scheduler.enabled = true;
        c.scheduler.numevents = 1;
    });
    // An event under way that starts a program which is not there: the first block starts its recording, and
    // the block handler raises "Scheduler error: ..." while the recording goes on.
    recevent e;
    e.name = "Tone";
    e.Enabled = true;
    e.repeat = 2;
    e.day.fill(true);
    e.starttime = now - 60.0 / 86400;
    e.stoptime = now + 600.0 / 86400;
    e.Task = true;
    e.Appname = "/nonexistent/quimbrel-test-program";
    std::string error;
    ASSERT_TRUE(writeeventsfile((dataFolder() + QStringLiteral("events.xml")).toStdString(), {e}, &error))
        << error;
    QTemporaryDir tones;
    const QString wav = tones.path() + QStringLiteral("/tone.wav");
    const double toneSeconds = 3.0;
    writeToneBetweenSilence(wav, 0.3, toneSeconds, 0.5);

    // While the box is open: play the tone once, and close the box only after the player has ended, so the
    // box stands for all of the tone.
    std::unique_ptr<QProcess> player;
    QString boxText;
    bool closed = false;
    std::chrono::steady_clock::time_point opened, shut;
    QTimer holder;
    QObject::connect(&holder, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box || !box->isVisible() || closed)
                continue;
            if (!player) {
                boxText = box->text();
                opened = std::chrono::steady_clock::now();
                player = std::make_unique<QProcess>();
                player->start(QStringLiteral("paplay"), {wav});
            } else if (player->state() == QProcess::NotRunning) {
                closed = true;
                shut = std::chrono::steady_clock::now();
                box->button(QMessageBox::Ok)->click();
            }
        }
    });
    holder.start(20);

    auto window = startWindow();
    ASSERT_TRUE(waitUntil([&] { return closed; }, 60000)) << "the box never came, or the tone never ended";
    holder.stop();
    EXPECT_TRUE(boxText.startsWith(QStringLiteral("Scheduler error: "))) << boxText.toStdString();
    EXPECT_GE(shut - opened, std::chrono::seconds(3)) << "the box stood for the whole tone";
    EXPECT_EQ(player->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(player->exitCode(), 0) << player->readAllStandardError().toStdString();
    ASSERT_TRUE(window->recorder().state().writing) << "the recording went on under the box";
    EXPECT_EQ(window->statusText(), QStringLiteral("Recording"));

    // A little of the silence after the tone, then stop.
    const std::int64_t taken = window->recorder().state().totalbytes;
    ASSERT_TRUE(waitUntil([&] { return window->recorder().state().totalbytes > taken + 44100; }));
    window->recorder().StopClick();
    ASSERT_TRUE(waitUntil([&] { return window->statusText() == QStringLiteral("Ready"); }));
    const QStringList files = QDir(outputFolder()).entryList({QStringLiteral("*.wav")}, QDir::Files);
    ASSERT_EQ(files.size(), 1) << files.join(QLatin1Char(' ')).toStdString();
    window->close();

    int rate = 0;
    const std::vector<std::int16_t> left = leftChannel(outputFolder() + files.first(), rate);
    ASSERT_GT(rate, 0);
    ASSERT_GT(left.size(), static_cast<std::size_t>(rate) * 4);
    int peak = 0;
    for (std::int16_t v : left)
        peak = std::max(peak, std::abs(static_cast<int>(v)));
    ASSERT_GT(peak, 2000) << "the tone was recorded";
    const int threshold = peak / 4;
    std::size_t first = left.size(), last = 0;
    for (std::size_t i = 0; i < left.size(); ++i)
        if (std::abs(static_cast<int>(left[i])) > threshold) {
            first = std::min(first, i);
            last = i;
        }
    EXPECT_GT(first, 0u) << "the recording began before the tone";
    EXPECT_LT(last + 1, left.size()) << "and ended after it";
    // As long as it was played: a gap (audio the server dropped while capture waited) would shorten it.
    const double recorded = static_cast<double>(last - first + 1) / rate;
    EXPECT_NEAR(recorded, toneSeconds, 0.002);
    // And no hole of silence inside it: a 1000 Hz sine is near zero only for a fraction of a millisecond.
    std::size_t quiet = 0, longest = 0;
    for (std::size_t i = first; i <= last; ++i) {
        quiet = std::abs(static_cast<int>(left[i])) < threshold ? quiet + 1 : 0;
        longest = std::max(longest, quiet);
    }
    EXPECT_LT(static_cast<double>(longest) / rate, 0.001);
}
