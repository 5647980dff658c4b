// Keeps recordings on the disk, not only in the page cache: a thread of its own fdatasyncs every watched file
// about every five seconds (and its folder once, for a new file's name), so a power cut loses at most the
// last seconds of a recording. Watches are taken and released on the thread that owns the writers (the UI
// thread) and never wait for a sync in progress.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>
#include <thread>

namespace quimbrel {

class FileSyncer {
    struct Entry;
    struct Shared;

public:
    static constexpr std::chrono::milliseconds kDefaultInterval{5000};

    explicit FileSyncer(std::chrono::milliseconds interval = kDefaultInterval);
    // Syncs the files released but not synced yet, then ends the thread.
    ~FileSyncer();
    FileSyncer(const FileSyncer&) = delete;
    FileSyncer& operator=(const FileSyncer&) = delete;

    // The syncer every writer registers its file with.
    static FileSyncer& shared();

    // One watched file. Releasing it (or destroying it) never waits: the sync thread syncs the file once
    // more, for what was written since its last sync, and then lets it go.
    class Watch {
    public:
        Watch() = default;
        Watch(Watch&& other) noexcept;
        Watch& operator=(Watch&& other) noexcept;
        ~Watch();
        Watch(const Watch&) = delete;
        Watch& operator=(const Watch&) = delete;

        void release();
        bool active() const { return m_entry != nullptr; }
        // The first error a sync of the file met (EIO when written data never reached the disk), else 0.
        int error() const;

    private:
        friend class FileSyncer;
        Watch(std::shared_ptr<Shared> shared, std::shared_ptr<Entry> entry);
        std::shared_ptr<Shared> m_shared;
        std::shared_ptr<Entry> m_entry;
    };

    // Watches the file open on fd. The syncer syncs a duplicate of the descriptor, so the owner may close fd
    // at any time, also while a sync of it runs. An inactive watch when fd cannot be duplicated.
    Watch watch(int fd, const std::string& path);
    // Watches the file at path through a read-only descriptor of the syncer's own: for files that a library
    // writes through its own I/O layer.
    Watch watchpath(const std::string& path);

    // The time between two syncs of one file; zero stops syncing altogether (released files are then let go
    // unsynced). For benchmarks and tests.
    void setInterval(std::chrono::milliseconds interval);
    std::chrono::milliseconds interval() const;

    // What the sync thread did: one event per fdatasync, `last` for the one after the file was released.
    struct SyncEvent {
        std::string path;
        bool last = false;
        int error = 0;
    };
    using Observer = std::function<void(const SyncEvent&)>;
    // Called on the sync thread after each sync; it must not take or release watches. Replacing it waits for
    // a running round, so the old observer is not called once this returns; never call it from an observer.
    void setObserver(Observer observer);

    // What syncs one descriptor: 0, or the error number (default: fdatasync). Tests put in a disk that fails.
    using SyncFunction = std::function<int(int fd)>;
    void setSyncFunction(SyncFunction sync);

    // Waits until every released file has had its last sync and no sync is running. For benchmarks and tests.
    void waitIdle();

    struct Counts {
        std::uint64_t syncs = 0;
        std::uint64_t failures = 0;
    };
    Counts counts() const;

private:
    void run();

    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
    pid_t m_owner = 0; // the process that started the thread: a forked child never joins it
};

} // namespace quimbrel
