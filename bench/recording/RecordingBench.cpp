// The block handler's throughput: peaks, gain control, voice activation, the schedule check over 100 events,
// the three filters and conversion to 16-bit, on 25 ms stereo 44100 Hz blocks, with a writer that keeps
// nothing. Prints audio seconds per CPU second.
//   recording_bench --write-input FILE [SECONDS]   writes the test signal as a 32-bit float stereo WAV
//   recording_bench FILE                          runs the block handler over that WAV's samples
#include "encoder/TAudioWriter.h"
#include "ports/Clock.h"
#include "ports/MessagePort.h"
#include "recording/Recorder.h"
#include "recording/RecordingSource.h"
#include "recording/RecordingState.h"
#include "state/config.h"
#include "state/daynumber.h"
#include "state/recevent.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace quimbrel;

constexpr int kRate = 44100;
constexpr int kFramesPerBlock = kRate / 40; // 25 ms

class NullView final : public RecorderView {
public:
    void setButtonEnabled(RecorderButton, bool) override {}
    void showFileLabel(const std::string&, const std::string&) override {}
    void showStatus(const std::string&, StatusColour) override {}
    void showTime(const std::string&) override {}
    void showVolume(int) override {}
    std::optional<std::string> runSaveDialog(const SaveDialogRequest&) override { return std::nullopt; }
    void setScheduleStatus(int, const std::string&) override {}
    void selectScheduleRow(int) override {}
    void refreshLibrary() override {}
};

class AlwaysOpen final : public RecordingSource {
public:
    bool usable() const override { return true; }
    void setvolume(int) override {}
};

// Takes the converted 16-bit block and keeps nothing: the benchmark leaves the encoders out.
class NullWriter final : public TAudioWriter {
public:
    NullWriter() : TAudioWriter("/dev/null") {}
    std::int32_t WriteBlock(const void* data, std::int32_t bytes) override {
        // Touch the data so the conversion cannot be optimised away.
        m_sum += static_cast<const std::uint8_t*>(data)[bytes > 0 ? bytes - 1 : 0];
        return bytes;
    }
    std::int32_t SampleFormat() const override { return kSampleS16; }
    unsigned m_sum = 0;

private:
    void finishfile() override {}
};

void put32(std::ofstream& out, std::uint32_t v) {
    out.write(reinterpret_cast<const char*>(&v), 4);
}
void put16(std::ofstream& out, std::uint16_t v) {
    out.write(reinterpret_cast<const char*>(&v), 2);
}

// Music-like test signal: a few tones, slow loudness changes and noise, with peaks near full scale.
int writeInput(const std::string& path, double seconds) {
    const auto frames = static_cast<std::uint32_t>(seconds * kRate);
    std::ofstream out(path, std::ios::binary);
    const std::uint32_t bytes = frames * 8;
    out.write("RIFF", 4);
    put32(out, 4 + 26 + 12 + 8 + bytes);
    out.write("WAVEfmt ", 8);
    put32(out, 18);
    put16(out, 3);
    put16(out, 2);
    put32(out, kRate);
    put32(out, kRate * 8);
    put16(out, 8);
    put16(out, 32);
    put16(out, 0);
    out.write("fact", 4);
    put32(out, 4);
    put32(out, frames);
    out.write("data", 4);
    put32(out, bytes);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> noise(-0.05f, 0.05f);
    std::vector<float> chunk;
    for (std::uint32_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double loud = 0.45 + 0.45 * std::sin(2 * M_PI * 0.05 * t);
        const double l = loud * (0.6 * std::sin(2 * M_PI * 220 * t) + 0.3 * std::sin(2 * M_PI * 3000 * t));
        const double r = loud * (0.6 * std::sin(2 * M_PI * 330 * t) + 0.3 * std::sin(2 * M_PI * 50 * t));
        chunk.push_back(static_cast<float>(l) + noise(rng));
        chunk.push_back(static_cast<float>(r) + noise(rng));
        if (chunk.size() >= 65536 || i + 1 == frames) {
            out.write(reinterpret_cast<const char*>(chunk.data()),
                      static_cast<std::streamsize>(chunk.size() * 4));
            chunk.clear();
        }
    }
    return out ? 0 : 1;
}

bool readInput(const std::string& path, std::vector<float>& samples) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Find the data chunk of the file written above.
    for (std::size_t at = 12; at + 8 <= data.size();) {
        std::uint32_t size = 0;
        std::memcpy(&size, &data[at + 4], 4);
        if (std::memcmp(&data[at], "data", 4) == 0) {
            const std::size_t bytes = std::min<std::size_t>(size, data.size() - at - 8);
            samples.resize(bytes / 4);
            std::memcpy(samples.data(), &data[at + 8], samples.size() * 4);
            return !samples.empty();
        }
        at += 8 + size + (size & 1);
    }
    return false;
}

double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

int run(const std::string& path) {
    std::vector<float> samples;
    if (!readInput(path, samples)) {
        std::cerr << "cannot read " << path << "\n";
        return 1;
    }
    config cfg;
    cfg.archive.dir = "/tmp/";
    cfg.current.rate = kRate;
    cfg.current.mode = 2;
    cfg.agc.enabled = true;
    cfg.vox.enabled = true;
    cfg.vox.action = 1;
    cfg.vox.threshold = 1635;
    cfg.highpass = {true, 20};
    cfg.lowpass = {true, 8000};
    cfg.notch = {true, 100};
    cfg.runtagger.enabled = false;
    // A full schedule that never fires: the check walks every event on every block.
    eventtable events(100);
    for (recevent& e : events) {
        e.Enabled = true;
        e.repeat = 0;
        e.starttime = makeTimeOfDay(3, 0, 0);
        e.stoptime = makeTimeOfDay(3, 0, 1);
    }
    cfg.scheduler.enabled = true;
    cfg.scheduler.numevents = 100;

    NullView view;
    StreamMessagePort messages(std::cerr);
    SystemClock clock;
    AlwaysOpen source;
    Recorder recorder(cfg, view, messages, clock);
    recorder.setSource(&source);
    recorder.setEvents(&events);
    recorder.setWriterFactory(
        [](const std::string&, const WaveFormat&) { return std::make_unique<NullWriter>(); });
    recorder.setCaptureFormat(floatformat(kRate, 2));
    recorder.filtersupdate();
    recorder.StartClick();

    const int blockFloats = kFramesPerBlock * 2;
    const double start = cpuSeconds();
    std::size_t frames = 0;
    for (std::size_t at = 0; at + static_cast<std::size_t>(blockFloats) <= samples.size();
         at += blockFloats) {
        recorder.event(samples.data() + at, blockFloats * 4);
        frames += kFramesPerBlock;
    }
    const double cpu = cpuSeconds() - start;
    const double audio = static_cast<double>(frames) / kRate;
    if (!recorder.state().writing)
        std::cerr << "warning: the recorder was not writing at the end\n";
    std::printf("audio_seconds %.3f\ncpu_seconds %.6f\naudio_s_per_cpu_s %.1f\n", audio, cpu, audio / cpu);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "--write-input") == 0)
        return writeInput(argv[2], argc >= 4 ? std::atof(argv[3]) : 600.0);
    if (argc == 2)
        return run(argv[1]);
    std::cerr << "usage: recording_bench --write-input FILE [SECONDS] | recording_bench FILE\n";
    return 2;
}
