// The capture thread: record stream polling, doubling and clipping, stereo reduction, rate conversion and the
// synchronous hand-off of every block to the owning thread.
#include "capture/TInputRecordThread.h"

#include "capture/TWASAPIDevice.h"
#include "capture/pulse/PulseConnection.h"
#include "capture/pulse/PulseStream.h"

#include <fenwave.h>
#include <pulse/def.h>
#include <pulse/error.h>

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace quimbrel {

namespace {

// Blocks are cut from pieces of 10 ms, like the platform packets the threshold was chosen for.
constexpr std::uint32_t kFragmentMs = 10;
// What the server is asked to hand over at a time. The fragments wait on our polled connection until the next
// poll, so their size costs no wake-ups of ours, only a peek and a drop each; and since it is also the
// latency the record stream asks for, it sets how finely the server cuts what it renders for everyone
// recording that source. PulseAudio hands over fragments as long as the poll without loss, in about 40 pieces
// a second instead of 60 at 50 ms (with noise playing). PipeWire's PulseAudio server stalled for seconds at a
// time with anything above 10 ms (measured at 25, 50 and 100 ms under load, 0.3.65), so any server that is
// not PulseAudio itself gets 10 ms, which loses nothing on either.
constexpr std::uint32_t kPulseFragmentMs = 100;
constexpr std::uint32_t kServerFragmentMs = 10;

std::string hex8(int code) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(code));
    return text;
}

// The user's text for a PulseAudio error number where its meaning matches one of ours.
std::string resulttext(int code) {
    switch (code) {
    case PA_ERR_CONNECTIONREFUSED:
    case PA_ERR_CONNECTIONTERMINATED:
    case PA_ERR_ACCESS:
    case PA_ERR_AUTHKEY:
        return "The PulseAudio sound server is not running.";
    case PA_ERR_NOENTITY:
    case PA_ERR_KILLED:
        return "The audio endpoint device has been unplugged, or the audio hardware or associated hardware "
               "resources have been reconfigured, disabled, removed, or otherwise made unavailable for use.";
    case PA_ERR_NOTSUPPORTED:
    case PA_ERR_INVALID:
        return "The audio engine (shared mode) or audio endpoint device (exclusive mode) does not support "
               "the "
               "specified format.";
    case PA_ERR_BUSY:
        return "The endpoint device is already in use. Either the device is being used in exclusive mode, or "
               "the device is being used in shared mode and the caller asked to use the device in exclusive "
               "mode.";
    case PA_ERR_TOOLARGE:
        return "Out of memory";
    default:
        return "Unknown error";
    }
}

// A float buffer whose pages are only touched when used: most of the 4 MiB never is.
class FloatBuffer {
public:
    explicit FloatBuffer(std::size_t floats) : m_data(new float[floats]), m_size(floats) {}
    float* data() { return m_data.get(); }
    std::size_t size() const { return m_size; }
    // Grows to at least `floats`, keeping the first `keep` floats.
    void grow(std::size_t floats, std::size_t keep) {
        if (floats <= m_size)
            return;
        std::unique_ptr<float[]> bigger(new float[floats]);
        std::memcpy(bigger.get(), m_data.get(), keep * sizeof(float));
        m_data = std::move(bigger);
        m_size = floats;
    }

private:
    std::unique_ptr<float[]> m_data;
    std::size_t m_size;
};

// Doubled and clipped to -1..1, the same value std::clamp gives (a NaN stays NaN), but without a branch:
// loud sound clips often and at random, and a mispredicted branch per sample cost more than all the rest of
// the capture thread's own work on the samples.
inline float doubledclipped(float v) {
    v *= 2.0f;
    const float low = v < -1.0f ? -1.0f : v;
    return 1.0f < v ? 1.0f : low;
}

struct ConverterDeleter {
    void operator()(fenwave_src2* c) const { DeleteSRC2(c); }
};

} // namespace

