// The loopback silence renderer: plays silence on the sink being recorded so its monitor keeps delivering
// while nothing else plays. initialize and destruction run on the owning thread; the render loop on its own
// thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace quimbrel {

namespace pulse {
class Connection;
class Stream;
} // namespace pulse

class TPlayThread {
public:
    // Requested queue length: two seconds.
    static constexpr std::int64_t kBufferDuration = 20000000; // 100-ns units

    TPlayThread(std::string deviceid, std::shared_ptr<pulse::Connection> connection);
    virtual ~TPlayThread();
    TPlayThread(const TPlayThread&) = delete;
    TPlayThread& operator=(const TPlayThread&) = delete;

    // Owning thread: opens a corked playback stream on the sink and queues a full buffer of zeros. A failure
    // only sets errorstate (the PulseAudio error number); nothing is shown.
    void initialize();
    void start();
    void terminate();
    bool finished() const { return m_finished.load(); }
    void waitfor();

    int errorstate() const { return m_errorstate.load(); }
    std::uint32_t bufferframes() const { return m_bufferframes; }
    std::int64_t actualduration() const { return m_actualduration; }
    int waitms() const { return m_waitms; }

    // actualduration in 100-ns units and the interval of the render loop (a sixth of it) in milliseconds.
    static std::int64_t durationfor(std::uint32_t frames, std::uint32_t rate);
    static int waitmsfor(std::int64_t actualduration);

protected:
    virtual void execute();
    virtual void reporterror(std::exception_ptr error);

private:
    void run();

    std::string m_deviceid;
    std::shared_ptr<pulse::Connection> m_connection;
    std::unique_ptr<pulse::Stream> m_stream;
    std::uint32_t m_bufferframes = 0;
    std::uint32_t m_blockalign = 0;
    std::int64_t m_actualduration = 0;
    int m_waitms = 0;
    int m_lastresult = 0;
    std::atomic<int> m_errorstate{0};
    std::exception_ptr m_pendingerror;

    std::thread m_thread;
    std::atomic<bool> m_terminate{false};
    std::atomic<bool> m_finished{true};
    std::mutex m_wakeMutex;
    std::condition_variable m_wake;
};

} // namespace quimbrel
