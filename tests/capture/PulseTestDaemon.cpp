// Test helpers for capture: private daemons, tone player, pactl and spectrum checks.
#include "PulseTestDaemon.h"

#include "capture/TWASAPIDevice.h"

#include <pulse/error.h>
#include <pulse/simple.h>

#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

extern char** environ;

namespace quimbrel::test {

std::string run(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p)
        return out;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    pclose(p);
    return out;
}

std::string pactl(const std::string& server, const std::string& args) {
    std::string cmd = "pactl ";
    if (!server.empty())
        cmd += "-s '" + server + "' ";
    return run(cmd + args + " 2>&1");
}

PulseTestDaemon::PulseTestDaemon(const std::string& extra) {
    char tmpl[] = "/tmp/quimbrel-capture-pulse.XXXXXX";
    if (!mkdtemp(tmpl))
        return;
    m_dir = tmpl;
    m_server = "unix:" + m_dir + "/pulse/native";
    const std::string config = m_dir + "/test.pa";
    run("bash -c 'source \"" QUIMBREL_SOURCE_DIR "/scripts/lib/services.sh\" && write_pulse_config \"" +
        config + "\"'");
    {
        std::ofstream out(config, std::ios::app);
        out << extra;
    }

    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string v = *e;
        if (v.rfind("XDG_RUNTIME_DIR=", 0) == 0 || v.rfind("HOME=", 0) == 0 ||
            v.rfind("PULSE_SERVER=", 0) == 0)
            continue;
        env.push_back(v);
    }
    env.push_back("XDG_RUNTIME_DIR=" + m_dir);
    env.push_back("HOME=" + m_dir);
    std::vector<char*> envp;
    for (auto& v : env)
        envp.push_back(v.data());
    envp.push_back(nullptr);

    std::vector<std::string> args = {"pulseaudio",
                                     "-n",
                                     "-F",
                                     config,
                                     "--daemonize=no",
                                     "--exit-idle-time=-1",
                                     "--log-target=file:" + m_dir + "/pulse.log"};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, "pulseaudio", nullptr, nullptr, argv.data(), envp.data()) != 0)
        return;
    m_pid = pid;
    for (int i = 0; i < 100; ++i) {
        if (test::pactl(m_server, "info").find("Server Name") != std::string::npos)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    kill();
}

PulseTestDaemon::~PulseTestDaemon() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        for (int i = 0; i < 50 && waitpid(m_pid, &status, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        kill();
    }
    if (!m_dir.empty())
        run("rm -rf '" + m_dir + "'");
}

void PulseTestDaemon::kill() {
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGKILL);
    int status = 0;
    waitpid(m_pid, &status, 0);
    m_pid = -1;
}

std::string PulseTestDaemon::pactl(const std::string& args) const {
    return test::pactl(m_server, args);
}

TonePlayer::TonePlayer(const std::string& server, const std::string& sink, unsigned rate,
                       std::vector<double> frequency, std::vector<double> amplitude) {
    pa_sample_spec spec;
    spec.format = PA_SAMPLE_FLOAT32LE;
    spec.rate = rate;
    spec.channels = static_cast<std::uint8_t>(frequency.size());
    // The usual layouts up to eight channels, in the order the test sinks use.
    pa_channel_map map;
    pa_channel_map_init_extend(&map, spec.channels, PA_CHANNEL_MAP_ALSA);
    int error = 0;
    pa_simple* s = pa_simple_new(server.empty() ? nullptr : server.c_str(), "quimbrel-test",
                                 PA_STREAM_PLAYBACK, sink.c_str(), "tone", &spec, &map, nullptr, &error);
    if (!s) {
        m_ok = false;
        return;
    }
    m_thread = std::thread([this, s, rate, frequency, amplitude] {
        const std::size_t channels = frequency.size();
        const std::size_t frames = rate / 100;
        std::vector<float> chunk(frames * channels);
        std::uint64_t t = 0;
        while (!m_stop) {
            for (std::size_t f = 0; f < frames; ++f, ++t)
                for (std::size_t c = 0; c < channels; ++c)
                    chunk[f * channels + c] = static_cast<float>(
                        amplitude[c] * std::sin(2.0 * M_PI * frequency[c] * static_cast<double>(t) / rate));
            int err = 0;
            if (pa_simple_write(s, chunk.data(), chunk.size() * sizeof(float), &err) < 0) {
                m_ok = false;
                break;
            }
        }
        pa_simple_free(s);
    });
}

TonePlayer::~TonePlayer() {
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

bool find(const TWASAPISource& source, const std::string& id, int& card, int& line) {
    for (int c = 0; c < source.cards().count(); ++c) {
        const TWASAPIDevices& eps = source.cards()[c].endpoints;
        for (int l = 0; l < eps.count(); ++l) {
            if (eps[l].id == id) {
                card = c;
                line = l;
                return true;
            }
        }
    }
    return false;
}

double peakfrequency(const std::vector<float>& samples, int stride, int offset, double rate) {
    // A plain DFT over 4410 samples: 10 Hz bins at 44100 Hz, enough to tell 1 kHz from its neighbours.
    const std::size_t n = 4410;
    std::vector<double> x;
    for (std::size_t i = static_cast<std::size_t>(offset); i < samples.size() && x.size() < n;
         i += static_cast<std::size_t>(stride))
        x.push_back(samples[i]);
    if (x.size() < n)
        return 0.0;
    double best = 0.0;
    std::size_t bestBin = 0;
    for (std::size_t k = 1; k < n / 2; ++k) {
        std::complex<double> sum;
        for (std::size_t i = 0; i < n; ++i)
            sum +=
                x[i] * std::polar(1.0, -2.0 * M_PI * static_cast<double>(k * i % n) / static_cast<double>(n));
        if (std::abs(sum) > best) {
            best = std::abs(sum);
            bestBin = k;
        }
    }
    return static_cast<double>(bestBin) * rate / static_cast<double>(n);
}

double peaklevel(const std::vector<float>& samples, int stride, int offset) {
    double peak = 0.0;
    for (std::size_t i = static_cast<std::size_t>(offset); i < samples.size();
         i += static_cast<std::size_t>(stride))
        peak = std::max(peak, static_cast<double>(std::fabs(samples[i])));
    return peak;
}

} // namespace quimbrel::test