TInputRecordThread::TInputRecordThread(const WaveFormat& target, TWASAPISource::DataHandler onData,
                                       TWASAPISource& source, Dispatcher& dispatcher, MessagePort& messages,
                                       std::shared_ptr<pulse::Connection> connection)
    : m_target(target), m_onData(std::move(onData)), m_source(source), m_dispatcher(dispatcher),
      m_messages(messages), m_connection(std::move(connection)) {}

TInputRecordThread::~TInputRecordThread() {
    terminate();
    // A body still blocked in a hand-off needs the owning thread to run it before it can end.
    while (!finished()) {
        if (m_dispatcher.isOwningThread())
            m_dispatcher.runPending();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (m_thread.joinable())
        m_thread.join();
    m_stream.reset();
    m_streamconnection.reset();
}

void TInputRecordThread::setdevice(std::string id, std::string name) {
    m_deviceid = std::move(id);
    m_devicename = std::move(name);
}

int TInputRecordThread::initialize() {
    auto show = [this](const std::string& text) {
        m_messages.show(text, kAudioDeviceErrorCaption, MessageIcon::Error);
        return -1;
    };
    int error = PA_ERR_CONNECTIONREFUSED;
    pulse::EndpointInfo info;
    if (!m_connection || !m_connection->endpoint(m_deviceid, m_loopback ? 0 : 1, info, error)) {
        if (error == PA_ERR_NOENTITY)
            info.state = TWASAPIDevice::kNotPresent;
        else
            return show(resulttext(error));
    }

    switch (info.state) {
    case TWASAPIDevice::kDisabled:
        return show(
            "Sorry, this device [" + m_devicename +
            "] is disabled. Please open Settings->Mixer and select another recording source or activate "
            "it via PulseAudio Volume Control");
    case TWASAPIDevice::kNotPresent:
        return show("This device [" + m_devicename +
                    "] not present. Please open Settings->Mixer and select another recording source.");
    case TWASAPIDevice::kUnplugged:
        return show("This device [" + m_devicename +
                    "] is unplugged. Please check connections or select another recording source from "
                    "Settings->Mixer.");
    default:
        break;
    }

    if (info.rate == 0 || info.channels == 0)
        return show("Device doesn't return PCM format");
    // The stream is always 32-bit float: the server converts whatever the device holds.
    m_message = "Format: 3, Channels: " + std::to_string(info.channels) +
                ", Bits: 32, Samplerate: " + std::to_string(info.rate);
    m_framebytes = static_cast<int>(32 * info.channels / 8);

    const std::uint32_t bytesPerSecond = info.rate * static_cast<std::uint32_t>(m_framebytes);
    const std::string device = m_loopback ? info.monitor : info.name;
    std::string server;
    int ignored = 0;
    const std::uint32_t fragmentMs = m_connection->servername(server, ignored) && server == "pulseaudio"
                                         ? kPulseFragmentMs
                                         : kServerFragmentMs;
    m_streamconnection = pulse::Connection::openpolled(m_connection->server(), error);
    if (m_streamconnection)
        m_stream =
            pulse::Stream::record(*m_streamconnection, device, info.rate, info.channels,
                                  bytesPerSecond * kBufferSeconds, bytesPerSecond * fragmentMs / 1000, error);
    if (!m_stream) {
        m_streamconnection.reset();
        m_message = resulttext(error);
        return show("AudioClient.Initialization Failed.\r\n" + m_message);
    }
    std::uint32_t bufferbytes = 0;
    std::uint32_t index = 0;
    {
        pulse::Connection::Lock lock(*m_streamconnection);
        m_mixrate = m_stream->rate();
        m_mixchannels = m_stream->channels();
        bufferbytes = m_stream->bufferbytes();
        index = m_stream->index();
    }
    m_framebytes = static_cast<int>(m_mixchannels * 4);
    if (bufferbytes == 0 || m_mixrate == 0 || m_mixchannels == 0) {
        m_stream.reset();
        m_streamconnection.reset();
        return show("AudioClient.GetBufferSize Failed.\r\n" + m_message);
    }
    if (index == 0xffffffffu) {
        m_stream.reset();
        m_streamconnection.reset();
        return show("AudioClient.GetService Failed.\r\n" + m_message);
    }
    m_index = index;
    return 0;
}

void TInputRecordThread::start() {
    m_finished = false;
    m_thread = std::thread([this] { run(); });
}

void TInputRecordThread::terminate() {
    {
        std::lock_guard lock(m_wakeMutex);
        m_terminate = true;
    }
    m_wake.notify_all();
}

void TInputRecordThread::waitfor() {
    if (m_thread.joinable())
        m_thread.join();
}

bool TInputRecordThread::sleepPoll() {
    std::unique_lock lock(m_wakeMutex);
    m_wake.wait_for(lock, std::chrono::milliseconds(kPollMs), [this] { return m_terminate.load(); });
    return !m_terminate;
}

void TInputRecordThread::run() {
    try {
        execute();
    } catch (...) {
        reporterror(std::current_exception());
    }
    m_finished = true;
}

double TInputRecordThread::cpuseconds() {
    if (finished() || !m_thread.joinable())
        return 0.0;
    clockid_t clock;
    timespec used{};
    if (pthread_getcpuclockid(m_thread.native_handle(), &clock) != 0 || clock_gettime(clock, &used) != 0)
        return 0.0;
    return static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) / 1e9;
}

