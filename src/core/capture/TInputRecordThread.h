// The capture thread: polls the PulseAudio record stream of one endpoint every 100 ms (on a connection of its
// own that only that poll serves), turns what it collected into float blocks in the capture format and hands
// each block synchronously to the owning thread.
// initialize, setvolume, getvolume and destruction run on the owning thread; the body on its own thread.
#pragma once

#include "capture/TWASAPISource.h"
#include "ports/Dispatcher.h"
#include "ports/MessagePort.h"
#include "ports/WaveFormat.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quimbrel {

namespace pulse {
class Connection;
class Stream;
} // namespace pulse

class TInputRecordThread {
public:
    // Size of the converter's output buffer and of the thread's other two buffers.
    static constexpr int kBufferBytes = 4 * 1024 * 1024;
    // The block handler copies each block into a buffer of this size; a larger converter output is split
    // into several consecutive blocks of at most this many bytes (whole frames), so nothing is dropped.
    static constexpr int kMaxBlockBytes = 2 * 1024 * 1024;
    static constexpr int kPollMs = 100;
    // The stream buffer the server keeps for us: five seconds absorb a busy owning thread.
    static constexpr int kBufferSeconds = 5;

    // Created "suspended": nothing runs until start(). The catalogue then sets loopback, id and name.
    TInputRecordThread(const WaveFormat& target, TWASAPISource::DataHandler onData, TWASAPISource& source,
                       Dispatcher& dispatcher, MessagePort& messages,
                       std::shared_ptr<pulse::Connection> connection);
    // Owning thread, after the thread has ended (the destructor requests the end and joins if needed).
    virtual ~TInputRecordThread();
    TInputRecordThread(const TInputRecordThread&) = delete;
    TInputRecordThread& operator=(const TInputRecordThread&) = delete;

    void setloopback(bool loopback) { m_loopback = loopback; }
    void setdevice(std::string id, std::string name);

    // Owning thread, before start(): checks the endpoint and opens the record stream (corked), showing the
    // failure message. Returns 0 or -1; the caller stores it with seterrorstate.
    int initialize();
    void seterrorstate(int state) { m_errorstate = state; }
    int errorstate() const { return m_errorstate; }

    // Starts the body; a thread whose errorstate is not 0 ends at once.
    void start();
    // Asks the body to end at the next opportunity (a block converted meanwhile is not handed over).
    void terminate();
    bool terminated() const { return m_terminate.load(); }
    // The body has returned (or was never started).
    bool finished() const { return m_finished.load(); }
    // Joins the finished thread. Call after finished() holds.
    void waitfor();

    // Owning thread: our record stream's volume (and unmute) / its volume read back, in percent.
    void setvolume(int percent);
    int getvolume();

    const std::string& message() const { return m_message; }
    // CPU seconds the body has used so far (its thread's CPU clock); 0 when it is not running.
    double cpuseconds();
    // The server's index of our record stream (its source output); 0xffffffff while none is open.
    std::uint32_t streamindex() const;
    std::uint32_t mixrate() const { return m_mixrate; }
    std::uint32_t mixchannels() const { return m_mixchannels; }
    int framebytes() const { return m_framebytes; }
    const WaveFormat& target() const { return m_target; }

    // Shared with tests: the mix-to-stereo step. Writes `frames` frames of `channels` floats as stereo,
    // each sample doubled and clipped to -1..1: mono is widened, more than two channels give the first two.
    static void tostereo(const float* mix, int frames, int channels, float* stereo);

protected:
    // The thread body.
    virtual void execute();
    // An exception escaped the body: shown on the owning thread, then the thread ends.
    virtual void reporterror(std::exception_ptr error);

private:
    void run();
    // Queues `outbytes` of `outbuffer` as blocks for the handler, split at kMaxBlockBytes.
    void deliver(int outbytes);
    // Hands the queued blocks to the block handler on the owning thread, in order, in one hand-off: one
    // wake-up of the owning thread per poll instead of one per block.
    void flushblocks();
    void showloopfailure(const std::string& what, int code);
    bool sleepPoll();

    WaveFormat m_target;
    TWASAPISource::DataHandler m_onData;
    TWASAPISource& m_source;
    Dispatcher& m_dispatcher;
    MessagePort& m_messages;
    // The catalogue's connection (queries, the stream's volume) and the record stream's own polled one, which
    // the body serves at each poll: the server's messages then wake nothing between two polls.
    std::shared_ptr<pulse::Connection> m_connection;
    std::shared_ptr<pulse::Connection> m_streamconnection;
    std::unique_ptr<pulse::Stream> m_stream;

    bool m_loopback = false;
    std::string m_deviceid;
    std::string m_devicename;
    std::string m_message;
    std::uint32_t m_mixrate = 0;
    std::uint32_t m_mixchannels = 0;
    int m_framebytes = 0;
    std::uint32_t m_index = 0xffffffffu;
    std::unique_ptr<float[]> m_outbuffer;
    // Blocks converted in this poll and not yet handed over: their bytes back to back, and their sizes.
    std::vector<std::uint8_t> m_queued;
    std::vector<int> m_queuedsizes;
    std::atomic<int> m_errorstate{0};
    std::exception_ptr m_pendingerror;

    std::thread m_thread;
    std::atomic<bool> m_terminate{false};
    std::atomic<bool> m_finished{true};
    std::mutex m_wakeMutex;
    std::condition_variable m_wake;
};

} // namespace quimbrel
