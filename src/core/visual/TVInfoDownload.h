// The update document's download: one HTTPS GET with libcurl on a worker thread of its own, which the
// owner can end at any moment. The worker touches nothing but its own buffer; its last act is to hand the
// outcome over.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <thread>

namespace quimbrel {

struct DownloadSettings {
    std::string url;
    // Extra CA certificates (PEM) trusted besides the system's store; empty for none.
    std::string caFile;
    // For the whole request, from connecting to the last byte.
    std::chrono::milliseconds timeout{30000};
    // A longer body fails the download.
    std::size_t maxBytes = 1024 * 1024;
};

struct DownloadOutcome {
    // Only when the server answered 200 with a declared length and exactly that many bytes arrived.
    bool ok = false;
    std::string body;
    // Why it failed, for diagnostics.
    std::string error;
};

class TVInfoDownload {
public:
    // Owning thread. Starts the download at once. When it has ended, handOver runs on the worker thread
    // with the outcome, unless Terminate() came first; it passes the outcome to the owning thread.
    TVInfoDownload(DownloadSettings settings, std::function<void(DownloadOutcome&)> handOver);
    // Owning thread. Ends the download and waits for the worker. A worker inside handOver must be served
    // first (see Finished()), or this waits for it for good.
    ~TVInfoDownload();
    TVInfoDownload(const TVInfoDownload&) = delete;
    TVInfoDownload& operator=(const TVInfoDownload&) = delete;

    // Any thread. Asks the worker to end: a transfer in progress stops at once and nothing is handed over.
    void Terminate();
    bool Terminated() const { return m_terminated; }
    // Any thread. True once the worker has nothing left to do, its hand-over included.
    bool Finished() const { return m_finished; }

private:
    void Execute();
    static std::size_t onData(char* data, std::size_t size, std::size_t count, void* self);

    DownloadSettings m_settings;
    std::function<void(DownloadOutcome&)> m_handOver;
    void* m_multi = nullptr;
    void* m_easy = nullptr;
    void* m_headers = nullptr;
    std::string m_buffer;
    bool m_overflow = false;
    std::atomic<bool> m_terminated{false};
    std::atomic<bool> m_finished{false};
    std::thread m_thread;
};

} // namespace quimbrel