std::uint32_t TInputRecordThread::streamindex() const {
    return m_stream ? m_index : 0xffffffffu;
}

void TInputRecordThread::setvolume(int percent) {
    if (!m_stream || !m_connection)
        return;
    int error = 0;
    m_connection->setrecordvolume(m_index, percent / 100.0, error);
}

int TInputRecordThread::getvolume() {
    if (!m_stream || !m_connection)
        return 100;
    double fraction = 1.0;
    int error = 0;
    if (!m_connection->recordvolume(m_index, fraction, error))
        return 100;
    return static_cast<int>(std::lround(fraction * 100.0));
}

void TInputRecordThread::tostereo(const float* mix, int frames, int channels, float* stereo) {
    const auto n = static_cast<std::size_t>(std::max(frames, 0));
    const auto c = static_cast<std::size_t>(std::max(channels, 1));
    if (c == 1) {
        for (std::size_t f = 0; f < n; ++f)
            stereo[2 * f] = stereo[2 * f + 1] = doubledclipped(mix[f]);
    } else if (c == 2) {
        for (std::size_t i = 0; i < 2 * n; ++i)
            stereo[i] = doubledclipped(mix[i]);
    } else {
        // Three channels or more, eight or beyond: the first two of each frame.
        for (std::size_t f = 0; f < n; ++f) {
            stereo[2 * f] = doubledclipped(mix[f * c]);
            stereo[2 * f + 1] = doubledclipped(mix[f * c + 1]);
        }
    }
}

void TInputRecordThread::showloopfailure(const std::string& what, int code) {
    m_errorstate = -1;
    const std::string text = what + hex8(code);
    // Through the owning thread, which keeps servicing hand-offs even while it stops this thread.
    m_dispatcher.invoke([&] { m_messages.show(text, kAudioDeviceErrorCaption, MessageIcon::Error); });
}

void TInputRecordThread::deliver(int outbytes) {
    const int frameBytes = std::max(1, static_cast<int>(m_target.channels) * 4);
    const int piece = kMaxBlockBytes - kMaxBlockBytes % frameBytes;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(m_outbuffer.get());
    for (int offset = 0; offset < outbytes; offset += piece) {
        const int n = std::min(piece, outbytes - offset);
        m_queued.insert(m_queued.end(), bytes + offset, bytes + offset + n);
        m_queuedsizes.push_back(n);
    }
    // A long backlog goes out in several hand-offs rather than one large copy.
    if (m_queued.size() >= static_cast<std::size_t>(kBufferBytes))
        flushblocks();
}

void TInputRecordThread::flushblocks() {
    if (m_queuedsizes.empty())
        return;
    if (!m_terminate) {
        m_dispatcher.invoke([&] {
            std::size_t offset = 0;
            // A block still queued when the end was requested is dropped.
            for (int n : m_queuedsizes) {
                if (m_terminate)
                    break;
                if (m_onData)
                    m_onData(m_source, m_queued.data() + offset, n);
                offset += static_cast<std::size_t>(n);
            }
        });
    }
    m_queued.clear();
    m_queuedsizes.clear();
}

void TInputRecordThread::execute() {
    m_pendingerror = nullptr;
    if (m_errorstate != 0 || !m_stream)
        return;

    // Above normal where the system lets us; silently unchanged otherwise.
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), -10);

    int error = 0;
    bool started = false;
    {
        pulse::Connection::Lock lock(*m_streamconnection);
        started = m_stream->cork(false, error);
        // The request goes out now, not at the first poll.
        m_streamconnection->dispatch();
    }
    if (!started) {
        showloopfailure("AudioClient.Start Failed.", error);
        return;
    }

    // The buffers live for the whole run. The accumulation holds at most the threshold plus one piece; the
    // incoming fragment's copy only grows past its first size for a server fragment larger than 4 MiB.
    const int threshold = static_cast<int>(m_mixrate * m_mixchannels / 10);
    const std::size_t bufferFloats = kBufferBytes / sizeof(float);
    FloatBuffer accumulation(bufferFloats);
    FloatBuffer stereobuffer(bufferFloats);
    m_outbuffer.reset(new float[bufferFloats]);
    std::unique_ptr<fenwave_src2, ConverterDeleter> converter(
        NewSRC2(static_cast<std::int32_t>(m_mixrate), static_cast<std::int32_t>(m_target.samplesPerSec), 2,
                static_cast<std::int32_t>(m_target.channels), FENWAVE_CODE_FLOAT, FENWAVE_CODE_FLOAT, 1));
    if (!converter) {
        m_errorstate = -1;
        m_dispatcher.invoke([&] {
            m_messages.show("Format Conversion Failed.", kAudioDeviceErrorCaption, MessageIcon::Error);
        });
        return;
    }

    // Input frames per converter call, so that one call's output stays within one block the handler can copy
    // (and well within the converter's 4 MiB output buffer), whatever the ratio of the rates.
    const double ratio = static_cast<double>(m_target.samplesPerSec) / m_mixrate;
    const int outFrameBytes = std::max(1, static_cast<int>(m_target.channels) * 4);
    const int sliceFrames =
        std::max(1, static_cast<int>((kMaxBlockBytes / outFrameBytes) / ratio * 0.9) - 64);

    std::size_t accBytes = 0;
    int accFrames = 0;
    const std::size_t framebytes = static_cast<std::size_t>(m_framebytes);
    // The server hands over large fragments (few wake-ups); the blocks are still cut as if it handed over
    // pieces of kFragmentMs, so the handler sees the same blocks whatever the fragment size granted.
    const std::size_t piecebytes =
        std::max<std::size_t>(framebytes, m_mixrate * kFragmentMs / 1000 * framebytes);
    FloatBuffer incoming(bufferFloats);

    // Adds one piece to the accumulation; past the threshold, converts it and hands it over as one block.
    auto accumulate = [&](const std::uint8_t* piece, std::size_t bytes) {
        accumulation.grow((accBytes + bytes) / sizeof(float), accBytes / sizeof(float));
        std::memcpy(reinterpret_cast<std::uint8_t*>(accumulation.data()) + accBytes, piece, bytes);
        accBytes += bytes;
        accFrames += static_cast<int>(bytes / framebytes);
        if (accBytes <= static_cast<std::size_t>(threshold))
            return;
        const int frames = accFrames;
        stereobuffer.grow(static_cast<std::size_t>(frames) * 2, 0);
        try {
            tostereo(accumulation.data(), frames, static_cast<int>(m_mixchannels), stereobuffer.data());
            for (int done = 0; done < frames && !m_terminate; done += sliceFrames) {
                const int n = std::min(sliceFrames, frames - done);
                std::int32_t outbytes = 0;
                SRC2_process(converter.get(), stereobuffer.data() + static_cast<std::size_t>(done) * 2, n * 8,
                             m_outbuffer.get(), &outbytes);
                // A block converted while the end was requested is dropped.
                if (!m_terminate && outbytes > 0)
                    deliver(std::min<int>(outbytes, kBufferBytes));
            }
        } catch (const std::bad_alloc&) {
            m_dispatcher.invoke([&] {
                m_messages.show("Format Conversion Failed.", kAudioDeviceErrorCaption, MessageIcon::Error);
            });
            throw;
        }
        accBytes = 0;
        accFrames = 0;
    };

    // Each poll reads what the server sent since the last one in a single round of the connection, then takes
    // the fragments that arrived one after the other without going back to the server in between; their
    // releases go out with the next poll's round. Every libpulse call and every round costs system calls, and
    // a round per fragment (as many as the server's rendering blocks, several per poll) cost more than all
    // the work on the data.
    while (!m_terminate) {
        if (!sleepPoll())
            break;
        const char* failedStep = nullptr;
        std::size_t left = 0;
        {
            pulse::Connection::Lock lock(*m_streamconnection);
            // A failed connection shows in readable().
            m_streamconnection->dispatch();
            if (!m_stream->readable(left, error))
                failedStep = "CaptureClient.GetNextPacketSize Failed.";
        }
        // The fragments in the order they came, until all that were readable have been taken.
        while (!failedStep && left > 0 && !m_terminate) {
            std::size_t incomingBytes = 0;
            {
                pulse::Connection::Lock lock(*m_streamconnection);
                const void* data = nullptr;
                std::size_t bytes = 0;
                if (!m_stream->peek(data, bytes, error)) {
                    failedStep = "CaptureClient.GetBuffer Failed.";
                    break;
                }
                if (bytes == 0)
                    break; // nothing complete yet: an empty buffer is not an error
                left -= std::min(left, bytes);
                bytes -= bytes % framebytes;
                incoming.grow(bytes / sizeof(float), 0);
                if (data)
                    std::memcpy(incoming.data(), data, bytes);
                else
                    std::memset(incoming.data(), 0, bytes); // a hole in the stream is silence of that length
                incomingBytes = bytes;
                if (!m_stream->drop(error))
                    failedStep = "CaptureClient.ReleaseBuffer Failed.";
            }
            if (failedStep)
                break;
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(incoming.data());
            for (std::size_t offset = 0; offset < incomingBytes && !m_terminate; offset += piecebytes)
                accumulate(bytes + offset, std::min(piecebytes, incomingBytes - offset));
        }
        if (failedStep) {
            showloopfailure(failedStep, error);
            return;
        }
        flushblocks();
    }

    pulse::Connection::Lock lock(*m_streamconnection);
    m_stream->cork(true, error);
    m_streamconnection->dispatch();
}

void TInputRecordThread::reporterror(std::exception_ptr error) {
    m_pendingerror = error;
    m_errorstate = -1;
    std::string text = "Unknown error";
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        text = e.what();
    } catch (...) {
    }
    try {
        m_dispatcher.invoke([&] { m_messages.show(text, "Quimbrel", MessageIcon::Error); });
    } catch (...) {
    }
    m_pendingerror = nullptr;
}

} // namespace quimbrel
